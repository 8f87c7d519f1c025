// GSM 7-bit packing, 16-bit text and number encoding.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "builders/Gsm.h"

namespace {

using mp::AnsiToGsm;

// Reads septet `n` (bits 7n .. 7n+6, least significant first) of packed user
// data given as hex text whose first octet is octet (7*first)/8 of the data.
std::vector<int> Octets(const std::string& hex) {
  std::vector<int> out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

std::string Unpack(const std::string& hex, int start, int end, bool* fillClear) {
  const std::vector<int> octets = Octets(hex);
  const int base = 7 * start / 8;  // complete octets before the first septet
  auto bit = [&](int b) { return (octets.at(static_cast<std::size_t>(b / 8 - base)) >> (b % 8)) & 1; };
  *fillClear = true;
  for (int b = base * 8; b < 7 * start; ++b) *fillClear = *fillClear && bit(b) == 0;
  std::string text;
  for (int n = start; n < end; ++n) {
    int s = 0;
    for (int i = 0; i < 7; ++i) s |= bit(7 * n + i) << i;
    text.push_back(static_cast<char>(s));
  }
  // Bits after the last septet in the final octet are zero too.
  for (int b = 7 * end; b < (base + static_cast<int>(octets.size())) * 8; ++b) *fillClear = *fillClear && bit(b) == 0;
  return text;
}

std::string Pack(const std::string& text, int start, int* n) {
  char out[283];
  *n = mp::PackGsm7(text.c_str(), out, start);
  return out;
}

std::string Ucs2(const std::string& text, int* octets) {
  char out[281];
  *octets = mp::HexUcs2(text.c_str(), out);
  return out;
}

TEST(AnsiToGsm, TableRows) {
  struct Row {
    std::vector<int> codes;
    int gsm;
  };
  std::vector<Row> rows = {
      {{0x0A}, 0x0A}, {{0x0D}, 0x0D}, {{0x00, 0x01, 0x09, 0x1B, 0x1F, 0x7F}, 0x3F},
      {{0x20}, 0x20}, {{0x41}, 0x41}, {{0x7A}, 0x7A}, {{0x24}, 0x02}, {{0x40}, 0x00},
      {{0x5B, 0x7B}, 0x28}, {{0x5D, 0x7D}, 0x29}, {{0x5C}, 0x2F}, {{0x5E, 0x7C, 0x7E}, 0x3F},
      {{0x5F}, 0x11}, {{0x60}, 0x27}, {{0xA1}, 0x40}, {{0xA3}, 0x01}, {{0xA4}, 0x24},
      {{0xA5}, 0x03}, {{0xA7}, 0x5F}, {{0xBF}, 0x60}, {{0xC4}, 0x5B}, {{0xC5}, 0x0E},
      {{0xC6}, 0x1C}, {{0xC7}, 0x09}, {{0xC9}, 0x1F}, {{0xD1}, 0x5D}, {{0xD6}, 0x5C},
      {{0xD8}, 0x0B}, {{0xDF}, 0x1E}, {{0xE0}, 0x7F}, {{0xE4}, 0x7B}, {{0xE5}, 0x0F},
      {{0xE6}, 0x1D}, {{0xE8}, 0x04}, {{0xE9}, 0x05}, {{0xEC}, 0x07}, {{0xF1}, 0x7D},
      {{0xF2}, 0x08}, {{0xF6}, 0x7C}, {{0xF8}, 0x0C}, {{0xF9}, 0x06}, {{0xFC}, 0x7E},
      {{0xC0, 0xC1, 0xC2, 0xC3}, 0x41}, {{0xC8, 0xCA, 0xCB}, 0x45}, {{0xCC, 0xCD, 0xCE, 0xCF}, 0x49},
      {{0xD2, 0xD3, 0xD4, 0xD5}, 0x4F}, {{0xD9, 0xDA, 0xDB, 0xDC}, 0x55}, {{0x9F, 0xDD}, 0x59},
      {{0xAA, 0xE1, 0xE2, 0xE3}, 0x61}, {{0x80, 0xEA, 0xEB}, 0x65}, {{0xED, 0xEE, 0xEF}, 0x69},
      {{0xF3, 0xF4, 0xF5}, 0x6F}, {{0xB5, 0xFA, 0xFB}, 0x75}, {{0xFD, 0xFF}, 0x79},
      {{0xA2, 0xE7}, 0x63}, {{0x82, 0x91, 0x92, 0xB4}, 0x27}, {{0x84, 0x93, 0x94}, 0x22},
      {{0x96, 0x97, 0xAD}, 0x2D}, {{0x95, 0xB7}, 0x2A}, {{0xA0}, 0x20}, {{0x83}, 0x66},
      {{0x8A}, 0x53}, {{0x8B}, 0x3C}, {{0x8E}, 0x5A}, {{0x9A}, 0x73}, {{0x9B}, 0x3E},
      {{0x9E}, 0x7A}, {{0xA9}, 0x43}, {{0xAE}, 0x52}, {{0xB2}, 0x32}, {{0xB3}, 0x33},
      {{0xB9}, 0x31}, {{0xBA}, 0x30}, {{0xD0}, 0x44}, {{0xD7}, 0x78}, {{0xF0}, 0x64},
      {{0x81, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8C, 0x8D, 0x8F, 0x90, 0x98, 0x99, 0x9C, 0x9D, 0xA6,
        0xA8, 0xAB, 0xAC, 0xAF, 0xB0, 0xB1, 0xB6, 0xB8, 0xBB, 0xBC, 0xBD, 0xBE, 0xDE, 0xF7, 0xFE},
       0x3F},
  };
  std::vector<bool> listed(256, false);
  for (const Row& row : rows)
    for (int c : row.codes) {
      EXPECT_EQ(AnsiToGsm[c], row.gsm) << "code " << std::hex << c;
      listed[static_cast<std::size_t>(c)] = true;
    }
  for (int c = 0; c < 256; ++c) {
    EXPECT_LT(AnsiToGsm[c], 0x80) << c;
    EXPECT_NE(AnsiToGsm[c], 0x1B) << c;  // never the escape to the extension table
    // Codes not listed map to themselves (printable ASCII) or to "?" (controls).
    if (!listed[static_cast<std::size_t>(c)]) {
      EXPECT_EQ(AnsiToGsm[c], (c >= 0x20 && c < 0x7F) ? c : 0x3F) << "code " << std::hex << c;
    }
  }
}

TEST(PackGsm7, Vectors) {
  struct Case {
    std::string text;
    int start;
    std::string hex;
    int result;
  };
  const std::vector<Case> cases = {
      {"hello", 0, "E8329BFD06", 5},
      {"hellohello", 0, "E8329BFD4697D9EC37", 10},
      {"@$_", 0, "004104", 3},
      {"A", 7, "82", 8},
      {"\xDC\xFC\x80", 0, "557F19", 3},  // U umlaut 55, u umlaut 7E, euro 65
      {"", 0, "", 0},
      {"", 8, "", 8},
      // An empty text after a header that ends inside an octet still writes
      // that octet's fill bits: the user data covers the header septets.
      {"", 6, "00", 6},
      {"Displays:\no_o \n", 6, "10D373383B9C9FEB14EFC81BA400", 21},
  };
  for (const Case& c : cases) {
    int n = 0;
    EXPECT_EQ(Pack(c.text, c.start, &n), c.hex) << c.text;
    EXPECT_EQ(n, c.result) << c.text;
  }
}

TEST(PackGsm7, StopsAt160CharactersFromStartZero) {
  for (int len : {160, 161, 200, 400}) {
    const std::string text(static_cast<std::size_t>(len), 'x');
    char out[300];
    std::memset(out, '#', sizeof out);
    const int n = mp::PackGsm7(text.c_str(), out, 0);
    EXPECT_EQ(n, 160);
    EXPECT_EQ(std::strlen(out), 280u);
    for (std::size_t i = 281; i < sizeof out; ++i) ASSERT_EQ(out[i], '#') << len;
  }
}

// Every length 0..160 from every start septet 0..15: an independent unpacker
// reads back the table-mapped text, the fill bits are zero, and nothing is
// written beyond the terminator.
TEST(PackGsm7, RoundTripEveryLengthAndStart) {
  std::mt19937 rng(1234);
  std::uniform_int_distribution<int> byte(1, 255);
  for (int start = 0; start <= 15; ++start) {
    for (int len = 0; len <= 160; ++len) {
      std::string text;
      for (int i = 0; i < len; ++i) text.push_back(static_cast<char>(byte(rng)));
      char out[300];
      std::memset(out, '#', sizeof out);
      const int n = mp::PackGsm7(text.c_str(), out, start);
      const std::string hex = out;
      for (std::size_t i = hex.size() + 1; i < sizeof out; ++i) ASSERT_EQ(out[i], '#');
      ASSERT_LE(hex.size(), 282u);
      ASSERT_EQ(hex.size() % 2, 0u);
      const int encoded = n - start;
      ASSERT_LE(encoded, len);
      const int octetsNeeded = (7 * (start + len) + 7) / 8 - 7 * start / 8;
      if (octetsNeeded <= 140) {
        ASSERT_EQ(encoded, len) << "start " << start << " len " << len;
        ASSERT_EQ(static_cast<int>(hex.size()), 2 * octetsNeeded);
      } else {
        ASSERT_GE(hex.size(), 280u);  // stopped by the output limit only
      }
      bool fillClear = false;
      const std::string back = Unpack(hex, start, n, &fillClear);
      std::string expected;
      for (int i = 0; i < encoded; ++i)
        expected.push_back(static_cast<char>(AnsiToGsm[static_cast<unsigned char>(text[static_cast<std::size_t>(i)])]));
      ASSERT_EQ(back, expected) << "start " << start << " len " << len;
      ASSERT_TRUE(fillClear) << "start " << start << " len " << len;
    }
  }
}

TEST(HexUcs2, Vectors) {
  struct Case {
    std::string text;
    std::string hex;
    int octets;
  };
  const std::vector<Case> cases = {
      {"Ab\r\n", "00410062000A", 6},
      {"", "", 0},
      {"\x01", "0001", 2},
      // Code page 1252 characters go out as their Unicode code points.
      {"\x80", "20AC", 2},
      {"\x85\x8A\x9F", "20260160" "0178", 6},
      {"\x81\x8D\x8F\x90\x9D", "0081008D008F0090009D", 10},
      {"\xA0\xE9\xFF", "00A000E900FF", 6},
  };
  for (const Case& c : cases) {
    int octets = 0;
    EXPECT_EQ(Ucs2(c.text, &octets), c.hex);
    EXPECT_EQ(octets, c.octets);
  }
}

TEST(HexUcs2, AtMost70Characters) {
  // Carriage returns do not count towards the 70.
  for (const std::string& text : {std::string(71, 'a'), std::string(200, 'a'), std::string(70, 'a') + "\r",
                                  [] {
                                    std::string t;
                                    for (int i = 0; i < 75; ++i) t += "\ra";
                                    return t;
                                  }()}) {
    char out[300];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(mp::HexUcs2(text.c_str(), out), 140);
    EXPECT_EQ(std::strlen(out), 280u);
    for (std::size_t i = 281; i < sizeof out; ++i) ASSERT_EQ(out[i], '#');
  }
}

TEST(EncodeNumber, Vectors) {
  using mp::FormatCentre;
  using mp::FormatDestination;
  using mp::FormatPlain;
  struct Case {
    std::string number;
    mp::NumberFormat format;
    int type;
    std::string out;  // checked only when the number is accepted or empty
  };
  const std::string twenty = "12345678901234567890";
  const std::vector<Case> cases = {
      {"+12 34-5", FormatPlain, 145, "+12345"},
      {"+358 40-123 45", FormatPlain, 145, "+3584012345"},
      {"040 123", FormatPlain, 129, "040123"},
      {"+", FormatPlain, 145, "+"},
      {"", FormatPlain, 0, ""},
      {" - -", FormatPlain, 0, ""},
      // An odd digit count gets the filler F in TP-DA as well.
      {"12345", FormatDestination, 129, "05812143F5"},
      {"+12345", FormatDestination, 145, "05912143F5"},
      {"1234", FormatDestination, 129, "04812143"},
      {"+", FormatDestination, 145, "0091"},
      {"", FormatDestination, 0, "0000"},
      {"+12345", FormatCentre, 145, "04912143F5"},
      {"1234", FormatCentre, 129, "03812143"},
      {"", FormatCentre, 0, "0100"},
      {"+358 40 1234", FormatCentre, 145, "069153481032F4"},
      {twenty, FormatDestination, 129, "1481214365870921436587" "09"},
      {twenty, FormatPlain, 129, twenty},
  };
  for (const Case& c : cases) {
    std::string out = "stale";
    EXPECT_EQ(mp::EncodeNumber(out, c.number, c.format), c.type) << c.number << " " << c.format;
    EXPECT_EQ(out, c.out) << c.number << " " << c.format;
  }
}

TEST(EncodeNumber, Rejections) {
  for (mp::NumberFormat f : {mp::FormatPlain, mp::FormatDestination, mp::FormatCentre}) {
    for (const std::string& number :
         {std::string("1+2"), std::string("12+3"), std::string("++1"), std::string("040/123"), std::string("12a"),
          std::string("x"), std::string("1\t2"), std::string(21, '1'), std::string("+") + std::string(25, '9')}) {
      std::string out;
      EXPECT_EQ(mp::EncodeNumber(out, number, f), 0) << number << " " << f;
    }
  }
}

}  // namespace
