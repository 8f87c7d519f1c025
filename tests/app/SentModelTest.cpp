// The Sent messages window's rows: read a page at a time as the view asks,
// one row added or updated after a send, states and failures marked.
#include <gtest/gtest.h>

#include <QBrush>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "app/SentModel.h"
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

TEST(SentModel, StateTexts) {
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

}  // namespace
