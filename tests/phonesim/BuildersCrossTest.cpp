// The application's encoders and message builders against the simulated
// phone's own decoder: each body is wrapped into an SMS-SUBMIT the way the
// transfer does it and must come out as the receiving phone would show it.
#include <gtest/gtest.h>

#include "pdu/PduDecoder.h"
#include "builders/Gsm.h"
#include "builders/Messages.h"

namespace {

std::string Tpdu(const mp::Body& body, const std::string& da, bool reports = true) {
  int first = 0x11 | (reports ? 0x20 : 0) | (body.header ? 0x40 : 0);
  char octet[3];
  std::snprintf(octet, sizeof octet, "%02X", first);
  return std::string(octet) + "FF" + da + body.hex;
}

std::string Destination(const std::string& number) {
  std::string da;
  EXPECT_NE(mp::EncodeNumber(da, number, mp::FormatDestination), 0) << number;
  return da;
}

mp::pdu::SubmitPdu Decode(const std::string& tpdu) {
  auto r = mp::pdu::DecodeSubmit(tpdu);
  EXPECT_TRUE(r.ok) << r.error << " in " << tpdu;
  EXPECT_TRUE(r.pdu.warnings.empty()) << r.pdu.warnings.front() << " in " << tpdu;
  return r.pdu;
}

std::vector<mp::BlinkChar> Chars(const std::string& text, const std::string& blinkMask = "") {
  std::vector<mp::BlinkChar> out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    out.push_back({static_cast<unsigned char>(text[i]), i < blinkMask.size() && blinkMask[i] == '*'});
  }
  return out;
}

TEST(BuildersAgainstDecoder, Destinations) {
  struct Case {
    const char* typed;
    const char* da;
    int type;
  } cases[] = {
      {"+12345", "+12345", 145},
      {"040 123-45", "04012345", 129},
      {"+358 40 1234567", "+358401234567", 145},
      {"12345678901234567890", "12345678901234567890", 129},
  };
  for (const auto& c : cases) {
    mp::Body body = mp::BuildTextBody(mp::TypeNormal, "hi", false);
    auto pdu = Decode(Tpdu(body, Destination(c.typed)));
    EXPECT_EQ(pdu.da, c.da) << c.typed;
    EXPECT_EQ(pdu.daType, c.type) << c.typed;
  }
}

TEST(BuildersAgainstDecoder, TextMessages) {
  struct Case {
    const char* name;
    int type;
    std::string text;
    std::string blink;
    const char* coding;
    int messageClass;
    std::u32string shown;
  } cases[] = {
      {"normal", mp::TypeNormal, "hello", "", "7bit", -1, U"hello"},
      {"class0", mp::TypeClass0, "hello", "", "7bit", 0, U"hello"},
      {"ansi_to_gsm", mp::TypeNormal, "\xE4\x80@$_[", "", "7bit", -1, U"\u00E4e@$_("},
      {"blinking", mp::TypeNormal, "Ann", "*", "ucs2", 3, U"\u0001A\u0001nn"},
      {"blinking_class0", mp::TypeClass0, "Ann", " **", "ucs2", 0, U"A\u0001nn"},
      {"hidden", mp::TypeHidden, "hi", "", "ucs2", 3, std::u32string(U"\0hi", 3)},
      {"full_160", mp::TypeNormal, std::string(160, 'x'), "", "7bit", -1, std::u32string(160, U'x')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string blinkText;
    bool toggles = false;
    mp::BlinkText(Chars(c.text, c.blink), &blinkText, toggles);
    mp::Body body = mp::BuildTextBody(c.type, blinkText, toggles);
    EXPECT_FALSE(body.header);
    auto pdu = Decode(Tpdu(body, Destination("+12345")));
    EXPECT_EQ(pdu.coding, c.coding);
    EXPECT_EQ(pdu.messageClass, c.messageClass);
    EXPECT_EQ(pdu.text, c.shown);
    EXPECT_EQ(pdu.vpRelative.value_or(-1), 169);
    EXPECT_TRUE(pdu.srr);
  }
}

TEST(BuildersAgainstDecoder, IndicatorMessages) {
  for (bool sevenBit : {false, true}) {
    for (int mask = 1; mask < 64; mask += 7) {
      mp::Indicators ind;
      ind.voiceOn = mask & 1;
      ind.voiceOff = !ind.voiceOn && (mask & 2);
      ind.faxOn = mask & 4;
      ind.faxOff = !ind.faxOn && (mask & 8);
      ind.emailOn = mask & 16;
      ind.emailOff = !ind.emailOn && (mask & 32);
      ind.forward = mask & 2;
      if (!ind.any()) continue;
      SCOPED_TRACE("mask " + std::to_string(mask) + (sevenBit ? " 7-bit" : " 16-bit"));
      mp::Body body = mp::BuildIndicatorBody(ind, sevenBit);
      ASSERT_TRUE(body.header);
      auto pdu = Decode(Tpdu(body, Destination("+12345"), false));
      EXPECT_EQ(pdu.coding, sevenBit ? "7bit" : "ucs2");
      std::vector<std::pair<std::string, int>> expected;
      if (ind.voiceOn || ind.voiceOff) expected.push_back({"voice", ind.voiceOn ? 1 : 0});
      if (ind.faxOn || ind.faxOff) expected.push_back({"fax", ind.faxOn ? 1 : 0});
      if (ind.emailOn || ind.emailOff) expected.push_back({"email", ind.emailOn ? 1 : 0});
      ASSERT_EQ(pdu.indications.size(), expected.size());
      for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(pdu.indications[i].kind, expected[i].first);
        EXPECT_EQ(pdu.indications[i].count, expected[i].second);
        EXPECT_EQ(pdu.indications[i].store, ind.forward);
      }
      // The info text reads the same in both codings where it is plain ASCII;
      // 16-bit text is padded with blanks.
      std::string info = mp::IndicatorInfoText(ind);
      std::string shown = pdu.TextUtf8();
      bool plain = true;
      for (char ch : info) {
        plain = plain && static_cast<unsigned char>(ch) < 0x80 && std::string("[]{}\\^|~`").find(ch) == std::string::npos;
      }
      if (plain) {
        EXPECT_EQ(shown.substr(0, info.size()), info);
        EXPECT_EQ(shown.find_first_not_of(' ', info.size()), std::string::npos) << shown;
      }
    }
  }
}

TEST(BuildersAgainstDecoder, VoidAndTemplate) {
  auto v = Decode(Tpdu(mp::BuildVoidBody(), Destination("+12345")));
  EXPECT_EQ(v.coding, "ucs2");
  EXPECT_EQ(v.indications.size(), 2u);
  EXPECT_EQ(v.TextUtf8().substr(0, 4), "This");
  EXPECT_EQ(v.TextUtf8().substr(v.TextUtf8().size() - 4), "    ");

  mp::Body t = mp::BuildTemplateBody();
  auto p = Decode(Tpdu(t, mp::kTemplateDestination, false));
  EXPECT_EQ(p.messageClass, 0);
  EXPECT_EQ(p.udl, 0);
  EXPECT_EQ(p.da, "");
  EXPECT_EQ(p.vpRelative.value_or(-1), 255);
}

TEST(BuildersAgainstDecoder, OperatorLogo) {
  // Row y has its dark pixels at columns x where (x + y) % 5 == 0.
  std::string bits;
  std::vector<std::string> rows;
  for (int y = 0; y < 14; ++y) {
    std::string row;
    for (int x0 = 0; x0 < 72; x0 += 8) {
      int octet = 0;
      for (int x = x0; x < x0 + 8; ++x) {
        bool dark = (x + y) % 5 == 0;
        octet = octet << 1 | (dark ? 1 : 0);
        row += dark ? '#' : '.';
      }
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02X", octet);
      bits += hex;
    }
    rows.push_back(row);
  }
  struct Case {
    const char* code;
    const char* mcc;
    const char* mnc;
  } cases[] = {{"244-05", "244", "05"}, {"000-00", "000", "00"}, {"310-26", "310", "26"}};
  for (const auto& c : cases) {
    mp::Body body = mp::BuildLogoBody(c.code, bits);
    ASSERT_TRUE(body.header);
    auto pdu = Decode(Tpdu(body, Destination("+12345")));
    EXPECT_EQ(pdu.firstOctet, 0x71);
    EXPECT_EQ(pdu.messageClass, 1);
    ASSERT_TRUE(pdu.logo.has_value()) << c.code;
    EXPECT_EQ(pdu.logo->mcc, c.mcc);
    EXPECT_EQ(pdu.logo->mnc, c.mnc);
    EXPECT_TRUE(pdu.logo->error.empty()) << pdu.logo->error;
    EXPECT_EQ(pdu.logo->rows, rows);
  }
}

TEST(BuildersAgainstDecoder, LogoDescriptionAddress) {
  for (std::string description : {"", "R", "Radio", "Radiolinja", "ABCDEFGHIJK", "Sonera 2000"}) {
    mp::Body body = mp::BuildLogoBody("244-91", std::string(252, '0'));
    auto pdu = Decode(Tpdu(body, mp::DescriptionAddress(description), false));
    EXPECT_EQ(pdu.daType, 0xD0) << description;
    EXPECT_EQ(pdu.da, description);
  }
}

}  // namespace
