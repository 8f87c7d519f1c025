// Delivery reports while the port is open: the phone is asked to keep them,
// the ones it routes ("+CDS") or keeps ("+CDSI") are noted wherever they come,
// acknowledged where the phone wants it, and handed to the host.
#include "phone/Reports.h"

#include <cstdlib>
#include <vector>

#include "phone/PhoneLink.h"

namespace mp {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// The text after "<prefix>:", or nothing.
std::optional<std::string_view> After(std::string_view line, std::string_view prefix) {
  if (!HasInfoPrefix(line, prefix)) return std::nullopt;
  return Trim(line.substr(line.find(':') + 1));
}

// Fields separated by commas outside parentheses and quotes.
std::vector<std::string_view> Fields(std::string_view s) {
  std::vector<std::string_view> out;
  int depth = 0;
  bool quoted = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= s.size(); ++i) {
    const char c = i < s.size() ? s[i] : ',';
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (c == ',' && depth <= 0) {
      out.push_back(Trim(s.substr(start, i - start)));
      start = i + 1;
    }
  }
  return out;
}

std::optional<int> Number(std::string_view s) {
  s = Trim(s);
  if (s.empty() || s.size() > 4) return std::nullopt;
  int v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  return v;
}

// Whether the range list "(0-2)", "(0,2)", "0,1,2" or "(0-1,2)" holds `value`.
bool Offers(std::string_view list, int value) {
  list = Trim(list);
  if (!list.empty() && list.front() == '(') list.remove_prefix(1);
  if (!list.empty() && list.back() == ')') list.remove_suffix(1);
  std::size_t start = 0;
  for (std::size_t i = 0; i <= list.size(); ++i) {
    if (i < list.size() && list[i] != ',') continue;
    const std::string_view item = list.substr(start, i - start);
    start = i + 1;
    const std::size_t dash = item.find('-');
    if (dash == std::string_view::npos) {
      if (Number(item) == value) return true;
    } else {
      const auto lo = Number(item.substr(0, dash)), hi = Number(item.substr(dash + 1));
      if (lo && hi && *lo <= value && value <= *hi) return true;
    }
  }
  return false;
}

}  // namespace

std::optional<std::string> KeepReportsCommand(std::string_view now, std::string_view offered) {
  const auto nowText = After(now, "+CNMI");
  const auto offeredText = After(offered, "+CNMI");
  if (!nowText || !offeredText) return std::nullopt;
  const std::vector<std::string_view> values = Fields(*nowText);
  const std::vector<std::string_view> ranges = Fields(*offeredText);
  if (ranges.size() < 4 || !Offers(ranges[3], 2)) return std::nullopt;
  if (values.size() >= 4 && Number(values[3]) == 2) return std::nullopt;
  std::string command = "AT+CNMI=";
  for (std::size_t i = 0; i < 3; ++i) {
    const auto v = i < values.size() ? Number(values[i]) : std::nullopt;
    if (v) command += std::to_string(*v);
    command += ',';
  }
  command += '2';
  if (values.size() >= 5) {
    if (const auto bfr = Number(values[4])) command += "," + std::to_string(*bfr);
  }
  return command + "\r";
}

std::optional<int> SmsService(std::string_view csmsLine) {
  const auto text = After(csmsLine, "+CSMS");
  if (!text) return std::nullopt;
  const auto fields = Fields(*text);
  return fields.empty() ? std::nullopt : Number(fields[0]);
}

bool ParseKeptReport(std::string_view line, std::string& memory, int& index) {
  const auto text = After(line, "+CDSI");
  if (!text) return false;
  const auto fields = Fields(*text);
  if (fields.size() < 2) return false;
  std::string_view mem = fields[0];
  if (mem.size() >= 2 && mem.front() == '"' && mem.back() == '"') mem = mem.substr(1, mem.size() - 2);
  const auto n = Number(fields[1]);
  if (!n || mem.empty() || mem.size() > 8) return false;
  memory = std::string(mem);
  index = *n;
  return true;
}

bool PhoneLink::NoteReportLine(const std::string& line) {
  if (HasInfoPrefix(line, "+CDS")) {
    cdsNext_ = true;
    return true;
  }
  PhoneStatusReport kept;
  if (!ParseKeptReport(line, kept.memory, kept.index)) return false;
  kept.port = PortName(host_.PortIndex());
  kept_.push_back(kept);
  return true;
}

void PhoneLink::SetUpReports() {
  if (reportsSetUp_ || !keepReports_ || !port_ || cancelled_ || !PortKeepsReports(host_.PortIndex() + 1)) return;
  reportsSetUp_ = true;
  const std::uint32_t phase = timings_.Handshake;
  const Answer now = Ask("AT+CNMI?\r", "+CNMI", phase);
  if (now.end != WaitEnd::Done) return;
  const Answer offered = Ask("AT+CNMI=?\r", "+CNMI", phase);
  if (offered.end != WaitEnd::Done) return;
  std::optional<std::string> command;
  bool keeps = false;
  if (!now.info.empty() && !offered.info.empty()) {
    command = KeepReportsCommand(now.info[0], offered.info[0]);
    const auto values = After(now.info[0], "+CNMI");
    keeps = values && Fields(*values).size() >= 4 && Number(Fields(*values)[3]) == 2;
  }
  if (command) {
    const Answer set = Ask(*command, {}, phase);
    keeps = set.end == WaitEnd::Done && set.final && set.final->IsOk();
  }
  if (keeps) return;
  // The phone routes its reports (or drops them): whether it wants each one
  // acknowledged is its message service.
  const Answer csms = Ask("AT+CSMS?\r", "+CSMS", phase);
  for (const std::string& line : csms.info) smsService_ = SmsService(line).value_or(-1);
}

void PhoneLink::HandOverReports() {
  std::vector<std::string> routed;
  routed.swap(routed_);
  for (const std::string& pdu : routed) {
    PhoneStatusReport r;
    r.port = PortName(host_.PortIndex());
    r.pdu = pdu;
    host_.StatusReportRead(r);
  }
}

int PhoneLink::ReadKeptReports() {
  const bool opened = !IsOpen();
  readingKept_ = true;
  const bool open = !opened || OpenPhone();
  readingKept_ = false;
  if (!open) return -1;
  const std::uint32_t phase = timings_.Handshake;
  // The status-report memory, where the phone has one, chosen for reading
  // only; what was chosen before is put back after.
  std::string before;
  const Answer memories = Ask("AT+CPMS=?\r", "+CPMS", phase);
  bool sr = false;
  if (!memories.info.empty()) {
    const auto lists = Fields(*After(memories.info[0], "+CPMS"));
    sr = !lists.empty() && lists[0].find("\"SR\"") != std::string_view::npos;
  }
  if (sr) {
    const Answer now = Ask("AT+CPMS?\r", "+CPMS", phase);
    if (!now.info.empty()) {
      const auto fields = Fields(*After(now.info[0], "+CPMS"));
      if (!fields.empty()) before = std::string(fields[0]);
    }
    const Answer chosen = Ask("AT+CPMS=\"SR\"\r", "+CPMS", phase);
    sr = chosen.final && chosen.final->IsOk();
  }
  WritePhone("AT+CMGL=4\r");
  Expect e;
  e.infoPrefix = "+CMGL";
  e.echo = "AT+CMGL=4\r";
  e.infoWithPdu = true;
  e.silenceMs = timings_.Connection;
  e.boundMs = timings_.Connection * static_cast<std::uint32_t>(std::max(1, timings_.WaitBoundFactor));
  const Answer list = ReadAnswer(e);
  int read = 0;
  std::vector<int> matched;
  for (std::size_t i = 0; i + 1 < list.info.size(); i += 2) {
    const auto fields = Fields(*After(list.info[i], "+CMGL"));
    const auto index = fields.empty() ? std::nullopt : Number(fields[0]);
    const std::string& pdu = list.info[i + 1];
    // Only SMS-STATUS-REPORT entries (TP-MTI 2 after the centre address).
    const std::size_t sca =
        pdu.size() >= 2 ? 2 + 2 * static_cast<std::size_t>(std::strtol(pdu.substr(0, 2).c_str(), nullptr, 16)) : 0;
    if (!index || pdu.size() < sca + 2 || (std::strtol(pdu.substr(sca, 2).c_str(), nullptr, 16) & 3) != 2) continue;
    ++read;
    PhoneStatusReport r;
    r.port = PortName(host_.PortIndex());
    r.pdu = pdu;
    r.memory = sr ? "SR" : "";
    r.index = *index;
    if (host_.StatusReportRead(r)) matched.push_back(*index);
  }
  for (int index : matched) {
    if (!port_ || cancelled_) break;
    Ask("AT+CMGD=" + std::to_string(index) + "\r", {}, phase);
  }
  if (sr && port_ && !cancelled_ && !before.empty()) Ask("AT+CPMS=" + before + "\r", "+CPMS", phase);
  kept_.clear();
  if (!inTransfer_) HandOverReports();  // routed ones that came meanwhile
  const bool answered = list.end == WaitEnd::Done;
  if (opened) ClosePhone();
  return answered ? read : -1;
}

void PhoneLink::AcknowledgeReports() {
  // Service 1 phones wait for AT+CNMA after each routed report, and stop
  // routing when it does not come; the others must not get one.
  for (; unacknowledged_ > 0; --unacknowledged_) {
    if (smsService_ == 1 && port_ && !cancelled_) Ask("AT+CNMA\r", {}, timings_.Handshake);
  }
}

}  // namespace mp
