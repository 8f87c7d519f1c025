// Every kind of transfer against every personality of the simulated phone,
// through the phone link on a real pseudo-terminal and the scaled clock: a
// message the phone accepted is confirmed, a refused one refused with its
// cause named, one whose answer never came unconfirmed; the journal holds
// the TPDU handed over; the port is closed and its lock file gone.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>
#include <fstream>
#include <thread>

#include "Fakes.h"
#include "SimProcess.h"
#include "builders/Submit.h"
#include "phone/PhoneLink.h"
#include "phone/PortAccess.h"

namespace mp::test {
namespace {

constexpr Outcome C = Outcome::Confirmed, R = Outcome::Refused, U = Outcome::Unconfirmed;
const std::string kBody = "0000A905E8329BFD06";  // "hello"

struct Row {
  std::vector<std::string> args;  // the personality, then other options
  Outcome send, save;
  int cms;            // of the refused one(s)
  const char* cause;  // a word of the cause named in the status text
  bool paced = false;
};

const Row kRows[] = {
    {{}, C, C, -1, ""},
    {{"terse"}, C, C, -1, ""},
    {{"chatty", "--status-interval", "20"}, C, C, -1, ""},
    {{"interrupting"}, C, C, -1, ""},
    {{"unregistered"}, R, C, 331, "registered"},
    {{"searching"}, R, C, 331, "registered"},
    {{"denied"}, R, C, 331, "registered"},
    {{"sim-pin"}, R, R, 311, "PIN"},
    {{"sim-puk"}, R, R, 316, "PUK"},
    {{"cmee0"}, C, C, -1, ""},
    {{"cmee1"}, C, C, -1, ""},
    {{"cmee2"}, C, C, -1, ""},
    {{"no-cmee"}, C, C, -1, ""},
    {{"no-centre"}, R, C, 330, "centre"},
    {{"drops-fast"}, R, R, 304, "paced"},
    {{"drops-fast"}, C, C, -1, "", true},
    {{"pdu-entry"}, C, C, -1, ""},
    {{"transient-500"}, R, C, 500, ""},
    {{"slow-network", "--reply-delay", "150"}, C, C, -1, ""},
    {{"slow-network", "--reply-delay", "800"}, U, C, -1, ""},
    // The prompt straight after the echo's line end ("AT+CMGS=16\r> ").
    {{"lf-only"}, C, C, -1, ""},
    {{"bare-prompt"}, C, C, -1, ""},
    {{"bare-prompt", "--no-echo"}, C, C, -1, ""},
    {{"lf-only", "--no-echo"}, C, C, -1, ""},
    {{"lf-only,bare-prompt,terse"}, C, C, -1, ""},
    {{"empty-cme22"}, C, C, -1, ""},
    {{"phase2plus"}, C, C, -1, ""},
};

void PrintTo(const Row& row, std::ostream* os) {
  for (const auto& a : row.args) *os << a << " ";
}

class PersonalityMatrix : public ::testing::TestWithParam<Row> {
 protected:
  void SetUp() override {
    journal = dir.path + "/journal.txt";
    const std::string book = dir.path + "/book.txt";
    std::ofstream(book) << "1,+3584000001,145,Name 1\n2,+3584000002,145,Name 2\n";
    std::vector<std::string> args = {"--journal", journal, "--phonebook", book};
    if (!GetParam().args.empty()) args.insert(args.end(), {"--personality", GetParam().args[0]});
    args.insert(args.end(), GetParam().args.begin() + (GetParam().args.empty() ? 0 : 1), GetParam().args.end());
    ASSERT_TRUE(sim.Start(MP_PHONESIM, args)) << sim.Error();
    ::setenv("MIRAPOST_COM4", sim.SlavePath().c_str(), 1);
    LinkTimings t = LinkTimings::Scaled(10);
    t.Network = 500;  // the wait for the network's answer
    if (GetParam().paced) {  // paced writing keeps its real pauses
      t.PacePause = LinkTimings().PacePause;
      t.PromptPause = LinkTimings().PromptPause;
      link.SetPaced(true);
    }
    link.SetTimings(t);
  }
  void TearDown() override {
    sim.Stop();
    ::unsetenv("MIRAPOST_COM4");
  }
  std::vector<QJsonObject> Journal() const {
    std::vector<QJsonObject> out;
    for (const auto& l : phonesim::ReadJournal(journal))
      out.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(l)).object());
    return out;
  }
  // The port is closed and its lock file gone.
  void ExpectReleased() {
    EXPECT_FALSE(link.IsOpen());
    EXPECT_FALSE(std::filesystem::exists(CurrentPortPaths().lockDir + "/" + UucpLock::FileName(sim.SlavePath())));
  }

  TempDir dir;
  std::string journal;
  phonesim::SimProcess sim;
  RecordingHost host;
  PhoneLink link{host};
};

TEST_P(PersonalityMatrix, EveryTransfer) {
  const Row& row = GetParam();
  for (const bool save : {false, true}) {
    SCOPED_TRACE(save ? "save" : "send");
    const TransferSettings settings{"05912143F5", save, "00", true};
    const std::size_t before = Journal().size();
    const LinkResult result = link.TransferMessage(settings, false, kBody, save ? 3 : 2);
    ExpectReleased();
    ASSERT_FALSE(host.reports.empty());
    const TransferReport& report = host.reports.back();
    const Outcome expected = save ? row.save : row.send;
    EXPECT_EQ(OutcomeName(result.outcome), std::string(OutcomeName(expected))) << report.statusText;
    EXPECT_EQ(report.result.outcome, result.outcome);
    const std::string tpdu = SubmitTpdu(settings, false, kBody);
    EXPECT_EQ(report.tpdu, tpdu);
    if (expected == R) {
      EXPECT_EQ(result.cms, row.cms) << report.statusText;
      EXPECT_NE(report.statusText.find(row.cause), std::string::npos) << report.statusText;
    }
    const auto lines = Journal();
    ASSERT_EQ(lines.size(), before + (row.cms == 311 || row.cms == 316 ? 0 : 1));
    // A phone still waiting for the network answers nothing else until then.
    if (result.outcome == U) std::this_thread::sleep_for(std::chrono::milliseconds(400));
    if (lines.size() == before) continue;
    const QJsonObject& j = lines.back();
    EXPECT_EQ(j["command"].toString(), save ? "CMGW" : "CMGS");
    // A burst that the phone partly lost is journalled as what arrived.
    if (row.cms != 304) {
      EXPECT_EQ(j["tpdu"].toString().toStdString(), tpdu);
    }
    EXPECT_EQ(j["result"].toString().startsWith("+CMS ERROR"), expected == R);
  }
  if (row.cms == 500) {  // the second try of a transient failure goes through
    EXPECT_EQ(link.TransferMessage({"05912143F5", false, "00", true}, false, kBody, 2).outcome, C)
        << host.reports.back().statusText;
    ExpectReleased();
  }
  // The phonebook: the search finds the entry asked for, the write takes the
  // first free location and overwrites nothing.
  std::string name = "Name 2", address;
  EXPECT_TRUE(link.FindPhonebookEntry(name, address)) << host.statuses.back();
  EXPECT_EQ(name + " " + address, "Name 2 0A915348000020");
  ExpectReleased();
  EXPECT_TRUE(link.WritePhonebookEntry("41", "5551234", 129)) << host.statuses.back();
  ExpectReleased();
  const auto lines = Journal();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back()["command"].toString(), "CPBW");
  EXPECT_EQ(lines.back()["index"].toInt(), 3);
}

std::string RowName(const ::testing::TestParamInfo<Row>& info) {
  std::string name = info.param.args.empty() ? "textbook" : info.param.args[0];
  if (info.param.args.size() > 2) name += "_" + info.param.args[2];
  if (info.param.args.size() == 2) name += "_" + info.param.args[1].substr(2);
  if (info.param.paced) name += "_paced";
  for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Phones, PersonalityMatrix, ::testing::ValuesIn(kRows), RowName);

}  // namespace
}  // namespace mp::test
