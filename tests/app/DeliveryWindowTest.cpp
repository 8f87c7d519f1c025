// Delivery reports in the window: Phone > Check delivery reports reads what
// the phone kept, the status bar says it, and Sent messages shows it.
#include <QAction>

#include "AppFixture.h"
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

}  // namespace
