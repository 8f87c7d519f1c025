// Long and Unicode text: public vectors byte for byte, the cuts between parts,
// the special kinds across parts, and random texts read back by the PDU
// decoder (which shares no code with the encoder).
#include <gtest/gtest.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QList>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "BodyChecks.h"
#include "builders/LongText.h"
#include "builders/Messages.h"
#include "builders/Submit.h"
#include "pdu/PduDecoder.h"

namespace {

using mp::LongText;
using mp::TextChar;
using mp::TextCoding;

std::u32string U32(const char* utf8) {
  const QList<uint> cps = QString::fromUtf8(utf8).toUcs4();
  return std::u32string(cps.begin(), cps.end());
}

std::vector<TextChar> Chars(const std::u32string& text, const std::string& blinkMask = {}) {
  std::vector<TextChar> chars;
  for (std::size_t i = 0; i < text.size(); ++i) chars.push_back({text[i], i < blinkMask.size() && blinkMask[i] == '*'});
  return chars;
}

LongText Auto(const std::u32string& text, int reference = 0, int type = mp::TypeNormal) {
  return mp::BuildLongText(type, Chars(text), TextCoding::Auto, mp::kMaxParts, reference);
}

// TP-UDL and the user data of a body (TP-PID, TP-DCS and TP-VP left out).
std::string UserData(const mp::Body& body) { return body.hex.substr(6); }

// What the receiving phone reads of every part, joined, and checks that hold
// for each part: whole octets, at most 140 of user data, and the part's
// concatenation element.
std::u32string ReadBack(const LongText& t, int reference) {
  std::u32string text;
  for (std::size_t i = 0; i < t.parts.size(); ++i) {
    const mp::Body& b = t.parts[i].body;
    EXPECT_TRUE(bodycheck::WellFormed(b.hex));
    EXPECT_LE(b.hex.size() / 2 - 4, 140u);
    mp::TransferSettings s;
    s.DestAddress = "05912143F5";
    const auto r = mp::pdu::DecodeSubmit(mp::SubmitTpdu(s, b.header, b.hex));
    EXPECT_TRUE(r.ok) << r.error;
    if (t.parts.size() > 1) {
      EXPECT_EQ(r.pdu.udh.size(), 1u);
      if (r.pdu.udh.size() == 1) {
        EXPECT_EQ(r.pdu.udh[0].iei, 0);
        EXPECT_EQ(r.pdu.udh[0].data, (std::vector<std::uint8_t>{static_cast<std::uint8_t>(reference),
                                                                static_cast<std::uint8_t>(t.parts.size()),
                                                                static_cast<std::uint8_t>(i + 1)}));
      }
    }
    text += r.pdu.text;
  }
  return text;
}

TEST(LongText, PublicVectorsByteForByte) {
  struct Case {
    const char* source;
    const char* text;
    int reference;
    std::vector<std::string> parts;  // TP-UDL and user data of each part
  };
  const Case cases[] = {
      {"ModemManager create_pdu_gsm",
       "Hi there...Tue 17th Jan 2012 05:30.18 pm (GMT+1) ΔΔΔΔΔ",
       0,
       {"36C834888E2ECBCB2E978B5A2F8362373A1AA40CBB4132584C0682D57433982B8603C1DB20D4B1495DC55220080402"
        "8100"}},
      {"ModemManager create_pdu_gsm_3",
       "This is really cool ΔΔΔΔΔ",
       0,
       {"1954747A0E4ACF41F27298CDCE83C6EF371B0481402010"}},
      {"ModemManager create_pdu_ucs2",
       "Да здравствует король, детка!",
       0,
       {"3A04140430002004370434044004300432044104420432044304350442002004"
        "3A043E0440043E043B044C002C0020043404350442043A04300021"}},
      {"libosmocore simple", "test text", 0, {"09F4F29C0EA297F174"}},
      {"libosmocore escape",
       "!$ a more#^- complicated test@@?_%! case",
       0,
       {"292101280C6ABFE5E5D186D2028DDF6D383B3D0ED3CB6410BD3CA70300BF4829041A87E765"}},
      {"libosmocore enhanced",
       "enhanced ^ {][} test |+~ ^ test",
       0,
       {"2765373AEC1E97C9A00D05B4416D7C1BDE2605A297E774D006B8DAF4401B0A885E9ED301"}},
      {"libosmocore enhanced v2",
       "enhanced ^ {][} test |+~ ^ tests",
       0,
       {"2865373AEC1E97C9A00D05B4416D7C1BDE2605A297E774D006B8DAF4401B0A885E9ED3E7"}},
      {"libosmocore concatenated",
       "this is a testmessage. this is a testmessage. this is a testmessage. this is a testmessage. "
       "this is a testmessage. this is a testmessage. cut here .....: this is a second testmessage. end here.",
       0x6F,
       {"A0"
        "0500036F0201E8E8F41C949E83C2207A794E6F97E7F3F0B9EC02D1D1E939283D078541F4F29CDE2ECFE7E173D905"
        "A2A3D373507A0E0A83E8E539BD5D9ECFC3E7B20B4447A7E7A0F41C1406D1CB737ABB3C9F87CF6517888E4ECF41E93928"
        "0CA297E7F476793E0F9FCB2E101D9D9E83D2735018442FCFE9EDF27C1E3E975DA0719D0E4297E56590CBE572B974",
        "2F"
        "0500036F02024074747A0E4ACF4161D0BC3C7EBBC9207A794E6F97E7F3F0B9EC0295DD6410BA2C2FBB00"}},
      {"python-messaging Hölä", "Hölä", 0, {"04483E7B0F"}},
      {"python-messaging BÄRÇA", "BÄRÇA äñ@", 0, {"09C2AD341104EDFB00"}},
      {"python-messaging あ叶葉", "あ叶葉", 0, {"06304253F68449"}},
      {"python-messaging Русский", "Русский", 0, {"0E0420044304410441043A04380439"}},
      {"python-messaging multipart 7-bit",
       "Or walk with Kings - nor lose the common touch, if neither foes nor loving friends can hurt you, If "
       "all men count with you, but none too much; If you can fill the unforgiving minute With sixty seconds' "
       "worth of distance run, Yours is the Earth and everything thats in it, And - which is more - you will "
       "be a Man, my son",
       136,
       {"A00500038803019E72D03DCC5E83EE693A1AB44CBBCF73500BE47ECB41ECF7BC0CA2A3CBA0F1BBDD7EBB41F4777D8C6681D2"
        "6690BB9CA6A3CB7290F95D9E83DC6F3988FDB6A7DD6790599E2EBBC973D038EC06A1EB723A28FFAEB340493328CC6683DA65"
        "3768FCAEBBE9A07B9A8E06E5DF7516485CA783DC6F7719447FBF41EDFA18BD0325CDA0FCBB0E1A87DD",
        "A005000388030240E6349B0DA2A3CBA0BADBFC969FD3F6B4FB0C6AA7DD757A19744DD3D1A0791A4FCF83E6E5F1DB4D9E9F40"
        "F7B79C8E06BDCD20727A4E0FBBC76590BCEE6681B2EFBA7C0E4ACF41747419540CCBE96850D84D0695ED65799E8E4EBBCF20"
        "3A3A4C9F83D26E509ACE0205DD64500B7447A7C768507A0E6ABFE565500B947FD741F7349B0D129741",
        "14050003880303C2A066D8CD02B5F3A0F9DB0D"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    const LongText t = Auto(U32(c.text), c.reference);
    ASSERT_EQ(t.parts.size(), c.parts.size());
    for (std::size_t i = 0; i < c.parts.size(); ++i) {
      std::string expected = c.parts[i];
      std::erase(expected, ' ');
      EXPECT_EQ(UserData(t.parts[i].body), expected) << "part " << i + 1;
      EXPECT_EQ(t.parts[i].body.header, c.parts.size() > 1);
    }
  }
}

// How many parts a text takes (python-messaging's counts, and the cuts the
// issue measured at the split).
TEST(LongText, PartCountsAndWhereTheyEnd) {
  const std::u32string x = U"x", euro = U"€", o = U"ő";
  auto times = [](const std::u32string& s, int n) {
    std::u32string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
  };
  struct Case {
    std::u32string text;
    int parts;
    bool sevenBit;
    std::vector<std::size_t> ends;  // when given
  };
  const std::u32string flag = U"\U0001F1EB\U0001F1EE";                          // two regional indicators
  const std::u32string family = U"\U0001F468\u200D\U0001F469\u200D\U0001F467";  // a ZWJ sequence
  const Case cases[] = {
      {times(x, 160), 1, true, {160}},
      {times(x, 161), 2, true, {153, 161}},
      {times(x, 306), 2, true, {}},
      {times(x, 307), 3, true, {}},
      {times(euro, 80), 1, true, {}},
      {times(euro, 79) + x, 1, true, {}},
      {times(euro, 153), 3, true, {76, 152, 153}},
      {times(euro, 229) + x, 4, true, {}},
      {times(o, 70), 1, false, {}},
      {times(o, 70) + x, 2, false, {67, 71}},
      {times(o, 134), 2, false, {}},
      {times(o, 135), 3, false, {}},
      // The escape pair at the boundary goes whole into the next part.
      {times(U"a", 152) + euro + times(U"b", 20), 2, true, {152, 173}},
      // A surrogate pair at the boundary likewise.
      {times(U"x", 66) + U"\U0001F600" + times(U"y", 10), 2, false, {66, 77}},
      // A letter and its combining mark stay together.
      {times(o, 66) + U"e\u0301" + times(o, 5), 2, false, {66, 73}},
      // A flag is not cut in half; nor is a joined emoji sequence.
      {times(o, 66) + flag + times(o, 5), 2, false, {66, 73}},
      {times(o, 64) + family + times(o, 5), 2, false, {64, 74}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(QString::fromUcs4(c.text.data(), static_cast<qsizetype>(c.text.size())).left(40).toStdString());
    const LongText t = Auto(c.text);
    EXPECT_EQ(t.needed, c.parts);
    EXPECT_EQ(t.sevenBit, c.sevenBit);
    if (!c.ends.empty()) {
      std::vector<std::size_t> ends;
      for (const auto& p : t.parts) ends.push_back(p.end);
      EXPECT_EQ(ends, c.ends);
    }
    EXPECT_EQ(ReadBack(t, 0), c.text);
  }
}

// A cluster longer than a part is cut between code points rather than refused.
TEST(LongText, ClusterLongerThanAPartIsCutAtACodePoint) {
  std::u32string text = U"e";
  for (int i = 0; i < 100; ++i) text += U'\u0301';
  const LongText t = Auto(text);
  EXPECT_EQ(t.needed, 2);
  EXPECT_EQ(ReadBack(t, 0), text);
}

// With the option off today's body stays; with Mapped coding a text that
// fits one message gives that very body, for every kind.
TEST(LongText, OneMessageKeepsTodaysBody) {
  struct Case {
    int type;
    std::u32string text;
    std::string mask;
    std::string blinkText;  // what BlinkText makes of it (code page 1252)
    bool toggles;
  };
  const Case cases[] = {
      {mp::TypeNormal, U"hello [€]", "", "hello [\x80]", false},
      {mp::TypeClass0, std::u32string(160, U'z'), "", std::string(160, 'z'), false},
      {mp::TypeNormal, U"Hi you there", "   ***", "Hi \x01you\x01 there", true},
      {mp::TypeClass0, U"Go now", "   ***", "Go \x01now", true},
      {mp::TypeHidden, U"secret ç Ж", "", "secret \xE7 ?", false},
  };
  for (const Case& c : cases) {
    const LongText t = mp::BuildLongText(c.type, Chars(c.text, c.mask), TextCoding::Mapped, 1, 0);
    ASSERT_EQ(t.parts.size(), 1u);
    const mp::Body today = mp::BuildTextBody(c.type, c.blinkText, c.toggles);
    EXPECT_EQ(t.parts[0].body.hex, today.hex);
    EXPECT_EQ(t.parts[0].body.header, today.header);
    EXPECT_EQ(t.parts[0].body.status, today.status);
  }
}

// Every part carries class, validity and the kind's own marks: the leading
// 0000 of a hidden message, and blinking closed before a cut and reopened
// after it.
TEST(LongText, SpecialKindsAcrossParts) {
  const std::u32string text(100, U'a');
  {
    const LongText t = mp::BuildLongText(mp::TypeHidden, Chars(text), TextCoding::Auto, 10, 7);
    ASSERT_EQ(t.parts.size(), 2u);
    EXPECT_EQ(t.parts[0].end, 66u);
    for (const auto& p : t.parts) {
      EXPECT_EQ(p.body.hex.substr(0, 6), "001BA9");
      EXPECT_EQ(p.body.hex.substr(20, 4), "0000");  // after UDL and the 6-octet header
    }
  }
  {
    const std::string mask = std::string(60, ' ') + std::string(40, '*');
    const LongText t = mp::BuildLongText(mp::TypeClass0, Chars(text, mask), TextCoding::Auto, 10, 7);
    ASSERT_EQ(t.parts.size(), 2u);
    // 60 steady, a toggle, 5 blinking and the closing toggle fill 67 units.
    EXPECT_EQ(t.parts[0].end, 65u);
    const std::string& first = t.parts[0].body.hex;
    const std::string& second = t.parts[1].body.hex;
    EXPECT_EQ(first.substr(0, 6), "0018A9");
    EXPECT_EQ(first.substr(first.size() - 8), "00610001");
    EXPECT_EQ(second.substr(0, 6), "0018A9");
    EXPECT_EQ(second.substr(20, 8), "00010061");
  }
  {
    const LongText t = mp::BuildLongText(mp::TypeClass0, Chars(std::u32string(200, U'Ж')), TextCoding::Auto, 10, 1);
    ASSERT_EQ(t.parts.size(), 3u);
    for (const auto& p : t.parts) EXPECT_EQ(p.body.hex.substr(0, 6), "0018A9");
  }
}

TEST(LongText, PartLimitAndCodings) {
  const std::u32string text(400, U'a');
  EXPECT_EQ(mp::BuildLongText(mp::TypeNormal, Chars(text), TextCoding::Auto, 2, 0).parts.size(), 0u);
  EXPECT_EQ(mp::BuildLongText(mp::TypeNormal, Chars(text), TextCoding::Auto, 3, 0).parts.size(), 3u);
  EXPECT_EQ(mp::BuildLongText(mp::TypeNormal, Chars(text), TextCoding::Auto, 2, 0).needed, 3);
  const LongText ucs2 = mp::BuildLongText(mp::TypeNormal, Chars(U"abc"), TextCoding::Ucs2, 1, 0);
  EXPECT_FALSE(ucs2.sevenBit);
  EXPECT_EQ(ucs2.parts.at(0).body.hex, "0008A906006100620063");
  // The mapped coding keeps today's look-alikes, long or not.
  const LongText mapped = mp::BuildLongText(mp::TypeNormal, Chars(std::u32string(170, U'€')), TextCoding::Mapped, 5, 0);
  EXPECT_EQ(mapped.needed, 2);
  EXPECT_EQ(ReadBack(mapped, 0), std::u32string(170, U'e'));
  // 256 parts cannot be numbered.
  EXPECT_TRUE(mp::BuildLongText(mp::TypeNormal, Chars(std::u32string(153 * 256, U'a')), TextCoding::Auto, 255, 0)
                  .parts.empty());
}

// Random texts of every sort: each part within 140 octets, none ending in an
// escape or a high surrogate, and the parts read back as the text.
TEST(LongText, RandomTextsReassembleExactly) {
  const std::vector<std::u32string> pools = {
      U"abcXYZ019 .,@£$¥èéΔΦ_\n",                                   // default alphabet
      U"€[]{}\\~^|\f",                                              // extension table
      U"ЖжяΩ中文ő",                                                 // BMP beyond GSM
      U"\U0001F600\U0001F680\U00010348",                            // beyond the BMP
      U"\u0301\u0308\u20DD",                                        // combining marks
      U"\U0001F1EB\U0001F1EE\U0001F1E9\U0001F1EA\u200D\U0001F469",  // flags and joiners
  };
  std::mt19937 rng(33);
  int checked = 0;
  for (int round = 0; round < 400; ++round) {
    std::u32string text;
    const int length = 1 + static_cast<int>(rng() % 700);
    const unsigned mix = 1 + rng() % 63;  // which pools this text draws from
    for (int i = 0; i < length; ++i) {
      unsigned p = rng() % pools.size();
      while (!(mix & (1u << p))) p = (p + 1) % pools.size();
      text += pools[p][rng() % pools[p].size()];
    }
    const int reference = static_cast<int>(rng() % 256);
    const LongText t = Auto(text, reference);
    if (!t.Fits()) continue;
    ASSERT_EQ(ReadBack(t, reference), text) << "round " << round;
    for (const auto& part : t.parts) {
      mp::TransferSettings settings;
      settings.DestAddress = "05912143F5";
      const auto r = mp::pdu::DecodeSubmit(mp::SubmitTpdu(settings, part.body.header, part.body.hex));
      ASSERT_TRUE(r.ok);
      if (r.pdu.coding == "7bit") {
        std::vector<std::uint8_t> octets;
        ASSERT_TRUE(mp::pdu::HexToOctets(part.body.hex.substr(8), octets));
        const int start = part.body.header ? 7 : 0;
        const auto septets = mp::pdu::UnpackSeptets(octets, start, r.pdu.udl - start);
        ASSERT_FALSE(septets.empty());
        EXPECT_NE(septets.back(), 0x1B);
      } else {
        const auto& d = r.pdu.userData;
        ASSERT_GE(d.size(), 2u);
        const unsigned last = d[d.size() - 2] << 8 | d[d.size() - 1];
        EXPECT_FALSE(last >= 0xD800 && last <= 0xDBFF);
      }
    }
    ++checked;
  }
  EXPECT_GT(checked, 300);
}

}  // namespace

namespace {

// Gammu's parts for each text (python3-gammu), as TP-DCS and TP-UDL with the
// user data, the reference masked; empty when Gammu is not there.
std::vector<std::vector<std::pair<std::string, std::string>>> GammuParts(const std::vector<std::u32string>& texts) {
  std::vector<std::vector<std::pair<std::string, std::string>>> all;
  if (std::system("/usr/bin/python3 -c 'import gammu' 2>/dev/null") != 0) return all;
  char dir[] = "/tmp/mp-longtext-XXXXXX";
  if (!::mkdtemp(dir)) return all;
  const std::string in = std::string(dir) + "/texts.jsonl", out = std::string(dir) + "/gammu.jsonl";
  {
    std::ofstream f(in);
    for (const auto& t : texts) {
      const QString s = QString::fromUcs4(t.data(), static_cast<qsizetype>(t.size()));
      f << QJsonDocument(QJsonArray{s}).toJson(QJsonDocument::Compact).toStdString() << "\n";
    }
  }
  const std::string cmd = "/usr/bin/python3 " MP_TEST_DATA "/gammu/encode_long.py < " + in + " > " + out;
  EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
  std::ifstream f(out);
  for (std::string line; std::getline(f, line);) {
    std::vector<std::pair<std::string, std::string>> parts;
    for (const QJsonValue& p : QJsonDocument::fromJson(QByteArray::fromStdString(line)).array())
      parts.emplace_back(p.toArray()[0].toString().toStdString(), p.toArray()[1].toString().toStdString());
    all.push_back(std::move(parts));
  }
  std::remove(in.c_str());
  std::remove(out.c_str());
  ::rmdir(dir);
  return all;
}

// Gammu as a live oracle: the same parts, octet for octet, the concatenation
// reference aside, for texts without clusters that Gammu would cut (it keeps
// escape and surrogate pairs whole, not combining marks, flags or joined
// emoji sequences). Gammu writes "~" as 0001 in UCS-2, so the random texts
// leave it out; a 7-bit text has it.
TEST(LongText, AgreesWithGammu) {
  std::vector<std::u32string> texts = {
      U"hello",
      std::u32string(152, U'a') + U"€" + std::u32string(20, U'b'),
      std::u32string(66, U'x') + U"\U0001F600" + std::u32string(10, U'y'),
      std::u32string(400, U'Ж'),
      std::u32string(150, U'€') + U"[ ]" + std::u32string(100, U'{'),
      std::u32string(300, U'~') + U"|\f^",
  };
  const std::vector<std::u32string> pools = {U"abcXYZ019 .,@£$¥èéΔΦ_\n", U"€[]{}\\^|", U"ЖжяΩ中文ő",
                                             U"\U0001F600\U0001F680\U00010348"};
  std::mt19937 rng(1033);
  for (int round = 0; round < 60; ++round) {
    std::u32string text;
    const unsigned mix = 1 + rng() % 15;
    const int length = 1 + static_cast<int>(rng() % 600);
    for (int i = 0; i < length; ++i) {
      unsigned p = rng() % pools.size();
      while (!(mix & (1u << p))) p = (p + 1) % pools.size();
      text += pools[p][rng() % pools[p].size()];
    }
    texts.push_back(text);
  }
  const auto gammu = GammuParts(texts);
  if (gammu.empty()) GTEST_SKIP() << "python3-gammu is not installed (scripts/setup.sh installs it)";
  ASSERT_EQ(gammu.size(), texts.size());
  for (std::size_t k = 0; k < texts.size(); ++k) {
    SCOPED_TRACE("text " + std::to_string(k));
    const LongText t = Auto(texts[k], 0x5A);
    ASSERT_EQ(t.parts.size(), gammu[k].size());
    for (std::size_t i = 0; i < t.parts.size(); ++i) {
      std::string ours = UserData(t.parts[i].body);
      if (t.parts[i].body.header) ours.replace(8, 2, "XX");
      EXPECT_EQ(t.parts[i].body.hex.substr(2, 2), gammu[k][i].first);
      EXPECT_EQ(ours, gammu[k][i].second) << "part " << i + 1;
    }
  }
}

}  // namespace

namespace {

// The window's count with the option on: what the last part holds, and the
// messages when more than one.
TEST(LongText, CountOfTheTextPage) {
  struct Case {
    std::u32string text;
    std::string count;
  };
  const Case cases[] = {
      {U"", "160"},
      {U"hello", "155"},
      {std::u32string(160, U'x'), "0"},
      {std::u32string(161, U'x'), "145 (2 messages)"},
      {U"Ж", "69"},
      {std::u32string(71, U'Ж'), "63 (2 messages)"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(mp::LongCount(mp::BuildLongText(mp::TypeNormal, Chars(c.text), TextCoding::Auto, 10, 0)), c.count);
}

}  // namespace

namespace {

std::string Septets(const char* utf8) {
  std::string out;
  for (char32_t cp : U32(utf8)) out += mp::GsmSeptets(cp);
  return out;
}

std::string Bytes(std::initializer_list<int> octets) {
  std::string out;
  for (int o : octets) out.push_back(static_cast<char>(o));
  return out;
}

// ModemManager's test-charsets.c: the alphabet and its extension table,
// septet packing (with fill bits before the first septet) and UCS-2.
TEST(LongText, CharsetVectors) {
  std::string all;
  for (int i = 0; i < 128; ++i)
    if (i != 0x1B) all.push_back(static_cast<char>(i));
  EXPECT_EQ(Septets("@£$¥èéùìòÇ\nØø\rÅåΔ_ΦΓΛΩΠΨΣΘΞÆæßÉ !\"#¤%&'()*+,-./0123456789:;<=>?¡ABCDEFGHIJKLMNOPQRSTUVWXYZÄÖÑÜ§"
                    "¿abcdefghijklmnopqrstuvwxyzäöñüà"),
            all);
  const std::string ext = Bytes({0x1B, 0x0A, 0x1B, 0x14, 0x1B, 0x28, 0x1B, 0x29, 0x1B, 0x2F,
                                 0x1B, 0x3C, 0x1B, 0x3D, 0x1B, 0x3E, 0x1B, 0x40, 0x1B, 0x65});
  EXPECT_EQ(Septets("\f^{}\\[~]|€"), ext);
  EXPECT_EQ(Septets("@£$¥èéùìø\fΩΠΨΣΘ{ΞÆæß(})789\\:;<=>[?¡QRS]TUÖ|ÑÜ§¿abpqrstuvöñüà€").size(), 69u);
  EXPECT_EQ(Septets("ç"), "");  // not in the alphabet: the text goes as UCS-2

  struct Pack {
    std::string septets;
    int start;
    const char* hex;
  };
  std::string every;
  for (int i = 0; i < 128; ++i) every.push_back(static_cast<char>(i));
  const Pack packs[] = {
      {"How are you?", 0, "C8F71D14969741F977FD07"},
      {"qwertyu", 0, "F17B594ECFD701"},
      {every + ext, 0,
       "808060402818 0E888462C168381E908864 42A9582E988C66C3E9783EA090684 42A994EA8946AC56AB95EB0986C46ABD9"
       "6EB89C6EC7EBF97EC0A070482C1A8FC8A472C96C3A9FD0A8744AAD5AAFD8AC76CBED7ABFE0B0784C2E9BCFE8B47ACD6E"
       "BBDFF0B87C4EAFDBEFF8BC7ECFEFFBFF1BC586B2416D529BD786B7E96D7C1BE0A60C"},
      {Bytes({0x68, 0x65, 0x6C, 0x6C, 0x6F, 0x10, 0x2F}), 3, "005D66B3DF9017"},  // 5 fill bits first
  };
  for (const Pack& p : packs) {
    std::string hex = p.hex;
    std::erase(hex, ' ');
    EXPECT_EQ(mp::PackSeptets(p.septets, p.start), hex) << p.hex;
  }
  EXPECT_EQ(mp::PackSeptets(every.substr(0, 24), 0).size(), 42u);  // 24 septets fill 21 octets exactly

  const LongText ucs2 = mp::BuildLongText(mp::TypeNormal, Chars(U"T-Mobile"), TextCoding::Ucs2, 1, 0);
  EXPECT_EQ(UserData(ucs2.parts.at(0).body),
            "10"
            "0054002D004D006F00620069006C0065");
}

}  // namespace
