#include "Phone.h"
#include <iterator>

#include <algorithm>
#include <cctype>
#include <fstream>

#include "AtText.h"
#include "pdu/Json.h"
#include "pdu/PduDecoder.h"

namespace phonesim {

using namespace mp::pdu;

namespace {

// Valid UTF-8 with at least one multi-byte sequence -> ISO 8859-1 ("?" for
// characters beyond it); anything else is returned unchanged.
std::string SeedName(const std::string& s) {
  std::string out;
  bool multi = false;
  for (std::size_t i = 0; i < s.size();) {
    auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    int extra = (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
    if (extra < 0 || i + extra >= s.size()) return s;
    char32_t cp = c & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
      auto n = static_cast<unsigned char>(s[i + k]);
      if ((n & 0xC0) != 0x80) return s;
      cp = (cp << 6) | (n & 0x3F);
    }
    out += cp <= 0xFF ? static_cast<char>(cp) : '?';
    multi = true;
    i += extra + 1;
  }
  return multi ? out : s;
}

}  // namespace

bool ParseFault(std::string_view name, Fault& fault) {
  static const std::pair<const char*, Fault> kNames[] = {
      {"silent", Fault::Silent},
      {"cmgf-error", Fault::CmgfError},
      {"refuse", Fault::Refuse},
      {"no-prompt", Fault::NoPrompt},
      {"hangup-after-prompt", Fault::HangupAfterPrompt},
      {"chatter", Fault::Chatter},
      {"long-line", Fault::LongLine},
      {"full", Fault::Full},
      {"no-range", Fault::NoRange},
      {"refuse-later", Fault::RefuseLater},
      {"refuse-third", Fault::RefuseThird},
  };
  for (const auto& [n, f] : kNames) {
    if (name == n) {
      fault = f;
      return true;
    }
  }
  return false;
}

bool ParseEmptyEntry(std::string_view name, EmptyEntry& style) {
  if (name == "ok") style = EmptyEntry::Ok;
  else if (name == "error") style = EmptyEntry::Error;
  else if (name == "blank") style = EmptyEntry::Blank;
  else return false;
  return true;
}

bool LoadPhonebook(const std::string& path, std::map<int, PhonebookEntry>& out, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read " + path;
    return false;
  }
  std::string line;
  int lineNo = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (Trim(line).empty() || Trim(line)[0] == '#') continue;
    std::size_t c1 = line.find(','), c2 = c1 == std::string::npos ? c1 : line.find(',', c1 + 1);
    std::size_t c3 = c2 == std::string::npos ? c2 : line.find(',', c2 + 1);
    if (c3 == std::string::npos) {
      error = path + ":" + std::to_string(lineNo) + ": expected index,number,type,name";
      return false;
    }
    Arg idx{Trim(line.substr(0, c1)), false, true}, typ{Trim(line.substr(c2 + 1, c3 - c2 - 1)), false, true};
    int index = 0, type = 0;
    PhonebookEntry e;
    e.number = Trim(line.substr(c1 + 1, c2 - c1 - 1));
    if (!ToInt(idx, index) || index < 1 || index > Phone::kMeCapacity) {
      error = path + ":" + std::to_string(lineNo) + ": bad index";
      return false;
    }
    if (typ.text.empty()) {
      type = !e.number.empty() && e.number[0] == '+' ? 145 : 129;
    } else if (!ToInt(typ, type) || type > 255) {
      error = path + ":" + std::to_string(lineNo) + ": bad type";
      return false;
    }
    e.type = type;
    e.name = SeedName(line.substr(c3 + 1));
    out[index] = e;
  }
  return true;
}

namespace {
const int kRoutingCnmi[5] = {2, 1, 0, 1, 0};
}  // namespace

Phone::Phone(PhoneOptions options) : options_(std::move(options)), echo_(options_.echo) {
  // A phone that routes its reports as it comes: +CNMI 2,1,0,1,0.
  if (Is(Personality::Reports)) std::copy(std::begin(kRoutingCnmi), std::end(kRoutingCnmi), cnmi_);
  me_ = options_.mePhonebook;
  if (Is(Personality::Terse)) options_.echo = false;
  if (Is(Personality::EmptyCme22)) options_.emptyEntry = EmptyEntry::Error;
  if (Is(Personality::Cmee0) || Is(Personality::NoCmee)) cmeeDefault_ = 0;
  if (Is(Personality::Cmee2)) cmeeDefault_ = 2;
  if (Is(Personality::NoCentre)) {
    centre_.clear();
    centreType_ = 129;
  }
  simLocked_ = Is(Personality::SimPin) || Is(Personality::SimPuk);
  stalePdu_ = Is(Personality::PduEntry);
  Reset();
}

const std::map<int, PhonebookEntry>& Phone::Phonebook(const std::string& memory) const {
  return memory == "SM" ? sm_ : me_;
}

std::map<int, PhonebookEntry>& Phone::Book() { return pbMemory_ == "SM" ? sm_ : me_; }
int Phone::Capacity() const { return pbMemory_ == "SM" ? kSmCapacity : kMeCapacity; }

void Phone::LineDropped() {
  line_.clear();
  lineOverflow_ = false;
  pduCommand_ = nullptr;
  pdu_.clear();
}

void Phone::Receive(std::string_view bytes, std::vector<Event>& out) { Receive(bytes, out, nowMs_ + 1000); }

void Phone::Receive(std::string_view bytes, std::vector<Event>& out, double nowMs) {
  nowMs_ = nowMs;
  if (Has(Fault::Silent)) return;
  for (char c : bytes) Byte(c, out);
}

void Phone::Byte(char c, std::vector<Event>& out) {
  if (stalePdu_) {
    // Another program's PDU entry: ESC ends it without a word, Ctrl-Z makes
    // the phone try to send what it swallowed.
    stalePdu_ = c != 0x1B && c != 0x1A;
    if (c == 0x1A) {
      Reply r;
      r.final = Reply::Cms;
      r.code = 304;
      Final(r, out);
    } else if (stalePdu_ && echo_) {
      Send(out, std::string_view(&c, 1));
    }
    return;
  }
  if (pduCommand_) {
    if (c == 0x1A) {
      FinishPdu(out);
    } else if (c == 0x1B) {
      pduCommand_ = nullptr;
      pdu_.clear();
      Reply r;
      Final(r, out);
    } else if (KeepPduByte(c)) {
      if (echo_) Send(out, std::string_view(&c, 1));
      if (pdu_.size() <= kMaxPdu) pdu_ += c;
    }
    return;
  }
  if (echo_) Send(out, std::string_view(&c, 1));
  if (c == '\r') {
    std::string line;
    line.swap(line_);
    bool overflow = lineOverflow_;
    lineOverflow_ = false;
    if (overflow) {
      Reply r;
      r.final = Reply::Error;
      Final(r, out);
      return;
    }
    CommandLine(std::move(line), out);
  } else if (c == '\n') {
    // A line feed after the carriage return is no part of a command.
  } else if (c == '\b') {
    if (!line_.empty()) line_.pop_back();
  } else if (line_.size() < kMaxLine) {
    line_ += c;
  } else {
    lineOverflow_ = true;
  }
}

std::string Phone::ResultText(const std::string& verbose) const {
  if (verbose_) return "\r\n" + verbose + "\r\n";
  if (verbose == "OK") return "0\r";
  if (verbose == "ERROR") return "4\r";
  return verbose + "\r\n";
}

void Phone::Final(Reply& r, std::vector<Event>& out) {
  std::string s = std::move(r.urc);
  r.urc.clear();
  // A terse phone puts no blank line between information text and result.
  const bool terse = verbose_ && Is(Personality::Terse);
  for (std::size_t k = 0; k < r.info.size(); ++k) {
    s += (verbose_ && !(terse && k > 0) ? "\r\n" : "") + r.info[k] + "\r\n";
  }
  const bool joined = terse && !r.info.empty();
  r.info.clear();
  std::string result;
  if (!quiet_) {
    switch (r.final) {
      case Reply::Ok: result = "OK"; break;
      case Reply::Error: result = "ERROR"; break;
      case Reply::Cme:
        if (cmee_ == 0) result = "ERROR";
        else if (cmee_ == 2) result = std::string("+CME ERROR: ") + CmeText(r.code);
        else result = "+CME ERROR: " + std::to_string(r.code);
        break;
      case Reply::Cms: result = "+CMS ERROR: " + CmsText(r.code); break;
      case Reply::None: break;
    }
  }
  if (!result.empty()) s += joined ? result + "\r\n" : ResultText(result);
  Send(out, Frame(s));
}

void Phone::CommandLine(std::string line, std::vector<Event>& out) {
  std::size_t at = std::string::npos;
  for (std::size_t i = 0; i + 1 < line.size(); ++i) {
    if ((line[i] == 'A' || line[i] == 'a') && (line[i + 1] == 'T' || line[i + 1] == 't')) {
      at = i;
      break;
    }
  }
  if (at == std::string::npos) return;  // no command prefix: nothing to answer
  if (Has(Fault::Chatter)) {
    Event e;
    e.kind = Event::Chatter;
    out.push_back(e);
    return;
  }
  const std::string rest = line.substr(at + 2);
  Reply reply;
  std::size_t i = 0;
  const std::size_t n = rest.size();
  while (i < n) {
    char c = rest[i];
    if (c == ' ' || c == ';') {
      ++i;
      continue;
    }
    bool ok;
    if (c == '+' || c == '*' || c == '%' || c == '^' || c == '$') {
      std::size_t j = i + 1;
      while (j < n && (std::isalnum(static_cast<unsigned char>(rest[j])) || rest[j] == '_' || rest[j] == '.'))
        ++j;
      std::string name = Upper(rest.substr(i, j - i));
      char op = 'x';
      std::string_view args;
      if (j < n && rest[j] == '=') {
        if (j + 1 < n && rest[j + 1] == '?') {
          op = 't';
          j += 2;
        } else {
          op = '=';
          std::size_t k = ++j;
          bool q = false;
          while (k < n && (q || rest[k] != ';')) {
            if (rest[k] == '"') q = !q;
            ++k;
          }
          args = std::string_view(rest).substr(j, k - j);
          j = k;
        }
      } else if (j < n && rest[j] == '?') {
        op = '?';
        ++j;
      }
      ok = Extended(name, op, args, reply, out);
      i = j;
    } else {
      std::size_t j = i + 1;
      std::string cmd(1, static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
      if (c == '&' && j < n) cmd += static_cast<char>(std::toupper(static_cast<unsigned char>(rest[j++])));
      if (cmd == "D") {
        j = n;  // a dial string takes the rest of the line
      } else if (cmd == "S") {
        while (j < n && std::isdigit(static_cast<unsigned char>(rest[j]))) cmd += rest[j++];
        if (j < n && rest[j] == '?') {
          cmd += rest[j++];
        } else if (j < n && rest[j] == '=') {
          cmd += rest[j++];
          while (j < n && std::isdigit(static_cast<unsigned char>(rest[j]))) cmd += rest[j++];
        }
      } else {
        while (j < n && std::isdigit(static_cast<unsigned char>(rest[j]))) cmd += rest[j++];
      }
      ok = Basic(cmd, reply);
      i = j;
    }
    if (!ok) {
      if (reply.final == Reply::Ok) reply.final = Reply::Error;
      break;
    }
    if (reply.final == Reply::None) return;  // prompt given, or no answer at all
  }
  Final(reply, out);
}

bool Phone::Basic(std::string_view cmd, Reply& reply) {
  auto num = [&](std::size_t from, int& v) {
    v = 0;
    if (cmd.size() <= from) return true;
    if (cmd.size() - from > 3) return false;
    for (std::size_t k = from; k < cmd.size(); ++k) {
      if (!std::isdigit(static_cast<unsigned char>(cmd[k]))) return false;
      v = v * 10 + (cmd[k] - '0');
    }
    return true;
  };
  int v = 0;
  switch (cmd[0]) {
    case 'E':
      if (!num(1, v) || v > 1) return false;
      echo_ = v == 1;
      return true;
    case 'V':
      if (!num(1, v) || v > 1) return false;
      verbose_ = v == 1;
      return true;
    case 'Q':
      if (!num(1, v) || v > 1) return false;
      quiet_ = v == 1;
      return true;
    case 'Z':
      Reset();
      return num(1, v);
    case 'I':
      if (!num(1, v)) return false;
      reply.info.push_back("MIRAPOST PhoneSim");
      return true;
    case 'S':
      if (cmd.back() == '?') reply.info.push_back("000");
      return cmd.size() > 1;
    case 'X': case 'L': case 'M': case 'H':
      return num(1, v);
    case '&':
      if (cmd.size() >= 2 && std::string_view("FCDKWSV").find(cmd[1]) != std::string_view::npos) {
        if (cmd[1] == 'F') Reset();
        return num(2, v);
      }
      return false;
    default:
      return false;
  }
}

bool Phone::Extended(const std::string& name, char op, std::string_view argText, Reply& reply,
                     std::vector<Event>& out) {
  Command c{name, op, op == '=' ? SplitArgs(argText) : std::vector<Arg>(), reply};
  if (auto ok = SmsCommand(c, out)) return *ok;
  if (auto ok = PhonebookCommand(c)) return *ok;
  if (auto ok = StateCommand(c)) return *ok;
  auto info = [&c](std::string text) { return c.info(std::move(text)); };
  auto plainInfo = [&](const char* text) { return op == 't' ? true : op == 'x' ? info(text) : false; };

  if (name == "+CFUN") {
    if (op == '?') return info("+CFUN: 1");
    if (op == 't') return info("+CFUN: (0,1,4),(0,1)");
    return op == '=';
  }
  if (name == "+CGMI" || name == "+GMI") return plainInfo("Corvistan");
  if (name == "+CGMM" || name == "+GMM") return plainInfo("MIRAPOST PhoneSim");
  if (name == "+CGMR" || name == "+GMR") return plainInfo("1.0");
  if (name == "+CGSN" || name == "+GSN") return plainInfo("350000000000001");
  if (name == "+CIMI") return plainInfo("244050000000001");
  if (name == "+GCAP") return plainInfo("+GCAP: +CGSM");
  if (name == "+CPAS") return op == 't' ? info("+CPAS: (0-5)") : plainInfo("+CPAS: 0");
  if (name == "+CBC") return plainInfo("+CBC: 0,80");
  if (name == "+CSQ") return op == 't' ? info("+CSQ: (0-31,99),(0-7,99)") : plainInfo("+CSQ: 20,99");
  if (name == "+CSDH" || name == "+CSAS" || name == "+CRES" || name == "+CHUP" || name == "+CMMS") {
    return op != '?';
  }
  return false;
}


}  // namespace phonesim
