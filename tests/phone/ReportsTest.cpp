// Delivery reports on the phone's side: asking the phone to keep them with
// its other settings unchanged, and the reports read wherever they come in a
// dialogue, handed to the host after the message they may be about.
#include <gtest/gtest.h>

#include <stdlib.h>

#include "Fakes.h"
#include "phone/PhoneLink.h"
#include "phone/Reports.h"

namespace mp::test {
namespace {

TEST(KeepReportsCommand, SetsDsAloneWhereOffered) {
  struct Row {
    const char *now, *offered, *command;  // command "" when none
  } rows[] = {
      {"+CNMI: 2,1,0,0,0", "+CNMI: (0-2),(0-3),(0,2),(0-2),(0,1)", "AT+CNMI=2,1,0,2,0\r"},
      {"+CNMI: 1,2,2,1,1", "+CNMI: (0-3),(0-3),(0-3),(0-2),(0,1)", "AT+CNMI=1,2,2,2,1\r"},
      {"+CNMI: 2,1,0,1", "+CNMI: (0,1,2),(0,1),(0),(0,1,2)", "AT+CNMI=2,1,0,2\r"},  // four values told
      {"+CNMI: 2,1", "+CNMI: (0-2),(0-3),(0,2),(0-2),(0,1)", "AT+CNMI=2,1,,2\r"},      // unknown ones kept
      {"+CNMI: 2,1,0,2,0", "+CNMI: (0-2),(0-3),(0,2),(0-2),(0,1)", ""},               // keeps them already
      {"+CNMI: 2,1,0,1,0", "+CNMI: (0-2),(0-3),(0,2),(0,1),(0,1)", ""},               // 2 not offered
      {"+CNMI: 2,1,0,1,0", "+CNMI: (0-2),(0-3),(0,2)", ""},                           // no <ds> at all
      {"ERROR", "+CNMI: (0-2),(0-3),(0,2),(0-2),(0,1)", ""},
      {"+CNMI: 2,1,0,0,0", "+CPMS: (\"SM\")", ""},
  };
  for (const auto& r : rows) {
    const auto command = KeepReportsCommand(r.now, r.offered);
    EXPECT_EQ(command.value_or(""), r.command) << r.now << " / " << r.offered;
  }
}

TEST(ReportLines, ServiceAndKeptIndex) {
  EXPECT_EQ(SmsService("+CSMS: 1,1,1,1"), 1);
  EXPECT_EQ(SmsService("+CSMS: 0,1,1,1"), 0);
  EXPECT_FALSE(SmsService("+CSMS: x"));
  std::string memory;
  int index = 0;
  EXPECT_TRUE(ParseKeptReport("+CDSI: \"SR\",3", memory, index));
  EXPECT_EQ(memory, "SR");
  EXPECT_EQ(index, 3);
  EXPECT_TRUE(ParseKeptReport("+CDSI: SM, 12", memory, index));
  EXPECT_EQ(index, 12);
  EXPECT_FALSE(ParseKeptReport("+CDSI: \"SR\"", memory, index));
  EXPECT_FALSE(ParseKeptReport("+CDS: 25", memory, index));
}

const std::string kOk = "\r\nOK\r\n";
const std::string kReportPdu = "0006D60B911326880736F4111011719551401110117195714000";
const std::string kCnmiNow = "\r\n+CNMI: 2,1,0,0,0\r\n\r\nOK\r\n";
const std::string kCnmiOffered = "\r\n+CNMI: (0-2),(0-3),(0,2),(0-2),(0,1)\r\n\r\nOK\r\n";
const std::string kCnmiNoKeep = "\r\n+CNMI: (0-2),(0-3),(0,2),(0,1),(0,1)\r\n\r\nOK\r\n";
// A report of an earlier message routed between the PDU and the answer.
const std::string kSentWithReport = "\r\n+CDS: 25\r\n" + kReportPdu + "\r\n\r\n+CMGS: 77\r\n\r\nOK\r\n";

struct Case {
  const char* what;
  bool keep, report;
  std::vector<std::string> replies;  // after the handshake's OK
  std::vector<std::string> writes;   // every command after AT+CMEE=1, in order
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.what; }

class Reports : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override { ::setenv("MIRAPOST_COM4", "/fake/com4", 1); }
  void TearDown() override { ::unsetenv("MIRAPOST_COM4"); }
  std::shared_ptr<FakeLine> line = std::make_shared<FakeLine>();
  RecordingHost host;
  PhoneLink link{host, FakeFactory(line)};
};

TEST_P(Reports, ReadAndHandedOverAfterTheMessage) {
  const Case& c = GetParam();
  line->replies = {kOk};
  line->replies.insert(line->replies.end(), c.replies.begin(), c.replies.end());
  link.SetKeepReports(c.keep);
  const TransferSettings settings{"05912143F5", false, "00", c.report};
  const LinkResult r = link.TransferMessage(settings, false, "0000A905E8329BFD06", 2);
  EXPECT_EQ(r.outcome, Outcome::Confirmed);
  std::vector<std::string> commands;
  for (std::size_t i = 2; i < line->writes.size(); ++i)
    if (line->writes[i].rfind("AT", 0) == 0) commands.push_back(line->writes[i]);
  EXPECT_EQ(commands, c.writes);
  ASSERT_EQ(host.reports.size(), 2u);
  EXPECT_EQ(host.reports.back().messageRefs, std::vector<int>{77});
  ASSERT_EQ(host.statusReports.size(), 1u);
  EXPECT_EQ(host.statusReports[0].pdu, kReportPdu);
  EXPECT_EQ(host.statusReports[0].port, "COM4:");
  EXPECT_EQ(host.reportsBefore[0], 2u);  // after the message's own end
}

const std::string kCmgs = "AT+CMGS=16\r";

INSTANTIATE_TEST_SUITE_P(
    Dialogues, Reports,
    ::testing::Values(
        Case{"NoReportAskedNothingAdded", true, false, {"\r\n> ", kSentWithReport}, {kCmgs}},
        Case{"KeepingOffNothingAdded", false, true, {"\r\n> ", kSentWithReport}, {kCmgs}},
        Case{"PhoneAskedToKeep",
             true,
             true,
             {kCnmiNow, kCnmiOffered, kOk, "\r\n> ", kSentWithReport},
             {"AT+CNMI?\r", "AT+CNMI=?\r", "AT+CNMI=2,1,0,2,0\r", kCmgs}},
        Case{"RoutingPhase2PlusPhoneAcknowledged",
             true,
             true,
             {kCnmiNow, kCnmiNoKeep, "\r\n+CSMS: 1,1,1,1\r\n\r\nOK\r\n", "\r\n> ", kSentWithReport, kOk},
             {"AT+CNMI?\r", "AT+CNMI=?\r", "AT+CSMS?\r", kCmgs, "AT+CNMA\r"}},
        Case{"RoutingPhase2PhoneNotAcknowledged",
             true,
             true,
             {kCnmiNow, kCnmiNoKeep, "\r\n+CSMS: 0,1,1,1\r\n\r\nOK\r\n", "\r\n> ", kSentWithReport},
             {"AT+CNMI?\r", "AT+CNMI=?\r", "AT+CSMS?\r", kCmgs}}));

}  // namespace
}  // namespace mp::test
