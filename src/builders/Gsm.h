#pragma once
// GSM text and field encoders. Text is code page 1252, zero terminated; every
// hex output is upper-case hex text, two digits an octet, zero terminated.
#include <cstdint>
#include <string>

namespace mp {

inline constexpr int kBodyChars = 288;  // hex characters of a message body (144 octets)
inline constexpr int kTextChars = 160;  // characters of converted text

// The shared buffers of the builders: one message at a time.
extern char BodyBuffer[kBodyChars + 1];
extern char TextBuffer[kTextChars + 1];

// Code page 1252 code -> GSM 7-bit default alphabet code (never the escape 0x1B).
extern const std::uint8_t AnsiToGsm[256];

// Packs `text` as GSM septets starting at septet index `start` (the first
// (7*start) mod 8 bits are zero fill) and writes hex text to `out`, at most
// 280 hex characters plus a final partial octet, then a terminator.
// `out` needs room for 283 characters. Returns the septet index after the
// last character written. When (7*start) mod 8 is not 0 the octet holding the
// fill bits is written even for an empty text, as the user data needs it.
int PackGsm7(const char* text, char* out, int start);

// Writes each character (carriage returns skipped) as four hex digits of its
// Unicode code point, at most 70 characters, then a terminator. `out` needs
// room for 281 characters. Returns the number of octets written.
int HexUcs2(const char* text, char* out);

enum NumberFormat { FormatPlain, FormatDestination, FormatCentre };

// Encodes a phone number. Returns 145 (international), 129, or 0 when the
// number is rejected or empty; `out` is replaced (partial on rejection).
int EncodeNumber(std::string& out, const std::string& number, NumberFormat format);

}  // namespace mp
