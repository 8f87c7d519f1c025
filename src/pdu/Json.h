#pragma once
// Small helpers for the one-line JSON objects of the journal: UTF-8 encoding
// of code points and an object writer that keeps the keys in insertion order.
#include <cstdint>
#include <string>
#include <string_view>

namespace mp::pdu {

// Appends the UTF-8 form of a code point (invalid ones as U+FFFD).
void AppendUtf8(std::string& out, char32_t cp);
std::string Utf8(std::u32string_view text);
// Bytes read as ISO 8859-1 (each byte is the code point of the same value).
std::string Latin1ToUtf8(std::string_view bytes);

// A JSON string literal of UTF-8 text: quotes, backslash and control
// characters escaped ("\n", "\r", "\t", others as "\u00XX").
std::string JsonString(std::string_view utf8);

class JsonObject {
 public:
  JsonObject& Str(std::string_view key, std::string_view utf8);
  JsonObject& Int(std::string_view key, long long value);
  JsonObject& Bool(std::string_view key, bool value);
  JsonObject& Null(std::string_view key);
  // A value that is already JSON text (an object, a list).
  JsonObject& Raw(std::string_view key, std::string_view json);
  std::string Text() const { return text_ + "}"; }

 private:
  void Key(std::string_view key);
  std::string text_ = "{";
};

}  // namespace mp::pdu
