// Lines and their kinds in what a phone answers.
#include "phone/AtReply.h"

#include <algorithm>
#include <array>

namespace mp {

namespace {

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// The number after `prefix` (spaces skipped); -1 when verbose or absent.
int CodeAfter(std::string_view line, size_t at) {
  while (at < line.size() && line[at] == ' ') ++at;
  int code = 0;
  size_t digits = 0;
  for (; at < line.size() && line[at] >= '0' && line[at] <= '9'; ++at) {
    if (++digits > 5) return -1;
    code = code * 10 + (line[at] - '0');
  }
  if (digits == 0) return -1;
  return Trim(line.substr(at)).empty() ? code : -1;
}

// The fields after "<prefix>: ", split at commas outside double quotes.
std::array<std::string_view, 4> Fields(std::string_view line) {
  std::array<std::string_view, 4> out{};
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos) return out;
  std::string_view rest = line.substr(colon + 1);
  size_t field = 0, start = 0;
  bool quoted = false;
  for (size_t i = 0; i <= rest.size() && field < out.size(); ++i) {
    if (i < rest.size() && rest[i] == '"') quoted = !quoted;
    if (i == rest.size() || (rest[i] == ',' && !quoted)) {
      out[field++] = Trim(rest.substr(start, i - start));
      start = i + 1;
    }
  }
  return out;
}

std::string_view Unquote(std::string_view s) {
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') return s.substr(1, s.size() - 2);
  return s;
}

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::optional<FinalResult> ParseFinal(std::string_view raw) {
  const std::string_view line = Trim(raw);
  FinalResult r;
  r.text = std::string(raw);
  if (line == "OK") {
    r.kind = FinalResult::Kind::Ok;
    return r;
  }
  if (line == "ERROR" || line == "COMMAND NOT SUPPORT" ||
      line == "TOO MANY PARAMETERS") {
    r.kind = FinalResult::Kind::Error;
    return r;
  }
  if (StartsWith(line, "+CMS ERROR:")) {
    r.kind = FinalResult::Kind::CmsError;
    r.code = CodeAfter(line, 11);
    return r;
  }
  if (StartsWith(line, "+CME ERROR:")) {
    r.kind = FinalResult::Kind::CmeError;
    r.code = CodeAfter(line, 11);
    return r;
  }
  return std::nullopt;
}

bool IsTwoLineUnsolicited(std::string_view line) {
  return StartsWith(line, "+CMT:") || StartsWith(line, "+CDS:") || StartsWith(line, "+CBM:");
}

bool IsUnsolicited(std::string_view line) {
  static constexpr std::string_view kPrefixes[] = {
      "RING", "+CRING:", "+CLIP:", "+COLP:", "+CCWA:", "+CMTI:", "+CDSI:", "+CBMI:", "+CREG:",
      "+CGREG:", "+CEREG:", "+C5GREG:", "+CIEV:", "+CUSD:", "+CSSI:", "+CSSU:", "+CGEV:",
      "+CTZV:", "+CTZE:", "+CTZEU:", "+CTZR:", "+NITZ:", "+STIN:", "+PACSP", "+QIND:", "+CPIN:",
      "+CSQ:", "+CMT:", "+CDS:", "+CBM:", "NO CARRIER", "BUSY", "NO ANSWER", "NO DIALTONE",
      "^", "#", "*E", "$", "_O", "@"};
  for (std::string_view p : kPrefixes)
    if (StartsWith(line, p)) return true;
  return false;
}

bool HasInfoPrefix(std::string_view line, std::string_view prefix) {
  return StartsWith(line, prefix) && line.size() > prefix.size() && line[prefix.size()] == ':';
}

std::optional<int> ParseMessageResult(std::string_view line, std::string_view command) {
  if (!HasInfoPrefix(line, command)) return std::nullopt;
  size_t i = command.size() + 1;
  while (i < line.size() && line[i] == ' ') ++i;
  int value = 0;
  size_t digits = 0;
  for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) {
    if (++digits > 6) return std::nullopt;
    value = value * 10 + (line[i] - '0');
  }
  if (digits == 0) return std::nullopt;
  // Anything may follow the number after a comma or a space (the
  // acknowledgement PDU, a service centre time stamp).
  if (i < line.size() && line[i] != ',' && line[i] != ' ') return std::nullopt;
  return value;
}

std::optional<unsigned> PhonebookEntryIndex(std::string_view line) {
  if (!HasInfoPrefix(line, "+CPBR") && !HasInfoPrefix(line, "+CPBF")) return std::nullopt;
  const std::string_view first = Fields(line)[0];
  if (!AllDigits(first) || first.size() > 9) return std::nullopt;
  unsigned value = 0;
  for (char c : first) value = value * 10 + static_cast<unsigned>(c - '0');
  return value;
}

LineSplitter::Event LineSplitter::Feed(char c, bool wantPrompt) {
  if (afterPrompt_) {
    afterPrompt_ = false;
    if (c == ' ') return Event::None;  // "> ": the space belongs to the prompt
  }
  if (c == '\r' || c == '\n') {
    if (line_.empty()) return Event::None;  // blank lines and the LF of CR LF
    done_.swap(line_);
    line_.clear();
    doneTooLong_ = tooLong_;
    tooLong_ = false;
    return Event::Line;
  }
  if (wantPrompt && line_.empty() && c == '>') {
    afterPrompt_ = true;
    return Event::Prompt;
  }
  if (line_.size() < kMaxLine) {
    line_ += c;
  } else {
    tooLong_ = true;
  }
  return Event::None;
}

void LineSplitter::Reset() {
  line_.clear();
  done_.clear();
  tooLong_ = doneTooLong_ = afterPrompt_ = false;
}

std::string PinProblem(std::string_view line) {
  if (!HasInfoPrefix(line, "+CPIN")) return {};
  std::string_view v = Unquote(Trim(line.substr(6)));
  if (v == "READY" || v.empty()) return {};
  if (v == "SIM PIN") return "the SIM wants its PIN";
  if (v == "SIM PUK") return "the SIM wants its PUK (the PIN was entered wrongly too often)";
  if (v == "SIM PIN2" || v == "SIM PUK2") return {};  // not needed for messages
  if (v == "PH-SIM PIN" || v == "PH-NET PIN")
    return "the phone is locked and wants its unlock code (" + std::string(v) + ")";
  return "the SIM is not ready (" + std::string(v) + ")";
}

std::string RegistrationProblem(std::string_view line) {
  if (!HasInfoPrefix(line, "+CREG")) return {};
  const auto f = Fields(line);
  // "+CREG: <n>,<stat>[,...]" answers the question; the unsolicited form is
  // "+CREG: <stat>[,<lac>,<ci>]" with a quoted area next.
  std::string_view stat = f[1];
  if (stat.empty() || stat.front() == '"') stat = f[0];
  if (!AllDigits(stat) || stat.size() > 2) return {};
  const int s = std::stoi(std::string(stat));
  switch (s) {
    case 0: return "the phone is not registered to a network and is not searching for one";
    case 2: return "the phone is not registered to a network (searching)";
    case 3: return "the phone is not registered to a network (registration denied)";
    case 4: return "the phone is not registered to a network (state unknown)";
    default: return {};  // 1 home, 5 roaming, 6.. SMS only and the like
  }
}

bool CentreMissing(std::string_view line) {
  if (!HasInfoPrefix(line, "+CSCA")) return false;
  const std::string_view address = Unquote(Fields(line)[0]);
  return std::none_of(address.begin(), address.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace mp
