// The simulated phone's journal decoded for the "Received by the simulated
// phone" window: one line of each kind, and lines that are no entry.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "dialogs/ReceivedModel.h"

namespace {

using mp::ReceivedEntry;

// Journal lines as the simulated phone writes them (decoded part shortened
// to the fields the window reads).
const char* const kSent =
    R"({"time":"2026-12-07T11:30:49Z","command":"CMGS","length":16,"sca":"00","tpdu":"31FF","result":"+CMGS: 1",)"
    R"("decoded":{"da":"+12345","class":-1,"text":"hello"}})";
const char* const kBlinkClass0Saved =
    R"({"command":"CMGW","length":20,"stat":3,"result":"+CMGW: 2","decoded":{"da":"","class":0,"text":"a\u0001bc\u0001d"}})";
const char* const kHidden =
    R"({"command":"CMGS","result":"+CMGS: 2","decoded":{"da":"+1","class":-1,"text":"\u0000secret"}})";
const char* const kTemplate = R"({"command":"CMGW","stat":2,"result":"+CMGW: 3","decoded":{"da":"","class":0,"text":""}})";
const char* const kIndicator =
    R"({"command":"CMGS","result":"+CMGS: 3","decoded":{"da":"+1","class":-1,"text":"",)"
    R"("indications":[{"kind":"voice","store":false,"count":2},{"kind":"fax","store":true,"count":0}]}})";
const char* const kRefused =
    R"({"command":"CMGS","result":"+CMS ERROR: 304","error":"TPDU has 3 octets, AT+CMGS announced 4"})";
const char* const kEntry =
    R"({"command":"CPBW","memory":"ME","charset":"HEX","index":4,"number":"+3584012345","type":145,)"
    R"("name":"0141016E6E","text":"\u0001A\u0001nn"})";

TEST(ReceivedJournal, EachKindOfEntryDecodedForPeople) {
  struct Case {
    const char* line;
    const char* command;
    const char* status;
    const char* recipient;
    const char* kind;
    const char* marked;
  } cases[] = {
      {kSent, "AT+CMGS", "+CMGS: 1", "+12345", "text", "hello"},
      {kBlinkClass0Saved, "AT+CMGW", "stored sent, +CMGW: 2", "none", "blinking class 0 text", "a[bc]d"},
      {kHidden, "AT+CMGS", "+CMGS: 2", "+1", "hidden text", "secret"},
      {kTemplate, "AT+CMGW", "stored unsent, +CMGW: 3", "none", "class 0 template", ""},
      {kIndicator, "AT+CMGS", "+CMGS: 3", "+1", "indicator control", ""},
      {kRefused, "AT+CMGS", "+CMS ERROR: 304 (invalid PDU mode parameter)", "none", "not decoded", ""},
      {kEntry, "AT+CPBW", "ME location 4", "+3584012345", "blinking phonebook entry", "[A]nn"},
  };
  for (const Case& c : cases) {
    ReceivedEntry e;
    ASSERT_TRUE(mp::ParseJournalLine(c.line, e)) << c.line;
    EXPECT_EQ(e.command, c.command) << c.line;
    EXPECT_EQ(e.status, c.status) << c.line;
    EXPECT_EQ(e.recipient, c.recipient) << c.line;
    EXPECT_EQ(e.kind, c.kind) << c.line;
    EXPECT_EQ(e.MarkedText(), c.marked) << c.line;
  }
  ReceivedEntry sent;
  ASSERT_TRUE(mp::ParseJournalLine(kSent, sent));
  EXPECT_EQ(sent.time.toUTC(), QDateTime(QDate(2026, 12, 7), QTime(11, 30, 49), Qt::UTC));
  ReceivedEntry hidden;
  ASSERT_TRUE(mp::ParseJournalLine(kHidden, hidden));
  EXPECT_TRUE(hidden.hidden);
  ReceivedEntry ind;
  ASSERT_TRUE(mp::ParseJournalLine(kIndicator, ind));
  EXPECT_EQ(ind.indications, (QStringList{"voice mail: on (2 waiting)", "fax: off, message kept"}));
  ReceivedEntry refused;
  ASSERT_TRUE(mp::ParseJournalLine(kRefused, refused));
  EXPECT_EQ(refused.error, "TPDU has 3 octets, AT+CMGS announced 4");
  ReceivedEntry blink;
  ASSERT_TRUE(mp::ParseJournalLine(kBlinkClass0Saved, blink));
  EXPECT_EQ(blink.MarkedHtml(), "a<span style=\"color:#ff0000; text-decoration:underline\">bc</span>d");

  for (const char* bad : {"", "not json", "[1,2]", R"({"result":"OK"})", R"({"command":"CMGS")"}) {
    ReceivedEntry untouched;
    untouched.kind = "kept";
    EXPECT_FALSE(mp::ParseJournalLine(bad, untouched)) << bad;
    EXPECT_EQ(untouched.kind, "kept");
  }
}

TEST(ReceivedJournal, LogoBecomesAPicture) {
  QString rows;
  for (int y = 0; y < 14; ++y) {
    QString row(72, '.');
    if (y == 0) row[0] = '#';
    if (y == 13) row[71] = '#';
    rows += (y ? "," : "") + QString("\"%1\"").arg(row);
  }
  const QByteArray line = QString(R"({"command":"CMGS","result":"+CMGS: 4","decoded":{"da":"+1","class":-1,)"
                                  R"("text":"","logo":{"mcc":"244","mnc":"05","rows":[%1]}}})")
                              .arg(rows)
                              .toUtf8();
  ReceivedEntry e;
  ASSERT_TRUE(mp::ParseJournalLine(line, e));
  EXPECT_EQ(e.kind, "operator logo");
  EXPECT_EQ(e.operatorCode, "MCC 244, MNC 05");
  const QImage image = e.LogoImage(3);
  ASSERT_EQ(image.size(), QSize(216, 42));
  EXPECT_NE(image.pixel(0, 0), image.pixel(3, 0));      // dark point, light point
  EXPECT_EQ(image.pixel(215, 41), image.pixel(2, 2));  // both dark
  EXPECT_TRUE(ReceivedEntry{}.LogoImage().isNull());
}

TEST(ReceivedJournal, ModelReadsTheJournalAgainOnlyWhenItChanged) {
  QTemporaryDir dir;
  const QString path = dir.filePath("journal.jsonl");
  mp::ReceivedModel model;
  EXPECT_FALSE(model.Reload(path));  // no journal yet: nothing
  EXPECT_EQ(model.rowCount(), 0);
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(QByteArray(kSent) + "\n" + "garbage\n" + kEntry + "\n");
  file.flush();
  EXPECT_TRUE(model.Reload(path));
  EXPECT_FALSE(model.Reload(path));
  ASSERT_EQ(model.rowCount(), 2);
  EXPECT_EQ(model.columnCount(), mp::ReceivedModel::ColumnCount);
  EXPECT_EQ(model.data(model.index(0, mp::ReceivedModel::Recipient)).toString(), "+12345");
  EXPECT_EQ(model.data(model.index(1, mp::ReceivedModel::Text)).toString(), "[A]nn");
  EXPECT_EQ(model.headerData(mp::ReceivedModel::Kind, Qt::Horizontal).toString(), "Kind");
  file.write(QByteArray(kHidden) + "\n");
  file.flush();
  EXPECT_TRUE(model.Reload(path));
  EXPECT_EQ(model.data(model.index(2, mp::ReceivedModel::Text)).toString(), "(hidden) secret");
}

}  // namespace
