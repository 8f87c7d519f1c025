#pragma once
// The rows of the "Sent messages" window: a page of the record at a time,
// newest first, fetched as the user scrolls, so that opening the window costs
// the same with ten rows or a hundred thousand. After a send only the row
// that changed is read again. Sorted by the Delivery column, the pages come
// in that order from the record, and a change reads the first page again.
#include <QAbstractTableModel>
#include <cstdint>
#include <functional>
#include <vector>

#include "record/Record.h"

class SentModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { Time, Kind, Recipient, State, Status, Delivery, ColumnCount };
  static constexpr int kPageRows = 256;

  // `record` gives the open record, or null when there is none.
  explicit SentModel(std::function<mp::record::Record*()> record, QObject* parent = nullptr);

  // Forgets every row and reads the first page again.
  void Reset();
  // The row `id` was added or rewritten: shown at the top when new, updated
  // in place when already read.
  void RowChanged(std::int64_t id);
  // Removes row `row` from the view (the record row is removed by the caller).
  void RemoveRowAt(int row);

  const mp::record::Entry* EntryAt(int row) const;
  int RowOf(std::int64_t id) const;  // -1 when not read (yet)

  // How a row ended, in the words the status bar uses for it.
  enum class RowState {
    Unfinished,  // the transfer never ended (the program stopped)
    Sent,
    Saved,       // stored in the SIM
    Written,     // a phonebook entry
    Delivered,   // a delivery report said the recipient has it
    Refused,     // the phone or gateway answered an error: nothing was sent
    Failed,      // it never reached the phone
    MaySent,     // the PDU went out, then nothing: it may have been sent
    Queued,      // a gateway holds it; its outcome is unknown
    PartlySent,  // some parts of a long text went out, others did not
    Other,       // a state this version does not know: shown by its name
  };
  static RowState StateOf(const mp::record::Entry& e);
  // "sent", "saved", "written", "delivered", "refused", "failed", "may have
  // been sent" ("may have been saved" for a save or an entry), "queued,
  // outcome unknown", "partly sent", "unfinished", with " (simulated)" when
  // the simulated phone had it.
  static QString StateText(const mp::record::Entry& e);
  // Refused or failed: the rows shown in red.
  static bool Failed(const mp::record::Entry& e);
  // May have been sent or queued: sending it again may deliver it twice.
  static bool MayBeDuplicate(const mp::record::Entry& e);
  static bool Simulated(const mp::record::Entry& e);
  // The kind as the main window names it: "text", "blinking text",
  // "class 0", "blinking class 0", "hidden", "indicators", ...
  static QString KindText(const mp::record::Entry& e);
  // The delivery report's word and time: "" (no report asked), "pending",
  // "delivered 12:03", "still trying 12:01", "failed 12:05" (local time).
  static QString DeliveryText(const mp::record::Entry& e);
  // Each part's report in plain words: "Part 1: received by the recipient".
  static QString DeliveryDetails(const mp::record::Entry& e);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;
  // Delivery sorts by delivery state and time; any other column shows the
  // rows newest first.
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

 private:
  std::function<mp::record::Record*()> record_;
  std::vector<mp::record::Entry> rows_;  // newest first: ids descending
  bool atEnd_ = true;
  bool byDelivery_ = false;  // sorted by the Delivery column, not newest first
  bool descending_ = false;
  std::vector<mp::record::Entry> NextPage(mp::record::Record& r) const;
};
