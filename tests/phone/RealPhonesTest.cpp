// The dialogues against phones that answer as real phones and modems do:
// other line ends, unsolicited lines anywhere, errors instead of the prompt,
// long results, silence after the PDU. Each ends in the right one of the
// three outcomes, with the cause named, and never writes what it must not.
#include <gtest/gtest.h>

#include <stdlib.h>

#include "Fakes.h"
#include "support/CaseName.h"
#include "phone/PhoneLink.h"

namespace mp::test {
namespace {

const std::string kOk = "\r\nOK\r\n";
const std::string kPrompt = "\r\n> ";
const std::string kSent = "\r\n+CMGS: 1\r\n\r\nOK\r\n";
const std::string kReady = "\r\n+CPIN: READY\r\n\r\nOK\r\n";
const std::string kHome = "\r\n+CREG: 0,1\r\n\r\nOK\r\n";
const std::string kCentre = "\r\n+CSCA: \"+358405202000\",145\r\n\r\nOK\r\n";
const std::string kTpdu = "31FF05912143F50000A905E8329BFD06";

class RealPhone : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("MIRAPOST_COM4", "/fake/com4", 1); }
  void TearDown() override { ::unsetenv("MIRAPOST_COM4"); }
  LinkResult Send(bool save = false) {
    return link.TransferMessage({"05912143F5", save, "00", true}, false, "0000A905E8329BFD06", 2);
  }
  bool Wrote(const std::string& text) const {
    return std::find(line->writes.begin(), line->writes.end(), text) != line->writes.end();
  }
  std::shared_ptr<FakeLine> line = std::make_shared<FakeLine>();
  RecordingHost host;
  PhoneLink link{host, FakeFactory(line)};
};

struct SendCase {
  const char* what;
  std::vector<std::string> replies;  // handshake, command, centre, TPDU, Ctrl-Z, questions...
  Outcome outcome;
  Cause cause;
  const char* status;      // the final status text begins so
  const char* named = "";  // and names this cause
  bool pduWritten = true;
};

class RealPhoneSend : public RealPhone, public ::testing::WithParamInterface<SendCase> {};

TEST_P(RealPhoneSend, EndsInTheRightOutcomeWithTheCauseNamed) {
  const SendCase& c = GetParam();
  line->replies = c.replies;
  const LinkResult r = Send();
  EXPECT_EQ(r.outcome, c.outcome) << host.statuses.back();
  EXPECT_EQ(r.cause, c.cause);
  ASSERT_FALSE(host.statuses.empty());
  EXPECT_EQ(host.statuses.back().rfind(c.status, 0), 0u) << host.statuses.back();
  EXPECT_NE(host.statuses.back().find(c.named), std::string::npos) << host.statuses.back();
  EXPECT_EQ(Wrote(kTpdu), c.pduWritten);
  // What the window and the record see is the same outcome.
  ASSERT_FALSE(host.reports.empty());
  EXPECT_TRUE(host.reports.back().finished);
  EXPECT_EQ(host.reports.back().result.outcome, c.outcome);
  EXPECT_EQ(host.reports.back().ok, c.outcome == Outcome::Confirmed);
  EXPECT_FALSE(link.IsOpen());
}

const char* const kSentText = "Message successfully sent.";
const char* const kUnconfirmed = "The phone did not confirm the message; it may have been sent.";

INSTANTIATE_TEST_SUITE_P(
    Dialogue, RealPhoneSend,
    ::testing::Values(
        SendCase{"new-message and signal lines between the PDU and +CMGS",
                 {kOk, kPrompt, "", "",
                  "\r\n+CMTI: \"SM\",3\r\n\r\n^RSSI:18\r\n\r\n+CMGS: 7\r\n\r\nOK\r\n"},
                 Outcome::Confirmed, Cause::None, kSentText},
        SendCase{"a two-line +CMT whose PDU line is not the answer",
                 {kOk, kPrompt, "", "", "\r\n+CMT: ,24\r\n07911326040000F0040B9113\r\n" + kSent},
                 Outcome::Confirmed, Cause::None, kSentText},
        SendCase{"phase 2+ +CMGS with the acknowledgement PDU",
                 {kOk, kPrompt, "", "",
                  "\r\n+CMGS: 12,\"07911326040000F0040B911346610089F60000208062917314080CC8F71D14969741F9"
                  "77FD07\"\r\n\r\nOK\r\n"},
                 Outcome::Confirmed, Cause::None, kSentText},
        SendCase{"LF-only line ends and a bare prompt",
                 {"\nOK\n", "> ", "", "", "\n+CMGS: 3\n\nOK\n"}, Outcome::Confirmed, Cause::None,
                 kSentText},
        SendCase{"CR-only line ends and a prompt without space",
                 {"\rOK\r", "\r>", "", "", "\r+CMGS: 3\r\rOK\r"}, Outcome::Confirmed, Cause::None,
                 kSentText},
        SendCase{"a call ringing before the prompt",
                 {kOk, "\r\nRING\r\n\r\n+CLIP: \"+123\",145\r\n" + kPrompt, "", "", kSent},
                 Outcome::Confirmed, Cause::None, kSentText},
        SendCase{"a phone that wants its PIN answers instead of the prompt",
                 {kOk, "\r\n+CMS ERROR: 311\r\n", "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n", kHome, kCentre},
                 Outcome::Refused, Cause::ErrorResult, "Failed, ME responded: +CMS ERROR: 311",
                 "the SIM wants its PIN", false},
        SendCase{"not registered: the phone says so when asked",
                 {kOk, kPrompt, "", "", "\r\n+CMS ERROR: 331\r\n", kReady,
                  "\r\n+CREG: 0,2\r\n\r\nOK\r\n", kCentre},
                 Outcome::Refused, Cause::ErrorResult, "Failed, ME responded: +CMS ERROR: 331",
                 "not registered to a network (searching)"},
        SendCase{"no service centre number",
                 {kOk, kPrompt, "", "", "\r\n+CMS ERROR: 500\r\n", kReady, kHome,
                  "\r\n+CSCA: \"\",129\r\n\r\nOK\r\n"},
                 Outcome::Refused, Cause::ErrorResult, "Failed, ME responded: +CMS ERROR: 500",
                 "no service centre number, so choose one in the Send/Save dialog or with --centre"},
        SendCase{"a PDU the phone did not understand",
                 {kOk, kPrompt, "", "", "\r\n+CMS ERROR: 304\r\n", kReady, kHome, kCentre},
                 Outcome::Refused, Cause::ErrorResult, "Failed, ME responded: +CMS ERROR: 304",
                 "paced writing"},
        // The phone's own final "OK" says it took the message, "+CMGS:" or
        // not: never a failure, and never a second copy from a retry.
        SendCase{"a bare OK after the PDU", {kOk, kPrompt, "", "", kOk}, Outcome::Confirmed, Cause::None,
                 kSentText},
        SendCase{"silence after the PDU", {kOk, kPrompt, "", "", ""}, Outcome::Unconfirmed,
                 Cause::Silence, kUnconfirmed, "COM 4 (/fake/com4)"},
        SendCase{"no prompt: nothing was sent", {kOk, ""}, Outcome::NotSent, Cause::Silence,
                 "Communications with ME failed. COM 4 (/fake/com4)", "", false},
        SendCase{"ERROR to PDU mode names the port and asks why",
                 {"\r\nERROR\r\n", "\r\nERROR\r\n", "\r\nERROR\r\n", "\r\nERROR\r\n", "\r\nERROR\r\n",
                  "\r\n+CPIN: SIM PUK\r\n\r\nOK\r\n", kHome},
                 Outcome::NotSent, Cause::NoAnswer,
                 "Failed, ME is not responding. COM 4 (/fake/com4): the phone answered ERROR",
                 "PUK", false},
        SendCase{"a phone left in PDU entry answers after one ESC",
                 {"", "", kOk, kPrompt, "", "", kSent}, Outcome::Confirmed, Cause::None, kSentText}),
    NamedBy(&SendCase::what));

TEST_F(RealPhone, ABehavingPhoneGetsThePrescribedBytesAndNoQuestions) {
  line->echo = true;
  line->replies = {kOk, kPrompt, "", "", kSent};
  EXPECT_EQ(Send().outcome, Outcome::Confirmed);
  EXPECT_EQ(line->writes, (std::vector<std::string>{"AT+CMGF=0\r", "AT+CMEE=1\r", "AT+CMGS=16\r", "00",
                                                    kTpdu, "\x1A"}));
}

TEST_F(RealPhone, EscapeBeforeThePduCancelsAndAfterItLeavesTheMessageUnconfirmed) {
  // Before: the prompt never comes and the user gives up.
  line->replies = {kOk, ""};
  host.user = [this] { return line->writes.size() >= 3; };
  LinkResult r = Send();
  EXPECT_EQ(r.outcome, Outcome::NotSent);
  EXPECT_EQ(host.statuses.back(), "Cancelled.");
  EXPECT_FALSE(Wrote(kTpdu));

  // After: the PDU and Ctrl-Z went out, then the user pressed Escape.
  auto after = std::make_shared<FakeLine>();
  after->replies = {kOk, kPrompt, "", "", ""};
  RecordingHost host2;
  host2.user = [after] { return after->writes.size() >= 6; };
  PhoneLink link2{host2, FakeFactory(after)};
  r = link2.TransferMessage({"05912143F5", false, "00", true}, false, "0000A905E8329BFD06", 2);
  EXPECT_EQ(r.outcome, Outcome::Unconfirmed);
  EXPECT_EQ(r.cause, Cause::Cancelled);
  EXPECT_EQ(host2.statuses.back().rfind(kUnconfirmed, 0), 0u) << host2.statuses.back();
}

TEST_F(RealPhone, PacedWritingSendsSmallPiecesWithPauses) {
  link.SetPaced(true);
  // Replies: handshake, command, centre, the TPDU's four pieces, Ctrl-Z.
  line->replies = {kOk, kPrompt, "", "", "", "", "", kSent};
  EXPECT_EQ(Send().outcome, Outcome::Confirmed);
  std::string tpdu;
  for (size_t i = 4; i < 8; ++i) {
    EXPECT_LE(line->writes[i].size(), static_cast<size_t>(PhoneLink::kPaceChunk));
    tpdu += line->writes[i];
  }
  EXPECT_EQ(tpdu, kTpdu);
  EXPECT_NE(link.TrafficLog().find("<PDU><2><32><1>"), std::string::npos);  // one count a write
}

struct EntryCase {
  const char* what;
  std::vector<std::string> replies;  // handshake, select, range, probes..., write
  const char* written;               // the AT+CPBW command's start, or "" for none
  Outcome outcome;
};

class RealPhoneEntry : public RealPhone, public ::testing::WithParamInterface<EntryCase> {};

std::string Taken(int i) { return "\r\n+CPBR: " + std::to_string(i) + ",\"123\",129,\"A\"\r\n" + kOk; }
const std::string kRange = "\r\n+CPBR: (1-250),40,64\r\n" + kOk;

TEST_P(RealPhoneEntry, ALocationIsFreeOnlyWhenThePhoneSaysSo) {
  const EntryCase& c = GetParam();
  line->replies = c.replies;
  link.WritePhonebookEntry("41", "+123", 145);
  const auto cpbw = std::find_if(line->writes.begin(), line->writes.end(),
                                 [](const std::string& w) { return w.rfind("AT+CPBW=", 0) == 0; });
  if (*c.written) {
    ASSERT_NE(cpbw, line->writes.end()) << host.statuses.back();
    EXPECT_EQ(cpbw->rfind(c.written, 0), 0u) << *cpbw;
  } else {
    EXPECT_EQ(cpbw, line->writes.end()) << *cpbw;
  }
  EXPECT_EQ(link.LastResult().outcome, c.outcome) << host.statuses.back();
}

std::vector<std::string> EveryLocationTaken() {
  std::vector<std::string> r = {kOk, kOk, "\r\n+CPBR: (1-999999),40,64\r\n" + kOk};
  for (int i = 1; i <= 1000; ++i) r.push_back(Taken(i));
  return r;
}

INSTANTIATE_TEST_SUITE_P(
    Phonebook, RealPhoneEntry,
    ::testing::Values(
        EntryCase{"an empty location answered with +CME ERROR: 22",
                  {kOk, kOk, kRange, Taken(1), "\r\n+CME ERROR: 22\r\n", kOk}, "AT+CPBW=2,",
                  Outcome::Confirmed},
        EntryCase{"RING before a taken location's entry",
                  {kOk, kOk, kRange, "\r\nRING\r\n" + Taken(1), kOk, kOk}, "AT+CPBW=2,",
                  Outcome::Confirmed},
        EntryCase{"a blank information line is no entry",
                  {kOk, kOk, kRange, "\r\n\r\n" + kOk, kOk}, "AT+CPBW=1,", Outcome::Confirmed},
        EntryCase{"a range answer that came late: nothing is written",
                  {kOk, kOk, "", kRange, kOk}, "", Outcome::NotSent},
        EntryCase{"another error to a probe: nothing is written",
                  {kOk, kOk, kRange, "\r\n+CME ERROR: 3\r\n"}, "", Outcome::Refused},
        EntryCase{"every location of a huge range taken: at most 1000 probes", EveryLocationTaken(),
                  "", Outcome::Refused}),
    NamedBy(&EntryCase::what));

TEST_F(RealPhone, TheSearchTakesOnlyAPhonebookLineAsItsAnswer) {
  line->replies = {kOk, "\r\n+CREG: 1,\"0010\",\"1234\"\r\n\r\n+CPBF: 5,\"+3584012345\",145,\"Anna\"\r\n" + kOk};
  std::string name = "An", address;
  ASSERT_TRUE(link.FindPhonebookEntry(name, address)) << host.statuses.back();
  EXPECT_EQ(name, "Anna");
  EXPECT_EQ(host.statuses.back(), "Found: Anna, +3584012345");

  auto none = std::make_shared<FakeLine>();
  none->replies = {kOk, "\r\n+CME ERROR: 22\r\n"};
  RecordingHost host2;
  PhoneLink link2{host2, FakeFactory(none)};
  name = "Zed";
  EXPECT_FALSE(link2.FindPhonebookEntry(name, address));
  EXPECT_EQ(host2.statuses.back(), "Cannot find matching entry.");
  EXPECT_EQ(name, "Zed");
}

}  // namespace
}  // namespace mp::test
