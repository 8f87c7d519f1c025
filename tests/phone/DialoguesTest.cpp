// The AT dialogues against an in-memory line: exact bytes written, traffic
// log, status texts in order, beep kinds, time-outs.
#include <gtest/gtest.h>

#include <cerrno>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "PhoneDialogue.h"
#include "support/CaseName.h"

namespace mp::test {
namespace {

TEST_F(PhoneDialogue, ExampleSendWithEchoGivesExactBytesLogTextsAndBeep) {
  line->echo = true;
  line->replies = {kOk, kPrompt, "", "", kSent};
  Send();
  EXPECT_EQ(line->device, "/fake/com4");
  EXPECT_EQ(line->writes, (S{"AT+CMGF=0\r", "AT+CMEE=1\r", "AT+CMGS=16\r", "00", kExampleTpdu, "\x1A"}));
  EXPECT_EQ(line->pauses, (std::vector<int>{10, 10, 10, 10, 10, 10}));
  EXPECT_EQ(link.TrafficLog(),
            "<10>AT+CMGF=0\r\r\nOK\r\n<10>AT+CMEE=1\r\r\nOK\r\n<CMD><11>AT+CMGS=16\r\r\n> <PDU><2><32><1>00" +
                kExampleTpdu + "\x1A\r\n<END>+CMGS: 1\r\n\r\nOK\r\n");
  EXPECT_EQ(host.statuses, (S{kEst, kTransferring, kWaiting, "Message successfully sent."}));
  EXPECT_EQ(host.beeps, (B{BeepKind::Ok}));
  EXPECT_EQ(host.cursor, (std::vector<bool>{true, false}));
  // Handshake, the rest of the connection, and the wait for the network.
  ASSERT_EQ(line->timeouts.size(), 3u);
  EXPECT_EQ(line->timeouts[2].ReadTotalTimeoutConstant, 60000u);
  EXPECT_EQ(line->timeouts[0].ReadTotalTimeoutConstant, 1000u);
  EXPECT_EQ(line->timeouts[0].WriteTotalTimeoutConstant, 1000u);
  EXPECT_EQ(line->timeouts[1].ReadTotalTimeoutConstant, 10000u);
  EXPECT_EQ(line->timeouts[1].WriteTotalTimeoutConstant, 10000u);
  EXPECT_EQ(line->timeouts[1].ReadIntervalTimeout, 0u);
  EXPECT_EQ(line->purges, 1);
  EXPECT_EQ(line->dtr, 1);  // raised although the line refused: failures ignored
  EXPECT_EQ(line->rts, 1);
  EXPECT_EQ(line->closes, 1);
  EXPECT_FALSE(link.IsOpen());
  EXPECT_FALSE(link.LogReady);
}

TEST_F(PhoneDialogue, ExampleSendWithoutEcho) {
  line->replies = {kOk, kPrompt, "", "", kSent};
  Send();
  EXPECT_EQ(link.TrafficLog(),
            "<10>\r\nOK\r\n<10>\r\nOK\r\n<CMD><11>\r\n> <PDU><2><32><1>\r\n<END>+CMGS: 1\r\n\r\nOK\r\n");
  EXPECT_EQ(host.statuses.back(), "Message successfully sent.");
}

struct EnvelopeCase {
  bool reports, header, save;
  int status;
  std::string dest, centre, body;
  std::string command, centreWritten, tpdu, result;
};

class Envelope : public PhoneDialogue, public ::testing::WithParamInterface<EnvelopeCase> {};

TEST_P(Envelope, FirstOctetCommandCentreAndResult) {
  const EnvelopeCase& c = GetParam();
  line->replies = {kOk, kPrompt, "", "", c.save ? kStored : kSent};
  Send({c.dest, c.save, c.centre, c.reports}, c.header, c.body, c.status);
  EXPECT_EQ(line->writes, (S{"AT+CMGF=0\r", "AT+CMEE=1\r", c.command, c.centreWritten, c.tpdu, "\x1A"}));
  EXPECT_EQ(host.statuses, (S{kEst, kTransferring, kWaiting, c.result}));
  EXPECT_EQ(host.beeps, (B{BeepKind::Ok}));
}

INSTANTIATE_TEST_SUITE_P(PhoneTransfer, Envelope,
    ::testing::Values(
        EnvelopeCase{false, false, true, 3, "0081", "00", "0000A905E8329BFD06", "AT+CMGW=13,3\r",
                     "00", "11FF00810000A905E8329BFD06", "Message successfully saved in SM."},
        EnvelopeCase{true, false, true, 2, "0081", "00", "0000A905E8329BFD06", "AT+CMGW=13,2\r",
                     "00", "31FF00810000A905E8329BFD06", "Message successfully saved in SM."},
        EnvelopeCase{false, true, false, 2, "05912143F5", "00", "00F5A900", "AT+CMGS=11\r", "00",
                     "51FF05912143F500F5A900", "Message successfully sent."},
        EnvelopeCase{true, true, false, 2, "05912143F5", "00", "00F5A900", "AT+CMGS=11\r", "00",
                     "71FF05912143F500F5A900", "Message successfully sent."},
        // Odd number of hex characters: the half octet is not counted.
        EnvelopeCase{true, false, false, 2, "05912143F5", "00", "0000A905E8329BFD0",
                     "AT+CMGS=15\r", "00", "31FF05912143F50000A905E8329BFD0",
                     "Message successfully sent."},
        // A chosen centre goes out unchanged and is not counted.
        EnvelopeCase{true, false, false, 2, "05912143F5", "07915348100000F0", "0000A905E8329BFD06",
                     "AT+CMGS=16\r", "07915348100000F0", kExampleTpdu,
                     "Message successfully sent."},
        // No centre chosen (the dialog never shown): the phone's default "00".
        EnvelopeCase{false, false, true, 3, "0081", "", "0000A900", "AT+CMGW=8,3\r", "00",
                     "11FF00810000A900", "Message successfully saved in SM."}),
    [](const auto& info) {
      const EnvelopeCase& c = info.param;
      return CaseName(c.command + " first octet " + c.tpdu.substr(0, 2) + " centre " +
                      (c.centre.empty() ? "unset" : c.centre));
    });

TEST_F(PhoneDialogue, EmptyCentreIsSentAsDefaultCentreAndLoggedAsTwoBytes) {
  line->replies = {kOk, kPrompt, "", "", kSent};
  TransferSettings s = Example();
  s.CentreAddress.clear();
  Send(s);
  EXPECT_EQ(line->writes[3], "00");
  EXPECT_NE(link.TrafficLog().find("<PDU><2><32><1>"), std::string::npos);
}

TEST_F(PhoneDialogue, RefusalShowsTheWholeReplyLineWithExclamation) {
  line->replies = {kOk, kPrompt, "", "", "\r\n+CMS ERROR: 500\r\n"};
  Send();
  EXPECT_EQ(Lead(host.statuses), (S{kEst, kTransferring, kWaiting, "Failed, ME responded: +CMS ERROR: 500 (unknown error)."}));
  EXPECT_EQ(host.beeps, (B{BeepKind::Exclamation}));
  EXPECT_EQ(line->closes, 1);
}

struct FailureCase {
  const char* what;
  S replies;
  S statuses;
  size_t writes;
  BeepKind beep = BeepKind::Asterisk;
};

const char* const kUnconfirmed = "The phone did not confirm the message; it may have been sent.";

class TransferFailure : public PhoneDialogue, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(TransferFailure, EndsWithTextAsteriskAndClosedPort) {
  const FailureCase& c = GetParam();
  line->replies = c.replies;
  Send();
  EXPECT_EQ(Lead(host.statuses), c.statuses) << c.what;
  EXPECT_EQ(host.beeps, (B{c.beep})) << c.what;
  EXPECT_EQ(line->writes.size(), c.writes) << c.what;
  EXPECT_FALSE(link.IsOpen());
  EXPECT_EQ(host.cursor.back(), false);
}

const std::string k31(31, 'x');

INSTANTIATE_TEST_SUITE_P(PhoneTransfer, TransferFailure,
    ::testing::Values(
        FailureCase{"silent after the command", {kOk}, {kEst, kTransferring, kCommFailed}, 3},
        // A final result instead of the prompt: refused, nothing was sent.
        FailureCase{"no prompt", {kOk, "\r\nERROR\r\n"},
                    {kEst, kTransferring, "Failed, ME responded: ERROR."}, 4, BeepKind::Exclamation},
        // After the PDU: the message may have gone out.
        FailureCase{"no end of the echo", {kOk, kPrompt}, {kEst, kTransferring, kWaiting, kUnconfirmed}, 6,
                    BeepKind::Exclamation},
        FailureCase{"no reply line", {kOk, kPrompt, "", "", "\r\n+CMG"},
                    {kEst, kTransferring, kWaiting, kUnconfirmed}, 6, BeepKind::Exclamation},
        // Asked why, the phone is silent: the questions end there.
        FailureCase{"handshake answered ERROR",
                    {"\r\nERROR\r\n", "\r\nERROR\r\n", "\r\nERROR\r\n", "\r\nERROR\r\n", "\r\nERROR\r\n"},
                    {kEst, "Failed, ME is not responding."}, 6},
        // Five attempts and the one ESC for a phone left in PDU entry.
        FailureCase{"handshake silent", {}, {kEst, "Failed, ME is not responding."}, 6}),
    NamedBy(&FailureCase::what));

TEST_F(PhoneDialogue, ReplyLinesOfAnySaneLengthAreAccepted) {
  for (size_t spaces : {23u, 24u, 300u}) {
    auto l = std::make_shared<FakeLine>();
    RecordingHost h;
    PhoneLink pl(h, FakeFactory(l));
    l->replies = {kOk, kPrompt, "", "", "\r\n+CMGS: 1" + std::string(spaces, ' ') + "\r\n"};
    pl.TransferMessage(Example(), false, "0000A905E8329BFD06", 2);
    EXPECT_EQ(h.statuses.back(), "Message successfully sent.") << spaces;
  }
}

TEST_F(PhoneDialogue, HandshakeRetriesUntilAnswered) {
  // Silent, then the ESC (for a phone left in PDU entry), then ERROR, then OK.
  line->replies = {"", "", "\r\nERROR\r\n", kOk, kPrompt, "", "", kSent};
  Send();
  EXPECT_EQ(line->writes.size(), 9u);
  EXPECT_EQ(line->writes[1], "\x1B");
  EXPECT_EQ(host.statuses.back(), "Message successfully sent.");
  EXPECT_NE(link.TrafficLog().find("<10><1><10>\r\nERROR\r\n<10>\r\nOK\r\n<10>\r\nOK\r\n<CMD>"),
            std::string::npos);
}

TEST_F(PhoneDialogue, InputWaitingBeforeTheConnectionIsDiscarded) {
  line->input = "\r\nOK\r\n";  // a late reply of an earlier command
  line->replies = {"", "", kOk, kPrompt, "", "", kSent};
  Send();
  EXPECT_EQ(line->purges, 2);  // before the first attempt, and after the ESC
  EXPECT_EQ(line->writes[0], "AT+CMGF=0\r");
  EXPECT_EQ(line->writes[2], "AT+CMGF=0\r");  // the stale OK did not answer the first
  EXPECT_EQ(host.statuses.back(), "Message successfully sent.");
}

struct PortCase {
  const char* what;
  int index;
  bool openOk, configureOk;
  PortFailure failure;
  int opens;
  std::string status;
};

class PortFailureTest : public PhoneDialogue, public ::testing::WithParamInterface<PortCase> {};

// The prescribed sentence stays first and exact; the device and the reason follow.
TEST_P(PortFailureTest, CannotOpenCommunicationsPortThenDeviceAndReason) {
  const PortCase& c = GetParam();
  host.port = c.index;
  line->openOk = c.openOk;
  line->configureOk = c.configureOk;
  line->failure = c.failure;
  ::setenv("MIRAPOST_COM4", "/dev/ttyUSB0", 1);
  Send();
  ::unsetenv("MIRAPOST_COM4");
  EXPECT_EQ(host.statuses, (S{kEst, c.status})) << c.what;
  EXPECT_EQ(host.beeps, (B{BeepKind::Asterisk}));
  EXPECT_EQ(host.cursor, (std::vector<bool>{true, false}));
  EXPECT_EQ(line->opens, c.opens);
  EXPECT_TRUE(line->writes.empty());
  EXPECT_FALSE(link.IsOpen());
}

const std::string kUsb = std::string(kCannotOpen) + " /dev/ttyUSB0: ";

INSTANTIATE_TEST_SUITE_P(
    PhoneOpen, PortFailureTest,
    ::testing::Values(
        PortCase{"no port chosen: COM0", -1, true, true, {}, 0, std::string(kCannotOpen) + " No port is chosen."},
        PortCase{"index beyond COM9", 9, true, true, {}, 0, std::string(kCannotOpen) + " No port is chosen."},
        PortCase{"open refused, no reason known", 3, false, true, {}, 1, kCannotOpen},
        PortCase{"missing", 3, false, true, {PortError::NotFound, ENOENT, {}}, 1, kUsb + "does not exist."},
        PortCase{"held by a program", 3, false, true, {PortError::InUse, 0, {4242, "minicom", {}, {}, {}}}, 1,
                 kUsb + "is in use by minicom (PID 4242)."},
        PortCase{"held, program unknown", 3, false, true, {PortError::InUse, 0, {77, "", {}, {}, {}}}, 1,
                 kUsb + "is in use by another program (PID 77)."},
        PortCase{"busy", 3, false, true, {PortError::InUse, EBUSY, {}}, 1,
                 kUsb + "is in use by another program."},
        PortCase{"plain file", 3, false, true, {PortError::NotSerial, 0, {}}, 1,
                 kUsb + "is not a serial device."},
        PortCase{"other error", 3, false, true, {PortError::Other, EIO, {}}, 1, kUsb + "input/output error."},
        PortCase{"line settings refused", 3, true, false, {}, 1, kUsb + "the line settings were refused."}),
    NamedBy(&PortCase::what));

TEST_F(PhoneDialogue, ChatterThatNeverCompletesThePromptEndsAtTheOverallBound) {
  line->replies = {kOk};
  line->chatter = "\r\n+CREG: 1\r\n";
  Send();
  EXPECT_EQ(Lead(host.statuses), (S{kEst, kTransferring, kCommFailed}));
  EXPECT_EQ(host.beeps, (B{BeepKind::Asterisk}));
  // Three read time-outs of 10 s after the command, measured on the line's clock.
  EXPECT_GE(line->now, 30000);
  EXPECT_LE(line->now, 30000 + 100);
  EXPECT_EQ(line->timeouts.back().ReadTotalTimeoutConstant, 10000u);  // restored
}

TEST_F(PhoneDialogue, ChatterDuringTheHandshakeEndsEachAttemptAtItsBound) {
  line->chatter = "+CRING: VOICE\r\n";
  Send();
  EXPECT_EQ(Lead(host.statuses), (S{kEst, "Failed, ME is not responding."}));
  EXPECT_EQ(line->writes.size(), 6u);  // and the one ESC
  EXPECT_LE(line->now, 5 * (3000 + 10) + 10 + 100 + 10);
}

// Primitives on an open connection.
class PhonePrimitive : public PhoneDialogue {
 protected:
  void SetUp() override {
    PhoneDialogue::SetUp();
    line->replies = {kOk};
    ASSERT_TRUE(link.OpenPhone());
    logBefore = link.TrafficLog();
  }
  std::string logBefore;
};

struct WaitCase {
  std::string pattern, input;
  bool ok;
  std::string unread;
};

class Wait : public PhonePrimitive, public ::testing::WithParamInterface<WaitCase> {};

TEST_P(Wait, MatchingRule) {
  const WaitCase& c = GetParam();
  line->input += c.input;
  EXPECT_EQ(link.WaitForPhone(c.pattern), c.ok) << c.input;
  EXPECT_EQ(line->Unread(), c.unread);
  EXPECT_EQ(link.TrafficLog(), logBefore + c.input.substr(0, c.input.size() - c.unread.size()));
}

INSTANTIATE_TEST_SUITE_P(
    PhonePrimitive, Wait,
    ::testing::Values(WaitCase{"\r\n> ", "\r\r\n> ", true, ""},  // the second CR restarts the match
                      WaitCase{"\r\n> ", "AT+CMGS=16\r\r\n> 00", true, "00"},
                      WaitCase{"OK\r\n", "OOK\r\n", true, ""},
                      WaitCase{"OK\r\n", "\r\nERROR\r\n", false, ""},
                      // No second look back: a repeated prefix is missed.
                      WaitCase{"AAB", "AAAB", false, ""},
                      WaitCase{"\r\n", "\n\r\n+CMGS", true, "+CMGS"},
                      WaitCase{"", "abc", true, "abc"}),
    [](const auto& info) { return Spelled(info.param.pattern) + "_in_" + Spelled(info.param.input); });

struct LineCase {
  std::string input;
  int limit;
  bool ok;
  std::string line, logged, unread;
};

class ReadLine : public PhonePrimitive, public ::testing::WithParamInterface<LineCase> {};

TEST_P(ReadLine, Limits) {
  const LineCase& c = GetParam();
  line->input += c.input;
  std::string got;
  EXPECT_EQ(link.ReadPhoneLine(got, c.limit), c.ok);
  if (c.ok) {
    EXPECT_EQ(got, c.line);
  }
  EXPECT_EQ(link.TrafficLog(), logBefore + c.logged);
  EXPECT_EQ(line->Unread(), c.unread);
}

const std::string k32(32, 'y');

INSTANTIATE_TEST_SUITE_P(
    PhonePrimitive, ReadLine,
    ::testing::Values(LineCase{k31 + "\r\n", 32, true, k31, k31 + "\r", "\n"},
                      // 32 characters: the 33rd byte is read, dropped and not logged.
                      LineCase{k32 + "\rZ", 32, false, "", k32, "Z"},
                      LineCase{"\r\n", 32, true, "", "\r", "\n"},
                      LineCase{"+CMGS", 32, false, "", "+CMGS", ""}),
    [](const auto& info) {
      const std::string& in = info.param.input;
      const std::string bytes =
          in.size() > 12 ? std::to_string(in.size()) + "_bytes_ending_" + Spelled(in.substr(in.size() - 2)) : Spelled(in);
      return bytes + "_limit_" + std::to_string(info.param.limit);
    });

TEST_F(PhonePrimitive, WriteLogsTheCountAfterATenMillisecondPause) {
  link.WritePhone("");
  link.WritePhone("AT\r");
  EXPECT_EQ(link.TrafficLog(), logBefore + "<0><3>");
  EXPECT_EQ(line->pauses.back(), 10);
}

TEST_F(PhonePrimitive, PhoneFailedReportsClosesAndReturnsFalse) {
  EXPECT_FALSE(link.PhoneFailed());
  EXPECT_EQ(host.statuses.back(), kCommFailed);
  EXPECT_EQ(host.beeps, (B{BeepKind::Asterisk}));
  EXPECT_FALSE(link.IsOpen());
  link.ClosePhone();  // nothing left to close or restore
  EXPECT_EQ(line->closes, 1);
  EXPECT_EQ(host.cursor, (std::vector<bool>{true, false}));
}

// The traffic log file.
class PhoneLogFile : public PhoneDialogue {
 protected:
  void SetUp() override {
    PhoneDialogue::SetUp();
    char buf[4096];
    ASSERT_NE(::getcwd(buf, sizeof buf), nullptr);
    oldCwd = buf;
    ASSERT_EQ(::chdir(dir.path.c_str()), 0);
  }
  void TearDown() override {
    ASSERT_EQ(::chdir(oldCwd.c_str()), 0);
    PhoneDialogue::TearDown();
  }
  bool Exists() const { return std::filesystem::exists(dir.path + "/MIRAPOST.LOG"); }
  std::string Content() const { return Slurp(dir.path + "/MIRAPOST.LOG"); }
  TempDir dir;
  std::string oldCwd;
};

TEST_F(PhoneLogFile, TextModeWritesEveryLineFeedAsCarriageReturnLineFeed) {
  line->echo = true;
  line->replies = {kOk, kPrompt, "", "", kSent};
  Send();
  link.SaveTrafficLog();
  EXPECT_FALSE(Exists());  // LogReady is the caller's to set
  link.LogReady = true;
  link.SaveTrafficLog();
  std::string expected;
  for (char c : link.TrafficLog()) expected += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_EQ(Content(), expected);
  EXPECT_NE(Content().find("OK\r\r\n"), std::string::npos);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path),
                          std::filesystem::directory_iterator()),
            1);  // no temporary file left behind
}

TEST_F(PhoneLogFile, EmptyLogGivesEmptyFileAndReplacesTheOldOne) {
  { std::ofstream(dir.path + "/MIRAPOST.LOG") << "old traffic of a longer connection\n"; }
  link.LogReady = true;
  link.SaveTrafficLog();
  EXPECT_TRUE(Exists());
  EXPECT_EQ(Content(), "");
}

TEST_F(PhoneLogFile, PhonebookSearchClearsLogReady) {
  line->replies = {kOk, "\r\n\r\nOK\r\n"};
  link.LogReady = true;
  std::string name = "Jo", address;
  link.FindPhonebookEntry(name, address);
  EXPECT_FALSE(link.LogReady);
  link.SaveTrafficLog();
  EXPECT_FALSE(Exists());
}

TEST_F(PhoneLogFile, FolderThatCannotTakeTheFileIsIgnoredSilently) {
  link.LogReady = true;
  std::filesystem::remove(dir.path);  // the working folder is gone
  link.SaveTrafficLog();
  EXPECT_TRUE(host.statuses.empty());
  EXPECT_TRUE(host.beeps.empty());
}

}  // namespace
}  // namespace mp::test
