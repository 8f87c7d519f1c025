#pragma once
// The operator logo page: a 72 x 14 picture for a network given by MCC and
// MNC (cmbOperator, with the history of the networks sent to), an optional
// description (txtDesc) and cmdSaveLogo, which sends it to the operator logo
// port.
#include <QImage>
#include <QObject>
#include <string>

#include "app/pages/PageLinks.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace mp {

class LogoPage : public QObject {
 public:
  struct Controls {
    QComboBox* cmbOperator;
    QLineEdit* txtDesc;
    QLabel* imgPreview;
    QPushButton* cmdPasteLogo;
    QPushButton* cmdSaveLogo;
  };
  void Setup(const Controls& controls, PageLinks links);

  std::string OperatorCode;  // "MCC-MNC" of cmbOperator's text, empty when none
  std::string LogoBits;      // the picture as sent: 252 hex digits
  QImage LogoPreview;        // the picture as sent, 72 x 14
  // The logo from `picture` (none: blank), shown stretched in imgPreview.
  void BitmapToLogo(const QImage* picture);

  void cmdPasteLogoClick();
  void cmbOperatorChange();
  void cmbOperatorClick();  // a pick from the list is coming
  void cmdSaveLogoClick();

 private:
  Controls c_{};
  PageLinks links_;
};

}  // namespace mp
