#pragma once
// Text beyond one message: the automatic alphabet (GSM 7-bit with its
// extension table, else UCS-2) and concatenation with the 8-bit reference
// element (IEI 00). One function builds every part of a text message for the
// window and for mirapost-send alike. A part boundary never falls inside a
// character (escape pair, surrogate pair) and, wherever a part can hold the
// whole cluster, never between a letter and its combining mark, inside a flag
// or inside a zero-width-joiner sequence; within those rules the text takes
// the fewest parts.
#include <cstddef>
#include <string>
#include <vector>

#include "builders/Messages.h"

namespace mp {

// How the characters of a text are written.
enum class TextCoding {
  Mapped,  // today's single-message mapping: code page 1252, look-alikes in 7-bit
  Auto,    // GSM 7-bit with the extension table when every character fits, else UCS-2
  Ucs2,    // UCS-2 always
};

inline constexpr int kMaxParts = 255;       // the part counters are one octet
inline constexpr int kConcatSeptets = 153;  // 7-bit characters a concatenated part holds
inline constexpr int kConcatUnits = 67;     // UCS-2 units a concatenated part holds

// One character of the editor with its blink marking, as Unicode.
struct TextChar {
  char32_t cp;
  bool blink;
};

// The characters of marked text: a line break ('\n', U+2028, U+2029) becomes
// '\n' and keeps the marking of the text before it; carriage returns and
// object replacement characters (pictures) are dropped.
std::vector<TextChar> TextChars(const std::vector<MarkedRun>& runs);

// GSM 7-bit septets of a character: one from the default alphabet, the escape
// and one from the extension table, or none (an empty string) when the
// alphabet has no such character.
std::string GsmSeptets(char32_t cp);

// Septets packed from septet index `start` on (the bits before it are zero
// fill after a user data header), as upper-case hex.
std::string PackSeptets(const std::string& septets, int start);

struct TextPart {
  Body body;        // TP-PID onward; header set when the text has several parts
  std::size_t end;  // index of the character after the part's last one
};

struct LongText {
  bool sevenBit = true;         // the GSM alphabet; otherwise 16-bit
  int needed = 0;               // parts the whole text needs (0 for an empty text)
  int left = 0;                 // what the last part still holds (septets or UCS-2 units)
  std::vector<TextPart> parts;  // every part, when the text fits in maxParts
  bool Fits() const { return needed >= 1 && !parts.empty(); }
};

// Every part of a text message of `type` (TypeNormal, TypeClass0,
// TypeHidden) with at most `maxParts` parts (1 .. kMaxParts), each part
// carrying `reference` in its concatenation element. A text with a blinking
// character is 16-bit, as is a hidden one. A text that fits one message gives
// one part without a header: with TextCoding::Mapped its body is the very one
// of BuildTextBody.
LongText BuildLongText(int type, const std::vector<TextChar>& chars, TextCoding coding, int maxParts, int reference);

// The window's part limit with the option "Long and Unicode messages" on.
inline constexpr int kWindowMaxParts = 10;

// The text page's count with that option on: what the current (last) part
// still holds, and what the text costs when it takes more than one message:
// "12", "12 (3 messages)".
std::string LongCount(const LongText& text);

// Puts `reference` into the concatenation element of every part (built
// before the recipient's own reference was known). A part without one is
// left as it is.
void SetReference(std::vector<Body>& parts, int reference);

// Whether any character is marked blinking (a text of the blinking kind).
bool AnyBlink(const std::vector<TextChar>& chars);

}  // namespace mp
