// A message of several parts on one connection: the status while parts
// remain, one outcome over all parts, one report for the record.
#include <gtest/gtest.h>

#include <stdlib.h>

#include "Fakes.h"
#include "phone/PhoneLink.h"

namespace mp::test {
namespace {

using S = std::vector<std::string>;

const std::string kOk = "\r\nOK\r\n";
const std::string kPrompt = "\r\n> ";
const std::string kSent = "\r\n+CMGS: 1\r\n\r\nOK\r\n";
const std::string kRefused = "\r\n+CMS ERROR: 500\r\n";

std::vector<Body> ThreeParts() {
  std::vector<Body> parts;
  for (int i = 1; i <= 3; ++i) parts.push_back({"0000A90A0500033F030" + std::to_string(i) + "C2E170", true, 2});
  return parts;
}

struct Case {
  const char* what;
  S replies;  // after the handshake's OK: each part's prompt, echo ends and answer
  Outcome outcome;
  int partsSent;
  std::string last;  // the last status, up to its first sentence or its cause
  std::vector<BeepKind> beeps;
};

class LongTransfer : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override { ::setenv("MIRAPOST_COM4", "/fake/com4", 1); }
  void TearDown() override { ::unsetenv("MIRAPOST_COM4"); }
  std::shared_ptr<FakeLine> line = std::make_shared<FakeLine>();
  RecordingHost host;
  PhoneLink link{host, FakeFactory(line)};
};

TEST_P(LongTransfer, OneConnectionOneOutcomeOneReport) {
  const Case& c = GetParam();
  line->replies = {kOk};
  line->replies.insert(line->replies.end(), c.replies.begin(), c.replies.end());
  const TransferSettings settings{"05912143F5", false, "00", true};
  const LinkResult r = link.TransferParts(settings, ThreeParts(), 0x3F);
  EXPECT_EQ(r.outcome, c.outcome);
  EXPECT_EQ(r.parts, 3);
  EXPECT_EQ(r.partsSent, c.partsSent);
  EXPECT_EQ(host.statuses.back().substr(0, c.last.size()), c.last);
  EXPECT_EQ(host.beeps, c.beeps);
  EXPECT_EQ(line->opens, 1);
  EXPECT_FALSE(link.IsOpen());
  // One report when the first part starts, one at the end, for the whole message.
  ASSERT_EQ(host.reports.size(), 2u);
  const TransferReport& done = host.reports.back();
  EXPECT_TRUE(done.finished);
  EXPECT_EQ(done.parts, 3);
  EXPECT_EQ(done.reference, 0x3F);
  EXPECT_EQ(done.tpdu, "71FF05912143F50000A90A0500033F0301C2E170");
  EXPECT_EQ(done.moreTpdus,
            (S{"71FF05912143F50000A90A0500033F0302C2E170", "71FF05912143F50000A90A0500033F0303C2E170"}));
  EXPECT_EQ(done.result.outcome, c.outcome);
}

const S kPart = {kPrompt, "", "", kSent};
S Parts(int n, const S& tail = {}) {
  S out;
  for (int i = 0; i < n; ++i) out.insert(out.end(), kPart.begin(), kPart.end());
  out.insert(out.end(), tail.begin(), tail.end());
  return out;
}

INSTANTIATE_TEST_SUITE_P(
    Parts, LongTransfer,
    ::testing::Values(
        Case{"all confirmed", Parts(3), Outcome::Confirmed, 3, "Message successfully sent.", {BeepKind::Ok}},
        Case{"the first refused",
             {kPrompt, "", "", kRefused},
             Outcome::Refused,
             0,
             "Failed, ME responded: +CMS ERROR: 500",
             {BeepKind::Exclamation}},
        Case{"the last refused",
             Parts(2, {kPrompt, "", "", kRefused}),
             Outcome::PartlySent,
             2,
             "2 of 3 parts sent; part 3: Failed, ME responded: +CMS ERROR: 500",
             {BeepKind::Exclamation}},
        Case{"silence after the second",
             Parts(1, {kPrompt, "", ""}),
             Outcome::PartlySent,
             1,
             "1 of 3 parts sent; part 2: The phone did not confirm the message",
             {BeepKind::Exclamation}}),
    [](const ::testing::TestParamInfo<Case>& info) {
      std::string name = info.param.what;
      for (char& ch : name)
        if (ch == ' ') ch = '_';
      return name;
    });

TEST(LongTransferStatus, SaysWhichPartWentWhileOthersRemain) {
  ::setenv("MIRAPOST_COM4", "/fake/com4", 1);
  auto line = std::make_shared<FakeLine>();
  RecordingHost host;
  PhoneLink link{host, FakeFactory(line)};
  line->replies = {kOk};
  for (const std::string& r : Parts(3)) line->replies.push_back(r);
  link.TransferParts({"05912143F5", false, "00", true}, ThreeParts(), 1);
  S parts;
  for (const std::string& s : host.statuses)
    if (s.rfind("Message ", 0) == 0) parts.push_back(s);
  EXPECT_EQ(parts, (S{"Message 1 of 3 sent...", "Message 2 of 3 sent...", "Message successfully sent."}));
  ::unsetenv("MIRAPOST_COM4");
}

// A Resend of what went partly: only the parts from `from` go, the earlier
// ones count as sent, and the report names the row it continues. Whatever
// ends it now, even a port that cannot be opened, leaves it partly sent,
// never failed: its first parts did go.
TEST(LongTransferResume, OnlyTheMissingPartsGoAndTheEarlierOnesCount) {
  struct ResumeCase {
    const char* what;
    int from;
    bool opens;
    S replies;  // after the handshake's OK
    Outcome outcome;
    int partsSent;
    std::string last;
    std::size_t sends;  // AT+CMGS commands written
  } cases[] = {
      {"the last part goes", 2, true, Parts(1), Outcome::Confirmed, 3, "Message successfully sent.", 1},
      {"the last part refused again",
       2,
       true,
       {kPrompt, "", "", kRefused},
       Outcome::PartlySent,
       2,
       "2 of 3 parts sent; part 3: Failed, ME responded: +CMS ERROR: 500",
       1},
      {"two parts, the second refused", 1, true, Parts(1, {kPrompt, "", "", kRefused}), Outcome::PartlySent, 2,
       "2 of 3 parts sent; part 3: Failed", 2},
      {"the port cannot be opened", 1, false, {}, Outcome::PartlySent, 1, "1 of 3 parts sent; part 2: Cannot open", 0},
  };
  ::setenv("MIRAPOST_COM4", "/fake/com4", 1);
  for (const ResumeCase& c : cases) {
    SCOPED_TRACE(c.what);
    auto line = std::make_shared<FakeLine>();
    line->openOk = c.opens;
    line->replies = {kOk};
    line->replies.insert(line->replies.end(), c.replies.begin(), c.replies.end());
    RecordingHost host;
    PhoneLink link{host, FakeFactory(line)};
    const LinkResult r = link.TransferParts({"05912143F5", false, "00", true}, ThreeParts(), 0x3F, {c.from, 7});
    EXPECT_EQ(r.outcome, c.outcome);
    EXPECT_EQ(r.partsSent, c.partsSent);
    ASSERT_FALSE(host.statuses.empty());
    EXPECT_EQ(host.statuses.back().substr(0, c.last.size()), c.last) << host.statuses.back();
    std::size_t sends = 0;
    for (const std::string& w : line->writes) sends += w.rfind("AT+CMGS=", 0) == 0;
    EXPECT_EQ(sends, c.sends);
    ASSERT_FALSE(host.reports.empty());
    const TransferReport& done = host.reports.back();
    EXPECT_TRUE(done.finished);
    EXPECT_EQ(done.from, c.from);
    EXPECT_EQ(done.row, 7);
    EXPECT_EQ(done.parts, 3);
    EXPECT_EQ(done.result.partsSent, c.partsSent);
  }
  ::unsetenv("MIRAPOST_COM4");
}

}  // namespace
}  // namespace mp::test
