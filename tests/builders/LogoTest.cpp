// Operator logo: network code check, history, bitmap and body.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <string>
#include <vector>

#include "BodyChecks.h"
#include "builders/Messages.h"

namespace {

const std::string kPlaceholder = mp::kOperatorPlaceholder;

TEST(CheckOperator, Codes) {
  struct Case {
    std::string text, previous;
    std::string boxText;
    bool replaced;
    std::string code;
    bool valid;
  };
  const std::vector<Case> cases = {
      {"244-05 Radiolinja", "", "244-05 Radiolinja", false, "244-05", true},
      {"244-05", "", "244-05", false, "244-05", true},
      {"   244-91 Sonera", "244-9", "   244-91 Sonera", false, "244-91", true},
      {"24405", "2440", "24405", false, "24405", false},
      {"244-5", "244-", "244-5", false, "244-5", false},
      {"244-005", "244-00", "244-005", false, "244-005", false},
      {"244-05x", "", "244-05x", false, "244-05", true},
      {"2a4-05", "", "2a4-05", false, "2a4-05", false},
      // The placeholder comes in for an empty box and stays until it is typed over.
      {"", "", kPlaceholder, true, "000-00", true},
      {"", "244-05", kPlaceholder, true, "000-00", true},
      {"2", "000-00", "2", false, "2", false},
      {kPlaceholder.substr(0, 30), "000-00", kPlaceholder, true, "000-00", true},
      {kPlaceholder + "x", "000-00", kPlaceholder, true, "000-00", true},
      // A leading "0" cannot be followed by a second character.
      {"0", "", "0", false, "0", false},
      {"01", "0", kPlaceholder, true, "000-00", true},
  };
  for (const Case& c : cases) {
    const mp::OperatorCheck check = mp::CheckOperator(c.text, c.previous);
    EXPECT_EQ(check.text, c.boxText) << c.text;
    EXPECT_EQ(check.replaced, c.replaced) << c.text;
    EXPECT_EQ(check.code, c.code) << c.text;
    EXPECT_EQ(check.valid, c.valid) << c.text;
  }
}

TEST(OperatorHistory, Update) {
  std::vector<std::string> history = {"244-05 Old name", "244-91 Sonera"};
  EXPECT_EQ(mp::UpdateOperatorHistory(history, "  244-05 Radiolinja", "244-05"), 0);
  EXPECT_EQ(history, (std::vector<std::string>{"244-05 Radiolinja", "244-91 Sonera"}));

  // The removal code is never remembered.
  EXPECT_EQ(mp::UpdateOperatorHistory(history, kPlaceholder, "000-00"), -1);
  EXPECT_EQ(history.size(), 2u);

  std::vector<std::string> many;
  for (int i = 0; i < 11; ++i) {
    const std::string code = "2" + std::to_string(10 + i) + "-0" + std::to_string(i % 10);
    mp::UpdateOperatorHistory(many, code + " net", code);
  }
  ASSERT_EQ(many.size(), 10u);
  EXPECT_EQ(many.front(), "220-00 net");
  EXPECT_EQ(many.back(), "211-01 net");
}

TEST(LogoBits, BlankWhiteAndBlack) {
  QImage preview;
  const std::string blank = mp::LogoBitsFromImage(nullptr, &preview);
  EXPECT_EQ(blank, std::string(252, '0'));
  ASSERT_EQ(preview.size(), QSize(72, 14));
  for (int y = 0; y < 14; ++y)
    for (int x = 0; x < 72; ++x) ASSERT_EQ(preview.pixel(x, y), qRgb(224, 255, 192));

  QImage white(30, 30, QImage::Format_RGB32);
  white.fill(Qt::white);
  EXPECT_EQ(mp::LogoBitsFromImage(&white, nullptr), std::string(252, '0'));
  QImage black(300, 10, QImage::Format_RGB32);
  black.fill(Qt::black);
  EXPECT_EQ(mp::LogoBitsFromImage(&black, &preview), std::string(252, 'F'));
  EXPECT_EQ(preview.pixel(71, 13), qRgb(0, 0, 0));
  const QImage null;
  EXPECT_EQ(mp::LogoBitsFromImage(&null, nullptr), std::string(252, '0'));
}

TEST(LogoBits, DarknessThreshold) {
  struct Case {
    QRgb colour;
    std::string firstOctet;
  };
  for (const Case& c : {Case{qRgb(128, 128, 127), "80"}, Case{qRgb(128, 128, 128), "00"},
                        Case{qRgb(255, 129, 0), "00"}, Case{qRgb(255, 128, 0), "80"}, Case{qRgb(0, 0, 255), "80"}}) {
    QImage picture(72, 14, QImage::Format_RGB32);
    picture.fill(Qt::white);
    picture.setPixel(0, 0, c.colour);
    QImage preview;
    const std::string bits = mp::LogoBitsFromImage(&picture, &preview);
    EXPECT_EQ(bits.substr(0, 2), c.firstOctet) << std::hex << c.colour;
    EXPECT_EQ(bits.substr(2), std::string(250, '0'));
    EXPECT_EQ(preview.pixel(0, 0), c.firstOctet == "80" ? qRgb(0, 0, 0) : qRgb(224, 255, 192));
  }
}

TEST(LogoBits, RowsAndBitOrder) {
  QImage picture(72, 14, QImage::Format_RGB32);
  picture.fill(Qt::white);
  picture.setPixel(7, 0, qRgb(0, 0, 0));    // last bit of the first octet
  picture.setPixel(8, 0, qRgb(0, 0, 0));    // first bit of the second
  picture.setPixel(71, 13, qRgb(0, 0, 0));  // last pixel
  const std::string bits = mp::LogoBitsFromImage(&picture, nullptr);
  EXPECT_EQ(bits.substr(0, 4), "0180");
  EXPECT_EQ(bits.substr(250), "01");
  EXPECT_EQ(bits.substr(4, 246), std::string(246, '0'));
}

TEST(LogoBits, Stretched) {
  // 144 x 28 with its left half black shrinks to a logo with 36 dark columns.
  QImage big(144, 28, QImage::Format_RGB32);
  big.fill(Qt::white);
  for (int y = 0; y < 28; ++y)
    for (int x = 0; x < 72; ++x) big.setPixel(x, y, qRgb(0, 0, 0));
  std::string row = "FFFFFFFFF0" + std::string(8, '0');
  std::string expected;
  for (int y = 0; y < 14; ++y) expected += row;
  EXPECT_EQ(mp::LogoBitsFromImage(&big, nullptr), expected);

  // A 36 x 7 picture with its top-left pixel black grows to a 2 x 2 block.
  QImage small(36, 7, QImage::Format_RGB32);
  small.fill(Qt::white);
  small.setPixel(0, 0, qRgb(0, 0, 0));
  const std::string bits = mp::LogoBitsFromImage(&small, nullptr);
  EXPECT_EQ(bits.substr(0, 2), "C0");
  EXPECT_EQ(bits.substr(18, 2), "C0");
  EXPECT_EQ(bits.substr(36), std::string(216, '0'));
}

TEST(LogoBody, NetworkDigits) {
  const std::string bits(252, 'F');
  struct Case {
    std::string code, start;
  };
  for (const Case& c : {Case{"244-05", "00F5FF8C0605041582158242F45000480E01"},
                        Case{"000-00", "00F5FF8C0605041582158200F00000480E01"},
                        Case{"310-260", "00F5FF8C0605041582158213F06200480E01"},
                        Case{"", "00F5FF8C0605041582158200F00000480E01"}}) {
    const mp::Body body = mp::BuildLogoBody(c.code, bits);
    EXPECT_EQ(body.hex.substr(0, 36), c.start) << c.code;
    EXPECT_EQ(body.hex.size(), 288u);
    EXPECT_EQ(body.hex.substr(36), bits);
    EXPECT_TRUE(body.header);
    EXPECT_EQ(body.status, 2);
    EXPECT_TRUE(bodycheck::WellFormed(body.hex));
  }
  // Bits of the wrong length or with stray characters still give 288 hex digits.
  for (const std::string& bad : {std::string(), std::string(300, 'A'), std::string(252, '?')}) {
    const mp::Body body = mp::BuildLogoBody("244-05", bad);
    EXPECT_EQ(body.hex.size(), 288u);
    EXPECT_TRUE(bodycheck::WellFormed(body.hex));
  }
}

TEST(LogoBody, DescriptionAddress) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Hello", "09D0C8329BFD06"},
      {"", "00D0"},
      {"A", "02D041"},
      // 11 characters fill the 10 octets of an address value; more are cut.
      {"Hello World", "14D0C8329BFD065DDF723619"},
      {"Hello World and more", "14D0C8329BFD065DDF723619"},
  };
  for (const auto& [desc, address] : cases) EXPECT_EQ(mp::DescriptionAddress(desc), address) << desc;
}

}  // namespace
