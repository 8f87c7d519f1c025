// Delivery reports through mirapost-send and the simulated phone: the phone is
// asked to keep its reports, the next connection reads them, puts each on its
// message in the record and deletes only those from the phone; a phone that
// answers "+CMGS: 0" to everything gets no guessed match.
#include "CliRun.h"

namespace {

class DeliveryReportCli : public CliFixture {};

TEST_F(DeliveryReportCli, KeptReportsReadAtTheNextConnection) {
  struct Row {
    const char* personality;
    int sendsToAnna;
    const char* delivery;  // of Anna's messages after the second run
    const char* says;
  } rows[] = {
      {"", 1, "delivered", "Delivered to +358401234567 at "},
      {"reports", 1, "delivered", "Delivered to +358401234567 at "},
      {"zero-mr", 2, "pending", "fits 2 sent messages; it was left unmatched."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.personality);
    QFile::remove(QString::fromStdString(mp::record::Record::DefaultPath()));
    std::vector<std::string> args;
    if (*row.personality) args = {"--personality", row.personality};
    ASSERT_TRUE(StartPhone(args));
    QStringList first = {"--port", Port()};
    for (int i = 0; i < row.sendsToAnna; ++i)
      first << "--to"
            << "+358401234567";
    CliResult r = RunCli(first + QStringList{"text", "hello"});
    ASSERT_EQ(r.code, 0) << r.err;
    auto rows1 = Recorded();
    ASSERT_EQ(rows1.size(), static_cast<std::size_t>(row.sendsToAnna));
    EXPECT_EQ(rows1[0].delivery, "pending");

    // The next connection reads what the phone kept meanwhile.
    r = RunCli({"--port", Port(), "--to", "+358409999999", "text", "hi"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find(row.says), std::string::npos) << r.err;
    const auto rows2 = Recorded();
    ASSERT_EQ(rows2.size(), static_cast<std::size_t>(row.sendsToAnna) + 1);
    EXPECT_EQ(rows2[0].delivery, "pending");  // the second run's own message
    for (std::size_t i = 1; i < rows2.size(); ++i) EXPECT_EQ(rows2[i].delivery, row.delivery) << i;
    sim_.Stop();
  }
}

}  // namespace

namespace {

TEST_F(DeliveryReportCli, WaitReportTellsDeliveryAndEndsByIt) {
  struct Row {
    std::vector<std::string> phone;
    QStringList extra;
    int code;
    const char* delivery;  // in the JSON line
    int reportStatus;      // -1: null
  } rows[] = {
      {{"--personality", "reports"}, {}, 0, "delivered", 0},
      {{"--report-status", "70"}, {}, 7, "failed", 0x46},
      {{"--report-status", "33"}, {}, 8, "still-trying", 0x21},  // the centre goes on trying past the wait
      {{}, {"--no-report"}, 8, "", -1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.code);
    QFile::remove(QString::fromStdString(mp::record::Record::DefaultPath()));
    ASSERT_TRUE(StartPhone(row.phone));
    const CliResult r = RunCli(row.extra + QStringList{"--port", Port(), "--json", "--wait-report", "1", "--to",
                                                       "+358401234567", "text", "hello"});
    EXPECT_EQ(r.code, row.code) << r.err;
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 1u) << r.out;
    const QJsonObject j = JsonLine(lines[0]);
    EXPECT_EQ(j["result"].toString(), "sent");
    if (*row.delivery) {
      EXPECT_EQ(j["delivery"].toString(), row.delivery) << lines[0];
    } else {
      EXPECT_TRUE(j["delivery"].isNull()) << lines[0];
    }
    if (row.reportStatus >= 0) {
      EXPECT_EQ(j["report_status"].toInt(), row.reportStatus) << lines[0];
      EXPECT_TRUE(j["delivered_at"].isString()) << lines[0];
    } else {
      EXPECT_TRUE(j["report_status"].isNull()) << lines[0];
    }
    sim_.Stop();
  }
  EXPECT_NE(RunCli({"--wait-report", "0", "--to", "1", "text", "x"}).err.find("--wait-report needs"),
            std::string::npos);
}

}  // namespace

namespace {

TEST_F(DeliveryReportCli, ReportsReadsKeptOnesOnDemand) {
  ASSERT_TRUE(StartPhone({"--personality", "reports"}));
  ASSERT_EQ(RunCli({"--port", Port(), "--to", "+358401234567", "text", "hello"}).code, 0);
  CliResult r = RunCli({"--port", Port(), "--json", "reports"});
  ASSERT_EQ(r.code, 0) << r.err;
  auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 1u) << r.out;
  const QJsonObject j = JsonLine(lines[0]);
  EXPECT_TRUE(j["matched"].toBool());
  EXPECT_EQ(j["recipient"].toString(), "+358401234567");
  EXPECT_EQ(j["delivery"].toString(), "delivered");
  EXPECT_TRUE(j["said"].toString().startsWith("Delivered to +358401234567 at ")) << lines[0];
  EXPECT_NE(r.err.find("1 delivery report read from the phone."), std::string::npos) << r.err;
  // Matched and recorded: gone from the phone.
  r = RunCli({"--port", Port(), "--json", "reports"});
  EXPECT_EQ(r.code, 0);
  EXPECT_TRUE(r.out.empty()) << r.out;
  EXPECT_EQ(RunCli({"reports", "now"}).code, 2);
}

}  // namespace
