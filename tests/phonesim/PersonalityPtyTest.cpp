// Personalities whose behaviour depends on time, with mirapost-phonesim as a
// process on a real pseudo-terminal.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <regex>
#include <thread>

#include "PtyLine.h"
#include "SimProcess.h"

namespace {

// Status lines keep coming while the network takes its time, each whole,
// and the answer comes whole after them.
TEST(PersonalityProcess, ChattyModemTalksWhileTheNetworkIsSlow) {
  phonesim::SimProcess sim;
  ASSERT_TRUE(sim.Start(MP_PHONESIM, {"--no-echo", "--personality", "chatty", "--personality=slow-network",
                                      "--status-interval", "40", "--reply-delay", "600"}))
      << sim.Error();
  Line line(sim.SlavePath());
  ASSERT_TRUE(line.Ok());
  line.Write("AT+CMGS=16\r");
  ASSERT_NE(line.ReadUntil("> ", 2000).find("\r\n> "), std::string::npos);
  line.Write("0031FF05912143F50000A905E8329BFD06\x1A");
  const std::string got = line.ReadUntil("OK\r\n", 5000);
  // The status line that follows every PDU, and at least one from the timer.
  EXPECT_TRUE(std::regex_match(got, std::regex("(\r\n[\\^#][^\r\n]+\r\n){2,}\r\n\\+CMGS: 1\r\n\r\nOK\r\n"))) << got;
  EXPECT_EQ(sim.Stop(), 0);
}

// The arrival times reach the drops-fast receiver: a burst is lost, a paced
// PDU arrives whole, and the journal keeps what arrived.
TEST(PersonalityProcess, DropsFastReceiver) {
  const std::string pdu = "0031FF05912143F50004A928" + std::string(80, '4');  // 51 octets
  for (const bool paced : {false, true}) {
    SCOPED_TRACE(paced ? "8 bytes every 10 ms, 40 ms after the prompt" : "one write right after the prompt");
    const std::string journal = TempPath("journal");
    phonesim::SimProcess sim;
    ASSERT_TRUE(sim.Start(MP_PHONESIM, {"--no-echo", "--personality", "drops-fast", "--journal", journal}))
        << sim.Error();
    Line line(sim.SlavePath());
    ASSERT_TRUE(line.Ok());
    line.Write("AT+CMGS=51\r");
    ASSERT_EQ(line.ReadUntil("> ", 2000), "\r\n> ");
    const std::size_t piece = paced ? 8 : pdu.size();
    for (std::size_t k = 0; k < pdu.size(); k += piece) {
      std::this_thread::sleep_for(std::chrono::milliseconds(paced ? (k ? 10 : 40) : 0));
      line.Write(pdu.substr(k, piece));
    }
    line.Write("\x1A");
    EXPECT_EQ(line.ReadUntil(paced ? "OK\r\n" : "304\r\n", 2000),
              paced ? "\r\n+CMGS: 1\r\n\r\nOK\r\n" : "\r\n+CMS ERROR: 304\r\n");
    EXPECT_EQ(sim.Stop(), 0);
    auto lines = phonesim::ReadJournal(journal);
    ASSERT_EQ(lines.size(), 1u);
    QJsonObject j = QJsonDocument::fromJson(QByteArray::fromStdString(lines[0])).object();
    EXPECT_EQ(j["result"].toString(), paced ? "+CMGS: 1" : "+CMS ERROR: 304");
    EXPECT_EQ(j["tpdu"].toString() == QString::fromStdString(pdu.substr(2)), paced);
    std::remove(journal.c_str());
  }
}

}  // namespace
