// The dialogues over a real pseudo-terminal against the simulated phone:
// bytes the phone received (its journal), traffic log, status texts, beeps.
// Cases that wait for a time-out run on time-outs shrunk tenfold (a silent
// phone costs 1 s instead of 10 s); the dialogues stay as they are.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <fstream>

#include "Fakes.h"
#include "SimProcess.h"
#include "phone/PhoneLink.h"

namespace mp::test {
namespace {

using S = std::vector<std::string>;
using B = std::vector<BeepKind>;
using Clock = std::chrono::steady_clock;

const std::string kTpdu = "31FF05912143F50000A905E8329BFD06";
const char* const kEst = "Establishing connection to ME...";
const char* const kTransferring = "Transferring message to ME...";
const char* const kWaiting = "Waiting for ME response...";
const char* const kCommFailed = "Communications with ME failed.";
const char* const kCannotOpen = "Cannot open communications port.";
const char* const kSaving = "Saving entry to ME memory...";
const char* const kSearching = "Searching phonebook memory...";
const char* const kUnconfirmed = "The phone did not confirm the message; it may have been sent.";


class PhoneSim : public ::testing::Test {
 protected:
  void TearDown() override {
    sim.Stop();
    ::unsetenv("MIRAPOST_COM4");
  }
  // Starts the simulated phone and maps "COM 4" to its line.
  void Start(S args = {}, const std::string& phonebook = "") {
    journal = dir.path + "/journal.txt";
    args.push_back("--journal");
    args.push_back(journal);
    if (!phonebook.empty()) {
      std::ofstream(dir.path + "/book.txt") << phonebook;
      args.push_back("--phonebook");
      args.push_back(dir.path + "/book.txt");
    }
    ASSERT_TRUE(sim.Start(MP_PHONESIM, args)) << sim.Error();
    ::setenv("MIRAPOST_COM4", sim.SlavePath().c_str(), 1);
  }
  std::string Journal() const {
    std::string all;
    for (const auto& l : phonesim::ReadJournal(journal)) all += l + "\n";
    return all;
  }
  static TransferSettings Example() { return {"05912143F5", false, "00", true}; }
  void Send(const TransferSettings& s = Example(), std::string_view body = "0000A905E8329BFD06",
            int status = 2) {
    link.TransferMessage(s, false, body, status);
  }
  double Seconds() const { return std::chrono::duration<double>(Clock::now() - t0).count(); }

  TempDir dir;
  std::string journal;
  phonesim::SimProcess sim;
  RecordingHost host;
  PhoneLink link{host};
  Clock::time_point t0 = Clock::now();
  // Time-outs of a tenth of the real ones: handshake 100 ms, connection 1 s.
  static constexpr int kScale = 10;
  void ScaleTimeouts(int scale = kScale) { link.SetTimings(LinkTimings::Scaled(scale)); }
};

TEST_F(PhoneSim, ExampleSendWithEcho) {
  Start();
  Send();
  EXPECT_EQ(host.statuses, (S{kEst, kTransferring, kWaiting, "Message successfully sent."}));
  EXPECT_EQ(host.beeps, (B{BeepKind::Ok}));
  EXPECT_EQ(host.cursor, (std::vector<bool>{true, false}));
  EXPECT_EQ(link.TrafficLog(),
            "<10>AT+CMGF=0\r\r\nOK\r\n<10>AT+CMEE=1\r\r\nOK\r\n<CMD><11>AT+CMGS=16\r\r\n> <PDU><2><32><1>00" +
                kTpdu + "\r\n<END>+CMGS: 1\r\n\r\nOK\r\n");
  const std::string j = Journal();
  EXPECT_NE(j.find("\"command\":\"CMGS\",\"length\":16,\"sca\":\"00\",\"tpdu\":\"" + kTpdu + "\""),
            std::string::npos)
      << j;
  EXPECT_NE(j.find("\"da\":\"+12345\""), std::string::npos) << j;
  EXPECT_NE(j.find("\"text\":\"hello\""), std::string::npos) << j;
  EXPECT_NE(j.find("\"srr\":true"), std::string::npos) << j;
}

TEST_F(PhoneSim, SaveWithoutEchoAndWithoutCentre) {
  Start({"--no-echo"});
  // A class 0 template saved before the dialog was ever shown: no centre.
  Send({"0081", true, "", false}, "0010A900", 3);
  EXPECT_EQ(host.statuses, (S{kEst, kTransferring, kWaiting, "Message successfully saved in SM."}));
  EXPECT_EQ(host.beeps, (B{BeepKind::Ok}));
  EXPECT_EQ(link.TrafficLog(),
            "<10>\r\nOK\r\n<10>\r\nOK\r\n<CMD><12>\r\n> <PDU><2><16><1>\r\n<END>+CMGW: 1\r\n\r\nOK\r\n");
  const std::string j = Journal();
  EXPECT_NE(j.find("\"command\":\"CMGW\",\"length\":8,\"stat\":3,\"sca\":\"00\",\"tpdu\":\"11FF00810010A900\""),
            std::string::npos)
      << j;
}

TEST_F(PhoneSim, RefusedMessage) {
  Start({"--fault", "refuse"});
  Send();
  EXPECT_EQ(Lead(host.statuses),
            (S{kEst, kTransferring, kWaiting, "Failed, ME responded: +CMS ERROR: 500 (unknown error)."}));
  EXPECT_EQ(host.beeps, (B{BeepKind::Exclamation}));
}

// A long reply line is still the phone's confirmation.
TEST_F(PhoneSim, ReplyLineTooLong) {
  Start({"--fault", "long-line"});
  Send();
  EXPECT_EQ(host.statuses, (S{kEst, kTransferring, kWaiting, "Message successfully sent."}));
  EXPECT_EQ(host.beeps, (B{BeepKind::Ok}));
  EXPECT_LT(Seconds(), 5);
}

TEST_F(PhoneSim, HangUpAfterThePrompt) {
  Start({"--fault", "hangup-after-prompt"});
  Send();
  EXPECT_EQ(Lead(host.statuses), (S{kEst, kTransferring, kCommFailed}));
  EXPECT_NE(host.statuses.back().find("the line broke"), std::string::npos) << host.statuses.back();
  EXPECT_EQ(host.beeps, (B{BeepKind::Asterisk}));
  EXPECT_LT(Seconds(), 5);  // a hang-up is no time-out
  EXPECT_FALSE(link.IsOpen());
}

TEST_F(PhoneSim, SilenceAfterTheCommand) {
  Start({"--fault", "no-prompt"});
  ScaleTimeouts();
  Send();
  EXPECT_EQ(Lead(host.statuses), (S{kEst, kTransferring, kCommFailed}));
  EXPECT_EQ(host.beeps, (B{BeepKind::Asterisk}));
  EXPECT_GE(Seconds(), 0.99);  // one read time-out (10 s, scaled) after the echo
  EXPECT_LT(Seconds(), 5);
}

TEST_F(PhoneSim, HandshakeAnsweredWithError) {
  Start({"--fault", "cmgf-error"});
  ScaleTimeouts();
  Send();
  EXPECT_EQ(Lead(host.statuses), (S{kEst, "Failed, ME is not responding."}));
  EXPECT_NE(host.statuses.back().find("answered ERROR to AT+CMGF=0"), std::string::npos);
  EXPECT_EQ(host.beeps, (B{BeepKind::Asterisk}));
  // Five attempts, each ended by the answer; then the phone is asked why.
  std::string expected;
  for (int i = 0; i < 5; ++i) expected += "<10>AT+CMGF=0\r\r\nERROR\r\n";
  EXPECT_EQ(link.TrafficLog().rfind(expected + "<9>AT+CPIN?\r", 0), 0u) << link.TrafficLog();
  EXPECT_NE(link.TrafficLog().find("<9>AT+CREG?\r"), std::string::npos);
  EXPECT_LT(Seconds(), 5);
}

TEST_F(PhoneSim, ChatterEndsWithinTheBound) {
  Start({"--fault", "chatter", "--chatter-interval", "10"});
  ScaleTimeouts(20);
  Send();
  EXPECT_EQ(Lead(host.statuses), (S{kEst, "Failed, ME is not responding."}));
  EXPECT_EQ(host.beeps, (B{BeepKind::Asterisk}));
  // Five attempts, each ended by the bound of three read time-outs (1 s, scaled
  // to 50 ms): 0.75 s.
  EXPECT_GE(Seconds(), 0.72);
  EXPECT_LT(Seconds(), 5);
  EXPECT_NE(link.TrafficLog().find("+CREG: 1"), std::string::npos);
}

TEST_F(PhoneSim, PortsThatCannotBeOpened) {
  // No port chosen: COM0.
  host.port = -1;
  Send();
  EXPECT_EQ(host.statuses, (S{kEst, std::string(kCannotOpen) + " No port is chosen."}));
  // A device that does not exist.
  host = RecordingHost{};
  ::setenv("MIRAPOST_COM4", (dir.path + "/no-such-tty").c_str(), 1);
  Send();
  EXPECT_EQ(host.statuses, (S{kEst, std::string(kCannotOpen) + " " + dir.path + "/no-such-tty: does not exist."}));
  EXPECT_EQ(host.beeps, (B{BeepKind::Asterisk}));
  // A line that another program holds.
  Start();
  auto other = MakePosixSerialLine();
  ASSERT_TRUE(other->Open(sim.SlavePath()));
  host = RecordingHost{};
  Send();
  EXPECT_EQ(host.statuses,
            (S{kEst, std::string(kCannotOpen) + " " + sim.SlavePath() + ": is in use by another program."}));
  EXPECT_EQ(host.beeps, (B{BeepKind::Asterisk}));
  EXPECT_EQ(Journal(), "");
  other->Close();
  host = RecordingHost{};
  Send();
  EXPECT_EQ(host.statuses.back(), "Message successfully sent.");
}

TEST_F(PhoneSim, TrafficLogFileInTextMode) {
  Start();
  char cwd[4096];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(::chdir(dir.path.c_str()), 0);
  Send();
  link.LogReady = true;  // as the text message builder does after its transfer
  link.SaveTrafficLog();
  std::ifstream in(dir.path + "/MIRAPOST.LOG", std::ios::binary);
  std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(file, "<10>AT+CMGF=0\r\r\r\nOK\r\r\n<10>AT+CMEE=1\r\r\r\nOK\r\r\n<CMD><11>AT+CMGS=16\r\r\r\n> "
                  "<PDU><2><32><1>00" + kTpdu + "\r\r\n<END>+CMGS: 1\r\r\n\r\r\nOK\r\r\n");
  // A phonebook search clears LogReady: the file stays as it was.
  std::string name = "Nobody", address;
  link.FindPhonebookEntry(name, address);
  EXPECT_FALSE(link.LogReady);
  std::remove((dir.path + "/MIRAPOST.LOG").c_str());
  link.SaveTrafficLog();
  EXPECT_FALSE(std::ifstream(dir.path + "/MIRAPOST.LOG").good());
  ASSERT_EQ(::chdir(cwd), 0);
}

TEST_F(PhoneSim, PhonebookSearchFindsAnInternationalNumber) {
  Start({}, "5,+358401234567,145,Joe Bloggs\n6,555,129,Ann\n");
  std::string name = "Jo", address;
  EXPECT_TRUE(link.FindPhonebookEntry(name, address));
  EXPECT_EQ(name, "Joe Bloggs");
  EXPECT_EQ(address, "0C91534810325476");
  EXPECT_EQ(host.statuses, (S{kEst, kSearching, "Found: Joe Bloggs, +358401234567"}));
  EXPECT_EQ(host.beeps, (B{BeepKind::Ok}));
}

TEST_F(PhoneSim, PhonebookSearchNameCannotRunAnotherCommand) {
  Start({}, "1,555,129,Ann\n");
  // Unescaped, this would end the string and write location 1.
  std::string name = "x\";+CPBW=1,\"999\",129,\"Evil", address;
  EXPECT_FALSE(link.FindPhonebookEntry(name, address));
  EXPECT_EQ(name, "x\";+CPBW=1,\"999\",129,\"Evil");
  EXPECT_EQ(host.statuses.back(), "Cannot find matching entry.");  // OK without an entry
  EXPECT_EQ(Journal(), "");
  // The entry is still there.
  host = RecordingHost{};
  name = "An";
  EXPECT_TRUE(link.FindPhonebookEntry(name, address));
  EXPECT_EQ(host.statuses.back(), "Found: Ann, 555");
}

TEST_F(PhoneSim, PhonebookSearchNameWithADoubleQuote) {
  Start({}, "1,+3585551234,145,Jo\"e\n");
  std::string name = "Jo\"", address;
  // The phone finds it; its reply line splits at the quote in the name.
  EXPECT_TRUE(link.FindPhonebookEntry(name, address));
  EXPECT_EQ(name, "Jo");
  EXPECT_EQ(host.statuses.back(), "Found: Jo, +3585551234");
}

TEST_F(PhoneSim, PhonebookWriteAfterThreeUsedLocations) {
  Start({}, "1,111,129,A\n2,222,129,B\n3,333,129,C\n");
  EXPECT_TRUE(link.WritePhonebookEntry("3A6F65", "+3584012345", 145));
  EXPECT_EQ(host.statuses, (S{kEst, kSaving, "Entry successfully saved in ME memory location 4."}));
  EXPECT_EQ(host.beeps, (B{BeepKind::Ok}));
  const std::string j = Journal();
  EXPECT_NE(j.find("\"command\":\"CPBW\",\"memory\":\"ME\",\"charset\":\"HEX\",\"index\":4,"
                   "\"number\":\"+3584012345\",\"type\":145,\"name\":\"3A6F65\""),
            std::string::npos)
      << j;
  for (int i = 1; i <= 4; ++i)
    EXPECT_NE(link.TrafficLog().find("AT+CPBR=" + std::to_string(i) + "\r"), std::string::npos);
}

TEST_F(PhoneSim, PhonebookWriteEmptyLocationAnsweredWithABlankLine) {
  Start({"--empty-entry", "blank"}, "1,111,129,A\n");
  const std::string hexName(100, 'A');  // a long name, written whole
  EXPECT_TRUE(link.WritePhonebookEntry(hexName, "5551234", 129));
  EXPECT_EQ(host.statuses.back(), "Entry successfully saved in ME memory location 2.");
  EXPECT_NE(Journal().find("\"index\":2,\"number\":\"5551234\",\"type\":129,\"name\":\"" + hexName + "\""),
            std::string::npos)
      << Journal();
}

// "+CME ERROR: 22" (not found) for an empty location: that location is free.
TEST_F(PhoneSim, PhonebookWriteEmptyLocationAnsweredNotFound) {
  Start({"--empty-entry", "error"}, "1,111,129,A\n");
  ScaleTimeouts();
  EXPECT_TRUE(link.WritePhonebookEntry("41", "5551234", 129));
  EXPECT_EQ(host.statuses, (S{kEst, kSaving, "Entry successfully saved in ME memory location 2."}));
  EXPECT_EQ(host.beeps, (B{BeepKind::Ok}));
  EXPECT_NE(Journal().find("\"index\":2,"), std::string::npos) << Journal();
}

}  // namespace
}  // namespace mp::test
