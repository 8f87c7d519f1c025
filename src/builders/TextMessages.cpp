// Text messages: normal, class 0, blinking (16-bit with the toggle 0x0001)
// and hidden (16-bit with a leading 0x0000).
#include <cstdio>
#include <cstring>

#include "builders/BodyText.h"
#include "builders/Gsm.h"
#include "builders/Messages.h"
#include "platform/Ansi.h"

namespace mp {

std::vector<BlinkChar> MarkedChars(const std::vector<MarkedRun>& runs) {
  std::vector<BlinkChar> chars;
  bool state = false;
  for (const MarkedRun& run : runs) {
    for (char32_t cp : run.text) {
      if (cp == U'\n' || cp == 0x2028 || cp == 0x2029) {
        chars.push_back({'\n', state});
      } else if (cp != 0xFFFC) {
        chars.push_back({UnicodeToAnsi(cp), run.blink});
        state = run.blink;
      }
    }
  }
  return chars;
}

int BlinkText(const std::vector<BlinkChar>& chars, std::string* out, bool& toggles) {
  bool blinking = false;
  int count = 0;
  toggles = false;
  if (out) out->clear();
  for (const BlinkChar& c : chars) {
    if (c.blink != blinking) {
      if (out) out->push_back('\x01');
      ++count;
      toggles = true;
      blinking = !blinking;
    }
    if (c.ch != '\r') {
      if (out) out->push_back(static_cast<char>(c.ch));
      ++count;
    }
  }
  // A blinking run that reaches the end stays open: no closing toggle.
  return count;
}

TextKind ChooseTextKind(int type, bool toggles) {
  if (type == TypeHidden) return TextKind::Hidden;
  if (toggles) return type == TypeClass0 ? TextKind::BlinkingClass0 : TextKind::Blinking;
  return type == TypeClass0 ? TextKind::Class0 : TextKind::Normal;
}

int TextLimit(int type, bool toggles) {
  if (type == TypeHidden) return 69;
  return toggles ? 70 : 160;
}

CharsLeft CountCharsLeft(int n, bool toggles, int type) {
  const int limit = TextLimit(type, toggles);
  CharsLeft left;
  left.count = n == -1 ? std::string() : std::to_string(limit - n);
  left.enabled = n > 0 && n <= limit;
  return left;
}

Body BuildTextBody(int type, const std::string& blinkText, bool toggles) {
  const TextKind kind = ChooseTextKind(type, toggles);
  Body body;
  body.header = false;
  body.status = kind == TextKind::Normal ? 2 : 3;

  if (kind == TextKind::Hidden) {
    // TP-DCS 1B; the character 0000 leads the text, so one character less fits.
    std::memcpy(BodyBuffer, "001BA9??0000", 13);
    detail::LimitToTextBuffer(blinkText, 69, true);
    const int octets = HexUcs2(TextBuffer, BodyBuffer + 12);
    detail::PutCount(BodyBuffer + 6, octets + 2);
  } else {
    // "00%2.2XA9??": TP-PID, TP-DCS, TP-VP and the TP-UDL placeholder.
    int dcs = 0x00;
    switch (kind) {
      case TextKind::Class0: dcs = 0xF0; break;          // 7-bit, class 0
      case TextKind::Blinking: dcs = 0x1B; break;        // 16-bit, class 3
      case TextKind::BlinkingClass0: dcs = 0x18; break;  // 16-bit, class 0
      default: dcs = 0x00; break;                        // 7-bit, no class
    }
    std::snprintf(BodyBuffer, sizeof BodyBuffer, "00%2.2XA9??", dcs);
    int udl;
    if (kind == TextKind::Normal || kind == TextKind::Class0) {
      detail::LimitToTextBuffer(blinkText, 160, false);
      udl = PackGsm7(TextBuffer, BodyBuffer + 8, 0);  // septets
    } else {
      detail::LimitToTextBuffer(blinkText, 70, true);
      udl = HexUcs2(TextBuffer, BodyBuffer + 8);  // octets
    }
    detail::PutCount(BodyBuffer + 6, udl);
  }
  body.hex = BodyBuffer;
  return body;
}

}  // namespace mp
