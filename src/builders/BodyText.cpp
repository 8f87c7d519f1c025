#include "builders/BodyText.h"

#include "builders/Gsm.h"

namespace mp::detail {

void PutCount(char* at, int value) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  at[0] = kHex[(value >> 4) & 0x0F];
  at[1] = kHex[value & 0x0F];
}

int LimitToTextBuffer(const std::string& text, int maxChars, bool crFree) {
  int counted = 0;
  std::size_t used = 0;
  for (char c : text) {
    if (c == '\0' || used == static_cast<std::size_t>(kTextChars)) break;
    const bool costs = !(crFree && c == '\r');
    if (costs && counted == maxChars) break;
    TextBuffer[used++] = c;
    if (costs) ++counted;
  }
  TextBuffer[used] = '\0';
  return counted;
}

}  // namespace mp::detail
