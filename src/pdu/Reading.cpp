// What the receiving phone shows for a decoded message or phonebook entry.
#include "pdu/Reading.h"

#include "pdu/Json.h"

#include <algorithm>
#include <cstdio>

namespace mp::pdu {

namespace {

constexpr char32_t kNoToggle = 0xFFFFFFFF;

// Splits text at each toggle character into steady and blinking runs; empty
// runs are left out.
std::vector<Segment> SplitBlinking(std::u32string_view text, char32_t toggle) {
  std::vector<Segment> out;
  Segment run;
  for (char32_t c : text) {
    if (c == toggle) {
      if (!run.text.empty()) out.push_back(run);
      run.text.clear();
      run.blink = !run.blink;
    } else {
      run.text += c;
    }
  }
  if (!run.text.empty()) out.push_back(run);
  return out;
}

// Indicators that are each set and then cleared again in the same message:
// the phone only sounds its tone.
bool SetAndCleared(const std::vector<Indication>& list) {
  if (list.empty()) return false;
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (list[i].store) return false;
    bool clearedAfter = false, setBefore = false;
    for (std::size_t j = 0; j < list.size(); ++j) {
      if (list[j].kind != list[i].kind) continue;
      if (j > i && list[i].count > 0 && list[j].count == 0) clearedAfter = true;
      if (j < i && list[i].count == 0 && list[j].count > 0) setBefore = true;
    }
    if (!clearedAfter && !setBefore) return false;
  }
  return true;
}

std::string ControlName(char32_t c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(c));
  return buf;
}

std::string Shown(char32_t c) {
  if (c == ' ') return "space";
  if (c < 0x20 || c == 0x7F) {
    if (c == '\n') return "line break";
    return ControlName(c);
  }
  std::string s;
  AppendUtf8(s, c);
  return s;
}

}  // namespace

const char* KindName(Kind kind) {
  switch (kind) {
    case Kind::Text: return "text";
    case Kind::Flash: return "flash";
    case Kind::Hidden: return "hidden";
    case Kind::Indicators: return "indicators";
    case Kind::Void: return "void";
    case Kind::Template: return "template";
    case Kind::Logo: return "logo";
    case Kind::Phonebook: return "phonebook";
    case Kind::Invalid: break;
  }
  return "invalid";
}

std::u32string Reading::Text() const {
  std::u32string t;
  for (const Segment& s : segments) t += s.text;
  return t;
}

bool Reading::Blinking() const {
  return std::any_of(segments.begin(), segments.end(), [](const Segment& s) { return s.blink; });
}

std::string ToUtf8(std::u32string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char32_t c : text) AppendUtf8(out, c);
  return out;
}

Reading ReadSubmit(const SubmitPdu& pdu) {
  Reading r;
  r.recipient = pdu.da;
  r.messageClass = pdu.messageClass;
  r.coding = pdu.coding;
  std::u32string text = pdu.text;
  if (pdu.logo) {
    r.kind = Kind::Logo;
    r.logo = pdu.logo;
    r.operatorCode = pdu.logo->mcc + "-" + pdu.logo->mnc;
    return r;
  }
  if (!pdu.indications.empty()) {
    for (const Indication& i : pdu.indications)
      r.indicators.push_back({i.kind, i.count > 0, i.count, i.store});
    r.kind = SetAndCleared(pdu.indications) ? Kind::Void : Kind::Indicators;
    if (r.kind == Kind::Indicators) r.segments = SplitBlinking(text, kNoToggle);
    return r;
  }
  if (pdu.coding == "ucs2" && !text.empty() && text[0] == U'\0') {
    r.kind = Kind::Hidden;
    r.segments = SplitBlinking(std::u32string_view(text).substr(1), kNoToggle);
    return r;
  }
  if (pdu.messageClass == 0 && pdu.udl == 0 && pdu.udh.empty()) {
    r.kind = Kind::Template;
    return r;
  }
  r.kind = pdu.messageClass == 0 ? Kind::Flash : Kind::Text;
  // Phones of this kind blink 16-bit text between U+0001 characters.
  r.segments = SplitBlinking(text, pdu.coding == "ucs2" ? U'\x01' : kNoToggle);
  return r;
}

Reading ReadTpdu(std::string_view tpduHex) {
  const SubmitResult decoded = DecodeSubmit(tpduHex);
  if (!decoded.ok) {
    Reading r;
    r.error = decoded.error.empty() ? "the message does not decode" : decoded.error;
    return r;
  }
  return ReadSubmit(decoded.pdu);
}

Reading ReadPhonebookEntry(std::string_view nameHex, std::string_view number) {
  Reading r;
  r.recipient = std::string(number);
  std::vector<std::uint8_t> octets;
  if (!HexToOctets(nameHex, octets)) {
    r.error = "the name is not hex text";
    return r;
  }
  r.kind = Kind::Phonebook;
  std::u32string name;
  for (auto o : octets) name += static_cast<char32_t>(o);  // ISO 8859-1
  r.segments = SplitBlinking(name, U'\x01');
  return r;
}

std::vector<CharChange> ChangedCharacters(std::u32string_view typed, std::u32string_view shown) {
  std::vector<CharChange> out;
  std::size_t j = 0;
  for (std::size_t i = 0; i < typed.size() && j < shown.size(); ++i) {
    const char32_t c = typed[i];
    if (c == U'\r') continue;
    const char32_t s = shown[j++];
    if (c == s) continue;
    const CharChange change{c, s};
    if (std::find(out.begin(), out.end(), change) == out.end()) out.push_back(change);
  }
  return out;
}

std::string ChangeLabel(const CharChange& change) {
  return Shown(change.from) + " \u2192 " + (change.to ? Shown(change.to) : std::string("(nothing)"));
}

std::string RenderText(const Reading& r) {
  std::string out;
  auto line = [&out](const std::string& s) { out += s + "\n"; };
  auto text = [&r] {
    std::string t;
    for (const Segment& s : r.segments)
      t += s.blink ? "[[" + ToUtf8(s.text) + "]]" : ToUtf8(s.text);
    return t;
  };
  switch (r.kind) {
    case Kind::Invalid:
      line("Not readable: " + r.error);
      return out;
    case Kind::Text:
      line("Text message");
      break;
    case Kind::Flash:
      line("Flash message (class 0, shown at once)");
      break;
    case Kind::Hidden:
      line("(hidden)");
      break;
    case Kind::Indicators:
      line("Indicators");
      break;
    case Kind::Void:
      line("(tone only, no message)");
      break;
    case Kind::Template:
      line("Class 0 template (empty flash message, kept in the SIM)");
      break;
    case Kind::Logo:
      line("Operator logo for " + r.operatorCode);
      break;
    case Kind::Phonebook:
      line("Phonebook entry");
      break;
  }
  if (!r.recipient.empty()) line((r.kind == Kind::Phonebook ? "Number: " : "To: ") + r.recipient);
  for (const IndicatorChange& i : r.indicators) {
    line(i.kind + (i.on ? " indicator set, count " : " indicator cleared, count ") +
         std::to_string(i.count) + (i.store ? ", message kept" : ", message discarded"));
  }
  if (r.kind == Kind::Phonebook) {
    line("Name: " + text());
  } else if (!r.segments.empty()) {
    line("Text: " + text());
  }
  if (r.Blinking()) line("Blinking parts are shown between [[ and ]].");
  if (r.logo) {
    for (const std::string& row : r.logo->rows) line(row);
    if (!r.logo->error.empty()) line("Logo: " + r.logo->error);
  }
  return out;
}

}  // namespace mp::pdu
