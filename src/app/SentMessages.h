#pragma once
// The "Sent messages" window: the record of sends, saves and phonebook
// writes, newest first, with the receiving phone's view of the selected one.
// From it the user copies the PDU, sends it again to the same recipient or
// through the Send/Save dialog to another, deletes rows or clears the record.
// Rows are read a page at a time as the user scrolls (SentModel); after a
// send only the changed row is read. Esc and Ctrl+W close it.
#include <QWidget>
#include <cstdint>
#include <vector>

#include "record/Record.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableView;
class PhoneScreen;
class SentModel;

class TSentWin : public QWidget {
  Q_OBJECT

 public:
  explicit TSentWin(QWidget* parent = nullptr);

  // Reads the record again, keeping the selected row when it is still there.
  void Reload();
  // The row `id` of the record was added or changed.
  void RowChanged(std::int64_t id);
  void Select(int row);
  const mp::record::Entry* Selected() const;
  const mp::record::Entry* EntryAt(int row) const;
  int RowCount() const;
  // Beside the main window (right of it, else left, else below), on its screen.
  void PlaceBesideMainWindow();

  QTableView* Table = nullptr;
  SentModel* Model = nullptr;
  PhoneScreen* Screen = nullptr;
  QPlainTextEdit* Details = nullptr;
  QPushButton *CopyPdu = nullptr, *Resend = nullptr, *ResendTo = nullptr, *Delete = nullptr,
              *ClearAll = nullptr;

 public slots:
  void SelectionChange();
  void CopyPduClick();
  void ResendClick();    // the same recipient, centre and mode
  void ResendToClick();  // through the Send/Save dialog
  void DeleteClick();
  void ClearAllClick();

 private:
  mp::record::Record* Record() const;
  // True when `e` may be sent again: asks first when it may have gone out already.
  bool ConfirmResend(const mp::record::Entry& e);
  bool placed_ = false;
};

// A stored TPDU taken apart again for the phone link: TP-DA hex, the body
// (TP-PID onward), the header flag and the report request. False when the
// text is too short to hold them.
struct StoredSubmit {
  std::string destination, body;
  bool header = false, reports = false;
};
bool SplitStoredTpdu(const std::string& tpdu, StoredSubmit& out);
