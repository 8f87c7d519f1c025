// The record of sent messages: the file, the schema and its migrations, the
// rows, the reports of the phone link, and a crash in the middle of a send.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <QVariant>

#include "phone/PhoneLink.h"
#include "record/Record.h"
#include "support/SilentHost.h"

using mp::record::Entry;
using mp::record::Record;
using mp::record::Recorder;

namespace {

// Runs SQL on a file outside the record, as an older or newer program
// would; the first value of the last statement.
QString Raw(const std::string& path, const QStringList& statements) {
  QString out;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "raw");
    db.setDatabaseName(QString::fromStdString(path));
    EXPECT_TRUE(db.open());
    for (const QString& sql : statements) {
      QSqlQuery q(db);
      EXPECT_TRUE(q.exec(sql)) << sql.toStdString();
      out = q.next() ? q.value(0).toString() : QString();
    }
  }
  QSqlDatabase::removeDatabase("raw");
  return out;
}

mp::TransferReport Report(bool finished) {
  mp::TransferReport r;
  r.command = "CMGS";
  r.port = "COM4:";
  r.device = "/dev/pts/9";
  r.sca = "00";
  r.tpdu = "31FF05912143F50000A905E8329BFD06";
  r.finished = finished;
  r.ok = finished;
  r.statusText = finished ? "Message successfully sent." : "";
  return r;
}

class RecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    ::setenv("XDG_CONFIG_HOME", dir.filePath("config").toLocal8Bit().constData(), 1);
    ::setenv("XDG_DATA_HOME", dir.filePath("data").toLocal8Bit().constData(), 1);
    path = Record::DefaultPath();
  }
  QTemporaryDir dir;
  std::string path;
};

TEST_F(RecordTest, FileIsPrivateInWalModeWithTheCurrentSchema) {
  EXPECT_EQ(path, dir.filePath("data").toStdString() + "/Corvistan/MIRAPOST.db");
  Record rec;
  ASSERT_TRUE(rec.Open()) << rec.Error();
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(rec.Version(), Record::kSchemaVersion);
  ASSERT_TRUE(rec.Add(Entry{}).has_value());
  EXPECT_EQ(Raw(path, {"PRAGMA journal_mode"}), "wal");
  ASSERT_EQ(::stat((path + "-wal").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0077, 0u);
}

TEST_F(RecordTest, RowsNewestFirstUpdatedRemovedCleared) {
  Record rec;
  ASSERT_TRUE(rec.Open()) << rec.Error();
  std::vector<std::int64_t> ids;
  for (const char* who : {"+1", "+2", "+3"}) {
    Entry e;
    e.recipient = who;
    e.kind = "text";
    auto id = rec.Add(e);
    ASSERT_TRUE(id);
    ids.push_back(*id);
  }
  auto list = rec.List();
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].recipient, "+3");
  EXPECT_EQ(list[2].recipient, "+1");
  EXPECT_FALSE(list[0].time.empty());
  EXPECT_EQ(rec.List(2).size(), 2u);

  Entry changed = list[1];
  changed.statusText = "Message successfully sent.";
  changed.finished = changed.ok = true;
  changed.nameHex = "3a6F";
  ASSERT_TRUE(rec.Update(changed));
  const auto back = rec.Get(ids[1]);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->statusText, "Message successfully sent.");
  EXPECT_TRUE(back->finished && back->ok);
  EXPECT_EQ(back->nameHex, "3a6F");

  EXPECT_TRUE(rec.Remove(ids[0]));
  EXPECT_FALSE(rec.Remove(ids[0]));
  EXPECT_EQ(rec.List().size(), 2u);
  EXPECT_TRUE(rec.Clear());
  EXPECT_TRUE(rec.List().empty());
}

TEST_F(RecordTest, SchemaVersions) {
  const QString file = QString::fromStdString(path);
  QDir().mkpath(QFileInfo(file).absolutePath());
  struct Case {
    const char* name;
    QStringList before;
    bool opens;
    int versionAfter;
    int rowsAfter;
  };
  const QString v1 =
      "CREATE TABLE sent (id INTEGER PRIMARY KEY AUTOINCREMENT, time TEXT NOT NULL, port TEXT NOT "
      "NULL DEFAULT '', device TEXT NOT NULL DEFAULT '', command TEXT NOT NULL DEFAULT '', kind "
      "TEXT NOT NULL DEFAULT '', recipient TEXT NOT NULL DEFAULT '', status INTEGER NOT NULL "
      "DEFAULT -1, status_text TEXT NOT NULL DEFAULT '', ok INTEGER NOT NULL DEFAULT 0, sca TEXT "
      "NOT NULL DEFAULT '', tpdu TEXT NOT NULL DEFAULT '')";
  const Case cases[] = {
      {"version 1 is brought up to date, rows kept",
       {v1, "INSERT INTO sent (time, recipient, ok) VALUES ('2026-01-01T00:00:00Z', '+9', 1)",
        "PRAGMA user_version=1"},
       true, Record::kSchemaVersion, 1},
      {"a newer version is left alone",
       {"CREATE TABLE sent (id INTEGER PRIMARY KEY, future TEXT)", "INSERT INTO sent VALUES (1, 'x')",
        "PRAGMA user_version=99"},
       false, 99, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QFile::remove(file);
    Raw(path, c.before);
    {
      Record rec;
      EXPECT_EQ(rec.Open(), c.opens) << rec.Error();
      if (c.opens) {
        const auto rows = rec.List();
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].recipient, "+9");
        EXPECT_TRUE(rows[0].finished);  // older rows all ended
      } else {
        EXPECT_NE(rec.Error().find("newer"), std::string::npos) << rec.Error();
      }
    }
    EXPECT_EQ(Raw(path, {"PRAGMA user_version"}).toInt(), c.versionAfter);
    EXPECT_EQ(Raw(path, {"SELECT COUNT(*) FROM sent"}).toInt(), c.rowsAfter);
  }
  // A folder in place of the file.
  QFile::remove(file);
  QDir().mkpath(file);
  Record rec;
  EXPECT_FALSE(rec.Open());
  EXPECT_FALSE(rec.Error().empty());
}

TEST_F(RecordTest, RecorderKeepsOneRowPerTransferUnlessTurnedOff) {
  Record rec;
  ASSERT_TRUE(rec.Open()) << rec.Error();
  Recorder recorder(rec);
  recorder.Report(Report(false));
  auto rows = rec.List();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_FALSE(rows[0].finished);
  EXPECT_EQ(rows[0].kind, "text");
  EXPECT_EQ(rows[0].recipient, "+12345");
  recorder.Report(Report(true));
  rows = rec.List();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_TRUE(rows[0].finished && rows[0].ok);
  EXPECT_EQ(rows[0].statusText, "Message successfully sent.");
  EXPECT_EQ(rows[0].device, "/dev/pts/9");
  EXPECT_EQ(rows[0].tpdu, "31FF05912143F50000A905E8329BFD06");

  // A transfer that never got a connection is reported only at its end.
  mp::TransferReport failed = Report(true);
  failed.ok = false;
  failed.statusText = "Cannot open communications port.";
  recorder.Report(failed);
  rows = rec.List();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].statusText, "Cannot open communications port.");
  EXPECT_TRUE(rows[0].finished && !rows[0].ok);
  EXPECT_EQ(rows[1].statusText, "Message successfully sent.");

  mp::record::SetEnabled(false);
  EXPECT_FALSE(mp::record::Enabled());
  recorder.Report(Report(false));
  recorder.Report(Report(true));
  EXPECT_EQ(rec.List().size(), 2u);
  mp::record::SetEnabled(true);
  EXPECT_TRUE(mp::record::Enabled());
}

// A gateway's message: the row is written before the request goes out
// (pending), becomes queued when the gateway takes it, and ends on the same
// row; a kill at any step leaves the row in its last state.
TEST_F(RecordTest, AGatewayMessageKeepsOneRowFromPendingThroughQueuedToItsEnd) {
  Record rec;
  ASSERT_TRUE(rec.Open()) << rec.Error();
  Recorder recorder(rec);
  mp::TransferReport r = Report(false);
  r.via = "kannel:http://127.0.0.1:13013/cgi-bin/sendsms";
  struct Step {
    bool finished;
    mp::Outcome outcome;
    const char* state;
  };
  for (const Step& step : {Step{false, mp::Outcome::Pending, "pending"}, Step{false, mp::Outcome::Queued, "queued"},
                           Step{true, mp::Outcome::Unconfirmed, "unconfirmed"}}) {
    r.finished = step.finished;
    r.result.outcome = step.outcome;
    if (step.outcome == mp::Outcome::Queued) r.gatewayId = "mirapost-abc";
    recorder.Report(r);
    const auto rows = rec.List();
    ASSERT_EQ(rows.size(), 1u) << step.state;
    EXPECT_EQ(rows[0].state, step.state);
    EXPECT_EQ(rows[0].finished, step.finished) << step.state;
  }
  EXPECT_EQ(rec.List()[0].gatewayId, "mirapost-abc");
  // The next message starts a row of its own.
  r.finished = false;
  r.result.outcome = mp::Outcome::Pending;
  recorder.Report(r);
  EXPECT_EQ(rec.List().size(), 2u);
}

// A host that keeps the link's reports in a record, as the windows do.
struct RecordingHost : mp::test::SilentHost {
  explicit RecordingHost(Recorder& r) : recorder(r) {}
  void Transferred(const mp::TransferReport& r) override { recorder.Report(r); }
  Recorder& recorder;
};

TEST_F(RecordTest, SurvivesAKillInTheMiddleOfASend) {
  QProcess child;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("MP_RECORD_CHILD", QString::fromStdString(path));
  env.insert("MIRAPOST_COM4", "/dev/stalling-line");
  child.setProcessEnvironment(env);
  child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  child.start(QCoreApplication::applicationFilePath(), {});
  ASSERT_TRUE(child.waitForStarted(1000));

  // Wait for the unfinished row, then kill the child without warning.
  bool pending = false;
  QElapsedTimer clock;
  clock.start();
  // (The bound is only reached when something is wrong: a sanitizer build
  // under load can take a second or more to start the child.)
  while (!pending && clock.elapsed() < 5000 && child.state() == QProcess::Running) {
    QThread::msleep(10);
    if (QFile::exists(QString::fromStdString(path))) {
      Record look;
      if (look.Open())
        for (const Entry& e : look.List()) pending = pending || !e.finished;
    }
  }
  ASSERT_TRUE(pending) << "the child never started its send";
  ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
  ASSERT_TRUE(child.waitForFinished(2000));
  EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);

  Record rec;
  ASSERT_TRUE(rec.Open()) << rec.Error();
  EXPECT_EQ(Raw(path, {"PRAGMA integrity_check"}), "ok");
  const auto rows = rec.List();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_FALSE(rows[0].finished);
  EXPECT_EQ(rows[0].tpdu, "31FF05912143F50000A905E8329BFD06");
  EXPECT_EQ(rows[0].statusText, "Transferring message to ME...");
  EXPECT_TRUE(rows[1].finished);
  EXPECT_EQ(rows[1].recipient, "+1");
}

}  // namespace

// A phone line that takes every command and then never prompts for the PDU:
// the send waits until the process is killed.
class StallingLine : public mp::SerialLine {
 public:
  bool Open(const std::string&) override { return true; }
  bool Configure() override { return true; }
  bool GetTimeouts(mp::CommTimeouts& t) override { return t = timeouts_, true; }
  bool SetTimeouts(const mp::CommTimeouts& t) override { return timeouts_ = t, true; }
  bool RaiseDtr() override { return true; }
  bool RaiseRts() override { return true; }
  void PurgeInput() override { input_.clear(); }
  bool ReadByte(unsigned char& b) override {
    if (input_.empty()) {
      // Waiting for the prompt: the process stays here until it is killed,
      // whatever the (scaled) time-outs of the test build.
      while (stalled_) QThread::msleep(100);
      QThread::msleep(5);
      return false;
    }
    b = static_cast<unsigned char>(input_.front());
    input_.erase(0, 1);
    return true;
  }
  int Write(const char* data, int length) override {
    const std::string text(data, static_cast<std::size_t>(length));
    if (text.find("AT+CMGS") != std::string::npos) {
      stalled_ = true;
    } else if (text.find("AT") != std::string::npos) {
      input_ += "\r\nOK\r\n";
    }
    return length;
  }
  void Close() override {}

 private:
  mp::CommTimeouts timeouts_{};
  std::string input_;
  bool stalled_ = false;
};

// The killed process: one finished row, then a send that waits for a prompt.
int RecordChild(const char* database) {
  Record rec(database);
  if (!rec.Open()) return 3;
  Entry done;
  done.recipient = "+1";
  done.finished = true;
  if (!rec.Add(done)) return 4;
  Recorder recorder(rec);
  RecordingHost host(recorder);
  mp::PhoneLink link(host, [] { return std::make_unique<StallingLine>(); });
  link.TransferMessage({"05912143F5", false, "00", true}, false, "0000A905E8329BFD06", 2);
  return 5;  // not reached within the test's patience
}
