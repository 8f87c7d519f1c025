// mirapost-send --via kannel: against a stand-in sendsms in this process:
// where the password may come from and where it never goes, what a request
// that may have reached Kannel ends as, and the record beside it.
#include <sys/stat.h>

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>

#include "CliRun.h"
#include "support/KannelStandIn.h"

namespace {

using mp::test::StandIn;

class ViaTest : public CliFixture {
 protected:
  void TearDown() override {
    ::unsetenv("MIRAPOST_KANNEL_PASSWORD");
    CliFixture::TearDown();
  }
  // The sendsms address of `kannel` with `userinfo` ("u:pw@") in it.
  static QString Via(const StandIn& kannel, const std::string& userinfo = "", const std::string& query = "") {
    std::string url = kannel.Url() + query;
    url.insert(std::string("http://").size(), userinfo);
    return QString::fromStdString("kannel:" + url);
  }
  // A query item of the request Kannel got last.
  static QString Param(const StandIn& kannel, const char* name) {
    if (kannel.requests.empty()) return "(no request)";
    const QUrl url(QString::fromLatin1(kannel.requests.back().split(' ').value(1)));
    return QUrlQuery(url).queryItemValue(name, QUrl::FullyDecoded);
  }
  // Every text of every recorded row, joined.
  static std::string RecordText() {
    std::string all;
    for (const mp::record::Entry& e : Recorded())
      all += e.port + "|" + e.via + "|" + e.statusText + "|" + e.gatewayId + "|" + e.state + "\n";
    return all;
  }
};

TEST_F(ViaTest, ThePasswordComesFromAFileOrTheEnvironmentAndIsNeverShownOrRecorded) {
  const QString file = WriteFile("password", "from-file\n");
  ::chmod(file.toLocal8Bit().constData(), 0600);
  struct Case {
    const char* name;
    std::string userinfo, query;
    const char* environment;  // MIRAPOST_KANNEL_PASSWORD, nullptr: unset
    bool withFile;
    const char* sent;    // the password Kannel gets
    bool warnedAboutPs;  // the command line carried it
  };
  for (const Case& c : {Case{"in the address", "u:s3cret@", "", nullptr, false, "s3cret", true},
                        Case{"in the query", "", "?username=u&password=q-s3cret", nullptr, false, "q-s3cret", true},
                        Case{"environment", "u@", "", "env-s3cret", false, "env-s3cret", false},
                        Case{"file", "u@", "", "env-s3cret", true, "from-file", false}}) {
    StandIn kannel(StandIn::AcceptAndReport);
    if (c.environment) ::setenv("MIRAPOST_KANNEL_PASSWORD", c.environment, 1);
    QStringList args{"--via", Via(kannel, c.userinfo, c.query), "--json", "--wait", "5", "--to", "+12345", "text",
                     "hi"};
    if (c.withFile) args << "--password-file" << file;
    const CliResult r = RunCli(args);
    ::unsetenv("MIRAPOST_KANNEL_PASSWORD");
    EXPECT_EQ(r.code, 0) << c.name << ": " << r.err;
    EXPECT_EQ(Param(kannel, "password"), c.sent) << c.name;
    EXPECT_EQ(Param(kannel, "username"), "u") << c.name;
    EXPECT_EQ(r.err.find("can be read by other users (ps)") != std::string::npos, c.warnedAboutPs)
        << c.name << ": " << r.err;
    for (const std::string& where : {r.out, r.err, RecordText()})
      EXPECT_EQ(where.find(c.sent), std::string::npos) << c.name << ": the password shows in " << where;
    EXPECT_EQ(JsonLine(Lines(r.out).at(0))["result"].toString(), "sent") << r.out;
  }
  // A file that others may read is refused before anything goes out.
  ::chmod(file.toLocal8Bit().constData(), 0644);
  StandIn kannel(StandIn::Accept);
  const CliResult r = RunCli({"--via", Via(kannel, "u@"), "--password-file", file, "--to", "+12345", "text", "hi"});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("chmod 600"), std::string::npos) << r.err;
  EXPECT_TRUE(kannel.requests.empty());
}

TEST_F(ViaTest, ARequestKannelMayHoldEndsAsMayHaveBeenSentAndIsSentOnce) {
  struct Case {
    StandIn::Mode mode;
    int exit;
    const char* state;
  };
  for (const Case& c : {Case{StandIn::CloseAfterReading, 4, "unconfirmed"}, Case{StandIn::Silent, 4, "unconfirmed"},
                        Case{StandIn::Refuse, 1, "refused"}}) {
    StandIn kannel(c.mode);
    const CliResult r = RunCli({"--via", Via(kannel), "--json", "--wait", "1", "--to", "+12345", "text", "hi"});
    EXPECT_EQ(r.code, c.exit) << c.state << ": " << r.err;
    EXPECT_EQ(kannel.requests.size(), 1u) << c.state;
    EXPECT_EQ(JsonLine(Lines(r.out).at(0))["result"].toString(), c.state) << r.out;
    EXPECT_EQ(Recorded().front().state, c.state);
    // Kannel's answer reaches the terminal without its control characters.
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << r.err;
  }
}

TEST_F(ViaTest, TheReportAddressCanBeGivenAndARecordFailureIsTold) {
  // Another address of this machine (all of 127/8 is loopback): the
  // listener is bound to it and Kannel is told it.
  StandIn kannel(StandIn::AcceptAndReport);
  const QString db = QString::fromStdString(mp::record::Record::DefaultPath());
  ASSERT_TRUE(QDir().mkpath(QFileInfo(db).path()));
  WriteFile("not-a-record", QByteArray(4096, '#'));
  ASSERT_TRUE(QFile::copy(Path("not-a-record"), db));
  const CliResult r = RunCli(
      {"--via", Via(kannel), "--dlr-host", "127.0.0.2", "--json", "--wait", "5", "--to", "+12345", "text", "hi"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(Param(kannel, "dlr-url").startsWith("http://127.0.0.2:")) << Param(kannel, "dlr-url").toStdString();
  EXPECT_NE(r.err.find("mirapost-send: warning: Cannot write the record of sent messages"), std::string::npos) << r.err;
  EXPECT_TRUE(JsonLine(Lines(r.out).at(0))["record_warning"].toString().startsWith("Cannot write the record")) << r.out;
  // What would change the report's address is refused.
  for (const char* bad : {"h/x?type=", "a b", "-h", ""}) {
    const CliResult refused = RunCli({"--via", Via(kannel), "--dlr-host", bad, "--to", "+12345", "text", "hi"});
    EXPECT_EQ(refused.code, 2) << bad << ": " << refused.err;
  }
}

// A long text through Kannel is one message in the record, with every part
// and one outcome over them, as through the phone: sent, refused with its
// first part (nothing more is tried), or partly sent (exit 6).
TEST_F(ViaTest, ALongTextIsOneRecordedMessageWithOneOutcome) {
  struct Case {
    int refuseAfter;
    int exit;
    const char* state;
    int partsSent;
    std::size_t requests;
  } cases[] = {
      {-1, 0, "sent", 3, 3},
      {0, 1, "refused", 0, 1},
      {2, 6, "partly-sent", 2, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.state);
    if (mp::record::Record rec; rec.Open()) rec.Clear();
    StandIn kannel(StandIn::AcceptAndReport);
    kannel.refuseAfter = c.refuseAfter;
    const CliResult r = RunCli({"--via", Via(kannel), "--json", "--wait", "5", "--long", "--to", "+12345", "text",
                                QString("abcdefghij").repeated(40)});
    EXPECT_EQ(r.code, c.exit) << r.err;
    EXPECT_EQ(kannel.requests.size(), c.requests);
    ASSERT_EQ(Lines(r.out).size(), 1u) << r.out;
    const QJsonObject j = JsonLine(Lines(r.out).at(0));
    EXPECT_EQ(j["result"].toString(), c.state);
    EXPECT_EQ(j["parts_sent"].toInt(), c.partsSent);
    EXPECT_EQ(j["pdus"].toArray().size(), 3);
    // Kannel's token of every part it took.
    EXPECT_EQ(QString::fromStdString(Recorded().at(0).gatewayId).split(' ', Qt::SkipEmptyParts).size(), c.partsSent);
    const auto rows = Recorded();
    ASSERT_EQ(rows.size(), 1u) << RecordText();
    EXPECT_EQ(rows[0].state, c.state);
    EXPECT_EQ(rows[0].parts, 3);
    EXPECT_EQ(rows[0].partsSent, c.partsSent);
    EXPECT_GE(rows[0].reference, 0);
    EXPECT_EQ(QString::fromStdString(rows[0].moreTpdus).split(' ').size(), 2);
  }
}

}  // namespace
