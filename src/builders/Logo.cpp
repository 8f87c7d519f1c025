// Operator logo messages: network code check, history, the 72 x 14 bitmap and
// the body for the operator logo port 0x1582. The bitmap of a picture is
// LogoImage.cpp: a program that never reads pictures never links Qt Gui.
#include <cstring>

#include "builders/Gsm.h"
#include "builders/Messages.h"

namespace mp {

namespace {


bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 0x20; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string TrimLeft(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  return text.substr(i);
}

}  // namespace

OperatorCheck CheckOperator(const std::string& text, const std::string& previousCode) {
  OperatorCheck check;
  check.text = text;
  check.replaced = false;
  // The placeholder vanishes only as a whole: typing over it when it is all
  // selected leaves one character; any other edit of it brings it back.
  if (text.size() != 1 && (text.empty() || (!previousCode.empty() && previousCode[0] == '0'))) {
    check.text = kOperatorPlaceholder;
    check.replaced = true;
  }
  check.code = TrimLeft(check.text).substr(0, 7);
  const std::string& c = check.code;
  check.valid = c.size() >= 6 && IsDigit(c[0]) && IsDigit(c[1]) && IsDigit(c[2]) && c[3] == '-' &&
                IsDigit(c[4]) && IsDigit(c[5]) && (c.size() < 7 || !IsDigit(c[6]));
  if (check.valid) check.code.resize(6);
  return check;
}

int UpdateOperatorHistory(std::vector<std::string>& history, const std::string& boxText,
                          const std::string& code) {
  if (!code.empty() && code[0] == '0') return -1;  // the removal code is not remembered
  history.insert(history.begin(), TrimLeft(boxText));
  bool removed = false;
  for (std::size_t i = 1; i < history.size(); ++i) {
    if (history[i].substr(0, 6) == code) {
      history.erase(history.begin() + static_cast<std::ptrdiff_t>(i));
      removed = true;
      break;
    }
  }
  if (!removed && history.size() > 10) history.erase(history.begin() + 10);
  return 0;
}

Body BuildLogoBody(const std::string& code, const std::string& logoBits) {
  // TP-PID 00, TP-DCS F5 (8-bit, class 1), TP-VP FF, TP-UDL 140, a header of
  // 16-bit application ports 1582 -> 1582, MCC and MNC as semi-octets, then
  // the OTA bitmap header (72 x 14, one bit per pixel).
  std::memcpy(BodyBuffer, "00F5FF8C06050415821582??F???00480E01", 37);
  // Digits of "MCC-MNC"; anything that is not a digit goes out as 0, so a
  // malformed code can never leave a "?" in the body.
  auto digit = [&code](std::size_t i) { return i < code.size() && IsDigit(code[i]) ? code[i] : '0'; };
  BodyBuffer[22] = digit(1);
  BodyBuffer[23] = digit(0);
  BodyBuffer[25] = digit(2);
  BodyBuffer[26] = digit(5);
  BodyBuffer[27] = digit(4);
  // The bitmap: always 252 hex digits, so the body is always 288 characters.
  char* bits = BodyBuffer + 36;
  for (int i = 0; i < kLogoBitsChars; ++i) {
    const char c = static_cast<std::size_t>(i) < logoBits.size() ? logoBits[static_cast<std::size_t>(i)] : '0';
    const bool hex = IsDigit(c) || (c >= 'A' && c <= 'F');
    bits[i] = hex ? c : '0';
  }
  bits[kLogoBitsChars] = '\0';

  return Body{BodyBuffer, true, 2};
}

std::string DescriptionAddress(const std::string& description) {
  // An address value holds at most 10 octets: 11 packed characters, the most
  // that the description box allows.
  char desc[12];
  std::size_t n = 0;
  while (n < 11 && n < description.size() && description[n] != '\0') {
    desc[n] = description[n];
    ++n;
  }
  desc[n] = '\0';
  PackGsm7(desc, TextBuffer, 0);
  // Length in semi-octets, type of address D0 (alphanumeric, GSM 7-bit).
  char head[5] = {0};
  const int semiOctets = (7 * static_cast<int>(n) + 3) / 4;
  static constexpr char kHex[] = "0123456789ABCDEF";
  head[0] = kHex[(semiOctets >> 4) & 0x0F];
  head[1] = kHex[semiOctets & 0x0F];
  head[2] = 'D';
  head[3] = '0';
  return std::string(head) + TextBuffer;
}

}  // namespace mp
