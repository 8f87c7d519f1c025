// mirapost-send on its own: dry runs, bad input, and what happens against the
// simulated phone (sent, refused, silent, no port, several recipients).
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>

#include "CliRun.h"
#include "platform/Rtf.h"

namespace {

class SendTest : public CliFixture {
 protected:
  // An RTF message file: "Go " steady, "now" red.
  QString RedFile() {
    mp::RtfText text;
    mp::RtfFormat red;
    red.hasColor = true;
    red.color = qRgb(200, 0, 0);  // dark red blinks too, as in the window
    text.runs = {{"Go ", {}}, {"now", red}};
    return WriteFile("red.rtf", mp::WriteRtf(text, "Arial", 24));
  }
};

TEST_F(SendTest, TheDryRunOfTheExamplePrintsScaAndTpduApart) {
  const CliResult r = RunCli({"--dry-run", "--to", "+12345", "text", "hello"});
  ASSERT_EQ(r.code, 0) << r.err;
  const auto lines = Lines(r.out);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "TPDU:    31FF05912143F50000A905E8329BFD06"), lines.end()) << r.out;
  EXPECT_NE(std::find(lines.begin(), lines.end(), "SCA:     00"), lines.end()) << r.out;
  EXPECT_NE(r.out.find("Command: AT+CMGS=16"), std::string::npos);
  EXPECT_NE(r.out.find("Reading: to +12345, status report requested, valid 3 days"), std::string::npos);
  EXPECT_NE(r.out.find("Text: hello"), std::string::npos);
  EXPECT_EQ(r.err, "");
}

// What the dry run's reading says for each kind and input path.
TEST_F(SendTest, DryRunsReadEachKindBack) {
  struct Case {
    QStringList args;
    std::string input;
    std::vector<std::string> expected;  // in the output
  };
  const Case cases[] = {
      {{"--to", "12345", "text", "-"}, "hello\n", {"TPDU:    31FF05812143F50000A905E8329BFD06"}},
      {{"--to", "1", "text", "hello", "world"}, "", {"Text: hello world"}},
      {{"--to", "1", "text", "--", "-5", "degrees"}, "", {"Text: -5 degrees"}},
      {{"--to", "1", "blink", "Go {blink}now{/blink}! {{x}"}, "", {"16-bit, class 3", "Text: Go [[now]]! {x}"}},
      {{"--to", "1", "class0", "--file", "RED"}, "", {"16-bit, class 0", "Flash message", "Text: Go [[now]]"}},
      {{"--to", "1", "hidden", "--file", "RED"}, "", {"(hidden)", "Text: Go now"}},
      {{"--to", "1", "--no-report", "--centre", "+358405202000", "void"}, "", {"SCA:     0791534850020200", "TPDU:    51FF", "with a header", "(tone only, no message)"}},
      {{"template"}, "", {"Command: AT+CMGW=", "no recipient", "class 0", "valid 63 weeks", "Class 0 template"}},
      {{"--save", "indicator", "--voice", "on", "--fax", "off"}, "", {"AT+CMGW=", ",3", "7-bit", "voice indicator set, count 1", "fax indicator cleared, count 0"}},
      {{"--save", "--coding", "16bit", "indicator", "--email", "off", "--voice", "off"}, "", {"16-bit"}},
      {{"--save", "logo", "--operator", "244-05 Radiolinja", "--description", "Hello"}, "", {"address \"Hello\" (alphanumeric)", "Operator logo for 244-05"}},
      {{"phonebook", "--name", "{blink}A{/blink}nn", "--number", "+358 40-123 45"}, "", {"Number:  +3584012345 (type 145)", "\"0141016E6E\"", "Name: [[A]]nn"}},
      {{"--json", "--to", "040 123", "text", "hello"}, "", {"\"recipient\":\"040 123\"", "\"result\":\"dry-run\"", "\"da\":\"040123\",", "\"text\":\"hello\""}},
  };
  for (const Case& c : cases) {
    QStringList args = c.args;
    args.replaceInStrings("RED", RedFile());
    const CliResult r = RunCli(QStringList{"--dry-run"} + args, c.input);
    SCOPED_TRACE(args.join(' ').toStdString());
    ASSERT_EQ(r.code, 0) << r.err;
    for (const std::string& e : c.expected) EXPECT_NE(r.out.find(e), std::string::npos) << e << "\n" << r.out;
  }
}

// Bad usage and bad input: exit 2, a message that names the problem, nothing
// on standard output, no port opened.
TEST_F(SendTest, BadInputEndsWithExitTwoAndNamesTheProblem) {
  const QString text = WriteFile("picture.png", "this is no picture");
  const QString binary = WriteFile("binary.rtf", QByteArray("ab\0cd", 5));
  struct Case {
    QStringList args;
    std::string input;
    std::string why;
  };
  const Case cases[] = {
      {{"--to", "1", "fax"}, "", "unknown kind \"fax\""},
      {{}, "", "no kind of message"},
      {{"--to", "12a", "text", "x"}, "", "bad number \"12a\""},
      {{"--to", "1", "logo", "--operator", "244-05", "--picture", Path("missing.png")}, "", "cannot read picture"},
      {{"--to", "1", "logo", "--operator", "244-05", "--picture", text}, "", "cannot read picture"},
      {{"--to", "1", "logo", "--operator", "24-05"}, "", "bad operator code \"24-05\""},
      {{"--save", "logo", "--operator", "244-05", "--description", "Twelve chars"}, "", "longer than 11"},
      {{"--to", "1", "blink", "a{blink}b"}, "", "markup left open: {blink} at character 2"},
      {{"--to", "1", "blink", "{bold}a"}, "", "unknown \"{bold}a\""},
      {{"--to", "1", "blink", "plain"}, "", "nothing blinks"},
      {{"--to", "1", "text", QString(161, 'a')}, "", "text too long: 161 characters"},
      {{"--to", "1", "blink", "{blink}" + QString(70, 'a') + "{/blink}"}, "", "each change between steady and blinking"},
      {{"--to", "1", "text", "-"}, "\n", "the text is empty"},
      {{"--to", "1", "text", "--file", binary}, "", "not a message file"},
      {{"text", "x"}, "", "no recipient"},
      {{"--save", "--to", "1", "text", "x"}, "", "leave out --to"},
      {{"--to", "1", "indicator"}, "", "at least one of --voice"},
      {{"--to", "1", "--forward", "indicator", "--voice", "on"}, "", "--forward goes only"},
      {{"--to", "1", "--coding", "7bit", "indicator", "--voice", "on"}, "", "--coding applies only"},
      {{"--to", "1", "--voice", "on", "text", "x"}, "", "--voice does not apply to text"},
      {{"--to", "1", "--centre", "abc", "void"}, "", "bad centre number \"abc\""},
      {{"phonebook", "--name", "x", "--number", "12+3"}, "", "bad number \"12+3\""},
      {{"--to", "1", "phonebook", "--name", "x", "--number", "1"}, "", "do not apply"},
      {{"--to", "1", "--port", "COM0", "void"}, "", "bad port \"COM0\""},
      {{"--to", "1", "--bogus", "void"}, "", "Unknown option 'bogus'"},
      {{"--to", "1", "--log", Path("no/such/folder/log"), "void"}, "", "cannot write the log"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    const CliResult r = RunCli(c.args, c.input);
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find(c.why), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Establishing connection"), std::string::npos);
    EXPECT_EQ(r.out, "");
  }
}

// Against the simulated phone: the exit code, the status texts on standard
// error and what the phone's journal holds.
// One command against the simulated phone: exit code, status texts, and
// what reached the phone.
struct Outcome {
  std::vector<std::string> phone;  // simulated phone arguments
  QStringList args;
  int code;
  std::string status;
  std::size_t journalled;
};

class SendOutcomes : public SendTest {
 protected:
  void Check(const std::vector<Outcome>& cases) {
    for (const Outcome& c : cases) {
      SCOPED_TRACE(c.args.join(' ').toStdString());
      ASSERT_TRUE(StartPhone(c.phone));
      const CliResult r = RunCli(QStringList{"--port", Port()} + c.args);
      EXPECT_EQ(r.code, c.code) << r.err;
      // The first status text, after the note of characters that change ("Z" of a name reads ":").
      std::string err = r.err;
      if (err.rfind("mirapost-send: these characters will change", 0) == 0) err.erase(0, err.find('\n') + 1);
      EXPECT_EQ(err.rfind("Establishing connection to ME...\n", 0), 0u) << r.err;
      EXPECT_NE(r.err.find("\n" + c.status), std::string::npos) << r.err;
      EXPECT_EQ(r.out, "");
      const auto journal = Journal();
      ASSERT_EQ(journal.size(), c.journalled);
      if (!journal.empty() && journal[0]["command"] == "CMGS") {
        EXPECT_EQ(journal[0]["tpdu"].toString(), "31FF05912143F50000A905E8329BFD06");
        EXPECT_EQ(journal[0]["sca"].toString(), "00");
      }
      if (!journal.empty() && journal[0]["command"] == "CPBW") {
        EXPECT_EQ(journal[0]["name"].toString(), "3a016F65");
        EXPECT_EQ(journal[0]["number"].toString(), "040123");
        EXPECT_EQ(journal[0]["type"].toInt(), 129);
      }
      sim_.Stop();
      QFile::remove(QString::fromStdString(journal_));
    }
  }
};

TEST_F(SendOutcomes, AnsweredByThePhone) {
  Check({
      {{}, {"--to", "+12345", "text", "hello"}, 0, "Message successfully sent.", 1},
      {{}, {"--save", "text", "hello"}, 0, "Message successfully saved in SM.", 1},
      {{"--fault", "refuse"}, {"--to", "+12345", "text", "hello"}, 1, "Failed, ME responded: +CMS ERROR: 500 (unknown error)", 1},
      {{}, {"phonebook", "--name", "Z{blink}oe{/blink}", "--number", "040 123"}, 0, "Entry successfully saved in ME memory location 1.", 1},
  });
}

TEST_F(SendOutcomes, PhoneThatDoesNotAnswer) {
  Check({
      {{"--fault", "silent"}, {"--to", "+12345", "text", "hello"}, 1, "Failed, ME is not responding.", 0},
      {{"--fault", "no-prompt"}, {"--to", "+12345", "void"}, 1, "Communications with ME failed.", 0},
      {{"--fault", "cmgf-error"}, {"phonebook", "--name", "x", "--number", "1"}, 1, "Failed, ME is not responding.", 0},
  });
}

TEST_F(SendTest, APortThatCannotBeOpenedEndsWithExitThree) {
  for (const QString& port : {Path("no-such-device"), QString("COM9")}) {
    ::setenv("MIRAPOST_COM9", Path("no-such-device-either").toLocal8Bit().constData(), 1);
    const CliResult r = RunCli({"--json", "--port", port, "--to", "1", "--to", "2", "void"});
    ::unsetenv("MIRAPOST_COM9");
    EXPECT_EQ(r.code, 3);
    EXPECT_NE(r.err.find("Cannot open communications port."), std::string::npos) << r.err;
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 2u) << r.out;
    for (const std::string& line : lines) EXPECT_EQ(JsonLine(line)["result"].toString(), "port-error");
  }
  EXPECT_EQ(std::getenv("MIRAPOST_COM1"), nullptr);  // the device mapping was for that run only
  const auto recorded = Recorded();  // recorded as not sent
  ASSERT_EQ(recorded.size(), 4u);
  for (const mp::record::Entry& e : recorded) {
    EXPECT_FALSE(e.ok);
    EXPECT_EQ(e.statusText.rfind("Cannot open communications port.", 0), 0u) << e.statusText;
  }
}

// Several recipients go one after another on one connection: one handshake,
// each message to its own recipient, one JSON object each, the whole traffic
// in the log.
TEST_F(SendTest, SeveralRecipientsShareOneConnection) {
  ASSERT_TRUE(StartPhone());
  const QString log = Path("traffic.log");
  const CliResult r = RunCli({"--port", Port(), "--json", "--log", log, "--to", "+12345", "--to", "040 123", "--to",
                              "+358401234567", "blink", "{blink}Now{/blink}!"});
  ASSERT_EQ(r.code, 0) << r.err;
  const auto journal = Journal();
  ASSERT_EQ(journal.size(), 3u);
  const char* das[] = {"+12345", "040123", "+358401234567"};
  const auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 3u) << r.out;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(journal[i]["decoded"].toObject()["da"].toString(), das[i]);
    const QJsonObject o = JsonLine(lines[i]);
    EXPECT_EQ(o["result"].toString(), "sent");
    EXPECT_EQ(o["status"].toString(), "Message successfully sent.");
    EXPECT_EQ(o["pdu"].toString(), journal[i]["tpdu"].toString());
  }
  QFile f(log);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray traffic = f.readAll();
  EXPECT_EQ(traffic.count("AT+CMGF=0"), 1);
  EXPECT_EQ(traffic.count("<PDU>"), 3);
  EXPECT_EQ(traffic.count("\r\r\n"), traffic.count("\r\n"));  // written as the window writes its log
  EXPECT_EQ(r.err.find("Establishing connection to ME..."), r.err.rfind("Establishing connection to ME..."));
  // Each message is in the record of sent messages, as the window keeps it.
  const auto recorded = Recorded();
  ASSERT_EQ(recorded.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    const mp::record::Entry& e = recorded[2 - i];
    EXPECT_TRUE(e.ok && e.finished);
    EXPECT_EQ(QString::fromStdString(e.tpdu), journal[i]["tpdu"].toString());
    EXPECT_EQ(e.statusText, "Message successfully sent.");
  }
}

// A record that cannot be written: the message still goes out with the exit
// status of a send, and the user hears why on standard error and in --json.
TEST_F(SendTest, ARecordThatCannotBeWrittenWarnsAndTheMessageGoesOut) {
  ASSERT_TRUE(StartPhone());
  const QString db = QString::fromStdString(mp::record::Record::DefaultPath());
  ASSERT_TRUE(QDir().mkpath(QFileInfo(db).path()));
  QFile corrupt(db);
  ASSERT_TRUE(corrupt.open(QIODevice::WriteOnly));
  corrupt.write(QByteArray(4096, '#'));
  corrupt.close();
  const CliResult r = RunCli({"--port", Port(), "--json", "--to", "+12345", "text", "hello"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Journal().size(), 1u);
  const std::string warning = "mirapost-send: warning: Cannot write the record of sent messages (" +
                              db.toStdString() + "): ";
  EXPECT_NE(r.err.find(warning), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find(warning), r.err.rfind(warning)) << "told once";
  const auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 1u) << r.out;
  const QJsonObject o = JsonLine(lines[0]);
  EXPECT_EQ(o["result"].toString(), "sent");
  EXPECT_TRUE(o["record_warning"].toString().startsWith("Cannot write the record of sent messages")) << r.out;
}

TEST_F(SendTest, ARefusedMessageDoesNotStopTheNext) {
  ASSERT_TRUE(StartPhone({"--fault", "refuse"}));
  const CliResult r = RunCli({"--port", Port(), "--json", "--to", "1", "--to", "2", "void"});
  EXPECT_EQ(r.code, 1);
  const auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 2u);
  for (const std::string& line : lines) {
    EXPECT_EQ(JsonLine(line)["result"].toString(), "refused");
    EXPECT_TRUE(JsonLine(line)["status"].toString().startsWith(
        "Failed, ME responded: +CMS ERROR: 500 (unknown error). Nothing was sent from COM 1 ("));
    EXPECT_EQ(JsonLine(line)["cms_error"].toInt(), 500);
    EXPECT_EQ(JsonLine(line)["cause"].toString(), "error-result");
  }
  EXPECT_EQ(Journal().size(), 2u);
}

TEST_F(SendTest, TheSimulatedPhoneIsStartedOnRequestAndNamed) {
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
  ::setenv("XDG_RUNTIME_DIR", Path("").toLocal8Bit().constData(), 1);  // where its journal goes
  mp::record::SetEnabled(false);  // and no record kept
  const CliResult r = RunCli({"--simulated-phone", "--port", "COM6", "template"});
  EXPECT_FALSE(QFile::exists(QString::fromStdString(mp::record::Record::DefaultPath())));
  if (runtime.isNull()) {
    ::unsetenv("XDG_RUNTIME_DIR");
  } else {
    ::setenv("XDG_RUNTIME_DIR", runtime.constData(), 1);
  }
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.err.find("simulated phone on COM 6"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Message successfully saved in SM."), std::string::npos) << r.err;
  EXPECT_EQ(std::getenv("MIRAPOST_COM6"), nullptr);
}

// The program itself: the example, --help, and the manual page that
// documents every option that --help lists.
TEST(SendProgram, RunsAsACommandWithItsManualPage) {
  const QString program = MP_BINARY_DIR "/src/mirapost-send";
  QProcess p;
  p.start(program, {"--dry-run", "--to", "+12345", "text", "hello"});
  ASSERT_TRUE(p.waitForFinished(5000));
  EXPECT_EQ(p.exitCode(), 0);
  EXPECT_TRUE(p.readAllStandardOutput().contains("31FF05912143F50000A905E8329BFD06"));

  p.start(program, {"--help"});
  ASSERT_TRUE(p.waitForFinished(5000));
  EXPECT_EQ(p.exitCode(), 0);
  const QString help = QString::fromUtf8(p.readAllStandardOutput());

  p.start("gzip", {"-dc", MP_BINARY_DIR "/data/man/mirapost-send.1.gz"});
  ASSERT_TRUE(p.waitForFinished(5000));
  ASSERT_EQ(p.exitCode(), 0) << "the manual page is built with the program";
  QString roff = QString::fromUtf8(p.readAllStandardOutput());
  roff.remove(QRegularExpression(R"(\\f[BIRP])")).replace("\\-", "-");
  EXPECT_TRUE(roff.contains(".TH"));
  const QRegularExpression option(R"(--[a-z][a-z-]+)");
  int checked = 0;
  for (auto it = option.globalMatch(help); it.hasNext(); ++checked) {
    const QString name = it.next().captured();
    EXPECT_TRUE(roff.contains(name)) << name.toStdString() << " is not in the manual page";
  }
  EXPECT_GT(checked, 20);
}

}  // namespace
