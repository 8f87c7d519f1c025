#include "platform/Ansi.h"

#include <gtest/gtest.h>

namespace {

TEST(Ansi, ConvertsCodePage1252) {
  struct Case {
    std::string ansi;
    QString text;
  };
  const Case cases[] = {
      {"\x80", QString(QChar(0x20AC))},  // euro sign
      {"\x81", QString(QChar(0x0081))},  // unassigned: the C1 control of the same value
      {"\x9f\xff", QString(QChar(0x0178)) + QChar(0x00FF)},
      {"\x8a\x9a\x99", QString::fromUtf8("\xc5\xa0\xc5\xa1\xe2\x84\xa2")},
      {std::string("a\0\n", 3), QString(QChar('a')) + QChar(0) + QChar('\n')},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(mp::FromAnsi(c.ansi), c.text) << c.ansi;
    EXPECT_EQ(mp::ToAnsi(c.text), c.ansi) << c.ansi;
  }
}

TEST(Ansi, CharactersOutsideTheCodePageBecomeQuestionMarks) {
  EXPECT_EQ(mp::ToAnsi(QString::fromUtf8("\xce\xa9")), "?");            // Greek omega
  EXPECT_EQ(mp::ToAnsi(QString::fromUtf8("a\xf0\x9f\x98\x80" "b")), "a?b");  // one "?" per character
  EXPECT_EQ(mp::UnicodeToAnsi(0x0100), '?');
}

TEST(Ansi, EveryByteRoundTrips) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(mp::ToAnsi(mp::FromAnsi(all)), all);
}

}  // namespace
