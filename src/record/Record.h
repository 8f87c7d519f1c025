#pragma once
// The record of sent messages: every send, save and phonebook write with how
// it ended, kept in SQLite (Qt SQL, QSQLITE) at
// $XDG_DATA_HOME/Corvistan/MIRAPOST.db (default ~/.local/share). The file is
// made with mode 0600 and kept in WAL mode with full synchronisation, so a
// crash loses nothing that was committed. The schema carries a version
// (PRAGMA user_version) and is brought up to date step by step on Open; a
// file from a newer version is left alone.
//
//   mp::record::Record rec;
//   if (!rec.Open()) warn(rec.Error());
//   mp::record::Recorder recorder(rec);
//   recorder.Report(report);           // from PhoneHost::Transferred
//   for (const auto& e : rec.List()) ...  // newest first
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "phone/PhoneHost.h"

namespace mp::record {

struct Entry {
  std::int64_t id = 0;
  std::string time;       // UTC, "2026-12-07T11:30:47.123Z"
  std::string port;       // "COM4:"
  std::string device;     // "/dev/ttyUSB0"
  std::string command;    // "CMGS", "CMGW", "CPBW"
  std::string kind;       // what the receiving phone shows: "text", "flash", ... "phonebook"
  std::string recipient;  // "+12345", a description address, or the entry's number
  int status = -1;        // AT+CMGW storage status, -1 otherwise
  std::string statusText; // the final status text (the last one shown while unfinished)
  bool finished = false;  // false: the transfer never ended (the program stopped)
  bool ok = false;        // the phone accepted it
  std::string sca;        // centre address hex text
  std::string tpdu;       // TPDU hex text (messages)
  int numberType = 0;     // phonebook entries: 145 or 129
  std::string nameHex;    // phonebook entries: the name as written
  // How it ended: "pending", "sent", "saved", "refused", "failed",
  // "unconfirmed" (it may have been sent), "queued", "delivered".
  std::string state;
  std::string via;        // a gateway's name when it went through one
  std::string gatewayId;  // the gateway's identifier for it
};

class Record {
 public:
  static constexpr int kSchemaVersion = 3;

  // $XDG_DATA_HOME/Corvistan/MIRAPOST.db, or ~/.local/share/... when unset.
  static std::string DefaultPath();

  explicit Record(std::string path = DefaultPath());
  ~Record();
  Record(const Record&) = delete;
  Record& operator=(const Record&) = delete;

  // Opens (and creates) the database and brings its schema up to date.
  bool Open();
  bool IsOpen() const { return open_; }
  void Close();
  const std::string& Error() const { return error_; }
  const std::string& Path() const { return path_; }
  int Version() const;  // the file's schema version, -1 when closed

  // Adds a row (its id and time are filled in when 0 / empty); the new id.
  std::optional<std::int64_t> Add(const Entry& entry);
  // Rewrites the row with entry.id.
  bool Update(const Entry& entry);
  // Newest first; at most `limit` rows when limit > 0.
  std::vector<Entry> List(int limit = 0) const;
  std::optional<Entry> Get(std::int64_t id) const;
  bool Remove(std::int64_t id);
  bool Clear();

 private:
  bool Migrate();
  bool Exec(const char* sql) const;

  std::string path_;
  std::string connection_;
  bool open_ = false;
  mutable std::string error_;
};

// The settings value that turns the record off ("RecordSent", on when absent).
bool Enabled();
void SetEnabled(bool on);

// Keeps transfer reports in a record: a row when a transfer starts, updated
// when it ends (a transfer that ended before it started gets its row then).
// Reports are dropped while the record is off or not open.
class Recorder {
 public:
  explicit Recorder(Record& record) : record_(record) {}
  void Report(const TransferReport& report);
  // The row of the last report, 0 when none was written.
  std::int64_t LastId() const { return lastId_; }

 private:
  Record& record_;
  Entry pending_;
  std::int64_t lastId_ = 0;
};

// The row for a report: kind and recipient read from the TPDU as the
// receiving phone does.
Entry EntryFromReport(const TransferReport& report);

}  // namespace mp::record
