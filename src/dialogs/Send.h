#pragma once
// The Send/Save dialog: save to the SIM or send to a recipient typed, picked
// from the history or found in the phone's phonebook; the message centre or
// the phone's default; the delivery report. It keeps the last ten recipients
// (each with its encoded address) and the last ten centres.
#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "phone/PhoneLink.h"

namespace Ui {
class TSendWin;
}

class TSendWin : public QDialog {
  Q_OBJECT

 public:
  explicit TSendWin(QWidget* parent = nullptr);
  ~TSendWin() override;  // FormDestroy

  Ui::TSendWin* ui = nullptr;

  std::string DestAddress;    // TP-DA hex text, "0081" in save mode
  bool SaveMode = false;      // store in the SIM instead of sending
  std::string CentreAddress;  // service centre address hex text, "00" for the default
  bool CentreDefault = false;

  // The values the transfer takes from the dialog (Reports: ticked or grayed).
  mp::TransferSettings Transfer() const;
  // "Save" or "Send".
  QString SaveSendCaption() const;

  // Find: looks the typed name up in the phone's phonebook. Given the name
  // (code page 1252), it sets the name as found and the entry's TP-DA hex
  // text and returns true, or returns false (the link has said why). The
  // window that owns the phone link hands it in; without one Find does nothing.
  using PhonebookSearch = std::function<bool(std::string& name, std::string& address)>;
  void SetPhonebookSearch(PhonebookSearch search);

  struct RecipientEntry {
    QString Text;
    std::string Address;
  };
  std::vector<RecipientEntry> Recipients;  // most recent first, at most 10
  std::vector<QString> Centres;            // most recent first, at most 10

  static constexpr int kHistory = 10;
  static const char* const kSavePlaceholder;
  static const char* const kCentrePlaceholder;

 public slots:
  void RecipientChange();
  void RecipientClick();
  void CentreChange();
  void FindClick();

 protected:
  void showEvent(QShowEvent* event) override;  // FormShow
  void done(int result) override;              // FormHide on OK

 private:
  void FormCreate();
  void FormDestroy();
  void FormShow();
  void FormHide();
  void SetRecipientText(const QString& text, bool selectWhenFocused);
  void SetCentreText(const QString& text, bool selectWhenFocused);
  void LoadRecipientList();
  void LoadCentreList();
  void UpdateDefaultButton();
  bool picking_ = false;
  PhonebookSearch search_;
};
