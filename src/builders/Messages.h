#pragma once
// Message bodies (TP-PID onward, upper-case hex text) for every tab page, and
// the small rules of the pages that do not need a window to be tested.
#include <string>
#include <vector>

class QImage;

namespace mp {

// What a builder hands to TransferMessage.
struct Body {
  std::string hex;      // TP-PID, TP-DCS, TP-VP, TP-UDL, TP-UD
  bool header = false;  // TP-UDHI
  int status = 3;       // AT+CMGW storage status when saving
};

// ---- Text messages ------------------------------------------------------
// Message type index of the "Message type" group.
enum TextType { TypeNormal = 0, TypeClass0 = 1, TypeHidden = 2 };
enum class TextKind { Normal, Class0, Blinking, BlinkingClass0, Hidden };

// One character of an editor with its blink marking (red).
struct BlinkChar {
  unsigned char ch;  // code page 1252; '\r' is dropped, a line break is '\n'
  bool blink;
};

// A piece of text with one blink marking, as an editor or a message file
// holds it (Unicode code points).
struct MarkedRun {
  std::u32string text;
  bool blink;
};

// The characters the builders take from marked text: code page 1252 (a code
// point outside it becomes "?"); a line break ('\n', U+2028, U+2029) becomes
// '\n' and keeps the marking of the text before it, so that it never costs a
// toggle of its own; object replacement characters (pictures) are dropped.
std::vector<BlinkChar> MarkedChars(const std::vector<MarkedRun>& runs);

// Blink text: 0x01 at each change between steady and blinking, no closing
// toggle. Writes into `out` when given; returns the length (toggles counted)
// and sets `toggles` when any toggle was written.
int BlinkText(const std::vector<BlinkChar>& chars, std::string* out, bool& toggles);

TextKind ChooseTextKind(int type, bool toggles);
int TextLimit(int type, bool toggles);  // 160, 70 or 69

// "Characters left": the text of Count and whether SaveBlink is enabled, for a
// blink text length n (-1: too long, Count empty).
struct CharsLeft {
  std::string count;
  bool enabled;
};
CharsLeft CountCharsLeft(int n, bool toggles, int type);

// Body of a text message for a blink text (at most the kind's limit).
Body BuildTextBody(int type, const std::string& blinkText, bool toggles);

// ---- Indicator control -----------------------------------------------------
struct Indicators {
  bool voiceOn = false, voiceOff = false, faxOn = false, faxOff = false;
  bool emailOn = false, emailOff = false, forward = false;
  bool any() const { return voiceOn || voiceOff || faxOn || faxOff || emailOn || emailOff; }
};
extern const char* const kProductAddress;  // web address in the product signature (<= 21 chars)
std::string IndicatorInfoText(const Indicators& ind);
// Whether the data coding dialog is asked: action "Save" and Forward not ticked.
bool IndicatorAsksCoding(bool saveCaption, bool forward);
Body BuildIndicatorBody(const Indicators& ind, bool sevenBit);

// ---- Void message and class 0 template ----------------------------------
Body BuildVoidBody();
Body BuildTemplateBody();  // destination "0081", always saved
inline constexpr const char* kTemplateDestination = "0081";

// ---- Operator logo -------------------------------------------------------
inline constexpr const char* kOperatorPlaceholder = "000-00 (Removes logo of any operator.)";
struct OperatorCheck {
  std::string text;  // the box text after the check (placeholder put in when required)
  bool replaced;     // the placeholder was put in (select all when focused)
  std::string code;  // OperatorCode
  bool valid;        // cmdSaveLogo enabled
};
OperatorCheck CheckOperator(const std::string& text, const std::string& previousCode);
// History update after the dialog was confirmed (newest first, at most 10).
// Returns the index to select (0) or -1 when the history is unchanged.
int UpdateOperatorHistory(std::vector<std::string>& history, const std::string& boxText,
                          const std::string& code);
// 72 x 14 logo of a picture (null: blank). `preview` receives the two-colour
// 72 x 14 picture. Returns LogoBits (252 hex characters).
std::string LogoBitsFromImage(const QImage* picture, QImage* preview);
// The LogoBits of a blank logo (no dark pixel).
inline constexpr int kLogoBitsChars = 72 * 14 / 4;  // 252
Body BuildLogoBody(const std::string& code, const std::string& logoBits);
std::string DescriptionAddress(const std::string& description);

// ---- Blinking phonebook entries --------------------------------------------
// Number check of EntryNo: returns the type (145, 129, 0) and the plain number.
int CheckEntryNumber(const std::string& text, std::string& number);
// Hex name: "3a" for Z, "5a" for z, two upper-case hex digits for other bytes.
std::string HexName(const std::string& blinkText);

}  // namespace mp
