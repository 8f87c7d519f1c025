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
      {"+CNMI: 2,1", "+CNMI: (0-2),(0-3),(0,2),(0-2),(0,1)", "AT+CNMI=2,1,,2\r"},   // unknown ones kept
      {"+CNMI: 2,1,0,2,0", "+CNMI: (0-2),(0-3),(0,2),(0-2),(0,1)", ""},             // keeps them already
      {"+CNMI: 2,1,0,1,0", "+CNMI: (0-2),(0-3),(0,2),(0,1),(0,1)", ""},             // 2 not offered
      {"+CNMI: 2,1,0,1,0", "+CNMI: (0-2),(0-3),(0,2)", ""},                         // no <ds> at all
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
    ::testing::Values(Case{"NoReportAskedNothingAdded", true, false, {"\r\n> ", kSentWithReport}, {kCmgs}},
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

namespace mp::test {
namespace {

// A host that keeps the reports whose PDU it was told to.
struct KeepingHost : RecordingHost {
  std::string keeps;
  bool awaits = false;
  bool StatusReportRead(const PhoneStatusReport& r) override {
    RecordingHost::StatusReportRead(r);
    return r.pdu == keeps;
  }
  bool AwaitsReports() override { return awaits; }
};

const std::string kOtherReport = "0006D70B911326880736F4111011719551401110117195714000";
const std::string kDeliver = "0004039121F300001110117195514005E8329BFD06";

struct Kept {
  const char* what;
  std::vector<std::string> replies;  // after the handshake's OK
  std::vector<std::string> writes;   // every command after AT+CMEE=1
  int read;
  std::vector<int> indexes;  // of the reports handed to the host
};

void PrintTo(const Kept& c, std::ostream* os) { *os << c.what; }

class KeptReports : public ::testing::TestWithParam<Kept> {
 protected:
  void SetUp() override { ::setenv("MIRAPOST_COM4", "/fake/com4", 1); }
  void TearDown() override { ::unsetenv("MIRAPOST_COM4"); }
  std::shared_ptr<FakeLine> line = std::make_shared<FakeLine>();
  KeepingHost host;
  PhoneLink link{host, FakeFactory(line)};
};

TEST_P(KeptReports, OnlyMatchedOnesAreDeleted) {
  const Kept& c = GetParam();
  line->replies = {kOk};
  line->replies.insert(line->replies.end(), c.replies.begin(), c.replies.end());
  host.keeps = kReportPdu;
  EXPECT_EQ(link.ReadKeptReports(), c.read);
  std::vector<std::string> commands(line->writes.begin() + 2, line->writes.end());
  EXPECT_EQ(commands, c.writes);
  std::vector<int> indexes;
  for (const auto& r : host.statusReports) indexes.push_back(r.index);
  EXPECT_EQ(indexes, c.indexes);
  EXPECT_FALSE(link.IsOpen());
}

const std::string kList = "\r\n+CMGL: 1,1,,25\r\n" + kReportPdu + "\r\n+CMGL: 2,1,,21\r\n" + kDeliver +
                          "\r\n+CMGL: 3,1,,25\r\n" + kOtherReport + "\r\n\r\nOK\r\n";

INSTANTIATE_TEST_SUITE_P(
    Phones, KeptReports,
    ::testing::Values(
        Kept{"StatusReportMemory",
             {"\r\n+CPMS: (\"SM\",\"SR\"),(\"SM\"),(\"SM\")\r\n" + kOk, "\r\n+CPMS: \"SM\",3,30,\"SM\",3,30\r\n" + kOk,
              "\r\n+CPMS: 3,30\r\n" + kOk, kList, kOk, "\r\n+CPMS: 3,30\r\n" + kOk},
             {"AT+CPMS=?\r", "AT+CPMS?\r", "AT+CPMS=\"SR\"\r", "AT+CMGL=4\r", "AT+CMGD=1\r", "AT+CPMS=\"SM\"\r"},
             2,
             {1, 3}},
        Kept{"MessagesMemoryOnly",
             {"\r\n+CPMS: (\"SM\"),(\"SM\"),(\"SM\")\r\n" + kOk, kList, kOk},
             {"AT+CPMS=?\r", "AT+CMGL=4\r", "AT+CMGD=1\r"},
             2,
             {1, 3}},
        Kept{"NothingKept",
             {"\r\n+CPMS: (\"SM\"),(\"SM\"),(\"SM\")\r\n" + kOk, kOk},
             {"AT+CPMS=?\r", "AT+CMGL=4\r"},
             0,
             {}},
        Kept{"PhoneWithoutList", {"\r\nERROR\r\n", "\r\nERROR\r\n"}, {"AT+CPMS=?\r", "AT+CMGL=4\r"}, 0, {}}));

TEST(KeptReportsAtConnection, ReadOnlyWhileMessagesWait) {
  ::setenv("MIRAPOST_COM4", "/fake/com4", 1);
  for (bool awaits : {false, true}) {
    auto line = std::make_shared<FakeLine>();
    KeepingHost host;
    host.awaits = awaits;
    PhoneLink link{host, FakeFactory(line)};
    link.SetKeepReports(true);
    line->replies = {kOk, "\r\n+CPMS: (\"SM\"),(\"SM\"),(\"SM\")\r\n" + kOk, kOk};
    ASSERT_TRUE(link.OpenPhone());
    EXPECT_EQ(line->writes.size(), awaits ? 4u : 2u);  // AT+CMGF=0, AT+CMEE=1 and the reading
    link.ClosePhone();
  }
  ::unsetenv("MIRAPOST_COM4");
}

}  // namespace
}  // namespace mp::test
