// The simulated phone's SMS-SUBMIT decoder against hand-made PDUs.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "pdu/PduDecoder.h"

using mp::pdu::DecodeSubmit;
using mp::pdu::SplitPduLine;

namespace {

QJsonObject Json(const mp::pdu::SubmitPdu& pdu) {
  QJsonParseError err;
  auto doc = QJsonDocument::fromJson(QByteArray::fromStdString(mp::pdu::ToJson(pdu)), &err);
  EXPECT_EQ(err.error, QJsonParseError::NoError) << mp::pdu::ToJson(pdu);
  return doc.object();
}

struct Good {
  const char* name;
  const char* tpdu;
  const char* da;
  int daType;
  const char* coding;
  int messageClass;
  int udl;
  std::u32string text;
  bool srr, udhi;
};

void PrintTo(const Good& g, std::ostream* os) { *os << g.name; }

class DecodeGood : public ::testing::TestWithParam<Good> {};

TEST_P(DecodeGood, Fields) {
  const Good& g = GetParam();
  auto r = DecodeSubmit(g.tpdu);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.pdu.da, g.da);
  EXPECT_EQ(r.pdu.daType, g.daType);
  EXPECT_EQ(r.pdu.coding, g.coding);
  EXPECT_EQ(r.pdu.messageClass, g.messageClass);
  EXPECT_EQ(r.pdu.udl, g.udl);
  EXPECT_EQ(r.pdu.text, g.text);
  EXPECT_EQ(r.pdu.srr, g.srr);
  EXPECT_EQ(r.pdu.udhi, g.udhi);
  EXPECT_TRUE(r.pdu.warnings.empty()) << r.pdu.warnings.front();
  QJsonObject j = Json(r.pdu);
  EXPECT_EQ(j["da"].toString().toStdString(), g.da);
  EXPECT_EQ(j["text"].toString().toStdU32String(), g.text);
}

INSTANTIATE_TEST_SUITE_P(
    Pdus, DecodeGood,
    ::testing::Values(
        Good{"seven_bit", "31FF05912143F50000A905E8329BFD06", "+12345", 145, "7bit", -1, 5, U"hello", true, false},
        Good{"national_even", "11FF048121430000A905E8329BFD06", "1234", 129, "7bit", -1, 5, U"hello", false, false},
        // Header of 5 octets: the text starts at septet 6 after two fill bits.
        Good{"header_fill_bits", "51FF05912143F50000A9080401020001A0D3", "+12345", 145, "7bit", -1, 8, U"hi", false, true},
        Good{"extension_euro", "11FF05912143F50000A903B54D19", "+12345", 145, "7bit", -1, 3, U"5\u20AC", false, false},
        // 16-bit text keeps the blink toggle U+0001 and a hidden U+0000.
        Good{"ucs2_blink", "11FF05912143F50018A9080000000100480069", "+12345", 145, "ucs2", 0, 8,
             std::u32string(U"\0\u0001Hi", 4), false, false},
        Good{"ucs2_euro", "11FF05912143F50008A90420AC0061", "+12345", 145, "ucs2", -1, 4, U"\u20ACa", false, false},
        // A backslash and a quote must be escaped in the JSON text.
        Good{"ucs2_backslash_quote", "11FF05912143F50008A906005C00220061", "+12345", 145, "ucs2", -1, 6,
             U"\\\"a", false, false},
        Good{"alphanumeric_da", "11FF09D0D23039FD0600F0FF00", "Radio", 208, "7bit", 0, 0, U"", false, false},
        Good{"class0_template", "11FF008100F0FF00", "", 129, "7bit", 0, 0, U"", false, false},
        Good{"surrogate_pair", "11FF05912143F50008A904D83DDE00", "+12345", 145, "ucs2", -1, 4, U"\U0001F600", false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PduDecoder, OddDestinationPaddedWithZeroIsReadButFlagged) {
  auto r = DecodeSubmit("31FF05912143050000A905E8329BFD06");
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.pdu.da, "+12345");  // the fill nibble is no digit
  ASSERT_EQ(r.pdu.warnings.size(), 1u);
  EXPECT_NE(r.pdu.warnings[0].find("not F"), std::string::npos);
  EXPECT_TRUE(Json(r.pdu).contains("warnings"));
}

TEST(PduDecoder, IndicatorHeaderBecomesIndications) {
  // Voice mail on (store), fax off (discard); text "hi" after 9 header octets.
  auto r = DecodeSubmit("51FF05912143F50000A90D080102800101020100009D06");
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.pdu.udh.size(), 2u);
  EXPECT_EQ(r.pdu.udh[0].iei, 1);
  ASSERT_EQ(r.pdu.indications.size(), 2u);
  EXPECT_EQ(r.pdu.indications[0].kind, "voice");
  EXPECT_TRUE(r.pdu.indications[0].store);
  EXPECT_EQ(r.pdu.indications[0].count, 1);
  EXPECT_EQ(r.pdu.indications[1].kind, "fax");
  EXPECT_FALSE(r.pdu.indications[1].store);
  EXPECT_EQ(r.pdu.indications[1].count, 0);
  QJsonObject j = Json(r.pdu);
  EXPECT_EQ(j["udh"].toArray()[0].toObject()["data"].toString(), "8001");
}

std::string LogoTpdu(const std::string& bits) {
  return "51FF05912143F500F5FF8C0605041582158242F45000480E01" + bits;
}

TEST(PduDecoder, OperatorLogo) {
  std::string bits = std::string(18, 'F');  // first row dark
  for (int row = 1; row < 13; ++row) bits += "800000000000000001";
  bits += std::string(9, 'A') + std::string(9, 'A');  // last row alternating
  auto r = DecodeSubmit(LogoTpdu(bits));
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.pdu.coding, "8bit");
  EXPECT_EQ(r.pdu.messageClass, 1);
  EXPECT_EQ(r.pdu.DestinationPort(), 0x1582);
  ASSERT_TRUE(r.pdu.logo.has_value());
  const auto& logo = *r.pdu.logo;
  EXPECT_EQ(logo.mcc, "244");
  EXPECT_EQ(logo.mnc, "05");
  EXPECT_TRUE(logo.error.empty()) << logo.error;
  ASSERT_EQ(logo.rows.size(), 14u);
  EXPECT_EQ(logo.rows[0], std::string(72, '#'));
  EXPECT_EQ(logo.rows[5], "#" + std::string(70, '.') + "#");
  std::string alternating;
  for (int i = 0; i < 36; ++i) alternating += "#.";
  EXPECT_EQ(logo.rows[13], alternating);
  QJsonObject j = Json(r.pdu);
  EXPECT_EQ(j["logo"].toObject()["mcc"].toString(), "244");
  EXPECT_EQ(j["logo"].toObject()["rows"].toArray().size(), 14);
}

TEST(PduDecoder, LogoWithShortBitmapIsReportedInsideTheLogo) {
  // TP-UDL 15: header, network and bitmap header, one bitmap octet.
  auto r = DecodeSubmit("51FF05912143F500F5FF0F0605041582158242F45000480E01FF");
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_TRUE(r.pdu.logo.has_value());
  EXPECT_FALSE(r.pdu.logo->error.empty());
  EXPECT_EQ(r.pdu.logo->rows[0].substr(0, 9), "########.");
}

struct Bad {
  const char* name;
  const char* tpdu;
  const char* errorPart;
};

void PrintTo(const Bad& b, std::ostream* os) { *os << b.name; }

class DecodeBad : public ::testing::TestWithParam<Bad> {};

TEST_P(DecodeBad, Error) {
  auto r = DecodeSubmit(GetParam().tpdu);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find(GetParam().errorPart), std::string::npos) << r.error;
}

INSTANTIATE_TEST_SUITE_P(
    Pdus, DecodeBad,
    ::testing::Values(
        Bad{"udl_longer_than_data", "31FF05912143F50000A906E8329BFD06", "TP-UD holds 5 octets"},
        Bad{"data_longer_than_udl", "31FF05912143F50000A904E8329BFD06", "TP-UD holds 5 octets"},
        Bad{"odd_hex", "31FF05912143F50000A905E8329BFD0", "not hex"},
        Bad{"not_hex", "31FF05912143F50000A905E8329BFDXX", "not hex"},
        Bad{"deliver_not_submit", "00FF05912143F50000A905E8329BFD06", "not SMS-SUBMIT"},
        Bad{"da_too_long", "11FF15912143F50000A900", "exceeds 20"},
        Bad{"cut_in_da", "11FF0C91214365", "inside TP-DA"},
        Bad{"no_udl", "11FF05912143F50000A9", "before TP-UDL"},
        Bad{"header_overrun", "51FF05912143F50004A903020505", "overruns"},
        Bad{"header_longer_than_data", "51FF05912143F50004A90209FF", "header longer"},
        Bad{"ucs2_udl_over_140", "11FF05912143F50008A98D", "exceeds 140"},
        Bad{"empty", "", "too short"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PduLine, SplitsCentreAddress) {
  struct Case {
    const char* line;
    bool ok;
    const char* sca;
    const char* centre;
    const char* tpdu;
  } cases[] = {
      {"0031FF", true, "00", "", "31FF"},
      {"0791534850020200110005", true, "0791534850020200", "+358405202000", "110005"},
      {"04912143F511FF", true, "04912143F5", "+12345", "11FF"},
      // Without a centre address the first TPDU octet is read as its length.
      {"31FF05912143F50000A905E8329BFD06", false, "", "", ""},
      {"05912143", false, "", "", ""},
      {"", false, "", "", ""},
  };
  for (const auto& c : cases) {
    auto l = SplitPduLine(c.line);
    EXPECT_EQ(l.ok, c.ok) << c.line;
    if (!c.ok) {
      EXPECT_FALSE(l.error.empty()) << c.line;
      continue;
    }
    EXPECT_EQ(l.sca, c.sca);
    EXPECT_EQ(l.centre, c.centre);
    EXPECT_EQ(l.tpdu, c.tpdu);
  }
}

TEST(PduDecoder, JsonKeysInContractOrder) {
  auto r = DecodeSubmit("31FF05912143F50000A905E8329BFD06");
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(mp::pdu::ToJson(r.pdu),
            "{\"srr\":true,\"udhi\":false,\"mr\":255,\"da\":\"+12345\",\"da_type\":145,\"pid\":0,"
            "\"dcs\":0,\"class\":-1,\"coding\":\"7bit\",\"vp\":169,\"udl\":5,\"udh\":[],\"text\":\"hello\"}");
  auto u = DecodeSubmit("11FF05912143F50008A904000100000");
  EXPECT_FALSE(u.ok);  // odd hex
  auto blink = DecodeSubmit("11FF05912143F50008A90400010000");
  ASSERT_TRUE(blink.ok);
  EXPECT_NE(mp::pdu::ToJson(blink.pdu).find("\"text\":\"\\u0001\\u0000\""), std::string::npos)
      << mp::pdu::ToJson(blink.pdu);
}

}  // namespace
