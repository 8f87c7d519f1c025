// The simulated phone's personalities: how real phones and modems differ
// from the textbook one in line ends, unsolicited lines, error reports, SIM
// and network state, and in what they do with bytes that come too fast.
#include <algorithm>
#include <ctime>

#include "AtText.h"

namespace phonesim {

namespace {

const std::pair<const char*, Personality> kPersonalities[] = {
    {"terse", Personality::Terse},
    {"chatty", Personality::Chatty},
    {"interrupting", Personality::Interrupting},
    {"unregistered", Personality::Unregistered},
    {"searching", Personality::Searching},
    {"denied", Personality::Denied},
    {"sim-pin", Personality::SimPin},
    {"sim-puk", Personality::SimPuk},
    {"cmee0", Personality::Cmee0},
    {"cmee1", Personality::Cmee1},
    {"cmee2", Personality::Cmee2},
    {"no-cmee", Personality::NoCmee},
    {"no-centre", Personality::NoCentre},
    {"drops-fast", Personality::DropsFast},
    {"pdu-entry", Personality::PduEntry},
    {"transient-500", Personality::Transient500},
    {"slow-network", Personality::SlowNetwork},
    {"lf-only", Personality::LfOnly},
    {"bare-prompt", Personality::BarePrompt},
    {"empty-cme22", Personality::EmptyCme22},
    {"phase2plus", Personality::Phase2Plus},
    {"reports", Personality::Reports},
    {"zero-mr", Personality::ZeroMr},
};

// Personalities that describe one setting in different ways.
const std::vector<std::vector<Personality>> kExclusive = {
    {Personality::Unregistered, Personality::Searching, Personality::Denied},
    {Personality::SimPin, Personality::SimPuk},
    {Personality::Cmee0, Personality::Cmee1, Personality::Cmee2, Personality::NoCmee},
};

const char* NameOf(Personality p) {
  for (const auto& [n, q] : kPersonalities) {
    if (q == p) return n;
  }
  return "?";
}

// Vendor status lines of the chatty modem, in turn: signal, boot and mode
// reports and data counters of one maker's USB sticks, and another maker's
// SIM toolkit notice.
const char* const kStatusLines[] = {
    "^RSSI:18",
    "^BOOT:20952823,0,0,0,72",
    "^MODE:5,4",
    "^DSFLOWRPT:00000010,00000000,00000000,0000000000000000,0000000000000000,0003E800,0003E800",
    "#STN: 37",
};

// A message that arrived for the phone (SMS-DELIVER "hello" from
// +358401234567, with the centre +358405202000) and a status report for
// message reference 1, as +CMT and +CDS show them in PDU mode.
constexpr const char* kDeliverPdu = "0791534850020200040C9153481032547600006221701102000005E8329BFD06";
constexpr const char* kStatusReportPdu =
    "079153485002020006010C91534810325476622170110200006221701102100000";

}  // namespace

bool ParsePersonalities(std::string_view list, std::set<Personality>& result, std::string& error) {
  std::set<Personality> out = result;
  std::size_t from = 0;
  while (from <= list.size()) {
    std::size_t comma = list.find(',', from);
    if (comma == std::string_view::npos) comma = list.size();
    const std::string name = Trim(list.substr(from, comma - from));
    from = comma + 1;
    bool known = false;
    for (const auto& [n, p] : kPersonalities) {
      if (name == n) {
        out.insert(p);
        known = true;
      }
    }
    if (!known) {
      error = "unknown personality \"" + name + "\"";
      return false;
    }
  }
  for (const auto& group : kExclusive) {
    const Personality* first = nullptr;
    for (const Personality& p : group) {
      if (!out.count(p)) continue;
      if (first) {
        error = std::string("personalities ") + NameOf(*first) + " and " + NameOf(p) + " cannot be combined";
        return false;
      }
      first = &p;
    }
  }
  result = std::move(out);
  return true;
}

// Settings that ATZ and AT&F bring back.
void Phone::Reset() {
  echo_ = options_.echo;
  verbose_ = true;
  quiet_ = false;
  cmee_ = cmeeDefault_;
}

std::string Phone::Frame(std::string text) const {
  if (!Is(Personality::LfOnly)) return text;
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

std::string Phone::Unsolicited(std::initializer_list<const char*> lines) const {
  std::string s;
  for (const char* line : lines) s += std::string("\r\n") + line + "\r\n";
  return Frame(s);
}

std::string Phone::Prompt() const {
  if (Is(Personality::BarePrompt)) return ">";
  return Is(Personality::LfOnly) ? "> " : "\r\n> ";
}

std::string Phone::CmsText(int code) const {
  const char* text = CmsVerbose(code);
  return cmee_ == 2 && text ? text : std::to_string(code);
}

int Phone::PeriodicMs() const { return Is(Personality::Chatty) ? std::max(1, options_.statusIntervalMs) : 0; }

void Phone::Periodic(std::vector<Event>& out) {
  if (!Is(Personality::Chatty)) return;
  const int n = static_cast<int>(std::size(kStatusLines));
  Send(out, Unsolicited({kStatusLines[statusIndex_++ % n]}));
}

bool Phone::KeepPduByte(char) {
  if (!Is(Personality::DropsFast)) return true;
  if (nowMs_ - promptMs_ < kDropAfterPromptMs) return false;
  bufferLevel_ = std::max(0.0, bufferLevel_ - (nowMs_ - drainMs_) * kDropDrainPerMs);
  drainMs_ = nowMs_;
  if (bufferLevel_ + 1 > kDropBuffer) return false;
  bufferLevel_ += 1;
  return true;
}

int Phone::SendRefusal(bool network) const {
  if (simLocked_) return Is(Personality::SimPuk) ? 316 : 311;
  if (network && (Is(Personality::Unregistered) || Is(Personality::Searching) || Is(Personality::Denied)))
    return 331;
  return 0;
}

// The RP-ACK's SMS-SUBMIT-REPORT (TS 23.040 9.2.2.2a) as phase 2+ phones
// append it to +CMGS (TS 27.005 4.3): parameter indicator with TP-PID and
// TP-DCS, the service centre time stamp (now, UTC), TP-PID and TP-DCS.
std::string Phone::SubmitReport() const {
  const std::time_t now = std::time(nullptr);
  std::tm t{};
  gmtime_r(&now, &t);
  auto semi = [](int v) {
    const char d[] = {static_cast<char>('0' + v % 10), static_cast<char>('0' + v / 10 % 10), 0};
    return std::string(d);
  };
  return "0103" + semi(t.tm_year % 100) + semi(t.tm_mon + 1) + semi(t.tm_mday) + semi(t.tm_hour) +
         semi(t.tm_min) + semi(t.tm_sec) + "00" + "0000";
}

// SIM, network and error-report state: +CPIN, +CREG, +COPS, +CMEE.
std::optional<bool> Phone::StateCommand(const Command& c) {
  const std::string& name = c.name;
  const char op = c.op;
  auto arg = [&c](std::size_t k) { return c.arg(k); };
  auto info = [&c](std::string text) { return c.info(std::move(text)); };
  if (name == "+CPIN") {
    if (op == '?') {
      if (!simLocked_) return info("+CPIN: READY");
      return info(Is(Personality::SimPuk) ? "+CPIN: SIM PUK" : "+CPIN: SIM PIN");
    }
    if (op == 't') return true;
    if (op != '=') return false;
    if (!simLocked_) return true;
    // The SIM's PIN is 1234 and its PUK 12345678 (TS 27.007 8.3).
    const bool ok = Is(Personality::SimPuk) ? arg(0).text == "12345678" && arg(1).present
                                            : arg(0).text == "1234" && !arg(1).present;
    if (!ok) return c.cme(16);
    simLocked_ = false;
    return true;
  }
  const int stat = simLocked_ || Is(Personality::Unregistered) ? 0
                   : Is(Personality::Searching)              ? 2
                   : Is(Personality::Denied)                 ? 3
                                                             : 1;
  if (name == "+CREG") {
    if (op == '?') return info("+CREG: 0," + std::to_string(stat));
    if (op == 't') return info("+CREG: (0-2)");
    return op == '=';
  }
  if (name == "+COPS") {
    if (op == '?') return info(stat == 1 ? "+COPS: 0,2,\"24405\"" : "+COPS: 0");
    if (op == 't') return info("+COPS: (2,\"Radiolinja\",\"RL\",\"24405\"),,(0-4),(0-2)");
    return op == '=';
  }
  if (name == "+CMEE") {
    if (Is(Personality::NoCmee)) return false;
    if (op == '?') return info("+CMEE: " + std::to_string(cmee_));
    if (op == 't') return info("+CMEE: (0-2)");
    if (op == 'x') {
      cmee_ = 0;
      return true;
    }
    int v = 0;
    if (!ToInt(arg(0), v) || v > 2) return false;
    cmee_ = v;
    return true;
  }
  return std::nullopt;
}

// The unsolicited lines of the interrupting phone while a PDU is on its way
// to the network: a call, and new-message and status-report indications in
// both the stored (+CMTI, +CDSI) and the routed (+CMT, +CDS) form.
std::string Phone::MidSendIndications() const {
  const std::string cmt = std::string("+CMT: ,24\r\n") + kDeliverPdu;
  const std::string cds = std::string("+CDS: 25\r\n") + kStatusReportPdu;
  return Unsolicited({"+CRING: VOICE", "+CLIP: \"+123\",145", "+CMTI: \"SM\",3", "+CDSI: \"SM\",4", cmt.c_str(),
                      cds.c_str()});
}

}  // namespace phonesim
