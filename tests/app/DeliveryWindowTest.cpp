// Delivery reports in the window: Phone > Check delivery reports reads what
// the phone kept, the status bar says it, and Sent messages shows it and
// sorts by it.
#include <QAction>
#include <QHeaderView>
#include <QTableView>
#include <QTest>

#include "AppFixture.h"
#include "app/SentMessages.h"
#include "app/SentModel.h"

namespace {

class DeliveryWindowTest : public AppFixture {};

TEST_F(DeliveryWindowTest, CheckDeliveryReportsSaysAndRecordsThem) {
  ASSERT_TRUE(StartPhone({"--personality", "reports"}));
  Create();
  const mp::TransferSettings report{"05912143F5", false, "00", true};
  EXPECT_EQ(Win->Phone.TransferMessage(report, false, "0000A905E8329BFD06", 2).outcome, mp::Outcome::Confirmed);
  ASSERT_TRUE(Win->SentRecord && Win->SentRecord->IsOpen());
  EXPECT_EQ(Win->SentRecord->List().at(0).delivery, "pending");

  auto* check = Win->findChild<QAction*>("CheckReports1");
  ASSERT_NE(check, nullptr);
  EXPECT_EQ(check->text(), "Check &delivery reports");
  check->trigger();
  EXPECT_TRUE(Win->StatusText().startsWith("Delivered to +12345 at ")) << Win->StatusText().toStdString();
  const mp::record::Entry row = Win->SentRecord->List().at(0);
  EXPECT_EQ(row.delivery, "delivered");
  EXPECT_TRUE(SentModel::DeliveryText(row).startsWith("delivered ")) << SentModel::DeliveryText(row).toStdString();
  EXPECT_EQ(SentModel::DeliveryDetails(row),
            "received by the recipient (" +
                QDateTime::fromString(QString::fromStdString(row.deliveryTime), Qt::ISODate)
                    .toLocalTime()
                    .toString("yyyy-MM-dd HH:mm") +
                ")");
  // Matched and recorded, so gone from the phone.
  check->trigger();
  EXPECT_EQ(Win->StatusText(), "The phone keeps no delivery reports.");
}

// A click on the Delivery header sorts the rows by delivery state, then its
// time; a second click turns the order; another column's header brings back
// the newest first.
TEST_F(DeliveryWindowTest, DeliveryHeaderSortsTheRows) {
  Create();
  ASSERT_TRUE(Win->SentRecorder->EnsureOpen());
  const std::pair<const char*, const char*> rows[] = {
      {"delivered", "2026-01-02T10:00:00Z"}, {"", ""}, {"still-trying", "2026-01-01T09:00:00Z"},
      {"pending", ""}, {"delivered", "2026-01-01T10:00:00Z"}, {"failed", "2026-01-03T10:00:00Z"}};
  for (const auto& [delivery, time] : rows) {
    mp::record::Entry e;
    e.command = "CMGS";
    e.recipient = "+12345";
    e.delivery = delivery;
    e.deliveryTime = time;
    ASSERT_TRUE(Win->SentRecord->Add(e));
  }
  Win->SentMessages1->trigger();
  TSentWin* w = Win->SentWin;
  ASSERT_NE(w, nullptr);
  QHeaderView* header = w->Table->horizontalHeader();
  auto click = [header](int column) {
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(column) + 4, header->height() / 2));
  };
  auto shown = [w] {
    std::vector<std::string> out;
    for (int r = 0; r < w->Model->rowCount(); ++r)
      out.push_back(w->Model->EntryAt(r)->delivery + " " + w->Model->EntryAt(r)->deliveryTime);
    return out;
  };
  const std::vector<std::string> ascending = {" ",
                                              "delivered 2026-01-01T10:00:00Z",
                                              "delivered 2026-01-02T10:00:00Z",
                                              "failed 2026-01-03T10:00:00Z",
                                              "pending ",
                                              "still-trying 2026-01-01T09:00:00Z"};
  const std::vector<std::string> descending(ascending.rbegin(), ascending.rend());
  const std::vector<std::string> newest = {"failed 2026-01-03T10:00:00Z", "delivered 2026-01-01T10:00:00Z",
                                           "pending ",
                                           "still-trying 2026-01-01T09:00:00Z",
                                           " ",
                                           "delivered 2026-01-02T10:00:00Z"};
  EXPECT_EQ(shown(), newest);
  click(SentModel::Delivery);
  EXPECT_EQ(header->sortIndicatorSection(), SentModel::Delivery);
  EXPECT_EQ(shown(), header->sortIndicatorOrder() == Qt::AscendingOrder ? ascending : descending);
  const Qt::SortOrder first = header->sortIndicatorOrder();
  click(SentModel::Delivery);
  EXPECT_NE(header->sortIndicatorOrder(), first);
  EXPECT_EQ(shown(), header->sortIndicatorOrder() == Qt::AscendingOrder ? ascending : descending);
  click(SentModel::Recipient);
  EXPECT_EQ(header->sortIndicatorSection(), SentModel::Time);
  EXPECT_EQ(shown(), newest);
}

}  // namespace
