// The simulated phone's personalities in process: what each one answers,
// byte for byte, and that the journal keeps what arrived.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <regex>

#include "Phone.h"

using phonesim::Event;
using phonesim::Phone;
using phonesim::PhoneOptions;

namespace {

constexpr const char* kPdu = "0031FF05912143F50000A905E8329BFD06";  // 16 octets, "hello"
constexpr const char* kPduWithCentre = "079153485002020031FF05912143F50000A905E8329BFD06";

PhoneOptions With(const char* personalities, bool echo = false) {
  PhoneOptions o;
  o.echo = echo;
  std::string error;
  if (*personalities) {
    EXPECT_TRUE(phonesim::ParsePersonalities(personalities, o.personalities, error)) << error;
  }
  o.mePhonebook[1] = {"+358401234567", 145, "Anna"};
  return o;
}

struct Harness {
  explicit Harness(PhoneOptions o) : phone(std::move(o)) {
    phone.journal = [this](const std::string& line) { journal.push_back(line); };
  }
  // What the phone says at once; what it holds back goes to `delayed`.
  std::string Say(std::string_view in, double atMs = -1) {
    std::vector<Event> ev;
    atMs < 0 ? phone.Receive(in, ev) : phone.Receive(in, ev, atMs);
    std::string out;
    for (const auto& e : ev) {
      (e.delayMs > 0 ? delayed : out) += e.bytes;
      delayMs = std::max(delayMs, e.delayMs);
    }
    return out;
  }
  QJsonObject Journal(std::size_t k) const {
    return QJsonDocument::fromJson(QByteArray::fromStdString(journal.at(k))).object();
  }
  Phone phone;
  std::vector<std::string> journal;
  std::string delayed;
  int delayMs = 0;
};

struct Step {
  std::string in, out;  // out: exact, or a regular expression after "~"
};
struct Case {
  const char* personalities;
  bool echo;
  std::vector<Step> steps;
  std::vector<std::string> journalResults;  // "result" of each journal line
};

const std::string kSend = std::string(kPdu) + "\x1A";

TEST(Personality, AnswersByteForByte) {
  const std::string ok = "\r\nOK\r\n", send = "AT+CMGS=16\r" + kSend, store = "AT+CMGW=16\r" + kSend;
  const std::string sent = "\r\n> \r\n+CMGS: 1\r\n\r\nOK\r\n", stored = "\r\n> \r\n+CMGW: 1\r\n\r\nOK\r\n";
  const std::string anna = "+CPBR: 1,\"+358401234567\",145,\"Anna\"\r\n\r\nOK\r\n";
  const Case cases[] = {
      // The textbook phone answers the questions asked after a refusal.
      {"",
       false,
       {{"AT+CPIN?\r", "\r\n+CPIN: READY\r\n" + ok},
        {"AT+CREG?\r", "\r\n+CREG: 0,1\r\n" + ok},
        {"AT+CSCA?\r", "\r\n+CSCA: \"+358405202000\",145\r\n" + ok},
        {"AT+CPBR=?\r", "\r\n+CPBR: (1-250),40,64\r\n" + ok},
        {"AT+CMEE=1\r", ok},
        {"AT+CBOGUS\r", "\r\nERROR\r\n"}},
       {}},
      {"terse",
       true,
       {{"AT+CPIN?\r", "\r\n+CPIN: READY\r\nOK\r\n"},
        {send, "\r\n> \r\n+CMGS: 1\r\nOK\r\n"},
        {"ATE1\r", ok},
        {"AT\r", "AT\r" + ok},
        {"ATZ\r", "ATZ\r" + ok},
        {"AT\r", ok}},
       {"+CMGS: 1"}},
      {"lf-only", false, {{"AT+CPIN?\r", "\n+CPIN: READY\n\nOK\n"}, {store, "> \n+CMGW: 1\n\nOK\n"}}, {"+CMGW: 1"}},
      {"bare-prompt", false, {{send, ">\r\n+CMGS: 1\r\n\r\nOK\r\n"}}, {"+CMGS: 1"}},
      {"lf-only,bare-prompt", true, {{"AT+CMGS=16\r", "AT+CMGS=16\r>"}}, {}},
      // Not registered: the message is refused after the PDU, a store works.
      {"unregistered",
       false,
       {{"AT+CREG?;+COPS?\r", "\r\n+CREG: 0,0\r\n\r\n+COPS: 0\r\n" + ok},
        {send, "\r\n> \r\n+CMS ERROR: 331\r\n"},
        {store, stored}},
       {"+CMS ERROR: 331", "+CMGW: 1"}},
      {"searching", false, {{"AT+CREG?\r", "\r\n+CREG: 0,2\r\n" + ok}}, {}},
      {"denied,cmee2",
       false,
       {{"AT+CREG?\r", "\r\n+CREG: 0,3\r\n" + ok}, {send, "\r\n> \r\n+CMS ERROR: no network service\r\n"}},
       {"+CMS ERROR: 331"}},
      // The SIM wants its PIN: refused without a prompt, until the PIN is given.
      {"sim-pin",
       false,
       {{"AT+CPIN?;+CREG?\r", "\r\n+CPIN: SIM PIN\r\n\r\n+CREG: 0,0\r\n" + ok},
        {"AT+CMGS=16\r", "\r\n+CMS ERROR: 311\r\n"},
        {"AT+CMGW=16\r", "\r\n+CMS ERROR: 311\r\n"},
        {"AT+CPBS=\"SM\";+CPBR=1\r", "\r\n+CME ERROR: 11\r\n"},
        {"AT+CPIN=\"0000\"\r", "\r\n+CME ERROR: 16\r\n"},
        {"AT+CPIN=\"1234\"\r", ok},
        {"AT+CPIN?\r", "\r\n+CPIN: READY\r\n" + ok},
        {send, sent}},
       {"+CMGS: 1"}},
      {"sim-puk",
       false,
       {{"AT+CPIN?\r", "\r\n+CPIN: SIM PUK\r\n" + ok}, {"AT+CMGW=16\r", "\r\n+CMS ERROR: 316\r\n"}},
       {}},
      // Error verbosity, and the phone honours AT+CMEE.
      {"cmee0",
       false,
       {{"AT+CPBR=999\r", "\r\nERROR\r\n"},
        {"AT+CMEE=1;+CPBR=999\r", "\r\n+CME ERROR: 21\r\n"},
        {"ATZ;+CMEE?\r", "\r\n+CMEE: 0\r\n" + ok}},
       {}},
      {"cmee2",
       false,
       {{"AT+CPBR=999\r", "\r\n+CME ERROR: invalid index\r\n"},
        {"AT+CMGF=1\r", "\r\n+CMS ERROR: operation not supported\r\n"}},
       {}},
      {"no-cmee", false, {{"AT+CMEE=1\r", "\r\nERROR\r\n"}, {"AT+CPBR=999\r", "\r\nERROR\r\n"}}, {}},
      // No centre: "00" is refused, an explicit centre or a stored one works.
      {"no-centre",
       false,
       {{"AT+CSCA?\r", "\r\n+CSCA: \"\",129\r\n" + ok},
        {send, "\r\n> \r\n+CMS ERROR: 330\r\n"},
        {"AT+CMGS=16\r" + std::string(kPduWithCentre) + "\x1A", sent},
        {store, stored},
        {"AT+CSCA=\"+358405202000\"\r", ok},
        {send, "\r\n> \r\n+CMGS: 2\r\n" + ok}},
       {"+CMS ERROR: 330", "+CMGS: 1", "+CMGW: 1", "+CMGS: 2"}},
      {"transient-500",
       false,
       {{send, "\r\n> \r\n+CMS ERROR: 500\r\n"}, {send, sent}},
       {"+CMS ERROR: 500", "+CMGS: 1"}},
      {"phase2plus",
       false,
       {{"AT+CSMS?\r", "\r\n+CSMS: 1,1,1,1\r\n" + ok},
        {send, "~\r\n> \r\n\\+CMGS: 1,\"0103[0-9]{12}000000\"\r\n\r\nOK\r\n"}},
       {"+CMGS: 1"}},
      // Delivery reports: routed after the answer (<ds> 1), kept and said
      // (<ds> 2), dropped (<ds> 0, the textbook phone's setting).
      {"reports",
       false,
       {{"AT+CNMI?\r", "\r\n+CNMI: 2,1,0,1,0\r\n" + ok},
        {send, "~" + std::string("\r\n> \r\n\\+CMGS: 1\r\n\r\nOK\r\n") +
                   "\r\n\\+CDS: 22\r\n00060105912143F5[0-9]{12}00[0-9]{12}0000\r\n"},
        {"AT+CNMI=,,,2\r", ok},
        {"AT+CNMI?\r", "\r\n+CNMI: 2,1,0,2,0\r\n" + ok},
        {send, "~\r\n> \r\n\\+CMGS: 2\r\n\r\nOK\r\n\r\n\\+CDSI: \"SR\",1\r\n"},
        {"AT+CPMS=\"SR\"\r", "\r\n+CPMS: 1,30\r\n" + ok},
        {"AT+CMGL=4\r", "~\r\n\\+CMGL: 1,1,,22\r\n00060205912143F5[0-9]{28}00\r\n\r\nOK\r\n"},
        {"AT+CMGD=1\r", ok},
        {"AT+CMGL=4\r", ok},
        {"AT+CNMI=,,,3\r", "\r\nERROR\r\n"}},
       {"+CMGS: 1", "+CMGS: 2"}},
      {"zero-mr",
       false,
       {{"AT+CNMI=,,,2\r", ok},
        {send, "\r\n> \r\n+CMGS: 0\r\n\r\nOK\r\n\r\n+CDSI: \"SM\",1\r\n"},
        {send, "\r\n> \r\n+CMGS: 0\r\n\r\nOK\r\n\r\n+CDSI: \"SM\",2\r\n"}},
       {"+CMGS: 0", "+CMGS: 0"}},
      {"empty-cme22", false, {{"AT+CPBR=2\r", "\r\n+CME ERROR: 22\r\n"}, {"AT+CPBR=1\r", "\r\n" + anna}}, {}},
      // Calls and indications mid-send and during phonebook reads; the PDUs
      // of +CMT and +CDS hold a centre address and the announced TPDU length.
      {"interrupting",
       false,
       {{"AT+CMGS=16\r", "\r\nRING\r\n\r\n+CLIP: \"+123\",145\r\n\r\n> "},
        {kSend,
         "~\r\n\\+CRING: VOICE\r\n\r\n\\+CLIP: \"\\+123\",145\r\n\r\n\\+CMTI: \"SM\",3\r\n\r\n\\+CDSI: \"SM\",4\r\n"
         "\r\n\\+CMT: ,24\r\n[0-9A-F]{64}\r\n\r\n\\+CDS: 25\r\n[0-9A-F]{66}\r\n\r\n\\+CMGS: 1\r\n\r\nOK\r\n"},
        {"AT+CPBR=1\r", "\r\nRING\r\n\r\n" + anna},
        {"AT+CPBR=2\r", ok},
        {"AT+CPBF=\"An\"\r", "\r\n+CREG: 1,\"0010\",\"1234\"\r\n\r\n+CPBF: 1,\"+358401234567\",145,\"Anna\"\r\n" + ok}},
       {"+CMGS: 1"}},
      {"chatty", false, {{send, "\r\n> \r\n^RSSI:18\r\n\r\n+CMGS: 1\r\n" + ok}}, {"+CMGS: 1"}},
      // Left in PDU entry: commands are swallowed until ESC, which says nothing.
      {"pdu-entry", true, {{"AT+CMGF=0\r", "AT+CMGF=0\r"}, {"\x1B", ""}, {"AT\r", "AT\r" + ok}}, {}},
      {"pdu-entry", false, {{"AT\r", ""}, {"\x1A", "\r\n+CMS ERROR: 304\r\n"}, {"AT\r", ok}}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.personalities);
    Harness h(With(c.personalities, c.echo));
    for (const auto& step : c.steps) {
      const std::string got = h.Say(step.in);
      if (!step.out.empty() && step.out[0] == '~') {
        EXPECT_TRUE(std::regex_match(got, std::regex(step.out.substr(1)))) << step.in << " -> " << got;
      } else {
        EXPECT_EQ(got, step.out) << step.in;
      }
    }
    ASSERT_EQ(h.journal.size(), c.journalResults.size());
    for (std::size_t k = 0; k < h.journal.size(); ++k) {
      QJsonObject j = h.Journal(k);
      EXPECT_EQ(j["result"].toString().toStdString(), c.journalResults[k]) << k;
      // Whatever the personality, the journal keeps the message as it came.
      EXPECT_TRUE(j["tpdu"].toString() == "31FF05912143F50000A905E8329BFD06") << h.journal[k];
      EXPECT_EQ(j["decoded"].toObject()["text"].toString(), "hello") << h.journal[k];
    }
  }
}

TEST(Personality, SlowNetworkHoldsBackOnlyTheNetworkAnswer) {
  PhoneOptions o = With("slow-network,chatty");
  o.replyDelayMs = 1500;
  Harness h(o);
  EXPECT_EQ(h.Say("AT+CMGS=16\r"), "\r\n> ");
  EXPECT_EQ(h.Say(kSend), "\r\n^RSSI:18\r\n");
  EXPECT_EQ(h.delayed, "\r\n+CMGS: 1\r\n\r\nOK\r\n");
  EXPECT_EQ(h.delayMs, 1500);
  ASSERT_EQ(h.journal.size(), 1u);  // sent as soon as the network has it
  h.delayed.clear();
  EXPECT_EQ(h.Say("AT+CMGW=16\r" + kSend), "\r\n> \r\n^BOOT:20952823,0,0,0,72\r\n\r\n+CMGW: 1\r\n\r\nOK\r\n");
  EXPECT_EQ(h.delayed, "");
  EXPECT_EQ(h.phone.PeriodicMs(), 1000);
}

// Drops-fast: what a writer's pacing does to the PDU. Times are in
// milliseconds after the prompt.
TEST(Personality, DropsFastLosesBurstsAndKeepsPacedBytes) {
  // 51 octets of 8-bit data, 104 hex characters with the "00" centre.
  const std::string pdu = "0031FF05912143F50004A928" + std::string(80, '4');
  struct {
    const char* what;
    double firstMs, pauseMs;  // first PDU byte after the prompt, pause after each piece
    std::size_t piece;
    bool sent;
  } const cases[] = {
      {"one burst right after the prompt", 1, 0, 200, false}, {"one burst after a pause", 30, 0, 200, false},
      {"paced right after the prompt", 2, 5, 16, false},      {"paced 16 bytes every 5 ms", 20, 5, 16, true},
      {"paced 48 bytes every 12 ms", 25, 12, 48, true},       {"paced 32 bytes every 5 ms", 25, 5, 32, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Harness h(With("drops-fast", true));
    double t = 1000;
    h.Say("AT+CMGS=51\r", t);
    t += c.firstMs;
    std::string echo;
    for (std::size_t k = 0; k < pdu.size(); k += c.piece, t += c.pauseMs) echo += h.Say(pdu.substr(k, c.piece), t);
    const std::string reply = h.Say("\x1A", t);
    EXPECT_EQ(echo.size() == pdu.size(), c.sent) << echo.size();
    EXPECT_EQ(reply.find("+CMGS: 1") != std::string::npos, c.sent) << reply;
    QJsonObject j = h.Journal(0);
    // The journal keeps what arrived: the message itself, or what was left of it.
    EXPECT_EQ(j["tpdu"].toString().size() == 102, c.sent) << h.journal[0];
    EXPECT_EQ(j["result"].toString(), c.sent ? "+CMGS: 1" : "+CMS ERROR: 304");
    EXPECT_EQ(j.contains("decoded"), c.sent);
  }
}

TEST(Personality, NamesAndClashes) {
  const std::pair<const char*, int> cases[] = {{"terse", 1}, {"chatty,interrupting,lf-only", 3}, {" sim-pin , no-centre", 2},
                                               {"cmee0,cmee2", 0}, {"sim-pin,sim-puk", 0}, {"unregistered,denied", 0},
                                               {"terse,", 0}, {"Terse", 0}, {"", 0}};
  for (const auto& [list, count] : cases) {
    std::set<phonesim::Personality> set;
    std::string error;
    EXPECT_EQ(phonesim::ParsePersonalities(list, set, error), count > 0) << list;
    EXPECT_EQ(error.empty(), count > 0) << list;
    EXPECT_EQ(set.size(), static_cast<std::size_t>(count)) << list;
  }
}

}  // namespace
