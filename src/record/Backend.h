#pragma once
// What the record keeps, and the interface of its store: SQLite through Qt
// SQL, in the module mirapost-record.so (record/sqlite/), loaded when the
// record is first opened, so that nothing before that pays for Qt SQL. Only
// Record (record/Record.h) talks to a Backend.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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
  // "unconfirmed" (it may have been sent), "queued", "delivered",
  // "partly-sent" (the first parts of a long text went out, a later one not).
  std::string state;
  std::string via;        // a gateway's name when it went through one
  std::string gatewayId;  // the gateway's identifier for it
  // A long text is one row: `tpdu` holds its first part, `moreTpdus` the
  // others (separated by blanks); `partsSent` counts the confirmed ones from
  // the first; `reference` is the concatenation reference (-1 when none).
  int parts = 1;
  int partsSent = 0;
  int reference = -1;
  std::string moreTpdus;
  // Delivery reports. `reportAsked`: the message asked the centre for one
  // (TP-SRR). `partReports` keeps, for each sent part, its TP-MR, when it
  // went, and what its report said (record/Delivery.h reads and writes it).
  // `delivery` sums up the parts: "" (no report asked), "pending",
  // "delivered", "still-trying" or "failed"; `deliveryTime` is the centre's
  // time of the last report that set it (UTC). `recipientKey` is the last
  // digits of the recipient, by which a report finds its rows.
  bool reportAsked = false;
  std::string partReports;
  std::string delivery;
  std::string deliveryTime;
  std::string recipientKey;
};

// The `via` of what went to the simulated phone: the hosts that started one
// set it on the reports of its device.
inline constexpr const char* kViaSimulated = "simulated phone";

// Why the last operation on the record failed.
enum class Trouble {
  None,
  Busy,   // another program holds its write lock (SQLITE_BUSY / SQLITE_LOCKED)
  Other,  // corrupt, disk full, no permission, ...
};

// The store behind Record; see Record for what each call does.
class Backend {
 public:
  virtual ~Backend() = default;
  virtual bool Open(const std::string& path, int busyMs) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  virtual const std::vector<std::string>& Notices() const = 0;
  virtual Trouble LastTrouble() const = 0;
  virtual const std::string& Error() const = 0;
  virtual int Version() const = 0;
  virtual std::optional<std::int64_t> Add(const Entry& entry) = 0;
  virtual bool Update(const Entry& entry) = 0;
  virtual std::vector<Entry> List(int limit) const = 0;
  virtual std::vector<Entry> Page(std::int64_t beforeId, int limit) const = 0;
  virtual std::vector<Entry> Newer(std::int64_t afterId, int limit) const = 0;
  virtual std::vector<Entry> ByDelivery(const Entry* after, bool descending, int limit) const = 0;
  virtual std::optional<Entry> Get(std::int64_t id) const = 0;
  virtual bool Remove(std::int64_t id) = 0;
  virtual bool Clear() = 0;
  // The concatenation reference of the newest long text to `recipient`.
  virtual std::optional<int> LastReference(const std::string& recipient) const = 0;
  // Newest first, the rows that asked for a delivery report and whose
  // recipient has the key `recipientKey` (at most `limit`).
  virtual std::vector<Entry> ReportRows(const std::string& recipientKey, int limit) const = 0;
  // Whether any row still waits for a delivery report (pending or still trying).
  virtual bool AwaitsReports() const = 0;
};

// The schema version a store writes.
inline constexpr int kSchemaVersion = 5;

// The module's entry: `Backend* mirapost_record_backend()`.
inline constexpr const char* kBackendEntry = "mirapost_record_backend";

}  // namespace mp::record
