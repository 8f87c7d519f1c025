#pragma once
// The record of sent messages: every send, save and phonebook write with how
// it ended, kept in SQLite (Qt SQL, QSQLITE) at
// $XDG_DATA_HOME/Corvistan/MIRAPOST.db (default ~/.local/share). The file is
// made with mode 0600 and kept in WAL mode. A commit hands its pages to the
// system (synchronous=NORMAL) and the write-ahead log is flushed to the disk
// right after, on a thread of its own (Flusher): the writer (the window's
// thread) never waits for the disk, a crash of the program loses nothing
// committed, a power cut at most what was committed in the last moment, and
// Close waits for the flush. The schema carries a version
// (PRAGMA user_version) and is brought up to date step by step on Open; a
// file from a newer version is left alone.
//
//   mp::record::Record rec;
//   if (!rec.Open()) warn(rec.Error());
//   mp::record::Recorder recorder(rec);
//   recorder.Report(report);           // from PhoneHost::Transferred
//   for (const auto& e : rec.List()) ...  // newest first
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "phone/PhoneHost.h"
#include "record/Backend.h"
#include "record/Delivery.h"

namespace mp::record {

class Record {
 public:
  static constexpr int kSchemaVersion = record::kSchemaVersion;
  // How long SQLite waits for another program's write lock: the command
  // line waits; the window waits a moment and queues the write instead.
  static constexpr int kDefaultBusyMs = 3000;

  // $XDG_DATA_HOME/Corvistan/MIRAPOST.db, or ~/.local/share/... when unset.
  static std::string DefaultPath();

  explicit Record(std::string path = DefaultPath());
  ~Record();
  Record(const Record&) = delete;
  Record& operator=(const Record&) = delete;

  // Opens (and creates) the database and brings its schema up to date. The
  // folder is made 0700 and the file 0600 (with its WAL and shared memory
  // files); wider modes found are narrowed, each with a notice. The store's
  // module is loaded at the first Open; when it cannot be, Open fails and
  // Error says why.
  bool Open();
  void SetBusyTimeout(int ms) { busyMs_ = ms; }
  // What Open repaired, a sentence each ("... was readable by others; ...").
  const std::vector<std::string>& Notices() const;
  // The kind of the last failure.
  Trouble LastTrouble() const;
  bool IsOpen() const { return store_ && store_->IsOpen(); }
  void Close();
  const std::string& Error() const;
  const std::string& Path() const { return path_; }
  int Version() const;  // the file's schema version, -1 when closed

  // Adds a row (its id and time are filled in when 0 / empty); the new id.
  std::optional<std::int64_t> Add(const Entry& entry);
  // Rewrites the row with entry.id.
  bool Update(const Entry& entry);
  // Newest first; at most `limit` rows when limit > 0.
  std::vector<Entry> List(int limit = 0) const;
  // Newest first, only rows older than `beforeId` (all when 0): at most
  // `limit` of them. A page costs the same wherever it starts.
  std::vector<Entry> Page(std::int64_t beforeId, int limit) const;
  // Newest first, the rows newer than `afterId` (at most `limit`).
  std::vector<Entry> Newer(std::int64_t afterId, int limit) const;
  // Ordered by delivery state, then its time, then id (all ascending or all
  // descending), the rows after `after` (from the first when null): at most
  // `limit`. Paged as Page is, from the row last read.
  std::vector<Entry> ByDelivery(const Entry* after, bool descending, int limit) const;
  std::optional<Entry> Get(std::int64_t id) const;
  bool Remove(std::int64_t id);
  bool Clear();
  // The concatenation reference for the next long text to `destination`
  // (TP-DA hex text): one more than the last one the record holds for that
  // recipient, so that none repeats within 255 long texts to it, across runs.
  // Without the record (closed, off, or no long text to it yet) a small
  // counter kept beside the record's file gives it.
  int NextReference(const std::string& destination);
  std::string CounterPath() const;

  // A delivery report read from the phone: finds the part it is about
  // (record/Delivery.h) and writes what it says into that row. `written`
  // is true only when the row now durably holds the report (matched and
  // committed, or it held it already): only then may the phone's copy go.
  struct Taken {
    Match match;
    bool written = false;
    std::optional<Entry> row;  // the row after the report
  };
  Taken TakeReport(const ReportFacts& report);
  // Whether a sent message still waits for its delivery report.
  bool AwaitsReports() const;
  // How many of a recipient's rows a report looks through, newest first.
  static constexpr int kReportRows = 4000;

 private:
  std::string path_;
  int busyMs_ = kDefaultBusyMs;
  std::unique_ptr<Backend> store_;  // made at the first Open
  std::string loadError_;           // why the store's module could not be loaded
};

// The settings value that turns the record off ("RecordSent", on when absent).
bool Enabled();
void SetEnabled(bool on);

// Keeps transfer reports in a record: a row when a transfer starts, updated
// when it ends (a transfer that ended before it started gets its row then).
// The record is opened at the first report (while the record is on), not
// before. Reports are dropped while the record is off.
//
// Nothing stops silently: when the record cannot be opened or a row cannot
// be written, `tell` hears it once (with the reason and the file) until a
// write succeeds again. With `retry` set, a report that meets another
// program's write lock is kept, in order with the later ones, and written
// when `retry` calls back (RetryNow); the caller then never waits longer than
// the record's busy timeout.
class Recorder {
 public:
  explicit Recorder(Record& record) : record_(record) {}
  void Report(const TransferReport& report);
  // The row of the last report, 0 when none was written.
  std::int64_t LastId() const { return lastId_; }
  // The row the last report changed (added or updated), 0 when none.
  std::int64_t ChangedId() const { return changedId_; }
  Record& Target() { return record_; }

  // Told once for each run of failures: "Cannot write the record of sent
  // messages (FILE): REASON".
  std::function<void(const std::string&)> tell;
  // Asked to call RetryNow after `ms` milliseconds.
  std::function<void(int ms)> retry;
  void RetryNow();
  // Opens the record when it is not open yet (for its window); a problem is
  // told as for a write.
  bool EnsureOpen();
  // Reports waiting for the record's write lock.
  std::size_t Waiting() const { return backlog_.size(); }
  // How often a waiting report is tried before the user is told.
  static constexpr int kRetryMs = 250;
  static constexpr int kTellAfterTries = 12;

 private:
  enum class Result { Done, Busy, Failed };
  Result Apply(const TransferReport& report);
  bool OpenRecord();  // opens it when closed; the repairs made are told
  void Problem(const std::string& why);

  Record& record_;
  Entry pending_;
  std::int64_t lastId_ = 0;
  std::int64_t changedId_ = 0;
  std::deque<TransferReport> backlog_;
  int tries_ = 0;
  bool told_ = false;
};

// A delivery report the phone gave, decoded, matched and written into the
// record (opened when it is not open yet and the record is on). `said` is
// the sentence for the status bar: "Delivered to +358401234567 at 12:03."
// (the centre's time, shown in local time), "Not delivered to ...: why.",
// "Not yet delivered to ...: why.", or why the report was left unmatched.
struct PhoneReportTaken {
  bool decoded = false;
  Record::Taken taken;
  std::string said;
};
PhoneReportTaken TakePhoneReport(Record& record, const PhoneStatusReport& report);

// The row for a report: kind and recipient read from the TPDU as the
// receiving phone does.
Entry EntryFromReport(const TransferReport& report);

}  // namespace mp::record
