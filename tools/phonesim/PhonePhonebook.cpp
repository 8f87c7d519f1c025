// The simulated phone's phonebook commands (TS 27.007): character set,
// phonebook memory, read, find and write, with the character set conversions.
#include <cctype>
#include <cstdint>

#include "AtText.h"
#include "pdu/Json.h"
#include "pdu/PduDecoder.h"

namespace phonesim {

using namespace mp::pdu;

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

std::optional<bool> Phone::PhonebookCommand(const Command& c) {
  const std::string& name = c.name;
  const char op = c.op;
  const std::vector<Arg>& args = c.args;
  auto arg = [&c](std::size_t k) { return c.arg(k); };
  auto info = [&c](std::string text) { return c.info(std::move(text)); };
  auto cme = [&c](int code) { return c.cme(code); };
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
  // The SIM's phonebook is out of reach while the SIM is locked.
  const bool book = name == "+CPBR" || name == "+CPBF" || name == "+CPBW";
  if (book && op != 't' && pbMemory_ == "SM" && simLocked_) return cme(Is(Personality::SimPuk) ? 12 : 11);
  if (name == "+CPBR") {
    if (op == 't') {
      if (Has(Fault::NoRange)) return false;
      return info("+CPBR: (1-" + std::to_string(Capacity()) + ")," + std::to_string(kNumberLength) +
                  "," + std::to_string(kTextLength));
    }
    int first = 0, last = 0;
    if (op != '=' || !ToInt(arg(0), first)) return false;
    last = first;
    if (arg(1).present && !ToInt(arg(1), last)) return false;
    if (args.size() > 2) return false;
    if (Has(Fault::Full)) {
      // Every location reads as taken, even beyond the phonebook's range.
      if (first < 1 || last < first || last - first >= Capacity()) return cme(21);
      std::string block;
      for (int k = first; k <= last; ++k) {
        if (!block.empty()) block += "\r\n";
        auto it = Book().find(k);
        block += EntryLine("+CPBR", k, it != Book().end() ? it->second : PhonebookEntry{"5550000", 129, "Taken"});
      }
      return info(block);
    }
    if (first < 1 || last < first || last > Capacity()) return cme(21);
    std::string block;
    for (auto it = Book().lower_bound(first); it != Book().end() && it->first <= last; ++it) {
      if (!block.empty()) block += "\r\n";
      block += EntryLine("+CPBR", it->first, it->second);
    }
    // A call comes in just before a taken location's answer.
    if (!block.empty() && Is(Personality::Interrupting)) c.reply.urc += Unsolicited({"RING"});
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
    // A registration report (cell changed) comes just before the answer.
    if (Is(Personality::Interrupting)) c.reply.urc += Unsolicited({"+CREG: 1,\"0010\",\"1234\""});
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
  return std::nullopt;
}

}  // namespace phonesim
