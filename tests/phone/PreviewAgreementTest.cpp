// The receiving phone's reading of every kind of message agrees with what the
// simulated phone received and decoded, and with Gammu's reading of the same
// TPDU; the link's transfer reports carry the TPDU the phone got.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <cstdio>
#include <fstream>
#include <functional>

#include "Fakes.h"
#include "SimProcess.h"
#include "builders/Messages.h"
#include "pdu/Reading.h"
#include "phone/PhoneLink.h"

namespace mp::test {
namespace {

using pdu::Kind;

std::u32string U32(const QString& s) {
  const auto v = s.toUcs4();
  return std::u32string(v.begin(), v.end());
}
QString FromU32(const std::u32string& s) { return QString::fromUcs4(s.data(), static_cast<qsizetype>(s.size())); }

Indicators Ind(std::function<void(Indicators&)> set) {
  Indicators i;
  set(i);
  return i;
}

struct Case {
  const char* name;
  std::function<Body()> build;
  bool save;
  Kind kind;
  std::u32string shown;      // the text the receiving phone shows
  std::u32string blinking;   // the blinking runs joined
};

const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      {"euro in 7-bit", [] { return BuildTextBody(TypeNormal, "a\x80" "b", false); }, false,
       Kind::Text, U"aeb", U""},
      {"7-bit replacements", [] { return BuildTextBody(TypeNormal, "A[]{}^~\\|Z", false); }, false,
       Kind::Text, U"A()()??" U"/?Z", U""},
      {"class 0", [] { return BuildTextBody(TypeClass0, "Now!", false); }, false, Kind::Flash,
       U"Now!", U""},
      {"blinking", [] { return BuildTextBody(TypeNormal, "Hi \x01" "you\x01" " there", true); },
       false, Kind::Text, U"Hi you there", U"you"},
      {"blinking class 0 open at the end",
       [] { return BuildTextBody(TypeClass0, "Go \x01" "now", true); }, false, Kind::Flash,
       U"Go now", U"now"},
      {"hidden", [] { return BuildTextBody(TypeHidden, "secret \xE7", false); }, true,
       Kind::Hidden, U"secret ç", U""},
      {"indicators 16-bit",
       [] { return BuildIndicatorBody(Ind([](Indicators& i) { i.voiceOn = i.faxOff = true; }), false); },
       false, Kind::Indicators, U"Displays:\no_o \nRemoves:\nFAX \n", U""},
      {"indicators 7-bit kept",
       [] { return BuildIndicatorBody(Ind([](Indicators& i) { i.emailOff = i.forward = true; }), true); },
       true, Kind::Indicators, U"Removes:\ne \n\nMIRAPOST; www.mirapost.example", U""},
      {"void", [] { return BuildVoidBody(); }, false, Kind::Void, U"", U""},
      {"template", [] { return BuildTemplateBody(); }, true, Kind::Template, U"", U""},
      {"logo", [] { return BuildLogoBody("244-05", std::string(252, 'A')); }, false, Kind::Logo,
       U"", U""},
  };
  return cases;
}

// Gammu's reading of each TPDU (one JSON object each), through python-gammu.
std::vector<QJsonObject> GammuRead(const std::vector<std::string>& tpdus, const std::string& dir) {
  const std::string in = dir + "/tpdus.txt", out = dir + "/gammu.jsonl";
  {
    std::ofstream f(in);
    for (const auto& t : tpdus) f << t << "\n";
  }
  const std::string python = ::access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
  const std::string cmd = python + " " MP_TEST_DATA "/gammu/read_pdu.py < " + in + " > " + out;
  EXPECT_EQ(std::system(cmd.c_str()), 0) << "python3-gammu is needed: " << cmd;
  std::vector<QJsonObject> objects;
  std::ifstream f(out);
  for (std::string line; std::getline(f, line);)
    objects.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(line)).object());
  return objects;
}

class PreviewAgreement : public ::testing::Test {
 protected:
  void SetUp() override {
    journal = dir.path + "/journal.txt";
    ASSERT_TRUE(sim.Start(MP_PHONESIM, {"--journal", journal})) << sim.Error();
    ::setenv("MIRAPOST_COM4", sim.SlavePath().c_str(), 1);
    link.SetTimings(LinkTimings::Scaled(10));
  }
  void TearDown() override {
    sim.Stop();
    ::unsetenv("MIRAPOST_COM4");
  }
  std::vector<QJsonObject> Journal() const {
    std::vector<QJsonObject> out;
    for (const auto& l : phonesim::ReadJournal(journal))
      out.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(l)).object());
    return out;
  }

  TempDir dir;
  std::string journal;
  phonesim::SimProcess sim;
  RecordingHost host;
  PhoneLink link{host};
};

TEST_F(PreviewAgreement, EveryKindAsThePhoneAndGammuReadIt) {
  for (const Case& c : Cases()) {
    const Body body = c.build();
    const TransferSettings settings{"05912143F5", c.save, "00", true};
    link.TransferMessage(settings, body.header, body.hex, body.status);
  }
  const auto lines = Journal();
  ASSERT_EQ(lines.size(), Cases().size());
  ASSERT_EQ(host.reports.size(), 2 * Cases().size());

  std::vector<std::string> forGammu;
  std::vector<pdu::Reading> readings;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const Case& c = Cases()[i];
    SCOPED_TRACE(c.name);
    const QJsonObject& j = lines[i];
    const std::string tpdu = j.value("tpdu").toString().toStdString();
    // The report at the end carries what the phone received, and how it went.
    const TransferReport& report = host.reports[2 * i + 1];
    EXPECT_TRUE(report.finished && report.ok);
    EXPECT_EQ(report.tpdu, tpdu);
    EXPECT_EQ(report.port, "COM4:");
    EXPECT_EQ(report.command, c.save ? "CMGW" : "CMGS");

    const pdu::Reading r = pdu::ReadTpdu(tpdu);
    readings.push_back(r);
    EXPECT_EQ(r.kind, c.kind) << pdu::KindName(r.kind);
    // 16-bit indicator texts are filled up with blanks.
    std::u32string shown = r.Text();
    if (c.kind == Kind::Indicators) shown.erase(shown.find_last_not_of(U' ') + 1);
    EXPECT_EQ(FromU32(shown).toStdString(), FromU32(c.shown).toStdString());
    std::u32string blinking;
    for (const auto& s : r.segments)
      if (s.blink) blinking += s.text;
    EXPECT_EQ(FromU32(blinking).toStdString(), FromU32(c.blinking).toStdString());

    // The simulated phone's own view of the same octets.
    const QJsonObject d = j.value("decoded").toObject();
    EXPECT_EQ(d.value("class").toInt(), r.messageClass);
    std::u32string raw = U32(d.value("text").toString());
    if (c.kind == Kind::Hidden) {
      ASSERT_FALSE(raw.empty());
      EXPECT_EQ(raw[0], U'\0');
      raw.erase(0, 1);
    }
    if (r.coding == "ucs2" && c.kind != Kind::Hidden) std::erase(raw, U'\x01');
    if (c.kind != Kind::Void && c.kind != Kind::Logo) {
      EXPECT_EQ(FromU32(raw), FromU32(r.Text()));
    }
    const QJsonArray ind = d.value("indications").toArray();
    ASSERT_EQ(static_cast<std::size_t>(ind.size()), r.indicators.size());
    for (int k = 0; k < ind.size(); ++k) {
      const QJsonObject o = ind[k].toObject();
      EXPECT_EQ(o.value("kind").toString().toStdString(), r.indicators[k].kind);
      EXPECT_EQ(o.value("count").toInt(), r.indicators[k].count);
      EXPECT_EQ(o.value("store").toBool(), r.indicators[k].store);
      EXPECT_EQ(r.indicators[k].on, r.indicators[k].count > 0);
    }
    if (c.kind == Kind::Logo) {
      ASSERT_TRUE(r.logo.has_value());
      EXPECT_EQ(r.operatorCode, "244-05");
      const QJsonArray rows = d.value("logo").toObject().value("rows").toArray();
      ASSERT_EQ(static_cast<std::size_t>(rows.size()), r.logo->rows.size());
      for (int k = 0; k < rows.size(); ++k) EXPECT_EQ(rows[k].toString().toStdString(), r.logo->rows[k]);
      // Gammu takes a message for an operator logo only from originator port 0000.
      std::string swapped = tpdu;
      const auto at = swapped.find("0605041582");
      ASSERT_NE(at, std::string::npos);
      swapped.replace(at + 10, 4, "0000");
      forGammu.push_back(swapped);
    } else {
      forGammu.push_back(tpdu);
    }
  }

  const auto gammu = GammuRead(forGammu, dir.path);
  ASSERT_EQ(gammu.size(), Cases().size());
  for (std::size_t i = 0; i < gammu.size(); ++i) {
    const Case& c = Cases()[i];
    const pdu::Reading& r = readings[i];
    SCOPED_TRACE(c.name);
    const QJsonObject& g = gammu[i];
    ASSERT_TRUE(g.value("ok").toBool()) << g.value("error").toString().toStdString();
    EXPECT_EQ(g.value("class").toInt(), r.messageClass);
    EXPECT_EQ(g.value("number").toString().toStdString(), r.recipient);
    if (c.kind == Kind::Logo) {
      EXPECT_EQ(g.value("network").toString().toStdString(), "244 05");
      const QJsonArray rows = g.value("logo").toArray();
      ASSERT_EQ(static_cast<std::size_t>(rows.size()), r.logo->rows.size());
      for (int k = 0; k < rows.size(); ++k) EXPECT_EQ(rows[k].toString().toStdString(), r.logo->rows[k]);
      continue;
    }
    if (c.kind == Kind::Void || c.kind == Kind::Template || c.kind == Kind::Hidden) continue;
    // Gammu shows the blink toggle U+0001 as "~".
    std::u32string expected;
    bool blinking = false;
    for (const pdu::Segment& s : r.segments) {
      if (s.blink != blinking) expected += U'~';
      blinking = s.blink;
      expected += s.text;
    }
    EXPECT_EQ(g.value("text").toString(), FromU32(expected));
  }
}

TEST_F(PreviewAgreement, PhonebookEntryAsThePhoneStoresIt) {
  ASSERT_TRUE(link.WritePhonebookEntry(HexName("\x01Zo\x01" "e"), "+3584012345", 145));
  const auto lines = Journal();
  ASSERT_EQ(lines.size(), 1u);
  const QJsonObject& j = lines[0];
  const pdu::Reading r = pdu::ReadPhonebookEntry(j.value("name").toString().toStdString(),
                                                 j.value("number").toString().toStdString());
  EXPECT_EQ(r.kind, Kind::Phonebook);
  ASSERT_EQ(r.segments.size(), 2u);
  EXPECT_TRUE(r.segments[0].blink);
  std::u32string stored = U32(j.value("text").toString());
  std::erase(stored, U'\x01');
  EXPECT_EQ(FromU32(r.Text()), FromU32(stored));
  EXPECT_EQ(r.recipient, "+3584012345");
  ASSERT_EQ(host.reports.size(), 2u);
  EXPECT_EQ(host.reports[1].command, "CPBW");
  EXPECT_EQ(host.reports[1].statusText, "Entry successfully saved in ME memory location 1.");
}

}  // namespace
}  // namespace mp::test
