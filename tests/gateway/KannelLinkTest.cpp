// The way through Kannel against a stand-in sendsms on loopback: what each
// end of the request means, that a request is written once, that the record's
// row comes first, and the report listener against a hostile client.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUrl>
#include <QUrlQuery>

#include "gateway/Credentials.h"
#include "gateway/GatewayLink.h"
#include "gateway/Http.h"
#include "support/KannelStandIn.h"

namespace mp::gateway {
namespace {

using test::Spin;
using test::StandIn;

struct Host : PhoneHost {
  int PortIndex() const override { return -1; }
  void ShowStatus(const std::string& t) override { statuses.push_back(t); }
  void Beep(BeepKind) override {}
  void SetWaitCursor(bool) override {}
  void Transferred(const TransferReport& r) override { reports.push_back(r); }
  bool ServiceEvents() override { return cancel; }
  std::vector<std::string> statuses;
  std::vector<TransferReport> reports;
  bool cancel = false;
};

TransferSettings Settings() {
  TransferSettings s;
  s.DestAddress = "0C91534810325476";
  return s;
}

// What a test of one end of a request expects.
struct Case {
  const char* name;
  StandIn::Mode mode;
  bool cancel;  // the user cancels once the request is there
  Outcome outcome;
  Cause cause;
  const char* status;
};

// Sends one message to a stand-in that behaves as `c` says, and checks its end.
void Expect(const Case& c) {
  StandIn kannel(c.mode);
  Config config;
  config.kind = Kind::Kannel;
  config.name = "kannel:" + kannel.Url();
  config.url = kannel.Url();
  Host host;
  std::size_t reportsAtRequest = 99;
  kannel.onRequest = [&] {
    reportsAtRequest = host.reports.size();
    host.cancel = c.cancel;
  };
  GatewayLink link(host, config, std::chrono::milliseconds(400));
  const LinkResult r = link.Send(Settings(), false, "0000A905E8329BFD06");
  EXPECT_EQ(r.outcome, c.outcome) << c.name << ": " << host.statuses.back();
  EXPECT_EQ(r.cause, c.cause) << c.name;
  EXPECT_NE(host.statuses.back().find(c.status), std::string::npos) << c.name << ": " << host.statuses.back();
  // The record's row was written before the request arrived.
  EXPECT_EQ(reportsAtRequest, 1u) << c.name;
  ASSERT_FALSE(host.reports.empty());
  EXPECT_EQ(host.reports.front().result.outcome, Outcome::Pending) << c.name;
  EXPECT_FALSE(host.reports.front().finished) << c.name;
  // Whatever the end, Kannel saw the message once: a connection closed
  // after reading is never tried again.
  Spin([] { return false; }, 50);
  EXPECT_EQ(kannel.requests.size(), 1u) << c.name;
  EXPECT_EQ(kannel.connections, 1) << c.name;
  for (const std::string& s : host.statuses)
    for (char ch : s) EXPECT_GE(static_cast<unsigned char>(ch), 0x20) << c.name << ": a control character in " << s;
}

TEST(KannelLink, AnAnswerFromKannelDecidesWhateverFollowsIt) {
  for (const Case& c :
       {Case{"reported", StandIn::AcceptAndReport, false, Outcome::Confirmed, Cause::None,
             "Message successfully sent through Kannel."},
        Case{"accepted, no report", StandIn::Accept, false, Outcome::Queued, Cause::Gateway, ", outcome unknown."},
        Case{"accepted, then closed", StandIn::AcceptThenClose, false, Outcome::Queued, Cause::Gateway,
             ", outcome unknown."},
        Case{"refused", StandIn::Refuse, false, Outcome::Refused, Cause::Gateway, "Failed, Kannel answered 403"}})
    Expect(c);
}

// Kannel may have read the request: never failed, never written twice.
TEST(KannelLink, WithoutAnAnswerTheMessageMayHaveBeenSentAndGoesOnce) {
  for (const Case& c :
       {Case{"closed after reading", StandIn::CloseAfterReading, false, Outcome::Unconfirmed, Cause::LineBroken,
             "Kannel did not answer: the connection closed; the message may have been sent."},
        Case{"acceptance cut off", StandIn::AcceptCutOff, false, Outcome::Unconfirmed, Cause::LineBroken,
             "may have been sent"},
        Case{"silent", StandIn::Silent, false, Outcome::Unconfirmed, Cause::Silence, "may have been sent"},
        Case{"cancelled", StandIn::Silent, true, Outcome::Unconfirmed, Cause::Cancelled,
             "Cancelled; Kannel may already have the message: it may have been sent."}})
    Expect(c);
}

TEST(KannelLink, NoConnectionMeansNothingWasSent) {
  QTcpServer closed;
  closed.listen(QHostAddress::LocalHost, 0);
  const std::string url = "http://127.0.0.1:" + std::to_string(closed.serverPort()) + "/cgi-bin/sendsms";
  closed.close();
  for (const std::string& address : {url, std::string("http://no-such-host.invalid/cgi-bin/sendsms")}) {
    Config config;
    config.kind = Kind::Kannel;
    config.url = address;
    Host host;
    const LinkResult r =
        GatewayLink(host, config, std::chrono::milliseconds(1500)).Send(Settings(), false, "0000A905E8329BFD06");
    EXPECT_EQ(r.outcome, Outcome::NotSent) << address << ": " << host.statuses.back();
  }
}

// A client that sends one chunk and holds its connection.
QTcpSocket* Client(int port, const QByteArray& data) {
  auto* s = new QTcpSocket;
  s->connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
  s->write(data);
  return s;
}

TEST(ReportListener, BoundedAgainstAHostileClientAndStillHearsTheReport) {
  std::string error;
  auto http = OpenHttpSession(&error);
  ASSERT_TRUE(http) << error;
  std::vector<std::string> heard;
  ListenLimits limits;
  limits.idle = std::chrono::milliseconds(300);
  const int port = http->ListenForReports(
      [&](const std::string& tail, const HttpSession::Query&) { heard.push_back(tail); }, limits);
  ASSERT_NE(port, 0);

  // An endless request line, a body, a second request on the connection:
  // each connection is closed, nothing reaches the handler.
  std::vector<std::unique_ptr<QTcpSocket>> hostile;
  hostile.emplace_back(Client(port, "GET /dlr/" + QByteArray(64 * 1024, 'a')));
  hostile.emplace_back(Client(port, "GET /dlr/b HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello"));
  hostile.emplace_back(Client(port, "GET /dlr/c HTTP/1.1\r\n\r\nGET /dlr/d HTTP/1.1\r\n\r\n"));
  for (auto& s : hostile) {
    QTcpSocket* c = s.get();
    EXPECT_TRUE(Spin([c] { return c->state() == QAbstractSocket::UnconnectedState; })) << "not closed";
  }
  EXPECT_TRUE(heard.empty());

  // Many held connections: never more than the limit, and a report that
  // comes meanwhile is heard.
  std::vector<std::unique_ptr<QTcpSocket>> held;
  for (int i = 0; i < 100; ++i) held.emplace_back(Client(port, "GET /dlr/"));
  Spin([&] { return http->Connections() >= limits.maxConnections; });
  EXPECT_LE(http->Connections(), limits.maxConnections);
  std::unique_ptr<QTcpSocket> report(Client(port, "GET /dlr/token?type=8 HTTP/1.1\r\nHost: x\r\n\r\n"));
  EXPECT_TRUE(Spin([&] { return !heard.empty(); })) << "the report was kept out";
  EXPECT_EQ(heard, std::vector<std::string>{"token"});
  // Bare line feeds, as some clients end lines, and an empty body.
  std::unique_ptr<QTcpSocket> plain(Client(port, "GET /dlr/plain HTTP/1.0\nContent-Length: 0\n\n"));
  EXPECT_TRUE(Spin([&] { return heard.size() == 2; }));
  EXPECT_EQ(heard.back(), "plain");
  EXPECT_TRUE(
      Spin([&] { return report->readAll().contains("OK") || report->state() != QAbstractSocket::ConnectedState; }));

  // Idle connections are closed.
  EXPECT_TRUE(Spin([&] { return http->Connections() == 0; })) << http->Connections() << " still held";
}

TEST(Credentials, NeverShownAndReadOnlyFromAFileOfTheUsersOwn) {
  struct Case {
    const char* given;
    const char* shown;
  };
  for (const Case& c :
       {Case{"kannel:http://me:s3cret@h:13013/cgi-bin/sendsms", "kannel:http://me:****@h:13013/cgi-bin/sendsms"},
        Case{"http://h/cgi-bin/sendsms?username=u&password=s3cret&to=1",
             "http://h/cgi-bin/sendsms?username=u&password=****&to=1"},
        Case{"Error transferring http://h/x?PASSWORD=s3cret - server replied: Forbidden",
             "Error transferring http://h/x?PASSWORD=**** - server replied: Forbidden"},
        Case{"office", "office"}})
    EXPECT_EQ(HideCredentials(c.given), c.shown);

  // The program's own arguments, masked in place (same length).
  for (const Case& c :
       {Case{"kannel:http://me:s3cret@h/x?password=p&to=1", "kannel:http://me:******@h/x?password=*&to=1"},
        Case{"--via=kannel:https://h/x?Password=abc#f", "--via=kannel:https://h/x?Password=***#f"},
        Case{"http://me@h/a:b@c", "http://me@h/a:b@c"}, Case{"mypassword=x", "mypassword=x"}}) {
    std::string argument = c.given;
    MaskCredentials(argument.data());
    EXPECT_EQ(argument, c.shown);
  }

  std::string error;
  auto k = ParseVia("kannel:http://h:13013/cgi-bin/sendsms?username=u&password=s%26cret&smsc=x", {}, &error);
  ASSERT_TRUE(k) << error;
  EXPECT_EQ(k->user, "u");
  EXPECT_EQ(k->password, "s&cret");
  EXPECT_EQ(k->url, "http://h:13013/cgi-bin/sendsms?smsc=x");
  EXPECT_EQ(k->name.find("cret"), std::string::npos) << k->name;

  QTemporaryDir dir;
  const std::string file = dir.filePath("password").toStdString();
  QFile f(QString::fromStdString(file));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("s3cret\nsecond line\n");
  f.close();
  struct Mode {
    mode_t mode;
    const char* refusal;  // nullptr: read
  };
  for (const Mode& m : {Mode{0600, nullptr}, Mode{0400, nullptr}, Mode{0640, "chmod 600"}, Mode{0604, "chmod 600"},
                        Mode{0620, "chmod 600"}}) {
    ::chmod(file.c_str(), m.mode);
    error.clear();
    const std::string password = PasswordFromFile(file, &error);
    if (m.refusal) {
      EXPECT_EQ(password, "") << std::oct << m.mode;
      EXPECT_NE(error.find(m.refusal), std::string::npos) << error;
    } else {
      EXPECT_EQ(password, "s3cret") << std::oct << m.mode << ": " << error;
    }
  }
  ::chmod(file.c_str(), 0600);
  const std::string link = dir.filePath("link").toStdString();
  ASSERT_EQ(::symlink(file.c_str(), link.c_str()), 0);
  error.clear();
  EXPECT_EQ(PasswordFromFile(link, &error), "") << "never through a link";
  if (::geteuid() == 0) {
    // Another user's file, though private, is not ours to trust.
    ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
    error.clear();
    EXPECT_EQ(PasswordFromFile(file, &error), "");
    EXPECT_NE(error.find("another user"), std::string::npos) << error;
  }
}

TEST(GatewayText, NothingAGatewayWritesControlsTheTerminal) {
  struct Case {
    std::string raw, shown;
  };
  for (const Case& c :
       {Case{"Invalid key (To)", "Invalid key (To)"}, Case{"\x1b]0;owned\x07\x1b[2Jfailed", "?]0;owned??[2Jfailed"},
        Case{"line\r\nbreak\ttab", "line  break tab"},
        Case{"\xc2\x9b"
             "31m red",
             "?31m red"},  // C1 CSI
        Case{"abc\xe2\x80\xae"
             "cba",
             "abc?cba"},                        // right-to-left override
        Case{"caf\xc3\xa9 \xff", "caf\xe9 ?"},  // é in code page 1252; a broken byte
        Case{std::string(300, 'x'), std::string(200, 'x') + "..."}})
    EXPECT_EQ(GatewayText(c.raw), c.shown) << c.raw;
  EXPECT_EQ(PrintableStatus("a\x1b[2J\x9d\x90z\x80"), "a?[2J??z\x80") << "the euro sign stays";
}

}  // namespace
}  // namespace mp::gateway
