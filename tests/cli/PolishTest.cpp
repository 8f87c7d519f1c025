// mirapost-send says what it changes and refuses what it cannot take: the
// characters that will not arrive as written (and --strict), numbers without
// a digit, "--", bounded input, exact reasons for unreadable pictures, JSON
// for bad usage; and the window program's own command line.
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <unistd.h>

#include "CliRun.h"

namespace {

class PolishTest : public CliFixture {};

TEST_F(PolishTest, CharactersThatChangeAreNamedAndStrictRefusesThem) {
  struct Case {
    QStringList args;
    std::string changes;  // on standard error, empty for none
    int json;             // entries of "changes"
  } cases[] = {
      {{"text", "Price: 5€ [net]"}, "€ → ", 3},
      {{"text", "Ωmega"}, "Ω → ", 1},
      {{"text", "Жук"}, "Ж → ", 3},
      {{"text", "plain text, 100% sure?"}, "", 0},
      {{"phonebook", "--name", "Ann Жук", "--number", "5551234"}, "Ж → ", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    const QStringList to = c.args.front() == "phonebook" ? QStringList{} : QStringList{"--to", "1"};
    const CliResult dry = RunCli(QStringList{"--dry-run", "--json"} + to + c.args);
    ASSERT_EQ(dry.code, 0) << dry.err;
    const QJsonObject j = JsonLine(Lines(dry.out).front());
    ASSERT_TRUE(j.contains("changes")) << dry.out;
    const QJsonArray changes = j["changes"].toArray();
    if (c.changes.empty()) {
      EXPECT_EQ(dry.err.find("will change"), std::string::npos) << dry.err;
      EXPECT_TRUE(changes.isEmpty());
      EXPECT_EQ(RunCli(QStringList{"--dry-run", "--strict"} + to + c.args).code, 0);
      continue;
    }
    EXPECT_NE(dry.err.find("these characters will change: "), std::string::npos) << dry.err;
    EXPECT_NE(dry.err.find(c.changes), std::string::npos) << dry.err;
    EXPECT_GE(changes.size(), 1);
    if (c.json > 1) {
      EXPECT_EQ(changes.size(), c.json);
    }
    EXPECT_TRUE(changes[0].toObject().contains("from"));
    // --strict: nothing goes out, nothing on standard output.
    const CliResult strict = RunCli(QStringList{"--dry-run", "--strict"} + to + c.args);
    EXPECT_EQ(strict.code, 2);
    EXPECT_EQ(strict.out, "");
    EXPECT_NE(strict.err.find("--strict"), std::string::npos) << strict.err;
  }
}

TEST_F(PolishTest, BadInputIsRefusedWithItsExactReason) {
  QDir().mkpath(Path("folder"));
  const QString noPicture = WriteFile("notes.png", "plain words");
  const QString huge = WriteFile("huge.txt", QByteArray(5 << 20, 'a'));
  const QString longText = WriteFile("long.txt", QByteArray(400, 'b'));
  struct Case {
    QStringList args;
    std::string input;
    std::string why;
  } cases[] = {
      {{"--to", "+", "text", "x"}, "", "bad number \"+\""},
      {{"--to", "- -", "text", "x"}, "", "bad number"},
      {{"--to", "1", "--centre", "+", "void"}, "", "bad centre number \"+\""},
      {{"phonebook", "--name", "x", "--number", "+"}, "", "bad number \"+\""},
      {{"--to", "1", "text", "-"}, std::string(200 * 1024, 'z'), "standard input holds more than 65536 bytes"},
      {{"--to", "1", "text", "--file", huge}, "", "too big for a message file"},
      {{"--to", "1", "text", "--file", longText}, "", "more than 320 characters"},
      {{"--to", "1", "text", "--file", Path("folder")}, "", "it is a directory"},
      {{"--to", "1", "logo", "--operator", "244-05", "--picture", Path("folder")}, "", "it is a directory"},
      {{"--to", "1", "logo", "--operator", "244-05", "--picture", Path("gone.bmp")}, "", "no such file"},
      {{"--to", "1", "logo", "--operator", "244-05", "--picture", noPicture}, "", "not a picture in a format"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    const CliResult r = RunCli(c.args, c.input);
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find(c.why), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    // The same with --json: one object on standard output says why.
    const CliResult j = RunCli(QStringList{"--json"} + c.args, c.input);
    EXPECT_EQ(j.code, 2);
    ASSERT_EQ(Lines(j.out).size(), 1u) << j.out;
    const QJsonObject o = JsonLine(Lines(j.out).front());
    EXPECT_EQ(o["result"].toString(), "bad-input");
    EXPECT_NE(o["error"].toString().toStdString().find(c.why), std::string::npos) << j.out;
  }
  if (::geteuid() != 0) {  // root reads every file
    const QString locked = WriteFile("locked.bmp", "BM");
    QFile::setPermissions(locked, QFileDevice::WriteOwner);
    const CliResult r = RunCli({"--to", "1", "logo", "--operator", "244-05", "--picture", locked});
    EXPECT_NE(r.err.find("permission denied"), std::string::npos) << r.err;
  }
  // Unknown options and unparsable lines are JSON too.
  const CliResult unknown = RunCli({"--json", "--bogus", "void"});
  EXPECT_EQ(unknown.code, 2);
  EXPECT_EQ(JsonLine(Lines(unknown.out).front())["result"].toString(), "bad-input");
}

TEST_F(PolishTest, DoubleDashEndsTheOptions) {
  const CliResult r = RunCli({"--dry-run", "--to", "1", "text", "--", "-5", "degrees", "--tonight"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("-5 degrees --tonight"), std::string::npos) << r.out;
  const CliResult help = RunCli({"--help"});
  EXPECT_NE(help.out.find("After -- nothing is an option"), std::string::npos);
}

TEST(WindowProgram, UnknownOptionsAreNamedWithoutADisplay) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(v);
  p.setProcessEnvironment(env);
  p.start(MP_BINARY_DIR "/src/mirapost", {"--bogus"});
  ASSERT_TRUE(p.waitForFinished(10000));
  EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
  EXPECT_NE(p.exitCode(), 0);
  EXPECT_TRUE(p.readAllStandardError().contains("bogus"));
}

}  // namespace
