#pragma once
// Code page 1252 ("ANSI") text at the boundary between Qt strings and the
// single-byte world of the message builders and the phone link.
#include <QString>
#include <string>
#include <string_view>

namespace mp {

// Unicode code point of a code page 1252 byte. The five unassigned codes
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control of the same value.
char32_t AnsiToUnicode(unsigned char c);

// Code page 1252 byte of a Unicode code point, or '?' when it has none.
unsigned char UnicodeToAnsi(char32_t cp);

// A Qt string as code page 1252 bytes; characters outside it become "?".
std::string ToAnsi(const QString& text);

// Code page 1252 bytes as a Qt string.
QString FromAnsi(std::string_view bytes);

}  // namespace mp
