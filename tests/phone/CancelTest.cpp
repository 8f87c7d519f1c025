// Dialogues that the user cancels while the link waits, the bound on a whole
// reply line, the bound on the free-location probe, and calls into the link
// from the host's event slice.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <functional>

#include "Fakes.h"
#include "support/CaseName.h"
#include "phone/PhoneLink.h"

namespace mp::test {
namespace {

using S = std::vector<std::string>;
using B = std::vector<BeepKind>;

const std::string kOk = "\r\nOK\r\n";
const std::string kError = "\r\nERROR\r\n";
const std::string kPrompt = "\r\n> ";
const std::string kSent = "\r\n+CMGS: 1\r\n\r\nOK\r\n";
const std::string kUsed = "\r\n+CPBR: 1,\"555\",129,\"41\"\r\n\r\nOK\r\n";
const std::string kRange = "\r\n+CPBR: (1-250),40,64\r\n\r\nOK\r\n";
const char* const kEst = "Establishing connection to ME...";
const char* const kTransferring = "Transferring message to ME...";
const char* const kWaiting = "Waiting for ME response...";
const char* const kSearching = "Searching phonebook memory...";
const char* const kSaving = "Saving entry to ME memory...";
const char* const kCancelled = "Cancelled.";
const char* const kFull = "Failed, ME phonebook is full.";

class LinkTest : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("MIRAPOST_COM4", "/fake/com4", 1); }
  void TearDown() override { ::unsetenv("MIRAPOST_COM4"); }
  void Send() { link.TransferMessage({"05912143F5", false, "00", true}, false, "0000A900", 2); }
  bool Search() {
    std::string name = "Jo", address;
    return link.FindPhonebookEntry(name, address);
  }
  bool Write() { return link.WritePhonebookEntry("41", "5551234", 129); }

  std::shared_ptr<FakeLine> line = std::make_shared<FakeLine>();
  RecordingHost host;
  PhoneLink link{host, FakeFactory(line)};
};

// ---- Cancel in each phase ----

enum class Op { Send, Search, Write };

struct CancelCase {
  const char* phase;
  Op op;
  S replies;
  // The moment the user presses Escape, seen on the line.
  std::function<bool(const FakeLine&)> when;
  size_t writes;
  std::string log;
  S statuses;
};

class CancelIn : public LinkTest, public ::testing::WithParamInterface<CancelCase> {};

TEST_P(CancelIn, EndsWithClosedPortCancelledAndTheLogSoFar) {
  const CancelCase& c = GetParam();
  // A pause longer than a slice, so that the host runs within every pause.
  LinkTimings t;
  t.WritePause = 2 * SerialLine::kWaitSliceMs;
  link.SetTimings(t);
  line->replies = c.replies;
  host.user = [&] { return c.when(*line); };
  switch (c.op) {
    case Op::Send: Send(); break;
    case Op::Search: EXPECT_FALSE(Search()); break;
    case Op::Write: EXPECT_FALSE(Write()); break;
  }
  EXPECT_EQ(host.statuses, c.statuses) << c.phase;
  const BeepKind beep = c.statuses.back() == kCancelled ? BeepKind::Asterisk : BeepKind::Exclamation;
  EXPECT_EQ(host.beeps, (B{beep})) << c.phase;
  EXPECT_EQ(line->writes.size(), c.writes) << c.phase;
  EXPECT_EQ(link.TrafficLog(), c.log) << c.phase;
  EXPECT_TRUE(link.Cancelled());
  EXPECT_FALSE(link.IsOpen());
  EXPECT_EQ(line->closes, 1);
  EXPECT_EQ(host.cursor, (std::vector<bool>{true, false}));
  EXPECT_EQ(host.dialogue, (std::vector<bool>{true, false}));
}

bool Silent(const FakeLine& l, size_t writes) { return l.writes.size() == writes && l.Unread().empty(); }

INSTANTIATE_TEST_SUITE_P(
    Phases, CancelIn,
    ::testing::Values(
        CancelCase{"handshake", Op::Send, {}, [](const FakeLine& l) { return Silent(l, 1); }, 1,
                   "<10>", {kEst, kCancelled}},
        CancelCase{"PDU mode refused, third attempt", Op::Send, {kError, kError, kError, kError},
                   [](const FakeLine& l) { return Silent(l, 3); }, 3,
                   "<10>" + kError + "<10>" + kError + "<10>" + kError, {kEst, kCancelled}},
        CancelCase{"prompt", Op::Send, {kOk}, [](const FakeLine& l) { return Silent(l, 3); }, 3,
                   "<10>" + kOk + "<10>" + kOk + "<CMD><11>", {kEst, kTransferring, kCancelled}},
        // In the pause before the TPDU: the centre address went out, nothing
        // after it but the ESC that tells the phone to drop it.
        CancelCase{"PDU", Op::Send, {kOk, kPrompt}, [](const FakeLine& l) { return l.pauses.size() == 5; },
                   5, "<10>" + kOk + "<10>" + kOk + "<CMD><11>" + kPrompt + "<PDU><2><1>",
                   {kEst, kTransferring, kCancelled}},
        // After the PDU went out a cancel leaves the message unconfirmed.
        CancelCase{"reply line", Op::Send, {kOk, kPrompt, "", "", "\r\n+CM"},
                   [](const FakeLine& l) { return Silent(l, 6); }, 6,
                   "<10>" + kOk + "<10>" + kOk + "<CMD><11>" + kPrompt + "<PDU><2><22><1>\r\n<END>+CM",
                   {kEst, kTransferring, kWaiting,
                    "The phone did not confirm the message; it may have been sent. COM 4 (/fake/com4): "
                    "cancelled after the message went out."}},
        CancelCase{"phonebook search", Op::Search, {kOk}, [](const FakeLine& l) { return Silent(l, 3); },
                   3, "<10>" + kOk + "<10>" + kOk + "<28>", {kEst, kSearching, kCancelled}},
        CancelCase{"phonebook range", Op::Write, {kOk, kOk}, [](const FakeLine& l) { return Silent(l, 4); },
                   4, "<10>" + kOk + "<10>" + kOk + "<25>" + kOk + "<10>", {kEst, kSaving, kCancelled}},
        CancelCase{"phonebook probe", Op::Write, {kOk, kOk, kRange, kUsed, kUsed},
                   [](const FakeLine& l) { return Silent(l, 7); }, 7,
                   "<10>" + kOk + "<10>" + kOk + "<25>" + kOk + "<10>" + kRange + "<10>" + kUsed + "<10>" +
                       kUsed + "<10>",
                   {kEst, kSaving, kCancelled}}),
    NamedBy(&CancelCase::phase));

TEST_F(LinkTest, HostRunsThroughoutASilentHandshake) {
  Send();
  ASSERT_EQ(host.statuses.size(), 2u);
  EXPECT_EQ(host.statuses[1].rfind("Failed, ME is not responding. COM 4 (/fake/com4): ", 0), 0u);
  // Five silent attempts of one second each, the host at least once a slice.
  EXPECT_GE(host.services, 5 * 1000 / SerialLine::kWaitSliceMs);
  EXPECT_FALSE(link.Cancelled());
  EXPECT_EQ(host.dialogue, (std::vector<bool>{true, false}));
}

TEST_F(LinkTest, NothingReentersTheLinkFromTheHost) {
  line->replies = {kOk, kPrompt, "", "", kSent};
  int calls = 0;
  host.user = [&] {
    // Whatever the window tries meanwhile is refused at once and leaves no trace.
    ++calls;
    const size_t statuses = host.statuses.size();
    link.TransferMessage({"0081", true, "00", true}, false, "00", 3);
    EXPECT_FALSE(Search());
    EXPECT_FALSE(Write());
    EXPECT_FALSE(link.OpenPhone());
    link.ClosePhone();
    link.WritePhone("AT\r");
    EXPECT_FALSE(link.PhoneFailed());
    EXPECT_EQ(host.statuses.size(), statuses);
    EXPECT_TRUE(link.IsOpen());
    return false;
  };
  Send();
  EXPECT_GT(calls, 0);
  EXPECT_EQ(line->writes.size(), 6u);
  EXPECT_EQ(line->opens, 1);
  EXPECT_EQ(host.statuses, (S{kEst, kTransferring, kWaiting, "Message successfully sent."}));
  EXPECT_EQ(host.cursor, (std::vector<bool>{true, false}));
}

TEST_F(LinkTest, NextDialogueAfterACancelRunsNormally) {
  host.user = [] { return true; };
  Send();
  EXPECT_EQ(host.statuses.back(), kCancelled);
  host.user = nullptr;
  line->writes.clear();
  line->replies = {kOk, kPrompt, "", "", kSent};
  Send();
  EXPECT_FALSE(link.Cancelled());
  EXPECT_EQ(host.statuses.back(), "Message successfully sent.");
}

// ---- The whole reply line within the read time-out ----

struct TrickleCase {
  std::int64_t perByte;  // virtual ms before each byte of a 20-character line
  bool ok;
};

class LineBound : public LinkTest, public ::testing::WithParamInterface<TrickleCase> {};

TEST_P(LineBound, WholeLineWithinTheReadTimeOut) {
  link.SetTimings(LinkTimings::Scaled(10));  // 100 ms handshake, 1000 ms per phase
  line->replies = {kOk};
  ASSERT_TRUE(link.OpenPhone());
  const std::string before = link.TrafficLog();
  line->trickle = GetParam().perByte;
  line->input += std::string(19, 'x') + "\r";
  const std::int64_t start = line->now;
  std::string got;
  EXPECT_EQ(link.ReadPhoneLine(got, 32), GetParam().ok);
  const std::int64_t took = line->now - start;
  EXPECT_LE(took, 1000 + SerialLine::kWaitSliceMs);
  if (GetParam().ok) {
    EXPECT_EQ(got, std::string(19, 'x'));
  } else {
    EXPECT_GE(took, 1000);
    // What arrived in time stays in the log.
    const size_t arrived = static_cast<size_t>(1000 / GetParam().perByte);
    EXPECT_EQ(link.TrafficLog(), before + std::string(arrived, 'x'));
  }
}

// Every byte comes well within the per-byte time-out; only the last case is
// too slow for the line as a whole.
INSTANTIATE_TEST_SUITE_P(Trickle, LineBound,
                         ::testing::Values(TrickleCase{1, true}, TrickleCase{45, true},
                                           TrickleCase{60, false}, TrickleCase{400, false}),
    [](const auto& info) {
                           return CaseName(std::to_string(info.param.perByte) + " ms a byte " +
                                           (info.param.ok ? "in time" : "too slow"));
                         });

// ---- The free-location probe ends ----

struct ProbeCase {
  const char* what;
  std::string rangeAnswer;  // to "AT+CPBR=?"
  unsigned last;            // the last location probed when every one is taken
};

class ProbeBound : public LinkTest, public ::testing::WithParamInterface<ProbeCase> {};

TEST_P(ProbeBound, EveryLocationTakenEndsAsFull) {
  const ProbeCase& c = GetParam();
  link.SetTimings(LinkTimings::Scaled(10));
  line->replies = {kOk, kOk, c.rangeAnswer};
  line->replies.insert(line->replies.end(), 1100, kUsed);
  EXPECT_FALSE(Write()) << c.what;
  ASSERT_EQ(line->writes.size(), 4 + c.last) << c.what;
  EXPECT_EQ(line->writes[3], "AT+CPBR=?\r");
  EXPECT_EQ(line->writes[4], "AT+CPBR=1\r");
  EXPECT_EQ(line->writes.back(), "AT+CPBR=" + std::to_string(c.last) + "\r") << c.what;
  EXPECT_EQ(host.statuses, (S{kEst, kSaving, kFull})) << c.what;
  EXPECT_EQ(host.beeps, (B{BeepKind::Asterisk}));
  EXPECT_FALSE(link.IsOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Range, ProbeBound,
    ::testing::Values(ProbeCase{"range", "\r\n+CPBR: (1-3),40,64\r\n\r\nOK\r\n", 3},
                      ProbeCase{"zero-padded range", "\r\n+CPBR: (001-002),20,14\r\n\r\nOK\r\n", 2},
                      ProbeCase{"one location", "\r\n+CPBR: (1),40,64\r\n\r\nOK\r\n", 1},
                      ProbeCase{"no range: ERROR", kError, 1000},
                      ProbeCase{"no range: CME error", "\r\n+CME ERROR: 4\r\n", 1000},
                      ProbeCase{"no range: bare OK", kOk, 1000},
                      ProbeCase{"unreadable range", "\r\n+CPBR: (1-),40,64\r\n\r\nOK\r\n", 1000}),
    NamedBy(&ProbeCase::what));

TEST_F(LinkTest, ProbeStopsAtTheFirstFreeLocationWithinTheRange) {
  line->replies = {kOk, kOk, "\r\n+CPBR: (1-2),40,64\r\n\r\nOK\r\n", kUsed, kOk, kOk};
  EXPECT_TRUE(Write());
  EXPECT_EQ(line->writes.back(), "AT+CPBW=2,\"5551234\",129,\"41\"\r");
  EXPECT_EQ(host.statuses.back(), "Entry successfully saved in ME memory location 2.");
}

}  // namespace
}  // namespace mp::test
