// Blinking phonebook entries: number check and the hex name.
#include "builders/Gsm.h"
#include "builders/Messages.h"

namespace mp {

int CheckEntryNumber(const std::string& text, std::string& number) {
  return EncodeNumber(number, text, FormatPlain);
}

std::string HexName(const std::string& blinkText) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(blinkText.size() * 2);
  for (char ch : blinkText) {
    const auto c = static_cast<unsigned char>(ch);
    // The phones this is written for read Z and z in this odd form.
    if (c == 'Z') {
      hex += "3a";
    } else if (c == 'z') {
      hex += "5a";
    } else {
      hex.push_back(kHex[c >> 4]);
      hex.push_back(kHex[c & 0x0F]);
    }
  }
  return hex;
}

}  // namespace mp
