// The receiving phone's reading: kinds that depend on fine points of the
// octets, the characters that change, and the text rendering.
#include <gtest/gtest.h>

#include "pdu/Reading.h"

namespace mp::pdu {
namespace {

TEST(Reading, KindsFromTheOctets) {
  struct Case {
    const char* name;
    const char* tpdu;
    Kind kind;
    std::string text;  // UTF-8 of the shown text
    int indicators;
  };
  const Case cases[] = {
      {"7-bit text", "11FF05912143F50000A905E8329BFD06", Kind::Text, "hello", 0},
      {"16-bit blink toggles", "11FF05912143F5001BA9080048000100690001", Kind::Text, "Hi", 0},
      {"email set then cleared: void", "51FF05912143F5001BA90B0801020201010202000041", Kind::Void, "", 2},
      {"kept, so no void", "51FF05912143F5001BA90B0801028201010202000041", Kind::Indicators, "A", 2},
      {"only set", "51FF05912143F5001BA90704010202010041", Kind::Indicators, "A", 1},
      {"hidden keeps later U+0000", "11FF05912143F5001BA906000000410000", Kind::Hidden, std::string("A\0", 2), 0},
      {"class 0 without text: template", "11FF008100F0FF00", Kind::Template, "", 0},
      {"class 0 with text: flash", "11FF05912143F500F0A90141", Kind::Flash, "A", 0},
      {"cut short", "11FF05912143F500", Kind::Invalid, "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Reading r = ReadTpdu(c.tpdu);
    EXPECT_EQ(r.kind, c.kind) << KindName(r.kind) << " " << r.error;
    EXPECT_EQ(ToUtf8(r.Text()), c.text);
    EXPECT_EQ(static_cast<int>(r.indicators.size()), c.indicators);
    EXPECT_EQ(r.error.empty(), c.kind != Kind::Invalid);
  }
}

TEST(Reading, BlinkingRunsAndTheirRendering) {
  const Reading r = ReadTpdu("11FF05912143F5001BA9080048000100690001");
  ASSERT_EQ(r.segments.size(), 2u);
  EXPECT_FALSE(r.segments[0].blink);
  EXPECT_TRUE(r.segments[1].blink);
  EXPECT_EQ(RenderText(r),
            "Text message\nTo: +12345\nText: H[[i]]\nBlinking parts are shown between [[ and ]].\n");
  const Reading v = ReadTpdu("51FF05912143F5001BA90B0801020201010202000041");
  EXPECT_EQ(RenderText(v),
            "(tone only, no message)\nTo: +12345\n"
            "email indicator set, count 1, message discarded\n"
            "email indicator cleared, count 0, message discarded\n");
}

TEST(Reading, PhonebookEntryFromTheHexName) {
  const Reading r = ReadPhonebookEntry("01416C01696365", "+358401234567");
  EXPECT_EQ(r.kind, Kind::Phonebook);
  ASSERT_EQ(r.segments.size(), 2u);
  EXPECT_EQ(ToUtf8(r.segments[0].text), "Al");
  EXPECT_TRUE(r.segments[0].blink);
  EXPECT_EQ(ToUtf8(r.segments[1].text), "ice");
  EXPECT_EQ(RenderText(r), "Phonebook entry\nNumber: +358401234567\nName: [[Al]]ice\n"
                           "Blinking parts are shown between [[ and ]].\n");
  EXPECT_EQ(ReadPhonebookEntry("E9", "1").Text(), U"é");  // ISO 8859-1
  EXPECT_EQ(ReadPhonebookEntry("4", "1").kind, Kind::Invalid);
}

TEST(Reading, CharactersThatChange) {
  struct Case {
    std::u32string typed, shown;
    std::vector<std::string> labels;
  };
  const Case cases[] = {
      {U"a€b", U"aeb", {"€ → e"}},
      {U"ça ç Жd", U"ca c ?d", {"ç → c", "Ж → ?"}},
      {U"Привет 😀", U"?????? ?", {"П → ?", "р → ?", "и → ?", "в → ?", "е → ?", "т → ?", "😀 → ?"}},
      {U"same", U"same", {}},
      {U"a\r\nb", U"a\nb", {}},       // carriage returns are skipped by the encoders
      {U"long€text", U"long", {}},    // cut at the limit: only what arrives counts
      {U"a\x01", U"a~", {"U+0001 → ~"}},
      {U"x\n", U"x ", {"line break → space"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> labels;
    for (const CharChange& ch : ChangedCharacters(c.typed, c.shown)) labels.push_back(ChangeLabel(ch));
    EXPECT_EQ(labels, c.labels) << ToUtf8(c.typed);
  }
  EXPECT_EQ(ChangeLabel({U'€', 0}), "€ → (nothing)");
}

}  // namespace
}  // namespace mp::pdu
