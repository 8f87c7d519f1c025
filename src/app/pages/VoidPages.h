#pragma once
// The void message page (BitBtn1) and the class 0 template page (SaveTemp):
// fixed messages, no user content.
#include <QObject>

#include "app/pages/PageLinks.h"

class QPushButton;

namespace mp {

class VoidPages : public QObject {
 public:
  struct Controls {
    QPushButton* BitBtn1;   // the void page's action button
    QPushButton* SaveTemp;  // the template page's
  };
  void Setup(const Controls& controls, PageLinks links);

  void SaveVoidClick();
  // The template is always stored in the SIM without a recipient.
  void SaveTempClick();

 private:
  PageLinks links_;
};

}  // namespace mp
