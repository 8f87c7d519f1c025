// Indicator control messages, the void message and the class 0 template.
#include <cstring>

#include "builders/BodyText.h"
#include "builders/Gsm.h"
#include "builders/Messages.h"

namespace mp {

const char* const kProductAddress = "www.mirapost.example";

namespace {

// One special SMS message indication element per ticked box, in this order.
struct IndicatorRow {
  bool Indicators::*box;
  char type;           // indication type digit: 0 voice, 1 fax, 2 e-mail
  char count;          // message count digit: 1 switches on, 0 off
  const char* piece;   // info text piece
};

constexpr IndicatorRow kRows[] = {
    {&Indicators::voiceOn, '0', '1', "o_o "}, {&Indicators::voiceOff, '0', '0', "o_o "},
    {&Indicators::faxOn, '1', '1', "FAX "},   {&Indicators::faxOff, '1', '0', "FAX "},
    {&Indicators::emailOn, '2', '1', "e "},   {&Indicators::emailOff, '2', '0', "e "},
};

constexpr const char kVoidText[] =
    "This \"void message\" signals for a new message and disappears.    ";

}  // namespace

std::string IndicatorInfoText(const Indicators& ind) {
  std::string displayed, removed;
  for (const IndicatorRow& row : kRows) {
    if (!(ind.*row.box)) continue;
    (row.count == '1' ? displayed : removed) += row.piece;
  }
  std::string info;
  if (!displayed.empty()) info += "Displays:\n" + displayed + "\n";
  if (!removed.empty()) info += "Removes:\n" + removed + "\n";
  if (ind.forward) info += std::string("\nMIRAPOST; ") + kProductAddress;
  return info;
}

bool IndicatorAsksCoding(bool saveCaption, bool forward) { return saveCaption && !forward; }

Body BuildIndicatorBody(const Indicators& ind, bool sevenBit) {
  // TP-PID, TP-DCS, TP-VP, then TP-UDL and UDHL to be filled in.
  std::memcpy(BodyBuffer, "001BA9????", 11);
  char* end = BodyBuffer + 10;
  // Bit 7 of the indication type: the receiving phone stores the message.
  const char store = ind.forward ? '8' : '0';
  int udhl = 0;
  for (const IndicatorRow& row : kRows) {
    if (!(ind.*row.box)) continue;
    const char element[9] = {'0', '1', '0', '2', store, row.type, '0', row.count, '\0'};
    std::memcpy(end, element, sizeof element);
    end += 8;
    udhl += 4;
  }

  const std::string info = IndicatorInfoText(ind);
  int udl;
  if (!sevenBit) {
    // The text is filled with blanks to the capacity left after the header.
    const int capacity = 69 - udhl / 2;
    const int chars = detail::LimitToTextBuffer(info, capacity, true);
    const std::size_t used = std::strlen(TextBuffer);
    const int pad = capacity - chars;
    if (pad > 0) {
      std::memset(TextBuffer + used, ' ', static_cast<std::size_t>(pad));
      TextBuffer[used + static_cast<std::size_t>(pad)] = '\0';
    }
    udl = HexUcs2(TextBuffer, end) + udhl + 1;
  } else {
    std::memcpy(BodyBuffer + 2, "F3", 2);
    // Whole septets that cover the UDHL octet and the header; the encoder
    // puts the fill bits in front of the first character.
    const int start = (8 * udhl + 15) / 7;
    detail::LimitToTextBuffer(info, 160 - start, false);
    udl = PackGsm7(TextBuffer, end, start);
  }
  detail::PutCount(BodyBuffer + 6, udl);
  detail::PutCount(BodyBuffer + 8, udhl);

  return Body{BodyBuffer, true, 3};
}

Body BuildVoidBody() {
  // E-mail waiting switched on and off again (discard after updating), then
  // 65 characters of 16-bit text: TP-UDL 139 is part of the template.
  std::memcpy(BodyBuffer, "001BA98B080102020101020200", 27);
  HexUcs2(kVoidText, BodyBuffer + 26);
  return Body{BodyBuffer, true, 3};
}

Body BuildTemplateBody() {
  std::memcpy(BodyBuffer, "00F0FF00", 9);
  return Body{BodyBuffer, false, 3};
}

}  // namespace mp
