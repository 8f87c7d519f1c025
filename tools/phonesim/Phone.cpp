#include "Phone.h"

#include <algorithm>
#include <cctype>
#include <fstream>

#include "pdu/Json.h"
#include "pdu/PduDecoder.h"

namespace phonesim {

using namespace mp::pdu;

namespace {

constexpr std::size_t kMaxLine = 1024;  // command line bytes kept before CR
constexpr std::size_t kMaxPdu = 1024;   // PDU hex characters kept before Ctrl-Z

std::string Upper(std::string_view s) {
  std::string out(s);
  for (auto& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string Trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return std::string(s.substr(b, e - b));
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// One parameter of an extended command.
struct Arg {
  std::string text;  // string constants with their \HH escapes decoded
  bool quoted = false;
  bool present = false;
};

// Splits parameters at commas outside double quotes. A string constant may
// hold "\HH" escapes (V.250 5.4.2.2), which are decoded.
std::vector<Arg> SplitArgs(std::string_view args) {
  std::vector<Arg> out;
  Arg cur;
  std::string raw;
  bool inQuote = false;
  auto finish = [&]() {
    if (!cur.quoted) cur.text = Trim(raw);
    cur.present = cur.quoted || !cur.text.empty();
    out.push_back(cur);
    cur = Arg();
    raw.clear();
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    char c = args[i];
    if (inQuote) {
      if (c == '"') {
        inQuote = false;
      } else if (c == '\\' && i + 2 < args.size() && HexValue(args[i + 1]) >= 0 &&
                 HexValue(args[i + 2]) >= 0) {
        cur.text += static_cast<char>(HexValue(args[i + 1]) * 16 + HexValue(args[i + 2]));
        i += 2;
      } else {
        cur.text += c;
      }
    } else if (c == '"') {
      inQuote = true;
      cur.quoted = true;
      cur.text.clear();
    } else if (c == ',') {
      finish();
    } else if (!cur.quoted) {
      raw += c;
    }
  }
  if (!args.empty() || !out.empty()) finish();
  return out;
}

bool ToInt(const Arg& a, int& value) {
  if (!a.present || a.quoted || a.text.empty() || a.text.size() > 6) return false;
  value = 0;
  for (char c : a.text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

const char* CmeText(int code) {
  switch (code) {
    case 3: return "operation not allowed";
    case 4: return "operation not supported";
    case 20: return "memory full";
    case 21: return "invalid index";
    case 22: return "not found";
    case 24: return "text string too long";
    case 25: return "invalid characters in text string";
    case 26: return "dial string too long";
    case 27: return "invalid characters in dial string";
    default: return "unknown";
  }
}

// Unicode -> GSM default alphabet septets (an extension character as 1B xx).
std::string UnicodeToGsm(char32_t cp) {
  for (int s = 0; s < 128; ++s) {
    if (s != 0x1B && GsmToUnicode(static_cast<std::uint8_t>(s)) == cp) return std::string(1, static_cast<char>(s));
  }
  for (int s = 0; s < 128; ++s) {
    if (GsmExtensionToUnicode(static_cast<std::uint8_t>(s)) == cp) {
      return std::string("\x1B") + static_cast<char>(s);
    }
  }
  return "?";
}

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

struct Phone::Reply {
  std::vector<std::string> info;  // information text blocks, lines joined by CR LF
  enum Final { Ok, Error, Cme, Cms, None } final = Ok;
  int code = 0;
};

Phone::Phone(PhoneOptions options) : options_(std::move(options)), echo_(options_.echo) {
  me_ = options_.mePhonebook;
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

void Phone::Receive(std::string_view bytes, std::vector<Event>& out) {
  if (Has(Fault::Silent)) return;
  for (char c : bytes) Byte(c, out);
}

static void Send(std::vector<Event>& out, std::string_view bytes) {
  if (bytes.empty()) return;
  if (!out.empty() && out.back().kind == Event::Send) {
    out.back().bytes += bytes;
  } else {
    Event e;
    e.kind = Event::Send;
    e.bytes = std::string(bytes);
    out.push_back(std::move(e));
  }
}

void Phone::Byte(char c, std::vector<Event>& out) {
  if (pduCommand_) {
    if (c == 0x1A) {
      FinishPdu(out);
    } else if (c == 0x1B) {
      pduCommand_ = nullptr;
      pdu_.clear();
      Reply r;
      Final(r, out);
    } else {
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
  std::string s;
  for (const auto& block : r.info) s += verbose_ ? "\r\n" + block + "\r\n" : block + "\r\n";
  r.info.clear();
  if (!quiet_) {
    switch (r.final) {
      case Reply::Ok: s += ResultText("OK"); break;
      case Reply::Error: s += ResultText("ERROR"); break;
      case Reply::Cme:
        if (cmee_ == 0) s += ResultText("ERROR");
        else if (cmee_ == 2) s += ResultText(std::string("+CME ERROR: ") + CmeText(r.code));
        else s += ResultText("+CME ERROR: " + std::to_string(r.code));
        break;
      case Reply::Cms: s += ResultText("+CMS ERROR: " + std::to_string(r.code)); break;
      case Reply::None: break;
    }
  }
  Send(out, s);
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
      echo_ = options_.echo;
      verbose_ = true;
      quiet_ = false;
      cmee_ = 1;
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
        if (cmd[1] == 'F') {
          echo_ = options_.echo;
          verbose_ = true;
          quiet_ = false;
          cmee_ = 1;
        }
        return num(2, v);
      }
      return false;
    default:
      return false;
  }
}

std::string Phone::ToCharset(const std::string& latin1) const {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char ch : latin1) {
    auto c = static_cast<unsigned char>(ch);
    if (charset_ == "HEX") {
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else if (charset_ == "UCS2") {
      out += "00";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else if (charset_ == "GSM") {
      out += UnicodeToGsm(c);
    } else if (charset_ == "IRA") {
      out += c < 0x80 ? static_cast<char>(c) : '?';
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

bool Phone::FromCharset(const std::string& text, std::string& latin1) const {
  latin1.clear();
  if (charset_ == "HEX" || charset_ == "UCS2") {
    const std::size_t w = charset_ == "HEX" ? 2 : 4;
    if (text.size() % w) return false;
    for (std::size_t i = 0; i < text.size(); i += w) {
      unsigned v = 0;
      for (std::size_t k = 0; k < w; ++k) {
        int h = HexValue(text[i + k]);
        if (h < 0) return false;
        v = v * 16 + static_cast<unsigned>(h);
      }
      latin1 += v <= 0xFF ? static_cast<char>(v) : '?';
    }
    return true;
  }
  if (charset_ == "GSM") {
    for (std::size_t i = 0; i < text.size(); ++i) {
      auto c = static_cast<std::uint8_t>(text[i] & 0x7F);
      char32_t cp = GsmToUnicode(c);
      if (c == 0x1B && i + 1 < text.size()) cp = GsmExtensionToUnicode(static_cast<std::uint8_t>(text[++i]));
      latin1 += (cp != 0 && cp <= 0xFF) ? static_cast<char>(cp) : '?';
    }
    return true;
  }
  latin1 = text;
  return true;
}

std::string Phone::EntryLine(const char* prefix, int index, const PhonebookEntry& e) const {
  return std::string(prefix) + ": " + std::to_string(index) + ",\"" + e.number + "\"," +
         std::to_string(e.type) + ",\"" + ToCharset(e.name) + "\"";
}

bool Phone::Extended(const std::string& name, char op, std::string_view argText, Reply& reply,
                     std::vector<Event>& out) {
  const std::vector<Arg> args = op == '=' ? SplitArgs(argText) : std::vector<Arg>();
  auto arg = [&](std::size_t k) { return k < args.size() ? args[k] : Arg(); };
  auto info = [&](std::string text) {
    reply.info.push_back(std::move(text));
    return true;
  };
  auto cme = [&](int code) {
    reply.final = Reply::Cme;
    reply.code = code;
    return false;
  };
  auto cms = [&](int code) {
    reply.final = Reply::Cms;
    reply.code = code;
    return false;
  };
  auto plainInfo = [&](const char* text) { return op == 't' ? true : op == 'x' ? info(text) : false; };
  int v = 0;

  if (name == "+CMGF") {
    if (op == '?') return info("+CMGF: " + std::to_string(cmgf_));
    if (op == 't') return info("+CMGF: (0)");
    if (op != '=' || !ToInt(arg(0), v)) return false;
    if (v == 0) {
      if (Has(Fault::CmgfError)) {
        reply.final = Reply::Error;
        return false;
      }
      cmgf_ = 0;
      return true;
    }
    return cms(303);  // text mode is not offered
  }
  if (name == "+CMGS" || name == "+CMGW") {
    if (op == 't') return true;
    int length = 0, stat = 2;
    if (op != '=' || !ToInt(arg(0), length) || length < 1 || length > 255) return false;
    if (name == "+CMGW" && arg(1).present && (!ToInt(arg(1), stat) || stat > 3)) return false;
    if (args.size() > (name == "+CMGW" ? 2u : 1u)) return false;
    // Information text of earlier commands on the line goes out before the prompt.
    Reply before;
    before.info.swap(reply.info);
    before.final = Reply::None;
    Final(before, out);
    reply.final = Reply::None;
    if (Has(Fault::NoPrompt)) return true;
    Send(out, "\r\n> ");
    pduCommand_ = name == "+CMGS" ? "CMGS" : "CMGW";
    pduLength_ = length;
    pduStat_ = stat;
    pdu_.clear();
    if (Has(Fault::HangupAfterPrompt)) {
      Event e;
      e.kind = Event::Hangup;
      out.push_back(e);
    }
    return true;
  }
  if (name == "+CMGL") {
    if (op == 't') return info("+CMGL: (0-4)");
    int stat = 4;
    if (op == '=' && arg(0).present && (!ToInt(arg(0), stat) || stat > 4)) return false;
    if (op == '?') return false;
    std::string block;
    for (const auto& [index, m] : sms_) {
      if (stat != 4 && m.stat != stat) continue;
      if (!block.empty()) block += "\r\n";
      std::size_t scaChars = 2 + 2 * static_cast<std::size_t>(HexValue(m.pdu[0]) * 16 + HexValue(m.pdu[1]));
      block += "+CMGL: " + std::to_string(index) + "," + std::to_string(m.stat) + ",," +
               std::to_string((m.pdu.size() - scaChars) / 2) + "\r\n" + m.pdu;
    }
    if (!block.empty()) info(block);
    return true;
  }
  if (name == "+CMGR" || name == "+CMGD") {
    if (op == 't') return name == "+CMGD" ? info("+CMGD: (1-" + std::to_string(kSmsCapacity) + ")") : true;
    if (op != '=' || !ToInt(arg(0), v)) return false;
    auto it = sms_.find(v);
    if (name == "+CMGD") {
      if (v < 1 || v > kSmsCapacity) return cms(321);
      sms_.erase(v);
      return true;
    }
    if (it == sms_.end()) return cms(321);
    std::size_t scaChars = 2 + 2 * static_cast<std::size_t>(HexValue(it->second.pdu[0]) * 16 + HexValue(it->second.pdu[1]));
    return info("+CMGR: " + std::to_string(it->second.stat) + ",," +
                std::to_string((it->second.pdu.size() - scaChars) / 2) + "\r\n" + it->second.pdu);
  }
  if (name == "+CPMS") {
    const std::string used = std::to_string(sms_.size()) + "," + std::to_string(kSmsCapacity);
    if (op == '?') return info("+CPMS: \"SM\"," + used + ",\"SM\"," + used + ",\"SM\"," + used);
    if (op == 't') return info("+CPMS: (\"SM\"),(\"SM\"),(\"SM\")");
    if (op != '=' || args.empty() || args.size() > 3) return false;
    for (const auto& a : args) {
      if (a.present && Upper(a.text) != "SM") return cms(302);
    }
    std::string text = "+CPMS: " + used;
    for (std::size_t k = 1; k < args.size(); ++k) text += "," + used;
    return info(text);
  }
  if (name == "+CSCA") {
    if (op == '?') return info("+CSCA: \"" + centre_ + "\"," + std::to_string(centreType_));
    if (op == 't') return true;
    if (op != '=' || !arg(0).quoted) return false;
    centre_ = arg(0).text;
    centreType_ = !centre_.empty() && centre_[0] == '+' ? 145 : 129;
    if (arg(1).present && (!ToInt(arg(1), centreType_) || centreType_ > 255)) return false;
    return true;
  }
  if (name == "+CSMS") {
    if (op == '?') return info("+CSMS: 0,1,1,1");
    if (op == 't') return info("+CSMS: (0)");
    if (op != '=' || !ToInt(arg(0), v) || v != 0) return false;
    return info("+CSMS: 1,1,1");
  }
  if (name == "+CSMP") {
    if (op == '?') return info("+CSMP: 17,167,0,0");
    return op == '=' || op == 't';
  }
  if (name == "+CNMI") {
    if (op == '?') return info("+CNMI: 0,0,0,0,0");
    if (op == 't') return info("+CNMI: (0-2),(0-3),(0,2),(0-2),(0,1)");
    return op == '=';
  }
  if (name == "+CFUN") {
    if (op == '?') return info("+CFUN: 1");
    if (op == 't') return info("+CFUN: (0,1,4),(0,1)");
    return op == '=';
  }
  if (name == "+CPIN") {
    if (op == '?') return info("+CPIN: READY");
    return op == 't' || op == '=';
  }
  if (name == "+CMEE") {
    if (op == '?') return info("+CMEE: " + std::to_string(cmee_));
    if (op == 't') return info("+CMEE: (0-2)");
    if (op == 'x') {
      cmee_ = 0;
      return true;
    }
    if (!ToInt(arg(0), v) || v > 2) return false;
    cmee_ = v;
    return true;
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
  if (name == "+CREG") {
    if (op == '?') return info("+CREG: 0,1");
    if (op == 't') return info("+CREG: (0-2)");
    return op == '=';
  }
  if (name == "+COPS") {
    if (op == '?') return info("+COPS: 0,2,\"24405\"");
    if (op == 't') return info("+COPS: (2,\"Radiolinja\",\"RL\",\"24405\"),,(0-4),(0-2)");
    return op == '=';
  }
  if (name == "+CSCS") {
    static const char* const kSets[] = {"IRA", "GSM", "8859-1", "HEX", "UCS2"};
    if (op == '?') return info("+CSCS: \"" + charset_ + "\"");
    if (op == 't') return info("+CSCS: (\"IRA\",\"GSM\",\"8859-1\",\"HEX\",\"UCS2\")");
    if (op != '=' || !arg(0).quoted) return false;
    for (const char* s : kSets) {
      if (Upper(arg(0).text) == s) {
        charset_ = s;
        return true;
      }
    }
    return false;
  }
  if (name == "+CPBS") {
    if (op == '?') {
      return info("+CPBS: \"" + pbMemory_ + "\"," + std::to_string(Book().size()) + "," +
                  std::to_string(Capacity()));
    }
    if (op == 't') return info("+CPBS: (\"ME\",\"SM\")");
    if (op != '=' || !arg(0).quoted) return false;
    std::string mem = Upper(arg(0).text);
    if (mem != "ME" && mem != "SM") return cme(3);
    pbMemory_ = mem;
    return true;
  }
  if (name == "+CPBR") {
    if (op == 't') {
      return info("+CPBR: (1-" + std::to_string(Capacity()) + ")," + std::to_string(kNumberLength) +
                  "," + std::to_string(kTextLength));
    }
    int first = 0, last = 0;
    if (op != '=' || !ToInt(arg(0), first)) return false;
    last = first;
    if (arg(1).present && !ToInt(arg(1), last)) return false;
    if (args.size() > 2) return false;
    if (first < 1 || last < first || last > Capacity()) return cme(21);
    std::string block;
    for (auto it = Book().lower_bound(first); it != Book().end() && it->first <= last; ++it) {
      if (!block.empty()) block += "\r\n";
      block += EntryLine("+CPBR", it->first, it->second);
    }
    if (!block.empty()) return info(block);
    switch (options_.emptyEntry) {
      case EmptyEntry::Ok: return true;
      case EmptyEntry::Error: return cme(22);
      case EmptyEntry::Blank: return info("");
    }
    return true;
  }
  if (name == "+CPBF") {
    if (op == 't') return info("+CPBF: " + std::to_string(kNumberLength) + "," + std::to_string(kTextLength));
    if (op != '=' || !arg(0).quoted || args.size() > 1) return false;
    std::string find;
    if (!FromCharset(arg(0).text, find)) return cme(25);
    std::string block;
    for (const auto& [index, e] : Book()) {
      if (e.name.compare(0, find.size(), find) != 0) continue;
      if (!block.empty()) block += "\r\n";
      block += EntryLine("+CPBF", index, e);
    }
    if (block.empty()) return cme(22);
    return info(block);
  }
  if (name == "+CPBW") {
    if (op == 't') {
      return info("+CPBW: (1-" + std::to_string(Capacity()) + ")," + std::to_string(kNumberLength) +
                  ",(129,145)," + std::to_string(kTextLength));
    }
    if (op != '=' || args.empty() || args.size() > 4) return false;
    int index = 0;
    if (arg(0).present && (!ToInt(arg(0), index) || index < 1 || index > Capacity())) return cme(21);
    auto& book = Book();
    JsonObject j;
    j.Str("command", "CPBW").Str("memory", pbMemory_).Str("charset", charset_);
    if (!arg(1).present && !arg(2).present && !arg(3).present) {
      if (!arg(0).present) return false;
      book.erase(index);
      if (journal) journal(j.Int("index", index).Bool("deleted", true).Text());
      return true;
    }
    if (!arg(0).present) {
      for (int k = 1; k <= Capacity() && index == 0; ++k) {
        if (!book.count(k)) index = k;
      }
      if (index == 0) return cme(20);
    }
    PhonebookEntry e;
    e.number = arg(1).text;
    if (e.number.size() > static_cast<std::size_t>(kNumberLength)) return cme(26);
    for (char c : e.number) {
      if (!std::isdigit(static_cast<unsigned char>(c)) && std::string_view("+*#pwPW").find(c) == std::string_view::npos)
        return cme(27);
    }
    e.type = !e.number.empty() && e.number[0] == '+' ? 145 : 129;
    if (arg(2).present && (!ToInt(arg(2), e.type) || e.type < 128 || e.type > 255)) return false;
    if (!FromCharset(arg(3).text, e.name)) return cme(25);
    if (e.name.size() > static_cast<std::size_t>(kTextLength)) return cme(24);
    book[index] = e;
    if (journal) {
      j.Int("index", index).Str("number", e.number).Int("type", e.type);
      j.Str("name", Latin1ToUtf8(arg(3).text)).Str("text", Latin1ToUtf8(e.name));
      journal(j.Text());
    }
    return true;
  }
  if (name == "+CSDH" || name == "+CSAS" || name == "+CRES" || name == "+CHUP" || name == "+CMMS") {
    return op != '?';
  }
  return false;
}

void Phone::FinishPdu(std::vector<Event>& out) {
  const std::string command = pduCommand_;
  pduCommand_ = nullptr;
  std::string hex;
  for (char c : pdu_) {
    if (c != '\r' && c != '\n' && c != ' ' && c != '\t') hex += c;
  }
  const bool tooLong = pdu_.size() > kMaxPdu;
  pdu_.clear();

  PduLine line = SplitPduLine(hex);
  std::string error = line.error;
  if (tooLong) {
    error = "PDU longer than " + std::to_string(kMaxPdu / 2) + " octets";
  } else if (line.ok && line.tpdu.size() != 2 * static_cast<std::size_t>(pduLength_)) {
    error = "TPDU has " + std::to_string(line.tpdu.size() / 2) +
            (line.tpdu.size() % 2 ? ".5" : "") + " octets, AT+" + command + " announced " +
            std::to_string(pduLength_);
  }
  SubmitResult decoded;
  if (error.empty()) {
    decoded = DecodeSubmit(line.tpdu);
    if (!decoded.ok) error = decoded.error;
  }

  Reply reply;
  std::string result;
  if (!error.empty()) {
    reply.final = Reply::Cms;
    reply.code = 304;
    result = "+CMS ERROR: 304";
  } else if (Has(Fault::Refuse)) {
    reply.final = Reply::Cms;
    reply.code = 500;
    result = "+CMS ERROR: 500";
  } else if (command == "CMGS") {
    result = "+CMGS: " + std::to_string(nextMr_);
    nextMr_ = (nextMr_ + 1) % 256;
  } else {
    int index = 0;
    for (int k = 1; k <= kSmsCapacity && index == 0; ++k) {
      if (!sms_.count(k)) index = k;
    }
    if (index == 0) {
      reply.final = Reply::Cms;
      reply.code = 322;
      result = "+CMS ERROR: 322";
    } else {
      sms_[index] = StoredMessage{pduStat_, Upper(hex)};
      result = "+CMGW: " + std::to_string(index);
    }
  }
  if (reply.final == Reply::Ok) {
    if (Has(Fault::LongLine)) {
      result += ",";
      for (int k = 0; result.size() < 40; ++k) result += static_cast<char>('0' + k % 10);
    }
    reply.info.push_back(result);
  }

  JsonObject j;
  j.Str("command", command).Int("length", pduLength_);
  if (command == "CMGW") j.Int("stat", pduStat_);
  // The PDU text is hex when all is well; anything else is shown byte by byte.
  j.Str("sca", Latin1ToUtf8(line.sca)).Str("tpdu", Latin1ToUtf8(line.tpdu)).Str("result", result);
  if (error.empty()) {
    j.Raw("decoded", ToJson(decoded.pdu));
  } else {
    j.Str("error", error);
  }
  if (!line.centre.empty()) j.Str("centre", line.centre);
  if (journal) journal(j.Text());
  Final(reply, out);
}

}  // namespace phonesim
