// The record of sent messages in SQLite.
#include "record/Record.h"

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

#include "pdu/Reading.h"
#include "record/Flusher.h"
#include "platform/Settings.h"

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
};

constexpr const char* kColumns =
    "id, time, port, device, command, kind, recipient, status, status_text, finished, ok, sca, "
    "tpdu, number_type, name_hex, state, via, gateway_id";

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
}

std::string Now() {
  return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toStdString();
}

}  // namespace

std::string Record::DefaultPath() {
  const char* data = std::getenv("XDG_DATA_HOME");
  std::string base;
  if (data && *data == '/') {
    base = data;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home ? home : "") + "/.local/share";
  }
  return base + "/Corvistan/MIRAPOST.db";
}

Record::Record(std::string path) : path_(std::move(path)) {
  static std::atomic<int> counter{0};
  connection_ = "mirapost-record-" + std::to_string(++counter);
}

Record::~Record() { Close(); }

void Record::Close() {
  flusher_.reset();  // waits for the last flush
  if (!QSqlDatabase::contains(Q(connection_))) return;
  {
    QSqlDatabase db = QSqlDatabase::database(Q(connection_), false);
    db.close();
  }
  QSqlDatabase::removeDatabase(Q(connection_));
  open_ = false;
}

void Record::Failed(const QSqlError& e) const {
  error_ = e.text().toStdString();
  // SQLITE_BUSY (5) and SQLITE_LOCKED (6), extended codes included, as the
  // driver reports them.
  const int code = e.nativeErrorCode().toInt() & 0xff;
  trouble_ = code == 5 || code == 6 ? Trouble::Busy : Trouble::Other;
}

bool Record::Exec(const char* sql) const {
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

void Record::Narrow() {
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

bool Record::Open() {
  Close();
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

int Record::Version() const {
  if (!QSqlDatabase::contains(Q(connection_))) return -1;
  QSqlQuery q(QSqlDatabase::database(Q(connection_), false));
  if (!q.exec("PRAGMA user_version") || !q.next()) return -1;
  return q.value(0).toInt();
}

bool Record::Migrate() {
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

std::optional<std::int64_t> Record::Add(const Entry& entry) {
  if (!open_ || FlushFailed()) return std::nullopt;
  Entry e = entry;
  if (e.time.empty()) e.time = Now();
  QSqlQuery q(QSqlDatabase::database(Q(connection_), false));
  q.prepare(
      "INSERT INTO sent (time, port, device, command, kind, recipient, status, status_text, "
      "finished, ok, sca, tpdu, number_type, name_hex, state, via, gateway_id) VALUES (:time, "
      ":port, :device, :command, :kind, :recipient, :status, :status_text, :finished, :ok, :sca, "
      ":tpdu, :number_type, :name_hex, :state, :via, :gateway_id)");
  Bind(q, e);
  if (!q.exec()) {
    Failed(q.lastError());
    return std::nullopt;
  }
  trouble_ = Trouble::None;
  Written();
  return q.lastInsertId().toLongLong();
}

bool Record::Update(const Entry& e) {
  if (!open_ || FlushFailed()) return false;
  QSqlQuery q(QSqlDatabase::database(Q(connection_), false));
  q.prepare(
      "UPDATE sent SET time = :time, port = :port, device = :device, command = :command, "
      "kind = :kind, recipient = :recipient, status = :status, status_text = :status_text, "
      "finished = :finished, ok = :ok, sca = :sca, tpdu = :tpdu, number_type = :number_type, "
      "name_hex = :name_hex, state = :state, via = :via, gateway_id = :gateway_id WHERE id = :id");
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

std::vector<Entry> Record::List(int limit) const {
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

std::vector<Entry> Record::Page(std::int64_t beforeId, int limit) const {
  std::vector<Entry> out;
  if (!open_ || limit <= 0) return out;
  QSqlQuery q(QSqlDatabase::database(Q(connection_), false));
  q.setForwardOnly(true);
  q.prepare(QString("SELECT %1 FROM sent WHERE id < :before ORDER BY id DESC LIMIT :limit").arg(kColumns));
  q.bindValue(":before", static_cast<qlonglong>(beforeId > 0 ? beforeId : INT64_MAX));
  q.bindValue(":limit", limit);
  if (!q.exec()) {
    Failed(q.lastError());
    return out;
  }
  out.reserve(static_cast<std::size_t>(limit));
  while (q.next()) out.push_back(FromQuery(q));
  return out;
}

std::vector<Entry> Record::Newer(std::int64_t afterId, int limit) const {
  std::vector<Entry> out;
  if (!open_ || limit <= 0) return out;
  QSqlQuery q(QSqlDatabase::database(Q(connection_), false));
  q.setForwardOnly(true);
  q.prepare(QString("SELECT %1 FROM sent WHERE id > :after ORDER BY id DESC LIMIT :limit").arg(kColumns));
  q.bindValue(":after", static_cast<qlonglong>(afterId));
  q.bindValue(":limit", limit);
  if (!q.exec()) {
    Failed(q.lastError());
    return out;
  }
  while (q.next()) out.push_back(FromQuery(q));
  return out;
}

std::optional<Entry> Record::Get(std::int64_t id) const {
  if (!open_) return std::nullopt;
  QSqlQuery q(QSqlDatabase::database(Q(connection_), false));
  q.prepare(QString("SELECT %1 FROM sent WHERE id = :id").arg(kColumns));
  q.bindValue(":id", static_cast<qlonglong>(id));
  if (!q.exec() || !q.next()) return std::nullopt;
  return FromQuery(q);
}

bool Record::Remove(std::int64_t id) {
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

bool Record::Clear() {
  if (!open_ || FlushFailed() || !Exec("DELETE FROM sent")) return false;
  Written();
  return true;
}

bool Record::FlushFailed() {
  const int e = flusher_ ? flusher_->TakeError() : 0;
  if (e == 0) return false;
  error_ = std::string("the system could not keep the last rows on the disk (") + std::strerror(e) + ")";
  trouble_ = Trouble::Other;
  return true;
}

void Record::Written() {
  if (flusher_) flusher_->Request();
}

bool Enabled() {
  SettingsKey key;
  if (!key.Open(false)) return true;
  const auto value = key.ReadInteger("RecordSent");
  return !value || *value != 0;
}

void SetEnabled(bool on) {
  SettingsKey key;
  if (!key.Open(true)) return;
  key.WriteInteger("RecordSent", on ? 1 : 0);
  key.Close();
}

Entry EntryFromReport(const TransferReport& r) {
  Entry e;
  e.port = r.port;
  e.device = r.device;
  e.command = r.command;
  e.status = r.status;
  e.statusText = r.statusText;
  e.finished = r.finished;
  // A report from a caller that only says ok keeps meaning what it said.
  Outcome outcome = r.result.outcome;
  if (r.finished && outcome == Outcome::Pending) outcome = r.ok ? Outcome::Confirmed : Outcome::NotSent;
  if (!r.finished) outcome = Outcome::Pending;
  e.ok = outcome == Outcome::Confirmed || outcome == Outcome::Delivered;
  e.state = OutcomeName(outcome, r.command == "CMGW");
  e.via = r.via;
  e.gatewayId = r.gatewayId;
  e.sca = r.sca;
  e.tpdu = r.tpdu;
  e.numberType = r.numberType;
  e.nameHex = r.nameHex;
  if (r.command == "CPBW") {
    e.kind = pdu::KindName(pdu::Kind::Phonebook);
    e.recipient = r.number;
  } else {
    const pdu::Reading reading = pdu::ReadTpdu(r.tpdu);
    e.kind = pdu::KindName(reading.kind);
    e.recipient = reading.recipient;
  }
  return e;
}

void Recorder::Problem(const std::string& why) {
  if (told_) return;
  told_ = true;
  if (tell) tell("Cannot write the record of sent messages (" + record_.Path() + "): " + why);
}

bool Recorder::OpenRecord() {
  if (record_.IsOpen()) return true;
  if (!record_.Open()) return false;
  if (tell) {
    for (const std::string& notice : record_.Notices()) tell(notice);
  }
  return true;
}

bool Recorder::EnsureOpen() {
  if (OpenRecord()) return true;
  Problem(record_.Error());
  return false;
}

Recorder::Result Recorder::Apply(const TransferReport& report) {
  auto failed = [this] {
    if (record_.LastTrouble() == Trouble::Busy) return Result::Busy;
    Problem(record_.Error());
    return Result::Failed;
  };
  changedId_ = 0;
  if (!report.finished || pending_.id == 0) {
    // A new transfer (or one that ended before it could start).
    pending_ = {};
    lastId_ = 0;
    if (!Enabled()) return Result::Done;
    if (!OpenRecord()) return failed();
    Entry e = EntryFromReport(report);
    const auto id = record_.Add(e);
    if (!id) return failed();
    lastId_ = changedId_ = *id;
    if (!report.finished) pending_.id = *id;
    told_ = false;
    return Result::Done;
  }
  Entry done = EntryFromReport(report);
  done.id = pending_.id;
  if (auto stored = record_.Get(done.id)) done.time = stored->time;
  if (!record_.Update(done) && record_.LastTrouble() != Trouble::None) return failed();
  changedId_ = done.id;
  pending_ = {};
  told_ = false;
  return Result::Done;
}

void Recorder::Report(const TransferReport& report) {
  if (!backlog_.empty()) {
    // Later reports wait behind the ones that wait for the lock.
    backlog_.push_back(report);
    changedId_ = 0;
    return;
  }
  if (Apply(report) == Result::Busy) {
    if (!retry) {
      Problem(record_.Error() + " (another program holds it)");
      return;
    }
    backlog_.push_back(report);
    tries_ = 0;
    retry(kRetryMs);
  }
}

void Recorder::RetryNow() {
  while (!backlog_.empty()) {
    const Result r = Apply(backlog_.front());
    if (r == Result::Busy) {
      if (++tries_ == kTellAfterTries)
        Problem("another program holds it; the rows are written as soon as it lets go");
      if (retry) retry(tries_ < kTellAfterTries ? kRetryMs : 4 * kRetryMs);
      return;
    }
    backlog_.pop_front();
    tries_ = 0;
  }
}

}  // namespace mp::record
