// mirapost-send --long and --coding auto: every part listed by the dry run,
// every part sent on one connection and read back whole by the simulated
// phone, and the exit status of a text that went out only in part.
#include <QJsonArray>

#include "CliRun.h"

namespace {

class LongTextCli : public CliFixture {};

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

TEST_F(LongTextCli, DryRunListsEveryPartAndSingleMessagesKeepTheirForm) {
  const std::string text = Repeat("a", 152) + "€" + Repeat("b", 20);
  CliResult r = RunCli(
      {"--dry-run", "--json", "--long", "--coding", "auto", "--to", "+12345", "text", QString::fromStdString(text)});
  ASSERT_EQ(r.code, 0) << r.err;
  const auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 2u);
  for (int i = 0; i < 2; ++i) {
    const QJsonObject j = JsonLine(lines[i]);
    EXPECT_EQ(j["part"].toInt(), i + 1);
    EXPECT_EQ(j["parts"].toInt(), 2);
    EXPECT_EQ(j["sca"].toString(), "00");
    EXPECT_TRUE(j["pdu"].toString().startsWith("71FF05912143F50000A9")) << lines[i];
  }
  EXPECT_EQ(JsonLine(lines[1])["decoded"].toObject()["text"].toString().toStdString(), "€" + Repeat("b", 20));
  // Without --json each part has its own block.
  r = RunCli({"--dry-run", "--long", "--to", "+12345", "text", QString::fromStdString(Repeat("x", 200))});
  EXPECT_NE(r.out.find("Part:    1 of 2"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Part:    2 of 2"), std::string::npos) << r.out;
  // A message of one part has no part fields, --long or not.
  for (const QStringList& extra : {QStringList{}, QStringList{"--long"}}) {
    r = RunCli(extra + QStringList{"--dry-run", "--json", "--to", "+12345", "text", "hello"});
    ASSERT_EQ(r.code, 0) << r.err;
    const QJsonObject j = JsonLine(Lines(r.out).at(0));
    EXPECT_EQ(j["pdu"].toString(), "31FF05912143F50000A905E8329BFD06");
    EXPECT_FALSE(j.contains("part"));
  }
}

TEST_F(LongTextCli, TextsBeyondOneMessageAndBadValues) {
  struct Case {
    QStringList args;
    int code;
    const char* says;
  };
  const QString longText = QString::fromStdString(Repeat("x", 161));
  const Case cases[] = {
      {{"--to", "1", "text", longText}, 2, "at most 160 fit"},
      {{"--coding", "auto", "--to", "1", "text", longText}, 2, "takes 2 messages; --long sends it in parts"},
      {{"--long", "--max-parts", "1", "--to", "1", "text", longText}, 2, "at most 1 allowed"},
      {{"--long", "--max-parts", "256", "--to", "1", "text", "x"},
       2,
       "--max-parts needs a number of parts from 1 to 255"},
      {{"--coding", "8bit", "--to", "1", "text", "x"}, 2, "--coding takes auto, 7bit or 16bit"},
      {{"--long", "--to", "1", "void"}, 2, "--long does not apply to void"},
      // --strict with auto: every character arrives as written.
      {{"--strict", "--coding", "auto", "--to", "1", "text", "€ [x] Ж"}, 0, ""},
      {{"--strict", "--to", "1", "text", "€ [x] Ж"}, 2, "--strict: these characters would change"},
  };
  for (const Case& c : cases) {
    const CliResult r = RunCli(QStringList{"--dry-run"} + c.args);
    EXPECT_EQ(r.code, c.code) << c.args.join(' ').toStdString() << "\n" << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
  }
}

TEST_F(LongTextCli, CyrillicAndEuroTextsArriveWholeOnOneConnection) {
  ASSERT_TRUE(StartPhone());
  const QString cyrillic = QString::fromUtf8(Repeat("Съешь же ещё этих мягких булок, ", 13).c_str());
  const QString euro = QString::fromStdString(Repeat("€ [1] {2} ", 30));
  for (const QString& text : {cyrillic, euro}) {
    const CliResult r =
        RunCli({"--port", Port(), "--json", "--long", "--coding", "auto", "--to", "+12345", "text", text});
    ASSERT_EQ(r.code, 0) << r.err;
    const QJsonObject j = JsonLine(Lines(r.out).at(0));
    EXPECT_EQ(j["result"].toString(), "sent");
    EXPECT_EQ(j["parts_sent"].toInt(), j["parts"].toInt());
    EXPECT_EQ(j["pdus"].toArray().size(), j["parts"].toInt());
  }
  // The simulated phone says each text once, whole, with its parts.
  std::vector<QJsonObject> whole;
  for (const QJsonObject& line : Journal())
    if (line.contains("concatenated")) whole.push_back(line["concatenated"].toObject());
  ASSERT_EQ(whole.size(), 2u);
  EXPECT_EQ(whole[0]["text"].toString(), cyrillic);
  EXPECT_EQ(whole[0]["parts"].toInt(), 7);
  EXPECT_EQ(whole[1]["text"].toString(), euro);
  EXPECT_EQ(whole[1]["parts"].toInt(), 3);
  // The second long text to the same recipient has the next reference.
  EXPECT_EQ(whole[1]["reference"].toInt(), (whole[0]["reference"].toInt() + 1) % 256);
  // One row in the record for each, with all its parts.
  mp::record::Record rec;
  ASSERT_TRUE(rec.Open());
  const auto rows = rec.List();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].parts, 7);
  EXPECT_EQ(rows[1].partsSent, 7);
  EXPECT_EQ(rows[1].state, "sent");
}

TEST_F(LongTextCli, APartThatFailsAfterOthersWentHasItsOwnExitStatus) {
  ASSERT_TRUE(StartPhone({"--fault", "refuse-later"}));
  const CliResult r = RunCli(
      {"--port", Port(), "--json", "--long", "--to", "+12345", "text", QString::fromStdString(Repeat("y", 400))});
  EXPECT_EQ(r.code, 6) << r.err;
  const QJsonObject j = JsonLine(Lines(r.out).at(0));
  EXPECT_EQ(j["result"].toString(), "partly-sent");
  EXPECT_EQ(j["parts"].toInt(), 3);
  EXPECT_EQ(j["parts_sent"].toInt(), 2);
  EXPECT_TRUE(j["status"].toString().startsWith("2 of 3 parts sent; part 3: Failed, ME responded: +CMS ERROR: 500"))
      << j["status"].toString().toStdString();
  mp::record::Record rec;
  ASSERT_TRUE(rec.Open());
  ASSERT_EQ(rec.List().size(), 1u);
  EXPECT_EQ(rec.List()[0].state, "partly-sent");
  EXPECT_EQ(rec.List()[0].partsSent, 2);
}

}  // namespace
