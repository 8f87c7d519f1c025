// mirapost-send --via --json: an object through a gateway carries what the
// manual promises for every object, "changes", and "cause" for a message that
// did not go through.
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTimer>

#include "CliRun.h"

namespace {

class ViaJsonTest : public CliFixture {};

TEST_F(ViaJsonTest, GatewayObjectsHaveChangesAndCause) {
  const QString spool = Path("spool");
  for (const char* sub : {"outgoing", "sent", "failed"}) ASSERT_TRUE(QDir().mkpath(spool + "/" + sub));
  struct Case {
    const char* movesTo;  // where "smsd" puts the file
    const char* adds;     // the lines smsd adds to its header
    const char* result;
    const char* cause;  // "" for none
  } cases[] = {{"sent", "Sent: 26-12-08 09:23:27\n", "sent", ""},
               {"failed", "Fail_reason: Invalid key\nFailed: 26-12-08 09:23:25\n", "failed", "gateway"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.movesTo);
    QTimer smsd;
    QObject::connect(&smsd, &QTimer::timeout, [&] {
      for (const QString& f : QDir(spool + "/outgoing").entryList(QDir::Files)) {
        QFile in(spool + "/outgoing/" + f);
        if (!in.open(QIODevice::ReadOnly)) continue;
        QByteArray text = in.readAll();
        in.remove();
        text.insert(text.indexOf("\n\n") + 1, c.adds);
        QFile out(spool + "/" + c.movesTo + "/" + f);
        if (out.open(QIODevice::WriteOnly)) out.write(text);
      }
    });
    smsd.start(10);
    const CliResult r =
        RunCli({"--json", "--via", "smstools:" + spool, "--wait", "5", "--to", "+12345", "text", "a€b"});
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 1u) << r.err;
    const QJsonObject j = JsonLine(lines[0]);
    EXPECT_EQ(j["result"].toString().toStdString(), c.result) << lines[0];
    const QJsonArray changes = j["changes"].toArray();
    ASSERT_EQ(changes.size(), 1) << lines[0];
    EXPECT_EQ(changes[0].toObject()["from"].toString(), QString::fromUtf8("€"));
    EXPECT_EQ(changes[0].toObject()["to"].toString(), "e");
    EXPECT_EQ(j.contains("cause"), *c.cause != 0) << lines[0];
    EXPECT_EQ(j["cause"].toString().toStdString(), c.cause);
  }
}

}  // namespace
