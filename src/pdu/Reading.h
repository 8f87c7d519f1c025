#pragma once
// What a receiving phone shows for a decoded SMS-SUBMIT, and for a phonebook
// entry written with AT+CPBW: the kind of message, its text in blinking and
// steady runs, indicator changes, the operator logo. Built from the decoder's
// view only, so it checks what the message builders made.
//
//   mp::pdu::Reading r = mp::pdu::ReadTpdu(tpduHex);
//   if (r.kind == mp::pdu::Kind::Text) show(r.Text());
//   auto changes = mp::pdu::ChangedCharacters(U"a€b", r.Text());  // {'€', 'e'}
//   std::string text = mp::pdu::RenderText(r);  // for a terminal
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pdu/PduDecoder.h"

namespace mp::pdu {

enum class Kind {
  Invalid,     // the PDU does not decode
  Text,        // an ordinary text message
  Flash,       // class 0: shown at once, not stored
  Hidden,      // 16-bit text led by U+0000: the phone shows nothing of it
  Indicators,  // waiting indicators set or cleared
  Void,        // indicators set and cleared again: a tone only
  Template,    // class 0 with no text, stored as a template
  Logo,        // operator logo
  Phonebook,   // a phonebook entry
};
// "invalid", "text", "flash", "hidden", "indicators", "void", "template",
// "logo", "phonebook".
const char* KindName(Kind kind);

// A run of text that blinks or stays steady.
struct Segment {
  std::u32string text;
  bool blink = false;
};

struct IndicatorChange {
  std::string kind;  // "voice", "fax", "email", "other"
  bool on = false;   // count above 0 sets the icon, 0 clears it
  int count = 0;
  bool store = false;  // the message is kept after the update
};

struct Reading {
  Kind kind = Kind::Invalid;
  std::string error;      // why the PDU does not decode
  std::string recipient;  // "+12345", an alphanumeric address, or the entry's number
  int messageClass = -1;
  std::string coding;                    // "7bit", "8bit", "ucs2", or empty
  std::vector<Segment> segments;         // the text as shown (no toggle characters)
  std::vector<IndicatorChange> indicators;
  std::optional<OperatorLogo> logo;
  std::string operatorCode;  // "MCC-MNC" of a logo

  std::u32string Text() const;  // the segments joined
  bool Blinking() const;        // any segment blinks
};

Reading ReadSubmit(const SubmitPdu& pdu);
Reading ReadTpdu(std::string_view tpduHex);
// A phonebook entry as a phone stores it from AT+CPBW in the "HEX" character
// set: the name's octets read as ISO 8859-1, 0x01 toggling the blinking.
Reading ReadPhonebookEntry(std::string_view nameHex, std::string_view number);

// A character that changes on the way: `to` is 0 when it is lost.
struct CharChange {
  char32_t from = 0;
  char32_t to = 0;
  bool operator==(const CharChange&) const = default;
};
// Compares the text the user wrote with the text the phone shows, character
// by character, up to the shorter of the two (a carriage return in `typed`
// counts nothing, as the encoders skip it); each change is listed once, in
// the order of first appearance.
std::vector<CharChange> ChangedCharacters(std::u32string_view typed, std::u32string_view shown);
// "€ → e"; a lost character reads "€ → (nothing)", control characters as U+XXXX.
std::string ChangeLabel(const CharChange& change);

// The reading as plain text, one fact a line; blinking runs are put between
// "[[" and "]]".
std::string RenderText(const Reading& reading);

std::string ToUtf8(std::u32string_view text);

}  // namespace mp::pdu
