// mirapost-record.so: the record's store in SQLite through Qt SQL (QSQLITE),
// loaded at the record's first Open. It includes only the store's interface
// and the flusher, so that it carries no second copy of the program.
#include "record/Backend.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <atomic>
#include <cstring>
#include <cstdlib>

#include <memory>

#include "record/Flusher.h"

namespace mp::record {

namespace {

// The steps from one schema version to the next; step i leads to version i + 1.
const std::vector<std::vector<const char*>> kMigrations = {
    {"CREATE TABLE sent ("
     " id INTEGER PRIMARY KEY AUTOINCREMENT,"
     " time TEXT NOT NULL,"
     " port TEXT NOT NULL DEFAULT '',"
     " device TEXT NOT NULL DEFAULT '',"
     " command TEXT NOT NULL DEFAULT '',"
     " kind TEXT NOT NULL DEFAULT '',"
     " recipient TEXT NOT NULL DEFAULT '',"
     " status INTEGER NOT NULL DEFAULT -1,"
     " status_text TEXT NOT NULL DEFAULT '',"
     " ok INTEGER NOT NULL DEFAULT 0,"
     " sca TEXT NOT NULL DEFAULT '',"
     " tpdu TEXT NOT NULL DEFAULT '')",
     "CREATE INDEX sent_time ON sent(time)"},
    // Phonebook entries, and transfers that never ended.
    {"ALTER TABLE sent ADD COLUMN finished INTEGER NOT NULL DEFAULT 1",
     "ALTER TABLE sent ADD COLUMN number_type INTEGER NOT NULL DEFAULT 0",
     "ALTER TABLE sent ADD COLUMN name_hex TEXT NOT NULL DEFAULT ''"},
    // How each one ended as a state of its own (an unconfirmed message is
    // neither sent nor failed), and where it went when not to a serial port.
    // Older rows get their state from ok and finished.
    {"ALTER TABLE sent ADD COLUMN state TEXT NOT NULL DEFAULT ''",
     "ALTER TABLE sent ADD COLUMN via TEXT NOT NULL DEFAULT ''",
     "ALTER TABLE sent ADD COLUMN gateway_id TEXT NOT NULL DEFAULT ''",
     "UPDATE sent SET state = CASE WHEN finished = 0 THEN 'pending' WHEN ok = 0 THEN 'failed' "
     "WHEN command = 'CMGW' THEN 'saved' ELSE 'sent' END"},
    // Long texts: one row holds every part, and the concatenation reference
    // is looked up by recipient. Older rows are messages of one part.
    {"ALTER TABLE sent ADD COLUMN parts INTEGER NOT NULL DEFAULT 1",
     "ALTER TABLE sent ADD COLUMN parts_sent INTEGER NOT NULL DEFAULT 0",
     "ALTER TABLE sent ADD COLUMN reference INTEGER NOT NULL DEFAULT -1",
     "ALTER TABLE sent ADD COLUMN more_tpdus TEXT NOT NULL DEFAULT ''", "UPDATE sent SET parts_sent = ok",
     "CREATE INDEX sent_reference ON sent(recipient, id) WHERE reference >= 0"},
    // Delivery reports: per part its TP-MR and what its report said. Older
    // rows kept no TP-MR, so no report can find them; whether they asked for
    // one is read from their first octet (TP-SRR, bit 0x20).
    {"ALTER TABLE sent ADD COLUMN report_asked INTEGER NOT NULL DEFAULT 0",
     "ALTER TABLE sent ADD COLUMN part_reports TEXT NOT NULL DEFAULT ''",
     "ALTER TABLE sent ADD COLUMN delivery TEXT NOT NULL DEFAULT ''",
     "ALTER TABLE sent ADD COLUMN delivery_time TEXT NOT NULL DEFAULT ''",
     "ALTER TABLE sent ADD COLUMN recipient_key TEXT NOT NULL DEFAULT ''",
     "UPDATE sent SET report_asked = 1 WHERE command = 'CMGS' AND length(tpdu) >= 2 AND "
     "upper(substr(tpdu, 1, 1)) IN ('2', '3', '6', '7', 'A', 'B', 'E', 'F')",
     "CREATE INDEX sent_reports ON sent(recipient_key, id) WHERE report_asked = 1"},
};

constexpr const char* kColumns =
    "id, time, port, device, command, kind, recipient, status, status_text, finished, ok, sca, "
    "tpdu, number_type, name_hex, state, via, gateway_id, parts, parts_sent, reference, more_tpdus, report_asked, "
    "part_reports, delivery, delivery_time, "
    "recipient_key";

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QVariant& v) { return v.toString().toStdString(); }

Entry FromQuery(const QSqlQuery& q) {
  Entry e;
  e.id = q.value(0).toLongLong();
  e.time = S(q.value(1));
  e.port = S(q.value(2));
  e.device = S(q.value(3));
  e.command = S(q.value(4));
  e.kind = S(q.value(5));
  e.recipient = S(q.value(6));
  e.status = q.value(7).toInt();
  e.statusText = S(q.value(8));
  e.finished = q.value(9).toInt() != 0;
  e.ok = q.value(10).toInt() != 0;
  e.sca = S(q.value(11));
  e.tpdu = S(q.value(12));
  e.numberType = q.value(13).toInt();
  e.nameHex = S(q.value(14));
  e.state = S(q.value(15));
  e.via = S(q.value(16));
  e.gatewayId = S(q.value(17));
  e.parts = q.value(18).toInt();
  e.partsSent = q.value(19).toInt();
  e.reference = q.value(20).toInt();
  e.moreTpdus = S(q.value(21));
  e.reportAsked = q.value(22).toInt() != 0;
  e.partReports = S(q.value(23));
  e.delivery = S(q.value(24));
  e.deliveryTime = S(q.value(25));
  e.recipientKey = S(q.value(26));
  return e;
}

void Bind(QSqlQuery& q, const Entry& e) {
  q.bindValue(":time", Q(e.time));
  q.bindValue(":port", Q(e.port));
  q.bindValue(":device", Q(e.device));
  q.bindValue(":command", Q(e.command));
  q.bindValue(":kind", Q(e.kind));
  q.bindValue(":recipient", Q(e.recipient));
  q.bindValue(":status", e.status);
  q.bindValue(":status_text", Q(e.statusText));
  q.bindValue(":finished", e.finished ? 1 : 0);
  q.bindValue(":ok", e.ok ? 1 : 0);
  q.bindValue(":sca", Q(e.sca));
  q.bindValue(":tpdu", Q(e.tpdu));
  q.bindValue(":number_type", e.numberType);
  q.bindValue(":name_hex", Q(e.nameHex));
  q.bindValue(":state", Q(e.state));
  q.bindValue(":via", Q(e.via));
  q.bindValue(":gateway_id", Q(e.gatewayId));
  q.bindValue(":parts", e.parts);
  q.bindValue(":parts_sent", e.partsSent);
  q.bindValue(":reference", e.reference);
  q.bindValue(":more_tpdus", Q(e.moreTpdus));
  q.bindValue(":report_asked", e.reportAsked ? 1 : 0);
  q.bindValue(":part_reports", Q(e.partReports));
  q.bindValue(":delivery", Q(e.delivery));
  q.bindValue(":delivery_time", Q(e.deliveryTime));
  q.bindValue(":recipient_key", Q(e.recipientKey));
}

std::string Now() {
  return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toStdString();
}

}  // namespace

class SqlRecord final : public Backend {
 public:
  SqlRecord();
  ~SqlRecord() override;
  bool Open(const std::string& path, int busyMs) override;
  void Close() override;
  bool IsOpen() const override { return open_; }
  const std::vector<std::string>& Notices() const override { return notices_; }
  Trouble LastTrouble() const override { return trouble_; }
  const std::string& Error() const override { return error_; }
  int Version() const override;
  std::optional<std::int64_t> Add(const Entry& entry) override;
  bool Update(const Entry& entry) override;
  std::vector<Entry> List(int limit) const override;
  std::vector<Entry> Page(std::int64_t beforeId, int limit) const override;
  std::vector<Entry> ByDelivery(const Entry* after, bool descending, int limit) const override;
  std::vector<Entry> Newer(std::int64_t afterId, int limit) const override;
  std::optional<Entry> Get(std::int64_t id) const override;
  bool Remove(std::int64_t id) override;
  bool Clear() override;
  std::optional<int> LastReference(const std::string& recipient) const override;
  std::vector<Entry> ReportRows(const std::string& recipientKey, int limit) const override;
  bool AwaitsReports() const override;

 private:
  bool Migrate();
  bool Exec(const char* sql) const;
  // Newest first, at most `limit` rows WHERE `where` (which names :id).
  std::vector<Entry> Rows(const char* where, std::int64_t id, int limit) const;
  bool FlushFailed();  // a flush of an earlier write failed: told as this write's failure
  void Written();      // a write was committed: flushed to the disk a moment later
  void Narrow();
  void Failed(const QSqlError& e) const;

  std::string path_;
  std::string connection_;
  bool open_ = false;
  int busyMs_ = 0;
  mutable std::string error_;
  mutable Trouble trouble_ = Trouble::None;
  std::vector<std::string> notices_;
  std::unique_ptr<Flusher> flusher_;
};

SqlRecord::SqlRecord() {
  static std::atomic<int> counter{0};
  connection_ = "mirapost-record-" + std::to_string(++counter);
}

SqlRecord::~SqlRecord() { Close(); }

void SqlRecord::Close() {
  flusher_.reset();  // waits for the last flush
  if (!QSqlDatabase::contains(Q(connection_))) return;
  {
    QSqlDatabase db = QSqlDatabase::database(Q(connection_), false);
    db.close();
  }
  QSqlDatabase::removeDatabase(Q(connection_));
  open_ = false;
}

void SqlRecord::Failed(const QSqlError& e) const {
  error_ = e.text().toStdString();
  // SQLITE_BUSY (5) and SQLITE_LOCKED (6), extended codes included, as the
  // driver reports them.
  const int code = e.nativeErrorCode().toInt() & 0xff;
  trouble_ = code == 5 || code == 6 ? Trouble::Busy : Trouble::Other;
}

bool SqlRecord::Exec(const char* sql) const {
  QSqlQuery q(QSqlDatabase::database(Q(connection_), false));
  if (q.exec(QString::fromUtf8(sql))) return true;
  Failed(q.lastError());
  return false;
}

namespace {

// Narrows the mode of `path` (never through a link) to `mode`; true when it
// was wider.
bool NarrowMode(const std::string& path, mode_t mode, bool folder) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | (folder ? O_DIRECTORY : 0));
  if (fd < 0) return false;
  struct stat st {};
  bool narrowed = false;
  if (::fstat(fd, &st) == 0 && (st.st_mode & 0777 & ~mode) != 0 && st.st_uid == ::geteuid())
    narrowed = ::fchmod(fd, mode) == 0;
  ::close(fd);
  return narrowed;
}

}  // namespace

void SqlRecord::Narrow() {
  const std::string folder = QFileInfo(Q(path_)).absolutePath().toStdString();
  if (NarrowMode(folder, 0700, true))
    notices_.push_back("The folder of the record of sent messages (" + folder +
                       ") could be entered by other users; it is now for you alone (0700).");
  for (const char* suffix : {"", "-wal", "-shm"}) {
    const std::string file = path_ + suffix;
    if (NarrowMode(file, 0600, false))
      notices_.push_back("The record of sent messages (" + file +
                         ") could be read by other users; it is now for you alone (0600).");
  }
}

bool SqlRecord::Open(const std::string& path, int busyMs) {
  Close();
  path_ = path;
  busyMs_ = busyMs;
  error_.clear();
  trouble_ = Trouble::Other;
  notices_.clear();
  const QFileInfo info(Q(path_));
  // Parents as the system makes them; the record's own folder for us alone.
  const QString folder = info.absolutePath();
  if (!QFileInfo(folder).isDir()) {
    QDir().mkpath(QFileInfo(folder).absolutePath());
    ::mkdir(folder.toLocal8Bit().constData(), 0700);
  }
  if (!QFileInfo(folder).isDir()) {
    error_ = "cannot make the folder " + folder.toStdString();
    return false;
  }
  // Made here with mode 0600 before SQLite sees it; SQLite gives its WAL and
  // shared memory files the same mode.
  const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    error_ = "cannot open " + path_;
    return false;
  }
  struct stat st {};
  const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  ::close(fd);
  if (!regular) {
    error_ = path_ + " is not a regular file";
    return false;
  }
  Narrow();
  if (!QSqlDatabase::isDriverAvailable("QSQLITE")) {
    error_ = "the SQLite driver of Qt SQL is not installed";
    return false;
  }
  bool connected = false;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", Q(connection_));
    db.setDatabaseName(Q(path_));
    db.setConnectOptions(QString("QSQLITE_BUSY_TIMEOUT=%1").arg(busyMs_));
    connected = db.open();
    if (!connected) Failed(db.lastError());
  }
  open_ = connected && Exec("PRAGMA journal_mode=WAL") && Exec("PRAGMA synchronous=NORMAL") &&
          Migrate();
  if (!open_) {
    const std::string why = error_;
    Close();
    error_ = why;
  } else {
    trouble_ = Trouble::None;
    flusher_ = std::make_unique<Flusher>(path_ + "-wal");
    Written();  // what the schema's steps wrote
  }
  return open_;
}

int SqlRecord::Version() const {
  if (!QSqlDatabase::contains(Q(connection_))) return -1;
  QSqlQuery q(QSqlDatabase::database(Q(connection_), false));
  if (!q.exec("PRAGMA user_version") || !q.next()) return -1;
  return q.value(0).toInt();
}

bool SqlRecord::Migrate() {
  // Each step is one transaction that holds the write lock from its start,
  // so that two programs opening a new record at once (the window and the
  // command line) never both take the same step; a crash leaves the old
  // version whole.
  for (;;) {
    if (!Exec("BEGIN IMMEDIATE")) return false;
    const int version = Version();
    std::string problem;
    if (version < 0) {
      problem = "cannot read the schema version";
    } else if (version > kSchemaVersion) {
      problem = "the record was written by a newer version (schema " + std::to_string(version) + ")";
    } else if (version == kSchemaVersion) {
      return Exec("COMMIT");
    } else {
      bool ok = true;
      for (const char* sql : kMigrations[static_cast<std::size_t>(version)]) ok = ok && Exec(sql);
      const std::string bump = "PRAGMA user_version=" + std::to_string(version + 1);
      if (ok && Exec(bump.c_str()) && Exec("COMMIT")) continue;
      problem = error_;
    }
    Exec("ROLLBACK");
    error_ = problem;
    return false;
  }
}

std::optional<std::int64_t> SqlRecord::Add(const Entry& entry) {
  if (!open_ || FlushFailed()) return std::nullopt;
  Entry e = entry;
  if (e.time.empty()) e.time = Now();
  QSqlQuery q(QSqlDatabase::database(Q(connection_), false));
  q.prepare(
      "INSERT INTO sent (time, port, device, command, kind, recipient, status, status_text, "
      "finished, ok, sca, tpdu, number_type, name_hex, state, via, gateway_id, parts, parts_sent, "
      "reference, more_tpdus, report_asked, part_reports, delivery, delivery_time, recipient_key) VALUES (:time, "
      ":port, :device, :command, :kind, :recipient, :status, :status_text, :finished, :ok, :sca, :tpdu, "
      ":number_type, :name_hex, :state, :via, :gateway_id, :parts, :parts_sent, :reference, :more_tpdus, "
      ":report_asked, :part_reports, :delivery, :delivery_time, :recipient_key)");
  Bind(q, e);
  if (!q.exec()) {
    Failed(q.lastError());
    return std::nullopt;
  }
  trouble_ = Trouble::None;
  Written();
  return q.lastInsertId().toLongLong();
}

bool SqlRecord::Update(const Entry& e) {
  if (!open_ || FlushFailed()) return false;
  QSqlQuery q(QSqlDatabase::database(Q(connection_), false));
  q.prepare(
      "UPDATE sent SET time = :time, port = :port, device = :device, command = :command, "
      "kind = :kind, recipient = :recipient, status = :status, status_text = :status_text, "
      "finished = :finished, ok = :ok, sca = :sca, tpdu = :tpdu, number_type = :number_type, "
      "name_hex = :name_hex, state = :state, via = :via, gateway_id = :gateway_id, parts = :parts, "
      "parts_sent = :parts_sent, reference = :reference, more_tpdus = :more_tpdus, report_asked = :report_asked, "
      "part_reports = :part_reports, delivery = :delivery, delivery_time = :delivery_time, "
      "recipient_key = :recipient_key WHERE id = :id");
  Bind(q, e);
  q.bindValue(":id", static_cast<qlonglong>(e.id));
  if (!q.exec()) {
    Failed(q.lastError());
    return false;
  }
  trouble_ = Trouble::None;
  Written();
  return q.numRowsAffected() == 1;
}

std::vector<Entry> SqlRecord::List(int limit) const {
  std::vector<Entry> out;
  if (!open_) return out;
  QSqlQuery q(QSqlDatabase::database(Q(connection_), false));
  QString sql = QString("SELECT %1 FROM sent ORDER BY id DESC").arg(kColumns);
  if (limit > 0) sql += QString(" LIMIT %1").arg(limit);
  if (!q.exec(sql)) {
    error_ = q.lastError().text().toStdString();
    return out;
  }
  while (q.next()) out.push_back(FromQuery(q));
  return out;
}

std::vector<Entry> SqlRecord::Rows(const char* where, std::int64_t id, int limit) const {
  std::vector<Entry> out;
  if (!open_ || limit <= 0) return out;
  QSqlQuery q(QSqlDatabase::database(Q(connection_), false));
  q.setForwardOnly(true);
  q.prepare(QString("SELECT %1 FROM sent WHERE %2 ORDER BY id DESC LIMIT :limit").arg(kColumns, where));
  q.bindValue(":id", static_cast<qlonglong>(id));
  q.bindValue(":limit", limit);
  if (!q.exec()) {
    Failed(q.lastError());
    return out;
  }
  out.reserve(static_cast<std::size_t>(limit));
  while (q.next()) out.push_back(FromQuery(q));
  return out;
}

std::vector<Entry> SqlRecord::Page(std::int64_t beforeId, int limit) const {
  return Rows("id < :id", beforeId > 0 ? beforeId : INT64_MAX, limit);
}

std::vector<Entry> SqlRecord::ByDelivery(const Entry* after, bool descending, int limit) const {
  std::vector<Entry> out;
  if (!open_ || limit <= 0) return out;
  QSqlQuery q(QSqlDatabase::database(Q(connection_), false));
  q.setForwardOnly(true);
  // The row last read is the page's start: every page costs the same.
  const QString dir = descending ? "DESC" : "ASC";
  const QString where =
      after ? QString("WHERE (delivery, delivery_time, id) %1 (:delivery, :time, :id) ").arg(descending ? "<" : ">")
            : QString();
  q.prepare(QString("SELECT %1 FROM sent %2ORDER BY delivery %3, delivery_time %3, id %3 LIMIT :limit")
                .arg(kColumns, where, dir));
  if (after) {
    q.bindValue(":delivery", Q(after->delivery));
    q.bindValue(":time", Q(after->deliveryTime));
    q.bindValue(":id", static_cast<qlonglong>(after->id));
  }
  q.bindValue(":limit", limit);
  if (!q.exec()) {
    Failed(q.lastError());
    return out;
  }
  while (q.next()) out.push_back(FromQuery(q));
  return out;
}

std::vector<Entry> SqlRecord::Newer(std::int64_t afterId, int limit) const { return Rows("id > :id", afterId, limit); }

std::optional<Entry> SqlRecord::Get(std::int64_t id) const {
  if (!open_) return std::nullopt;
  QSqlQuery q(QSqlDatabase::database(Q(connection_), false));
  q.prepare(QString("SELECT %1 FROM sent WHERE id = :id").arg(kColumns));
  q.bindValue(":id", static_cast<qlonglong>(id));
  if (!q.exec() || !q.next()) return std::nullopt;
  return FromQuery(q);
}

bool SqlRecord::Remove(std::int64_t id) {
  error_.clear();
  if (!open_) return false;
  QSqlQuery q(QSqlDatabase::database(Q(connection_), false));
  q.prepare("DELETE FROM sent WHERE id = :id");
  q.bindValue(":id", static_cast<qlonglong>(id));
  if (FlushFailed()) return false;
  if (!q.exec()) {
    error_ = q.lastError().text().toStdString();
    return false;
  }
  Written();
  return q.numRowsAffected() == 1;
}

bool SqlRecord::Clear() {
  if (!open_ || FlushFailed() || !Exec("DELETE FROM sent")) return false;
  Written();
  return true;
}

std::optional<int> SqlRecord::LastReference(const std::string& recipient) const {
  if (!open_) return std::nullopt;
  QSqlQuery q(QSqlDatabase::database(Q(connection_), false));
  q.prepare("SELECT reference FROM sent WHERE recipient = :recipient AND reference >= 0 ORDER BY id DESC LIMIT 1");
  q.bindValue(":recipient", Q(recipient));
  if (!q.exec() || !q.next()) return std::nullopt;
  return q.value(0).toInt() & 0xFF;
}

std::vector<Entry> SqlRecord::ReportRows(const std::string& recipientKey, int limit) const {
  std::vector<Entry> out;
  if (!open_ || limit <= 0) return out;
  QSqlQuery q(QSqlDatabase::database(Q(connection_), false));
  q.setForwardOnly(true);
  q.prepare(QString("SELECT %1 FROM sent WHERE recipient_key = :key AND report_asked = 1 ORDER BY id DESC "
                    "LIMIT :limit")
                .arg(kColumns));
  q.bindValue(":key", Q(recipientKey));
  q.bindValue(":limit", limit);
  if (!q.exec()) {
    Failed(q.lastError());
    return out;
  }
  while (q.next()) out.push_back(FromQuery(q));
  return out;
}

bool SqlRecord::AwaitsReports() const {
  if (!open_) return false;
  QSqlQuery q(QSqlDatabase::database(Q(connection_), false));
  // Only a phone's parts wait for reports the phone keeps: a gateway's row has
  // no parts, and its report comes through the gateway.
  return q.exec("SELECT 1 FROM sent WHERE report_asked = 1 AND part_reports <> '' AND delivery IN ('pending', "
                "'still-trying') LIMIT 1") &&
         q.next();
}

bool SqlRecord::FlushFailed() {
  const int e = flusher_ ? flusher_->TakeError() : 0;
  if (e == 0) return false;
  error_ = std::string("the system could not keep the last rows on the disk (") + std::strerror(e) + ")";
  trouble_ = Trouble::Other;
  return true;
}

void SqlRecord::Written() {
  if (flusher_) flusher_->Request();
}

}  // namespace mp::record

extern "C" __attribute__((visibility("default"))) mp::record::Backend* mirapost_record_backend() {
  return new mp::record::SqlRecord();
}
