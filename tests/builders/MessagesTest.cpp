// Bodies of text, indicator, void and template messages; blink text and the
// characters-left rule; phonebook names and numbers.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "BodyChecks.h"
#include "builders/Gsm.h"
#include "builders/Messages.h"

namespace {

using bodycheck::WellFormed;
using mp::BlinkChar;

std::vector<BlinkChar> Chars(const std::string& text, const std::string& blinkMask) {
  std::vector<BlinkChar> chars;
  for (std::size_t i = 0; i < text.size(); ++i)
    chars.push_back({static_cast<unsigned char>(text[i]), i < blinkMask.size() && blinkMask[i] == '*'});
  return chars;
}

std::string Ucs2Hex(const std::string& ascii) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (char ch : ascii) {
    const auto c = static_cast<unsigned char>(ch);
    out += "00";
    out.push_back(hex[c >> 4]);
    out.push_back(hex[c & 15]);
  }
  return out;
}

TEST(BlinkText, Toggles) {
  struct Case {
    std::string text, mask;  // '*' marks a blinking (red) character
    std::string blink;
    bool toggles;
  };
  const std::vector<Case> cases = {
      {"", "", "", false},
      {"ab", "  ", "ab", false},
      {"ab", " *", "a\x01" "b", true},
      {"ab", "* ", "\x01" "a\x01" "b", true},
      {"Ann", " **", "A\x01nn", true},
      {"Ann", "*  ", "\x01" "A\x01nn", true},
      {"a\r\nb", "    ", "a\nb", false},
      // The toggle comes before a dropped carriage return whose marking changes.
      {"a\r\nb", " ***", "a\x01\nb", true},
  };
  for (const Case& c : cases) {
    std::string out = "stale";
    bool toggles = !c.toggles;
    const int n = mp::BlinkText(Chars(c.text, c.mask), &out, toggles);
    EXPECT_EQ(out, c.blink) << c.text << "/" << c.mask;
    EXPECT_EQ(n, static_cast<int>(c.blink.size()));
    EXPECT_EQ(toggles, c.toggles);
    bool t2 = false;
    EXPECT_EQ(mp::BlinkText(Chars(c.text, c.mask), nullptr, t2), n);  // counting only
    EXPECT_EQ(t2, c.toggles);
  }
}

// A line break keeps the marking of the text before it, whichever run it is
// in, so that it never costs a toggle; pictures are dropped.
TEST(MarkedChars, LineBreaksKeepTheMarkingBefore) {
  struct Case {
    const char* name;
    std::vector<mp::MarkedRun> runs;
    std::string text, mask;  // '*' marks a blinking character
  };
  const std::vector<Case> cases = {
      {"break after blinking text", {{U"ab", true}, {U"\ncd", false}}, "ab\ncd", "***  "},
      {"break after steady text", {{U"ab", false}, {U"\u2028cd", true}}, "ab\ncd", "   **"},
      {"picture dropped", {{U"a\uFFFC", true}, {U"\u2029b", false}}, "a\nb", "** "},
  };
  for (const Case& c : cases) {
    std::string text, mask;
    for (const BlinkChar& ch : mp::MarkedChars(c.runs)) {
      text.push_back(static_cast<char>(ch.ch));
      mask.push_back(ch.blink ? '*' : ' ');
    }
    EXPECT_EQ(text, c.text) << c.name;
    EXPECT_EQ(mask, c.mask) << c.name;
  }
}

TEST(CharsLeft, Rule) {
  struct Case {
    int n;
    bool toggles;
    int type;
    std::string count;
    bool enabled;
  };
  const std::vector<Case> cases = {
      {0, false, mp::TypeNormal, "160", false},     {1, false, mp::TypeNormal, "159", true},
      {160, false, mp::TypeNormal, "0", true},      {161, false, mp::TypeNormal, "-1", false},
      {160, false, mp::TypeClass0, "0", true},      {-1, false, mp::TypeNormal, "", false},
      {70, true, mp::TypeNormal, "0", true},        {71, true, mp::TypeClass0, "-1", false},
      {69, false, mp::TypeHidden, "0", true},       {70, false, mp::TypeHidden, "-1", false},
      {5, true, mp::TypeHidden, "64", true},        {400, false, mp::TypeNormal, "-240", false},
  };
  for (const Case& c : cases) {
    const mp::CharsLeft left = mp::CountCharsLeft(c.n, c.toggles, c.type);
    EXPECT_EQ(left.count, c.count) << c.n << " " << c.toggles << " " << c.type;
    EXPECT_EQ(left.enabled, c.enabled) << c.n << " " << c.toggles << " " << c.type;
  }
  // 35 characters, each one a change of marking: 35 toggles, nothing left.
  std::string mask;
  for (int i = 0; i < 35; ++i) mask += (i % 2 == 0) ? '*' : ' ';
  bool toggles = false;
  const int n = mp::BlinkText(Chars(std::string(35, 'x'), mask), nullptr, toggles);
  EXPECT_EQ(mp::CountCharsLeft(n, toggles, mp::TypeNormal).count, "0");
}

TEST(TextBody, Kinds) {
  struct Case {
    int type;
    std::string blink;
    bool toggles;
    mp::TextKind kind;
    std::string hex;
    int status;
  };
  using K = mp::TextKind;
  const std::vector<Case> cases = {
      {mp::TypeNormal, "hello", false, K::Normal, "0000A905E8329BFD06", 2},
      {mp::TypeClass0, "hello", false, K::Class0, "00F0A905E8329BFD06", 3},
      {mp::TypeNormal, "a\x01" "b", true, K::Blinking, "001BA906006100010062", 3},
      {mp::TypeClass0, "a\x01" "b", true, K::BlinkingClass0, "0018A906006100010062", 3},
      {mp::TypeHidden, "hi", false, K::Hidden, "001BA906000000680069", 3},
      {mp::TypeHidden, "\x01hi", true, K::Hidden, "001BA9080000000100680069", 3},
      {mp::TypeNormal, "a\nb", false, K::Normal, "0000A903618518", 2},
      {mp::TypeNormal, "\x01\n", true, K::Blinking, "001BA9040001000A", 3},
      {mp::TypeNormal, "\x80\x01", true, K::Blinking, "001BA90420AC0001", 3},
      {mp::TypeNormal, "", false, K::Normal, "0000A900", 2},
      {mp::TypeHidden, "", false, K::Hidden, "001BA9020000", 3},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(mp::ChooseTextKind(c.type, c.toggles), c.kind);
    const mp::Body body = mp::BuildTextBody(c.type, c.blink, c.toggles);
    EXPECT_EQ(body.hex, c.hex);
    EXPECT_FALSE(body.header);
    EXPECT_EQ(body.status, c.status);
    EXPECT_TRUE(WellFormed(body.hex));
  }
}

// At the limit the user data is full; beyond it nothing more is written.
TEST(TextBody, Limits) {
  struct Case {
    int type;
    bool toggles;
    int chars;
    std::string udl;
    std::size_t size;
  };
  const std::vector<Case> cases = {
      {mp::TypeNormal, false, 160, "A0", 288}, {mp::TypeNormal, false, 161, "A0", 288},
      {mp::TypeClass0, false, 500, "A0", 288}, {mp::TypeNormal, true, 70, "8C", 288},
      {mp::TypeClass0, true, 71, "8C", 288},   {mp::TypeHidden, false, 69, "8C", 288},
      {mp::TypeHidden, false, 70, "8C", 288},  {mp::TypeHidden, true, 300, "8C", 288},
      {mp::TypeNormal, false, 159, "9F", 288}, {mp::TypeNormal, true, 69, "8A", 284},
  };
  for (const Case& c : cases) {
    const mp::Body body = mp::BuildTextBody(c.type, std::string(static_cast<std::size_t>(c.chars), 'x'), c.toggles);
    EXPECT_EQ(body.hex.substr(6, 2), c.udl) << c.type << " " << c.chars;
    EXPECT_EQ(body.hex.size(), c.size) << c.type << " " << c.chars;
    EXPECT_TRUE(WellFormed(body.hex));
    EXPECT_EQ(mp::BodyBuffer[mp::kBodyChars], '\0');
  }
  EXPECT_EQ(mp::TextLimit(mp::TypeNormal, false), 160);
  EXPECT_EQ(mp::TextLimit(mp::TypeClass0, true), 70);
  EXPECT_EQ(mp::TextLimit(mp::TypeHidden, true), 69);
}

// Any text, however long and whatever its bytes (carriage returns included),
// gives a well-formed body within the buffer.
TEST(TextBody, AnyText) {
  std::mt19937 rng(77);
  std::uniform_int_distribution<int> byte(1, 255), length(0, 400);
  for (int round = 0; round < 300; ++round) {
    std::string text;
    const int len = length(rng);
    for (int i = 0; i < len; ++i) text.push_back(round % 3 == 0 ? '\r' : static_cast<char>(byte(rng)));
    for (int type : {mp::TypeNormal, mp::TypeClass0, mp::TypeHidden})
      for (bool toggles : {false, true}) {
        const mp::Body body = mp::BuildTextBody(type, text, toggles);
        ASSERT_TRUE(WellFormed(body.hex)) << round << " " << type << " " << toggles;
        ASSERT_EQ(mp::BodyBuffer[mp::kBodyChars], '\0');
      }
  }
}

TEST(IndicatorBody, VoiceOnSent16Bit) {
  mp::Indicators ind;
  ind.voiceOn = true;
  EXPECT_EQ(mp::IndicatorInfoText(ind), "Displays:\no_o \n");
  const mp::Body body = mp::BuildIndicatorBody(ind, false);
  const std::string expected = "001BA98B04" "01020001" + Ucs2Hex("Displays:\no_o \n") + Ucs2Hex(std::string(52, ' '));
  EXPECT_EQ(body.hex, expected);
  EXPECT_EQ(body.hex.size(), 286u);
  EXPECT_TRUE(body.header);
  EXPECT_EQ(body.status, 3);
  EXPECT_TRUE(WellFormed(body.hex));
}

TEST(IndicatorBody, SevenBitAfterHeader) {
  mp::Indicators voice;
  voice.voiceOn = true;
  EXPECT_EQ(mp::BuildIndicatorBody(voice, true).hex,
            "00F3A9150401020001" "10D373383B9C9FEB14EFC81BA400");

  mp::Indicators two;
  two.voiceOn = two.faxOff = true;
  EXPECT_EQ(mp::IndicatorInfoText(two), "Displays:\no_o \nRemoves:\nFAX \n");
  const mp::Body body = mp::BuildIndicatorBody(two, true);
  EXPECT_EQ(body.hex.substr(0, 26), "00F3A9280801020001" "01020100");
  // 11 header septets (UDHL and 8 octets, one fill bit), then 29 characters.
  EXPECT_EQ(body.hex.size(), 2u * (4 + (7 * 40 + 7) / 8));
  EXPECT_TRUE(WellFormed(body.hex));
  const mp::Body sixteen = mp::BuildIndicatorBody(two, false);
  EXPECT_EQ(sixteen.hex.substr(0, 26), "001BA98B0801020001" "01020100");
}

TEST(IndicatorBody, ForwardedRemoval) {
  mp::Indicators ind;
  ind.voiceOff = ind.faxOff = ind.emailOff = ind.forward = true;
  const std::string info = std::string("Removes:\no_o FAX e \n") + "\nMIRAPOST; " + mp::kProductAddress;
  EXPECT_EQ(mp::IndicatorInfoText(ind), info);
  const mp::Body body = mp::BuildIndicatorBody(ind, false);
  EXPECT_EQ(body.hex, "001BA98B0C" "010280000102810001028200" + Ucs2Hex(info) +
                          Ucs2Hex(std::string(63 - info.size(), ' ')));
  EXPECT_LE(std::string(mp::kProductAddress).size(), 21u);
}

TEST(IndicatorBody, AsksCoding) {
  EXPECT_TRUE(mp::IndicatorAsksCoding(true, false));
  EXPECT_FALSE(mp::IndicatorAsksCoding(true, true));
  EXPECT_FALSE(mp::IndicatorAsksCoding(false, false));
  EXPECT_FALSE(mp::IndicatorAsksCoding(false, true));
}

// Every combination of boxes (Forward beside "On" boxes too, as the Debug
// command allows) in both codings gives a well-formed body of the right size.
TEST(IndicatorBody, EveryCombination) {
  for (int bits = 0; bits < 128; ++bits) {
    mp::Indicators ind;
    ind.voiceOn = bits & 1;
    ind.voiceOff = bits & 2;
    ind.faxOn = bits & 4;
    ind.faxOff = bits & 8;
    ind.emailOn = bits & 16;
    ind.emailOff = bits & 32;
    ind.forward = bits & 64;
    if (!ind.any()) continue;
    const int udhl = 4 * (ind.voiceOn + ind.voiceOff + ind.faxOn + ind.faxOff + ind.emailOn + ind.emailOff);
    const std::size_t info = mp::IndicatorInfoText(ind).size();
    for (bool seven : {false, true}) {
      const mp::Body body = mp::BuildIndicatorBody(ind, seven);
      ASSERT_TRUE(WellFormed(body.hex)) << bits << " " << seven;
      EXPECT_EQ(bodycheck::Octet(body.hex, 4), udhl);
      EXPECT_TRUE(body.header);
      EXPECT_EQ(body.status, 3);
      const int udl = bodycheck::Octet(body.hex, 3);
      if (seven) {
        EXPECT_EQ(udl, (8 * udhl + 15) / 7 + static_cast<int>(info)) << bits;
      } else {
        EXPECT_EQ(udl, 139) << bits;  // filled with blanks to the capacity
      }
      // Elements: 01 02, store bit, type, count.
      const char store = ind.forward ? '8' : '0';
      for (int e = 0; e < udhl / 4; ++e) {
        const std::string el = body.hex.substr(10 + 8 * static_cast<std::size_t>(e), 8);
        EXPECT_EQ(el.substr(0, 4), "0102");
        EXPECT_EQ(el[4], store);
      }
    }
  }
}

TEST(VoidBody, Fixed) {
  const mp::Body body = mp::BuildVoidBody();
  const std::string text = "This \"void message\" signals for a new message and disappears.    ";
  ASSERT_EQ(text.size(), 65u);
  EXPECT_EQ(body.hex, "001BA98B080102020101020200" + Ucs2Hex(text));
  EXPECT_EQ(body.hex.size(), 286u);
  EXPECT_EQ(body.hex.substr(26, 16), "0054006800690073");
  EXPECT_EQ(body.hex.substr(body.hex.size() - 16), "0020002000200020");
  EXPECT_TRUE(body.header);
  EXPECT_EQ(body.status, 3);
  EXPECT_TRUE(WellFormed(body.hex));
}

TEST(TemplateBody, Fixed) {
  const mp::Body body = mp::BuildTemplateBody();
  EXPECT_EQ(body.hex, "00F0FF00");
  EXPECT_FALSE(body.header);
  EXPECT_EQ(body.status, 3);
  EXPECT_STREQ(mp::kTemplateDestination, "0081");
  EXPECT_TRUE(WellFormed(body.hex));
}

TEST(PhonebookEntry, EntryNumber) {
  struct Case {
    std::string text;
    int type;
    std::string number;
  };
  const std::vector<Case> cases = {
      {"+358 40-123 45", 145, "+3584012345"}, {"040 123", 129, "040123"}, {"+", 145, "+"},
      {"12+3", 0, ""}, {"++1", 0, ""}, {"040/123", 0, ""}, {"", 0, ""}, {" - ", 0, ""},
      {std::string(21, '5'), 0, ""}, {std::string(20, '5'), 129, std::string(20, '5')},
  };
  for (const Case& c : cases) {
    std::string number;
    EXPECT_EQ(mp::CheckEntryNumber(c.text, number), c.type) << c.text;
    if (c.type != 0 || c.text.find_first_not_of(" -") == std::string::npos) {
      EXPECT_EQ(number, c.number) << c.text;
    }
  }
}

TEST(PhonebookEntry, HexName) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Zoe", "3a6F65"},       {"zebra", "5a65627261"}, {"\x01" "A\x01nn", "0141016E6E"},
      {"A\x01nn", "41016E6E"}, {"", ""},               {"\xE9\xFF" "Y[", "E9FF595B"},
  };
  for (const auto& [name, hex] : cases) EXPECT_EQ(mp::HexName(name), hex);
  // Every toggle byte lengthens the name: 32 characters and toggles exceed 64.
  std::string name;
  for (int i = 0; i < 32; ++i) name += "\x01y";
  EXPECT_EQ(mp::HexName(name).size(), 128u);
}

}  // namespace
