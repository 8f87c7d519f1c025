// Text helpers of the command interpreter.
#include "AtText.h"

#include <cctype>
#include <cstdint>

#include "pdu/PduDecoder.h"

namespace phonesim {

using namespace mp::pdu;

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
    case 10: return "SIM not inserted";
    case 11: return "SIM PIN required";
    case 12: return "SIM PUK required";
    case 16: return "incorrect password";
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

const char* CmsVerbose(int code) {
  switch (code) {
    case 300: return "ME failure";
    case 301: return "SMS service of ME reserved";
    case 302: return "operation not allowed";
    case 303: return "operation not supported";
    case 304: return "invalid PDU mode parameter";
    case 305: return "invalid text mode parameter";
    case 310: return "SIM not inserted";
    case 311: return "SIM PIN required";
    case 312: return "PH-SIM PIN required";
    case 313: return "SIM failure";
    case 314: return "SIM busy";
    case 315: return "SIM wrong";
    case 316: return "SIM PUK required";
    case 317: return "SIM PIN2 required";
    case 318: return "SIM PUK2 required";
    case 320: return "memory failure";
    case 321: return "invalid memory index";
    case 322: return "memory full";
    case 330: return "SMSC address unknown";
    case 331: return "no network service";
    case 332: return "network timeout";
    case 340: return "no +CNMA acknowledgement expected";
    case 500: return "unknown error";
    default: return nullptr;
  }
}

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

void Send(std::vector<Event>& out, std::string_view bytes) {
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

}  // namespace phonesim
