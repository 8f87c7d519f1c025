#pragma once
// The About dialog: name, build date, terms of use and the product's web
// address as a link that lights up under the mouse pointer.
#include <QDialog>

namespace Ui {
class TAboutWin;
}

class TAboutWin : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutWin(QWidget* parent = nullptr);
  ~TAboutWin() override;

  Ui::TAboutWin* ui = nullptr;

  static constexpr const char* kHomePage = "www.mirapost.example";

  QColor LinkColour() const;  // the link text's colour now
  // The owner line: the program's version and the copyright.
  static QString OwnerLineText();

 public slots:
  void LinkClick();
  void LinkMouseMove();
  void Shape2MouseMove();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  // OK is also the cancel button: Escape closes with the OK result.
  void reject() override { accept(); }

 private:
  void SetLinkColour(const QColor& colour);
  // The link's font is measured when first shown, not at start-up.
  void FitLinkFont();
  bool linkFitted_ = false;
};
