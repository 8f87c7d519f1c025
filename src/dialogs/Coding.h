#pragma once
// The data coding dialog: 7-bit workaround or 16-bit coding of an indicator
// message's info text, asked when such a message is stored for forwarding.
#include <QDialog>

class QButtonGroup;

namespace Ui {
class TCodingWin;
}

class TCodingWin : public QDialog {
  Q_OBJECT

 public:
  explicit TCodingWin(QWidget* parent = nullptr);
  ~TCodingWin() override;  // FormDestroy

  Ui::TCodingWin* ui = nullptr;
  // ui->Model is the group box "&Phone model"; its items ui->Model0 and
  // ui->Model1 are joined in ui->ModelButtons with the ids 0 and 1.

  // Item index of Model: 0 7-bit, 1 16-bit, -1 when nothing is chosen.
  int ModelIndex() const;
  void SetModelIndex(int index);

  static const char* const kInfo7Bit;
  static const char* const kInfo16Bit;

 public slots:
  void ModelClick();

 protected:
  void showEvent(QShowEvent* event) override;  // FormShow

 private:
  void FormCreate();
  void FormDestroy();
};
