// Personalities whose behaviour depends on time or on the line, with
// mirapost-phonesim as a process on a real pseudo-terminal.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <cstdlib>
#include <regex>
#include <thread>

#include "PtyLine.h"
#include "SimProcess.h"

namespace {

constexpr const char* kPdu = "0031FF05912143F50000A905E8329BFD06";

std::size_t Count(const std::string& s, const std::string& what) {
  std::size_t n = 0;
  for (auto at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) ++n;
  return n;
}

// Status lines keep coming while the network takes its time, and the answer
// still comes whole after them.
TEST(PersonalityProcess, ChattyModemTalksWhileTheNetworkIsSlow) {
  phonesim::SimProcess sim;
  ASSERT_TRUE(sim.Start(MP_PHONESIM, {"--no-echo", "--personality", "chatty", "--personality=slow-network",
                                      "--status-interval", "40", "--reply-delay", "600"}))
      << sim.Error();
  Line line(sim.SlavePath());
  ASSERT_TRUE(line.Ok());
  line.Write("AT+CMGS=16\r");
  ASSERT_NE(line.ReadUntil("> ", 2000).find("\r\n> "), std::string::npos);
  line.Write(std::string(kPdu) + "\x1A");
  const std::string got = line.ReadUntil("OK\r\n", 5000);
  const auto reply = got.find("\r\n+CMGS: 1\r\n\r\nOK\r\n");
  ASSERT_NE(reply, std::string::npos) << got;
  // The status line that follows every PDU, and at least one from the timer.
  EXPECT_GE(Count(got.substr(0, reply), "\r\n^") + Count(got.substr(0, reply), "\r\n#STN"), 2u) << got;
  EXPECT_TRUE(std::regex_match(got, std::regex("(\r\n[\\^#][^\r\n]+\r\n)+\r\n\\+CMGS: 1\r\n\r\nOK\r\n"))) << got;
  EXPECT_EQ(sim.Stop(), 0);
}

// What reaches the phone depends on how the PDU is written.
TEST(PersonalityProcess, DropsFastReceiver) {
  const std::string pdu = "0031FF05912143F50004A928" + std::string(80, '4');
  struct Case {
    const char* what;
    int afterPromptMs;
    std::size_t chunk;
    int pauseMs;
    bool sent;
  } cases[] = {
      {"in one write right after the prompt", 0, 1000, 0, false},
      {"in one write after a pause", 40, 1000, 0, false},
      {"8 bytes every 10 ms after 40 ms", 40, 8, 10, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string journal = TempPath("journal");
    phonesim::SimProcess sim;
    ASSERT_TRUE(sim.Start(MP_PHONESIM, {"--no-echo", "--personality", "drops-fast", "--journal", journal}))
        << sim.Error();
    Line line(sim.SlavePath());
    ASSERT_TRUE(line.Ok());
    line.Write("AT+CMGS=51\r");
    ASSERT_EQ(line.ReadUntil("> ", 2000), "\r\n> ");
    std::this_thread::sleep_for(std::chrono::milliseconds(c.afterPromptMs));
    for (std::size_t k = 0; k < pdu.size(); k += c.chunk) {
      line.Write(pdu.substr(k, c.chunk));
      std::this_thread::sleep_for(std::chrono::milliseconds(c.pauseMs));
    }
    line.Write("\x1A");
    EXPECT_EQ(line.ReadUntil(c.sent ? "OK\r\n" : "304\r\n", 2000),
              c.sent ? "\r\n+CMGS: 1\r\n\r\nOK\r\n" : "\r\n+CMS ERROR: 304\r\n");
    EXPECT_EQ(sim.Stop(), 0);
    auto lines = phonesim::ReadJournal(journal);
    ASSERT_EQ(lines.size(), 1u);
    QJsonObject j = QJsonDocument::fromJson(QByteArray::fromStdString(lines[0])).object();
    EXPECT_EQ(j["result"].toString(), c.sent ? "+CMGS: 1" : "+CMS ERROR: 304");
    EXPECT_EQ(j["tpdu"].toString() == QString::fromStdString(pdu.substr(2)), c.sent);
    std::remove(journal.c_str());
  }
}

// A phone left in PDU entry stays there when the line is closed and opened
// again, until an ESC comes.
TEST(PersonalityProcess, PduEntryOutlivesAReopen) {
  phonesim::SimProcess sim;
  ASSERT_TRUE(sim.Start(MP_PHONESIM, {"--no-echo", "--personality", "pdu-entry,lf-only"})) << sim.Error();
  {
    Line line(sim.SlavePath());
    ASSERT_TRUE(line.Ok());
    line.Write("AT\r");
    EXPECT_EQ(line.ReadUntil("", 300), "");
  }
  Line again(sim.SlavePath());
  ASSERT_TRUE(again.Ok());
  again.Write("\x1B");
  again.Write("AT\r");
  EXPECT_EQ(again.ReadUntil("OK\n", 2000), "\nOK\n");
  EXPECT_EQ(sim.Stop(), 0);
}

TEST(PersonalityProcess, RejectsBadPersonalities) {
  for (const char* args : {"--personality bogus", "--personality cmee0,cmee2", "--personality",
                           "--reply-delay -1", "--status-interval 0"}) {
    const std::string cmd = std::string(MP_PHONESIM) + " " + args + " >/dev/null 2>&1";
    const int status = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << args;
    EXPECT_EQ(WEXITSTATUS(status), 2) << args;
  }
}

}  // namespace
