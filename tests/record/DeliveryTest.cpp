// Delivery reports in the record: numbers written in their several forms,
// the part a report is about (or why none), a long text delivered when all
// its parts are, and rows of older schemas kept.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>
#include <tuple>

#include "record/Delivery.h"
#include "record/Record.h"

using mp::record::Entry;
using mp::record::Match;
using mp::record::PartReport;
using mp::record::ReportFacts;

namespace {

TEST(Delivery, NumbersInTheirForms) {
  struct Row {
    const char *a, *b;
    bool same;
  } rows[] = {
      {"+358401234567", "+358401234567", true},
      {"+358401234567", "358401234567", true},    // type of number unknown
      {"+358401234567", "00358401234567", true},  // international prefix
      {"+358401234567", "0401234567", true},      // national form
      {"0401234567", "+358401234567", true},
      {"+358401234567", "+358401234568", false},
      {"+358401234567", "+448401234567", false},  // two countries, same subscriber digits
      {"+358401234567", "1234567", false},        // too short to stand for it
      {"12345", "+12345", true},
      {"12345", "012345", true},
      {"Corvistan", "Corvistan", true},
      {"Corvistan", "+358401234567", false},
      {"", "", false},
  };
  for (const auto& r : rows) EXPECT_EQ(mp::record::SameNumber(r.a, r.b), r.same) << r.a << " / " << r.b;
  EXPECT_EQ(mp::record::NumberKey("+358401234567"), mp::record::NumberKey("0401234567"));
}

TEST(Delivery, PartsTextSurvivesAndRefusesGarbage) {
  std::vector<PartReport> parts(2);
  parts[0] = {7, 1765190000, mp::record::kDelivered, 1765190100, 0};
  parts[1] = {8, 1765190001, mp::record::kPending, 0, -1};
  const auto back = mp::record::ParseParts(mp::record::FormatParts(parts));
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0].mr, 7);
  EXPECT_EQ(back[0].state, mp::record::kDelivered);
  EXPECT_EQ(back[1].sentUtc, 1765190001);
  for (const char* bad : {"7,1,d,2", "x,1,d,2,0", "300,1,d,2,0", "7,1,d,2,0 junk"})
    EXPECT_TRUE(mp::record::ParseParts(bad).empty()) << bad;
}

// A row of the record that asked for a report: one part per TP-MR, each
// confirmed at `sent`.
Entry Sent(std::int64_t id, const char* recipient, std::vector<int> mrs, long long sent,
           const char* state = mp::record::kPending) {
  Entry e;
  e.id = id;
  e.recipient = recipient;
  e.reportAsked = true;
  std::vector<PartReport> parts;
  for (int mr : mrs) {
    PartReport p;
    p.mr = mr;
    p.sentUtc = sent;
    p.state = state;
    if (std::string(state) != mp::record::kPending) p.status = 0;
    parts.push_back(p);
  }
  e.partReports = mp::record::FormatParts(parts);
  return e;
}

constexpr long long kT = 1765190000;  // when the sends of the table went

struct Case {
  const char* name;
  std::vector<Entry> rows;
  ReportFacts report;
  Match::Kind kind;
  std::int64_t row;
  int part;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class FindPart : public ::testing::TestWithParam<Case> {};

TEST_P(FindPart, PutsTheReportOnItsPartOrNowhere) {
  const Case& c = GetParam();
  const Match m = mp::record::FindPart(c.report, c.rows);
  EXPECT_EQ(m.kind, c.kind) << m.why;
  if (c.kind == Match::Kind::Matched || c.kind == Match::Kind::Repeated) {
    EXPECT_EQ(m.row, c.row);
    EXPECT_EQ(m.part, c.part);
  } else {
    EXPECT_NE(m.why.find("left unmatched"), std::string::npos) << m.why;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Reports, FindPart,
    ::testing::Values(
        Case{"OneSend",
             {Sent(1, "+358401234567", {12}, kT)},
             {12, "+358401234567", kT + 5, kT + 9, 0},
             Match::Kind::Matched,
             1,
             0},
        Case{"NationalFormInTheReport",
             {Sent(1, "+358401234567", {12}, kT)},
             {12, "0401234567", kT, kT, 0},
             Match::Kind::Matched,
             1,
             0},
        Case{"ReferenceSharedByRecipients",
             {Sent(2, "+358401234567", {12}, kT), Sent(1, "+358409999999", {12}, kT)},
             {12, "+358409999999", kT, kT, 0},
             Match::Kind::Matched,
             1,
             0},
        Case{"WrappedReferenceAfterTheFirstWasReported",
             {Sent(9, "+358401234567", {12}, kT + 600), Sent(1, "+358401234567", {12}, kT, mp::record::kDelivered)},
             {12, "+358401234567", kT + 601, kT + 602, 0},
             Match::Kind::Matched,
             9,
             0},
        Case{"SecondPartOfALongText",
             {Sent(4, "+358401234567", {40, 41, 42}, kT)},
             {41, "+358401234567", kT, kT, 0},
             Match::Kind::Matched,
             4,
             1},
        Case{"CentreZoneWrittenWrong",
             {Sent(1, "+358401234567", {12}, kT)},
             {12, "+358401234567", kT - 10 * 3600, kT - 10 * 3600, 0},
             Match::Kind::Matched,
             1,
             0},
        Case{"StillTryingPartTakesItsFinalReport",
             {Sent(1, "+358401234567", {12}, kT, mp::record::kStillTrying)},
             {12, "+358401234567", kT, kT, 0x46},
             Match::Kind::Matched,
             1,
             0},
        Case{"SameReportTwice",
             {Sent(1, "+358401234567", {12}, kT, mp::record::kDelivered)},
             {12, "+358401234567", kT, kT, 0},
             Match::Kind::Repeated,
             1,
             0},
        Case{"PhoneAnsweringZeroToAll",
             {Sent(2, "+358401234567", {0}, kT + 60), Sent(1, "+358401234567", {0}, kT)},
             {0, "+358401234567", kT + 61, kT + 62, 0},
             Match::Kind::Ambiguous,
             0,
             0},
        Case{"ZeroPhoneOneWaiting",
             {Sent(2, "+358401234567", {0}, kT + 60), Sent(1, "+358401234567", {0}, kT, mp::record::kDelivered)},
             {0, "+358401234567", kT + 61, kT + 62, 0},
             Match::Kind::Matched,
             2,
             0},
        Case{"SendDaysFromTheReport",
             {Sent(1, "+358401234567", {12}, kT)},
             {12, "+358401234567", kT + 5 * 86400, kT + 5 * 86400, 0},
             Match::Kind::NoSend,
             0,
             0},
        Case{"OtherReference",
             {Sent(1, "+358401234567", {12}, kT)},
             {13, "+358401234567", kT, kT, 0},
             Match::Kind::NoSend,
             0,
             0},
        Case{"OtherRecipient",
             {Sent(1, "+358401234567", {12}, kT)},
             {12, "+358401234568", kT, kT, 0},
             Match::Kind::NoSend,
             0,
             0},
        Case{"PhoneGaveNoReference",
             {Sent(1, "+358401234567", {-1}, kT)},
             {0, "+358401234567", kT, kT, 0},
             Match::Kind::NoSend,
             0,
             0}));

TEST(Delivery, LongTextDeliveredWhenAllPartsAre) {
  Entry row = Sent(1, "+358401234567", {40, 41}, kT);
  ASSERT_TRUE(mp::record::ApplyReport(row, 1, {41, "+358401234567", kT, kT + 30, 0}));
  EXPECT_EQ(row.delivery, mp::record::kPending);
  ASSERT_TRUE(mp::record::ApplyReport(row, 0, {40, "+358401234567", kT, kT + 20, 0x21}));
  EXPECT_EQ(row.delivery, mp::record::kStillTrying);
  ASSERT_TRUE(mp::record::ApplyReport(row, 0, {40, "+358401234567", kT, kT + 60, 0}));
  EXPECT_EQ(row.delivery, mp::record::kDelivered);
  EXPECT_EQ(row.deliveryTime, "2025-12-08T10:34:20Z");  // the later part's discharge time
  ASSERT_TRUE(mp::record::ApplyReport(row, 1, {41, "+358401234567", kT, kT + 90, 0x41}));
  EXPECT_EQ(row.delivery, mp::record::kFailed);
  EXPECT_FALSE(mp::record::ApplyReport(row, 2, {42, "+358401234567", kT, kT, 0}));
}

class DeliveryRecord : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    ::setenv("XDG_CONFIG_HOME", dir.filePath("config").toLocal8Bit().constData(), 1);
    ::setenv("XDG_DATA_HOME", dir.filePath("data").toLocal8Bit().constData(), 1);
  }
  // A file of an older schema with the rows given, as that version wrote it.
  void OldFile(int version, const std::vector<const char*>& sql) {
    const QString file = QString::fromStdString(mp::record::Record::DefaultPath());
    QDir().mkpath(QFileInfo(file).absolutePath());
    {
      QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "old");
      db.setDatabaseName(file);
      ASSERT_TRUE(db.open());
      QSqlQuery q(db);
      for (const char* s : sql) ASSERT_TRUE(q.exec(s)) << s;
      ASSERT_TRUE(q.exec(QString("PRAGMA user_version=%1").arg(version)));
    }
    QSqlDatabase::removeDatabase("old");
  }
  QTemporaryDir dir;
};

constexpr const char* kV1Table =
    "CREATE TABLE sent (id INTEGER PRIMARY KEY AUTOINCREMENT, time TEXT NOT NULL, port TEXT NOT NULL DEFAULT '', "
    "device TEXT NOT NULL DEFAULT '', command TEXT NOT NULL DEFAULT '', kind TEXT NOT NULL DEFAULT '', "
    "recipient TEXT NOT NULL DEFAULT '', status INTEGER NOT NULL DEFAULT -1, status_text TEXT NOT NULL "
    "DEFAULT '', ok INTEGER NOT NULL DEFAULT 0, sca TEXT NOT NULL DEFAULT '', tpdu TEXT NOT NULL DEFAULT '')";

TEST_F(DeliveryRecord, OlderFilesKeepEveryRow) {
  for (int version : {1, 4}) {
    SCOPED_TRACE(version);
    std::vector<const char*> sql = {kV1Table};
    if (version == 4) {
      sql.push_back("ALTER TABLE sent ADD COLUMN finished INTEGER NOT NULL DEFAULT 1");
      sql.push_back("ALTER TABLE sent ADD COLUMN number_type INTEGER NOT NULL DEFAULT 0");
      sql.push_back("ALTER TABLE sent ADD COLUMN name_hex TEXT NOT NULL DEFAULT ''");
      sql.push_back("ALTER TABLE sent ADD COLUMN state TEXT NOT NULL DEFAULT ''");
      sql.push_back("ALTER TABLE sent ADD COLUMN via TEXT NOT NULL DEFAULT ''");
      sql.push_back("ALTER TABLE sent ADD COLUMN gateway_id TEXT NOT NULL DEFAULT ''");
      sql.push_back("ALTER TABLE sent ADD COLUMN parts INTEGER NOT NULL DEFAULT 1");
      sql.push_back("ALTER TABLE sent ADD COLUMN parts_sent INTEGER NOT NULL DEFAULT 0");
      sql.push_back("ALTER TABLE sent ADD COLUMN reference INTEGER NOT NULL DEFAULT -1");
      sql.push_back("ALTER TABLE sent ADD COLUMN more_tpdus TEXT NOT NULL DEFAULT ''");
    }
    // A send that asked for a report (first octet 31), one that did not (11), a save.
    sql.push_back(
        "INSERT INTO sent (time, command, recipient, ok, tpdu) VALUES ('2026-01-01T00:00:00Z', 'CMGS', "
        "'+12345', 1, '31FF05912143F50000A905E8329BFD06')");
    sql.push_back(
        "INSERT INTO sent (time, command, recipient, ok, tpdu) VALUES ('2026-01-02T00:00:00Z', 'CMGS', "
        "'+12345', 1, '11FF05912143F50000A905E8329BFD06')");
    sql.push_back(
        "INSERT INTO sent (time, command, recipient, ok, tpdu) VALUES ('2026-01-03T00:00:00Z', 'CMGW', "
        "'+12345', 1, '31FF05912143F50000A905E8329BFD06')");
    OldFile(version, sql);
    {
      mp::record::Record rec;
      ASSERT_TRUE(rec.Open()) << rec.Error();
      EXPECT_EQ(rec.Version(), mp::record::Record::kSchemaVersion);
      const auto rows = rec.List();
      ASSERT_EQ(rows.size(), 3u);
      EXPECT_FALSE(rows[0].reportAsked);
      EXPECT_FALSE(rows[1].reportAsked);
      EXPECT_TRUE(rows[2].reportAsked);
      EXPECT_EQ(rows[2].delivery, "");  // no TP-MR was kept: nothing to wait for
      EXPECT_EQ(rows[2].tpdu, "31FF05912143F50000A905E8329BFD06");
      // No report can land on it.
      EXPECT_EQ(rec.TakeReport({0xFF, "+12345", -1, -1, 0}).match.kind, Match::Kind::NoSend);
    }
    QFile::remove(QString::fromStdString(mp::record::Record::DefaultPath()));
  }
}

TEST_F(DeliveryRecord, ReportLandsOnTheSentRowDurably) {
  mp::record::Record rec;
  mp::record::Recorder recorder(rec);
  mp::TransferReport r;
  r.command = "CMGS";
  r.port = "COM4:";
  r.sca = "00";
  r.tpdu = "31FF0C915348103254760000A705E8329BFD06";  // to +358401234567, report asked
  r.finished = true;
  r.ok = true;
  r.result.outcome = mp::Outcome::Confirmed;
  r.messageRefs = {77};
  r.sentUtc = {kT};
  recorder.Report(r);
  ASSERT_EQ(rec.List().size(), 1u);
  EXPECT_EQ(rec.List()[0].delivery, mp::record::kPending);

  const auto taken = rec.TakeReport({77, "0401234567", kT + 3, kT + 8, 0});
  EXPECT_EQ(taken.match.kind, Match::Kind::Matched) << taken.match.why;
  EXPECT_TRUE(taken.written);
  rec.Close();
  ASSERT_TRUE(rec.Open());
  const auto row = rec.List()[0];
  EXPECT_EQ(row.delivery, mp::record::kDelivered);
  EXPECT_EQ(row.deliveryTime, "2025-12-08T10:33:28Z");
  EXPECT_EQ(rec.TakeReport({77, "+358401234567", kT + 3, kT + 8, 0}).match.kind, Match::Kind::Repeated);
}

// Sorted by delivery, page after page from the row last read: every row
// once, in order, either way, however the states and times repeat.
TEST_F(DeliveryRecord, PagesByDeliveryCoverEveryRowInOrder) {
  mp::record::Record rec;
  ASSERT_TRUE(rec.Open()) << rec.Error();
  const char* states[] = {"", "pending", "delivered", "failed", "still-trying"};
  for (int i = 0; i < 23; ++i) {
    mp::record::Entry e;
    e.command = "CMGS";
    e.delivery = states[i % 5];
    e.deliveryTime = e.delivery.empty() ? "" : "2026-01-0" + std::to_string(1 + i % 3) + "T10:00:00Z";
    ASSERT_TRUE(rec.Add(e));
  }
  for (const bool descending : {false, true}) {
    std::vector<mp::record::Entry> all;
    for (;;) {
      const auto page = rec.ByDelivery(all.empty() ? nullptr : &all.back(), descending, 4);
      all.insert(all.end(), page.begin(), page.end());
      if (page.size() < 4) break;
    }
    ASSERT_EQ(all.size(), 23u) << descending;
    auto key = [](const mp::record::Entry& e) { return std::tie(e.delivery, e.deliveryTime, e.id); };
    for (std::size_t i = 1; i < all.size(); ++i)
      EXPECT_TRUE(descending ? key(all[i - 1]) > key(all[i]) : key(all[i - 1]) < key(all[i])) << i;
  }
}

// A gateway's report speaks for the whole message: the row keeps its state
// and time, and a message a gateway still tries is not one the phone's kept
// reports could settle.
TEST_F(DeliveryRecord, GatewayReportsSetTheRowWithoutWaitingOnThePhone) {
  mp::record::Record rec;
  mp::record::Recorder recorder(rec);
  mp::TransferReport r;
  r.command = "CMGS";
  r.via = "kannel";
  r.tpdu = "31FF0B911326880736F40000A705E8329BFD06";  // report asked
  r.result.outcome = mp::Outcome::Queued;
  r.delivery = mp::record::kStillTrying;
  r.deliveryUtc = 1765189948;
  recorder.Report(r);
  ASSERT_EQ(rec.List().size(), 1u);
  EXPECT_EQ(rec.List()[0].delivery, mp::record::kStillTrying);
  EXPECT_EQ(rec.List()[0].deliveryTime, "2025-12-08T10:32:28Z");
  EXPECT_FALSE(rec.AwaitsReports());
  r.finished = r.ok = true;
  r.result.outcome = mp::Outcome::Delivered;
  r.delivery = mp::record::kDelivered;
  recorder.Report(r);
  ASSERT_EQ(rec.List().size(), 1u);
  EXPECT_EQ(rec.List()[0].state, "delivered");
  EXPECT_EQ(rec.List()[0].delivery, mp::record::kDelivered);
}

TEST_F(DeliveryRecord, PhoneReportsSaidAsTheStatusBarSaysThem) {
  ::setenv("TZ", "UTC", 1);
  mp::record::Record rec;
  mp::record::Recorder recorder(rec);
  mp::TransferReport r;
  r.command = "CMGS";
  r.sca = "00";
  r.tpdu = "31FF0B911326880736F40000A705E8329BFD06";  // to +31628870634, report asked
  r.finished = r.ok = true;
  r.result.outcome = mp::Outcome::Confirmed;
  r.messageRefs = {0xD6};
  r.sentUtc = {1294765155};  // when the centre of the report below took it
  recorder.Report(r);
  EXPECT_TRUE(rec.AwaitsReports());
  struct Row {
    const char* pdu;
    const char* said;
    bool written;
  } rows[] = {
      {"0006D60B911326880736F4111011719551401110117195714021",
       "Not yet delivered to +31628870634: the recipient is busy; the centre goes on trying.", true},
      {"0006D60B911326880736F4111011719551401110117195714000", "Delivered to +31628870634 at 16:59.", true},
      {"0006D70B911326880736F4111011719551401110117195714000",
       "The delivery report for +31628870634 (reference 215) fits no sent message waiting for one; it was left "
       "unmatched.",
       false},
      {"0006D6", "A delivery report from the phone could not be read: TPDU too short for a status report.", false},
  };
  for (const auto& row : rows) {
    mp::PhoneStatusReport report;
    report.pdu = row.pdu;
    const auto t = mp::record::TakePhoneReport(rec, report);
    EXPECT_EQ(t.said, row.said);
    EXPECT_EQ(t.taken.written, row.written) << row.pdu;
  }
  EXPECT_FALSE(rec.AwaitsReports());
  EXPECT_EQ(rec.List()[0].delivery, mp::record::kDelivered);
  ::unsetenv("TZ");
}

}  // namespace

namespace {

// 1,000 sends to 3 recipients in turn, TP-MR counting on (and wrapping) over
// all of them; each report arrives `lag` sends later. Every report must land
// on its own send, or (a phone answering "+CMGS: 0") be left unmatched.
struct Tally {
  int matched = 0, wrong = 0, unmatched = 0;
};

Tally ThousandSends(bool zeroPhone, int lag) {
  const char* recipients[] = {"+358401234567", "0409999999", "+358505555555"};
  std::vector<Entry> rows[3];  // by recipient, as the record hands them over
  Tally run;
  auto report = [&](int i) {
    ReportFacts f;
    f.mr = zeroPhone ? 0 : i % 256;
    f.recipient = i % 3 == 1 ? "+358409999999" : recipients[i % 3];  // the centre writes it in full
    f.centreUtc = kT + i;
    f.dischargeUtc = kT + i + 5;
    std::vector<Entry>& mine = rows[i % 3];
    const Match m = mp::record::FindPart(f, mine);
    if (m.kind != Match::Kind::Matched) {
      ++run.unmatched;
      return;
    }
    if (m.row != i + 1) {
      ++run.wrong;
      return;
    }
    ++run.matched;
    mp::record::ApplyReport(mine[static_cast<std::size_t>(i / 3)], m.part, f);
  };
  for (int i = 0; i < 1000; ++i) {
    rows[i % 3].push_back(Sent(i + 1, recipients[i % 3], {zeroPhone ? 0 : i % 256}, kT + i));
    if (i >= lag) report(i - lag);
  }
  for (int i = std::max(0, 1000 - lag); i < 1000; ++i) report(i);
  return run;
}

TEST(Delivery, ThousandSendsEveryReportOnItsRow) {
  for (int lag : {0, 5, 300}) {
    const Tally real = ThousandSends(false, lag);
    EXPECT_EQ(real.matched, 1000) << lag;
    EXPECT_EQ(real.wrong, 0) << lag;
    const Tally zero = ThousandSends(true, lag);
    EXPECT_EQ(zero.wrong, 0) << lag;
    // Reports that come before the next send to the same recipient are sure.
    EXPECT_EQ(zero.matched, lag < 3 ? 1000 : 0) << lag;
  }
}

}  // namespace
