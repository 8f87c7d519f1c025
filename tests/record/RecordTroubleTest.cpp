// A record that cannot be written never stops a send silently: a corrupt
// file, a full file system and another program's write lock each reach the
// user once; the lock's writes wait in order and are written later. Modes
// that are too wide are narrowed with a notice, and pages of rows read the
// same wherever they start.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <functional>

#include "record/Record.h"

using mp::record::Entry;
using mp::record::Record;
using mp::record::Recorder;

namespace {

mp::TransferReport Sent(bool finished) {
  mp::TransferReport r;
  r.command = "CMGS";
  r.port = "COM4:";
  r.sca = "00";
  r.tpdu = "31FF05912143F50000A905E8329BFD06";
  r.finished = finished;
  r.ok = finished;
  r.statusText = finished ? "Message successfully sent." : "";
  return r;
}

mode_t Mode(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
}

class RecordTrouble : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    ::setenv("XDG_CONFIG_HOME", dir.filePath("config").toLocal8Bit().constData(), 1);
    ::setenv("XDG_DATA_HOME", dir.filePath("data").toLocal8Bit().constData(), 1);
    path = Record::DefaultPath();
    folder = dir.filePath("data/Corvistan").toStdString();
  }
  QTemporaryDir dir;
  std::string path, folder;
};

TEST_F(RecordTrouble, FolderAndFilesArePrivateAndRepairedWithANotice) {
  {
    Record rec;
    ASSERT_TRUE(rec.Open()) << rec.Error();
    ASSERT_TRUE(rec.Add(Entry{}));
    EXPECT_TRUE(rec.Notices().empty());
  }
  EXPECT_EQ(Mode(folder), 0700u);
  EXPECT_EQ(Mode(path), 0600u);
  // Left wide by an older program or a copy.
  ::chmod(folder.c_str(), 0755);
  ::chmod(path.c_str(), 0644);
  QFile wal(QString::fromStdString(path + "-wal"));
  ASSERT_TRUE(wal.open(QIODevice::WriteOnly));
  wal.close();
  ::chmod((path + "-wal").c_str(), 0644);
  Record rec;
  ASSERT_TRUE(rec.Open()) << rec.Error();
  EXPECT_EQ(Mode(folder), 0700u);
  EXPECT_EQ(Mode(path), 0600u);
  EXPECT_EQ(Mode(path + "-wal"), 0600u);
  ASSERT_EQ(rec.Notices().size(), 3u);
  EXPECT_NE(rec.Notices()[0].find(folder), std::string::npos);
  EXPECT_NE(rec.Notices()[1].find(path + ")"), std::string::npos);
  // The recorder passes them on when it opens the record.
  rec.Close();
  ::chmod(path.c_str(), 0640);
  Recorder recorder(rec);
  std::vector<std::string> told;
  recorder.tell = [&told](const std::string& t) { told.push_back(t); };
  recorder.Report(Sent(true));
  ASSERT_EQ(told.size(), 1u);
  EXPECT_NE(told[0].find("now for you alone (0600)"), std::string::npos) << told[0];
}

// Each trouble: the report is made (the send is not stopped), the user is told
// once with the file and the reason, and nothing is written.
TEST_F(RecordTrouble, EachTroubleIsToldOnce) {
  struct Case {
    const char* what;
    std::function<void()> spoil;    // before the reports
    std::function<void()> restore;  // after them
    const char* reason;             // part of what the user is told
  } cases[] = {
      {"corrupt record",
       [this] {
         QDir().mkpath(QString::fromStdString(folder));
         QFile f(QString::fromStdString(path));
         ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
         f.write(QByteArray(8192, 'x'));
       },
       [] {}, "not a database"},
      {"full file system",
       [] {
         ::signal(SIGXFSZ, SIG_IGN);
         rlimit small{1, RLIM_INFINITY};
         rlimit old{};
         ::getrlimit(RLIMIT_FSIZE, &old);
         small.rlim_max = old.rlim_max;
         ::setrlimit(RLIMIT_FSIZE, &small);
       },
       [] {
         rlimit old{};
         ::getrlimit(RLIMIT_FSIZE, &old);
         old.rlim_cur = old.rlim_max;
         ::setrlimit(RLIMIT_FSIZE, &old);
       },
       ""},
  };
  for (const Case& c : cases) {
    QDir(QString::fromStdString(folder)).removeRecursively();
    if (std::string(c.what) == "full file system") {
      Record made;  // an existing record that can no longer grow
      ASSERT_TRUE(made.Open()) << made.Error();
    }
    c.spoil();
    Record rec;
    Recorder recorder(rec);
    std::vector<std::string> told;
    recorder.tell = [&told](const std::string& t) { told.push_back(t); };
    recorder.Report(Sent(false));
    recorder.Report(Sent(true));
    recorder.Report(Sent(true));
    c.restore();
    ASSERT_EQ(told.size(), 1u) << c.what;
    EXPECT_EQ(told[0].rfind("Cannot write the record of sent messages (" + path + "): ", 0), 0u) << told[0];
    EXPECT_NE(told[0].find(c.reason), std::string::npos) << told[0];
    EXPECT_EQ(recorder.LastId(), 0) << c.what;
  }
}

TEST_F(RecordTrouble, AnotherProgramsLockQueuesTheRowsInOrder) {
  Record rec;
  rec.SetBusyTimeout(5);
  ASSERT_TRUE(rec.Open()) << rec.Error();
  QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "other");
  other.setDatabaseName(QString::fromStdString(path));
  ASSERT_TRUE(other.open());
  ASSERT_TRUE(QSqlQuery(other).exec("BEGIN IMMEDIATE"));

  Recorder recorder(rec);
  std::vector<std::string> told;
  int asked = 0;
  recorder.tell = [&told](const std::string& t) { told.push_back(t); };
  recorder.retry = [&asked](int) { ++asked; };
  recorder.Report(Sent(false));
  recorder.Report(Sent(true));
  mp::TransferReport second = Sent(true);
  second.statusText = "second";
  recorder.Report(second);
  EXPECT_EQ(recorder.Waiting(), 3u);
  EXPECT_EQ(asked, 1);
  for (int i = 0; i < Recorder::kTellAfterTries + 2; ++i) recorder.RetryNow();
  ASSERT_EQ(told.size(), 1u) << "told once, while it waits";
  EXPECT_NE(told[0].find("another program holds it"), std::string::npos) << told[0];

  ASSERT_TRUE(QSqlQuery(other).exec("COMMIT"));
  recorder.RetryNow();
  EXPECT_EQ(recorder.Waiting(), 0u);
  const auto rows = rec.List();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].statusText, "second");
  EXPECT_TRUE(rows[1].finished && rows[1].ok) << "the start and the end of the first became one row";
  other.close();
  other = QSqlDatabase();
  QSqlDatabase::removeDatabase("other");

  // Without a way to retry (the command line) it is told at once.
  Record cli;
  cli.SetBusyTimeout(5);
  ASSERT_TRUE(cli.Open());
  {
    QSqlDatabase holder = QSqlDatabase::addDatabase("QSQLITE", "holder");
    holder.setDatabaseName(QString::fromStdString(path));
    ASSERT_TRUE(holder.open());
    ASSERT_TRUE(QSqlQuery(holder).exec("BEGIN IMMEDIATE"));
    Recorder once(cli);
    std::vector<std::string> heard;
    once.tell = [&heard](const std::string& t) { heard.push_back(t); };
    once.Report(Sent(true));
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_NE(heard[0].find("another program holds it"), std::string::npos) << heard[0];
    QSqlQuery(holder).exec("ROLLBACK");
    holder.close();
  }
  QSqlDatabase::removeDatabase("holder");
}

TEST_F(RecordTrouble, PagesFollowOneAnother) {
  Record rec;
  ASSERT_TRUE(rec.Open()) << rec.Error();
  std::vector<std::int64_t> ids;
  for (int i = 0; i < 25; ++i) ids.push_back(*rec.Add(Entry{}));
  std::vector<std::int64_t> seen;
  for (std::int64_t before = 0;;) {
    const auto page = rec.Page(before, 10);
    for (const Entry& e : page) seen.push_back(e.id);
    if (page.size() < 10) break;
    before = page.back().id;
  }
  std::reverse(ids.begin(), ids.end());
  EXPECT_EQ(seen, ids);
  const auto newer = rec.Newer(ids[3], 100);
  ASSERT_EQ(newer.size(), 3u);
  EXPECT_EQ(newer.front().id, ids[0]);
}

}  // namespace
