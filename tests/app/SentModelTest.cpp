// The Sent messages window's rows: read a page at a time as the view asks,
// one row added or updated after a send, states and failures marked.
#include <gtest/gtest.h>

#include <QBrush>
#include <QFont>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <set>

#include "app/SentModel.h"
#include "builders/Messages.h"
#include "builders/Submit.h"
#include "record/Record.h"

namespace {

using mp::record::Entry;

TEST(SentModel, FetchesPagesAndUpdatesOneRow) {
  QTemporaryDir dir;
  mp::record::Record rec(dir.filePath("sent.db").toStdString());
  ASSERT_TRUE(rec.Open()) << rec.Error();
  const int total = 2 * SentModel::kPageRows + 10;
  for (int i = 0; i < total; ++i) {
    Entry e;
    e.command = "CMGS";
    e.recipient = "+" + std::to_string(i);
    ASSERT_TRUE(rec.Add(e));
  }
  SentModel model([&rec] { return &rec; });
  model.Reset();
  EXPECT_EQ(model.rowCount(), SentModel::kPageRows) << "one page at the start";
  EXPECT_EQ(model.EntryAt(0)->recipient, "+" + std::to_string(total - 1));
  while (model.canFetchMore({})) model.fetchMore({});
  ASSERT_EQ(model.rowCount(), total);
  EXPECT_EQ(model.EntryAt(total - 1)->recipient, "+0");

  // A send: its row appears at the top; its end updates that row alone.
  Entry e;
  e.command = "CMGS";
  e.recipient = "+new";
  const std::int64_t id = *rec.Add(e);
  QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
  QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
  QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
  model.RowChanged(id);
  ASSERT_EQ(model.rowCount(), total + 1);
  EXPECT_EQ(model.EntryAt(0)->recipient, "+new");
  e.id = id;
  e.finished = true;
  e.ok = false;
  e.statusText = "Failed, ME responded: +CMS ERROR: 500";
  ASSERT_TRUE(rec.Update(e));
  model.RowChanged(id);
  EXPECT_EQ(inserted.count(), 1);
  EXPECT_EQ(changed.count(), 1);
  EXPECT_EQ(reset.count(), 0);
  EXPECT_EQ(model.data(model.index(0, SentModel::State)).toString(), "failed");
  EXPECT_TRUE(model.data(model.index(0, SentModel::Time), Qt::ForegroundRole).canConvert<QBrush>())
      << "failures are marked";
  EXPECT_TRUE(model.data(model.index(0, 0), Qt::ToolTipRole).toString().contains("PDU: " ));
  model.RemoveRowAt(0);
  EXPECT_EQ(model.RowOf(id), -1);
}

// Every outcome the record keeps, as the status bar says it, each with a look
// of its own and red only where nothing went out.
TEST(SentModel, OutcomesHaveTheirWordsAndLooks) {
  struct Case {
    mp::Outcome outcome;
    const char* command;
    const char* text;
    bool red, askBeforeResend;
  } cases[] = {
      {mp::Outcome::Confirmed, "CMGS", "sent", false, false},
      {mp::Outcome::Confirmed, "CMGW", "saved", false, false},
      {mp::Outcome::Delivered, "CMGS", "delivered", false, false},
      {mp::Outcome::Refused, "CMGS", "refused", true, false},
      {mp::Outcome::NotSent, "CMGS", "failed", true, false},
      {mp::Outcome::Unconfirmed, "CMGS", "may have been sent", false, true},
      {mp::Outcome::Unconfirmed, "CPBW", "may have been saved", false, true},
      {mp::Outcome::Queued, "CMGS", "queued, outcome unknown", false, true},
      {mp::Outcome::PartlySent, "CMGS", "partly sent", false, true},
  };
  QTemporaryDir dir;
  mp::record::Record rec(dir.filePath("sent.db").toStdString());
  ASSERT_TRUE(rec.Open()) << rec.Error();
  for (const Case& c : cases) {
    mp::TransferReport r;
    r.command = c.command;
    r.finished = true;
    r.result.outcome = c.outcome;
    r.ok = r.result.Ok();
    ASSERT_TRUE(rec.Add(mp::record::EntryFromReport(r)));
  }
  SentModel model([&rec] { return &rec; });
  model.Reset();
  ASSERT_EQ(model.rowCount(), static_cast<int>(std::size(cases)));
  const QColor red(0xb0, 0x00, 0x00);
  std::set<std::pair<QString, QString>> looks;
  for (int i = 0; i < model.rowCount(); ++i) {
    const Case& c = cases[std::size(cases) - 1 - i];  // newest first
    SCOPED_TRACE(c.text);
    EXPECT_EQ(model.data(model.index(i, SentModel::State)).toString().toStdString(), c.text);
    const QVariant fg = model.data(model.index(i, SentModel::Time), Qt::ForegroundRole);
    const QVariant font = model.data(model.index(i, SentModel::Time), Qt::FontRole);
    EXPECT_EQ(fg.canConvert<QBrush>() && fg.value<QBrush>().color() == red, c.red);
    EXPECT_EQ(SentModel::Failed(*model.EntryAt(i)), c.red);
    EXPECT_EQ(SentModel::MayBeDuplicate(*model.EntryAt(i)), c.askBeforeResend);
    if (std::string(c.command) != "CMGS") continue;  // looks as a send does
    const QString colour = fg.isValid() ? fg.value<QBrush>().color().name() : QString();
    const QFont f = font.value<QFont>();
    const QString face = font.isValid() ? QString("%1%2").arg(f.bold()).arg(f.italic()) : QString();
    EXPECT_TRUE(looks.insert({colour, face}).second) << "a look of its own";
  }
}

// The kind as the main window names it, read from the TPDU the row keeps.
TEST(SentModel, KindsOfTextMessagesAreNamed) {
  struct Case {
    int type;
    std::string blinkText;
    bool toggles;
    const char* kind;
  } cases[] = {
      {mp::TypeNormal, "hello", false, "text"},
      {mp::TypeNormal, "a\001blink", true, "blinking text"},
      {mp::TypeClass0, "hello", false, "class 0"},
      {mp::TypeClass0, "a\001blink", true, "blinking class 0"},
      {mp::TypeHidden, "secret", false, "hidden"},
  };
  for (const Case& c : cases) {
    const mp::Body body = mp::BuildTextBody(c.type, c.blinkText, c.toggles);
    mp::TransferSettings t;
    t.DestAddress = "05812143F5";
    mp::TransferReport r;
    r.command = "CMGS";
    r.tpdu = mp::SubmitTpdu(t, body.header, body.hex);
    EXPECT_EQ(SentModel::KindText(mp::record::EntryFromReport(r)).toStdString(), c.kind) << c.kind;
  }
}

// Rows written before the record kept a state name have only their flags:
// they still read as what happened, and a phonebook write or a SIM save is
// not called "sent".
TEST(SentModel, OlderRowsWithoutAStateReadByTheirFlags) {
  struct Case {
    const char* command;
    bool finished, ok;
    const char* via;
    const char* state;
  } cases[] = {
      {"CMGS", true, true, "", "sent"},
      {"CMGW", true, true, "", "saved"},
      {"CPBW", true, true, "", "written"},
      {"CMGS", true, false, "", "failed"},
      {"CMGS", false, false, "", "unfinished"},
      {"CMGS", true, true, mp::record::kViaSimulated, "sent (simulated)"},
  };
  for (const Case& c : cases) {
    Entry e;
    e.command = c.command;
    e.finished = c.finished;
    e.ok = c.ok;
    e.via = c.via;
    EXPECT_EQ(SentModel::StateText(e).toStdString(), c.state);
  }
}

// A state that a newer version wrote is shown by its name and asked about
// before a resend, never called a failure.
TEST(SentModel, AnUnknownStateIsNeitherFailedNorSafeToRepeat) {
  Entry e;
  e.command = "CMGS";
  e.finished = true;
  e.state = "some-new-outcome";
  EXPECT_EQ(SentModel::StateText(e).toStdString(), "some-new-outcome");
  EXPECT_FALSE(SentModel::Failed(e));
  EXPECT_TRUE(SentModel::MayBeDuplicate(e));
}

}  // namespace
