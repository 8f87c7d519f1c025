// Long texts in the record: one row for every part, rows of an older schema
// kept, and the concatenation reference that does not repeat per recipient.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>

#include "record/Record.h"

using mp::record::Record;
using mp::record::Recorder;

namespace {

class LongTextRecord : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    ::setenv("XDG_CONFIG_HOME", dir.filePath("config").toLocal8Bit().constData(), 1);
    ::setenv("XDG_DATA_HOME", dir.filePath("data").toLocal8Bit().constData(), 1);
  }
  static mp::TransferReport LongReport(bool finished, int reference, mp::Outcome outcome, int sent) {
    mp::TransferReport r;
    r.command = "CMGS";
    r.port = "COM4:";
    r.sca = "00";
    r.tpdu = "71FF05912143F50000A90A050003" + std::string(reference < 16 ? "0" : "") +
             QString::number(reference, 16).toUpper().toStdString() + "0201C2E170";
    r.moreTpdus = {"71FF05912143F50000A907050003000202C2"};
    r.parts = 2;
    r.reference = reference;
    r.finished = finished;
    r.result.outcome = finished ? outcome : mp::Outcome::Pending;
    r.result.parts = 2;
    r.result.partsSent = sent;
    r.ok = outcome == mp::Outcome::Confirmed;
    return r;
  }
  QTemporaryDir dir;
};

TEST_F(LongTextRecord, OneRowForAllPartsWithHowManyWent) {
  Record rec;
  Recorder recorder(rec);
  recorder.Report(LongReport(false, 5, mp::Outcome::Pending, 0));
  recorder.Report(LongReport(true, 5, mp::Outcome::PartlySent, 1));
  const auto rows = rec.List();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].parts, 2);
  EXPECT_EQ(rows[0].partsSent, 1);
  EXPECT_EQ(rows[0].reference, 5);
  EXPECT_EQ(rows[0].state, "partly-sent");
  EXPECT_FALSE(rows[0].ok);
  EXPECT_EQ(rows[0].moreTpdus, "71FF05912143F50000A907050003000202C2");
  EXPECT_EQ(rows[0].recipient, "+12345");
}

// A Resend of the missing parts brings the message's own row up to date:
// while it runs the row keeps the parts that went, and at its end it says
// how the whole message stands. A row deleted meanwhile gets a new one.
TEST_F(LongTextRecord, TheRestOfAPartlySentTextUpdatesItsOwnRow) {
  Record rec;
  Recorder recorder(rec);
  recorder.Report(LongReport(true, 5, mp::Outcome::PartlySent, 1));
  ASSERT_EQ(rec.List().size(), 1u);
  const std::int64_t id = rec.List()[0].id;
  const std::string time = rec.List()[0].time;
  auto resumed = [id](bool finished, mp::Outcome outcome, int sent) {
    mp::TransferReport r = LongReport(finished, 5, outcome, sent);
    r.from = 1;
    r.row = id;
    return r;
  };
  recorder.Report(resumed(false, mp::Outcome::Pending, 0));
  ASSERT_EQ(rec.List().size(), 1u);
  EXPECT_EQ(recorder.ChangedId(), id);
  EXPECT_EQ(rec.List()[0].state, "pending");
  EXPECT_EQ(rec.List()[0].partsSent, 1);
  recorder.Report(resumed(true, mp::Outcome::Confirmed, 2));
  auto rows = rec.List();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].id, id);
  EXPECT_EQ(rows[0].time, time);
  EXPECT_EQ(rows[0].state, "sent");
  EXPECT_EQ(rows[0].partsSent, 2);
  EXPECT_TRUE(rows[0].ok);

  ASSERT_TRUE(rec.Remove(id));
  recorder.Report(resumed(false, mp::Outcome::Pending, 0));
  recorder.Report(resumed(true, mp::Outcome::PartlySent, 1));
  rows = rec.List();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_NE(rows[0].id, id);
  EXPECT_EQ(rows[0].state, "partly-sent");
  EXPECT_EQ(rows[0].partsSent, 1);
}

TEST_F(LongTextRecord, ReferenceFollowsTheRecordPerRecipientAndTheCounterWithout) {
  Record rec;
  // Without the record open: the counter beside its file, moving on.
  EXPECT_EQ(rec.NextReference("05912143F5"), 0);
  EXPECT_EQ(rec.NextReference("05912143F5"), 1);
  ASSERT_TRUE(rec.Open()) << rec.Error();
  // The record's last long text to this recipient leads; another recipient
  // has none yet and takes the counter.
  Recorder recorder(rec);
  recorder.Report(LongReport(true, 255, mp::Outcome::Confirmed, 2));
  EXPECT_EQ(rec.NextReference("05912143F5"), 0);  // after 255 comes 0
  EXPECT_EQ(rec.NextReference("0691214365"), 1);
  // A damaged counter file starts again from 0, and is mended.
  QFile f(QString::fromStdString(rec.CounterPath()));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("garbage");
  f.close();
  EXPECT_EQ(rec.NextReference("0691214365"), 0);
  EXPECT_EQ(rec.NextReference("0691214365"), 1);
  // Long texts to one recipient go round the 256 numbers one by one, so that
  // none repeats within 255 of them.
  recorder.Report(LongReport(true, 245, mp::Outcome::Confirmed, 2));
  std::vector<int> seen;
  for (int i = 0; i < 20; ++i) {
    const int r = rec.NextReference("05912143F5");
    seen.push_back(r);
    recorder.Report(LongReport(true, r, mp::Outcome::Confirmed, 2));
  }
  EXPECT_EQ(seen.front(), 246);
  for (std::size_t i = 1; i < seen.size(); ++i) EXPECT_EQ(seen[i], (seen[i - 1] + 1) & 0xFF);
}

TEST_F(LongTextRecord, RowsOfTheLastSchemaAreKept) {
  const QString file = QString::fromStdString(Record::DefaultPath());
  QDir().mkpath(QFileInfo(file).absolutePath());
  {
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "v3");
    db.setDatabaseName(file);
    ASSERT_TRUE(db.open());
    QSqlQuery q(db);
    for (const char* sql :
         {"CREATE TABLE sent (id INTEGER PRIMARY KEY AUTOINCREMENT, time TEXT NOT NULL, port TEXT NOT NULL DEFAULT '', "
          "device TEXT NOT NULL DEFAULT '', command TEXT NOT NULL DEFAULT '', kind TEXT NOT NULL DEFAULT '', "
          "recipient TEXT NOT NULL DEFAULT '', status INTEGER NOT NULL DEFAULT -1, status_text TEXT NOT NULL "
          "DEFAULT '', ok INTEGER NOT NULL DEFAULT 0, sca TEXT NOT NULL DEFAULT '', tpdu TEXT NOT NULL DEFAULT '', "
          "finished INTEGER NOT NULL DEFAULT 1, number_type INTEGER NOT NULL DEFAULT 0, name_hex TEXT NOT NULL "
          "DEFAULT '', state TEXT NOT NULL DEFAULT '', via TEXT NOT NULL DEFAULT '', gateway_id TEXT NOT NULL "
          "DEFAULT '')",
          "INSERT INTO sent (time, recipient, ok, state, tpdu) VALUES ('2026-01-01T00:00:00Z', '+9', 1, 'sent', "
          "'31FF05912143F50000A905E8329BFD06')",
          "INSERT INTO sent (time, recipient, ok, state) VALUES ('2026-01-02T00:00:00Z', '+8', 0, 'refused')",
          "PRAGMA user_version=3"})
      ASSERT_TRUE(q.exec(sql)) << sql;
  }
  QSqlDatabase::removeDatabase("v3");
  Record rec;
  ASSERT_TRUE(rec.Open()) << rec.Error();
  EXPECT_EQ(rec.Version(), Record::kSchemaVersion);
  const auto rows = rec.List();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].recipient, "+9");
  EXPECT_EQ(rows[1].state, "sent");
  EXPECT_EQ(rows[1].parts, 1);
  EXPECT_EQ(rows[1].partsSent, 1);
  EXPECT_EQ(rows[1].reference, -1);
  EXPECT_EQ(rows[0].partsSent, 0);
}

}  // namespace
