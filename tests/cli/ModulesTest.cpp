// The program's modules as an installation has them, or lacks them:
// mirapost-send copied into a bin/ folder of its own finds each module beside
// it or in ../lib/mirapost/modules, and says plainly when one is missing or
// broken. A missing record module costs the record, never the message.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

enum class Way { Kannel, Smstools };

struct Layout {
  const char* name;
  const char* modulesAt;  // where both modules go, relative to bin/ ("" none)
  const char* broken;     // a module replaced by a file that is no library ("" none)
  Way way;
  int exit;
  const char* said;  // wanted on standard error
};

TEST(Modules, FoundWhereInstalledAndMissingOrBrokenIsSaid) {
  const char* kModules[] = {"mirapost-http.so", "mirapost-record.so"};
  const Layout layouts[] = {
      // Nothing listens on port 9 here: a loaded network module fails to connect.
      {"installed", "../lib/mirapost/modules", "", Way::Kannel, 1, "Connection refused"},
      {"beside the program", ".", "", Way::Kannel, 1, "Connection refused"},
      {"none", "", "", Way::Kannel, 1, "the network module (mirapost-http.so) is not installed"},
      {"broken network module", "../lib/mirapost/modules", "mirapost-http.so", Way::Kannel, 1,
       "the network module (mirapost-http.so) cannot be loaded"},
      // The spool is not served: the message stays queued (5), and the record
      // cannot keep it.
      {"record module missing", "", "", Way::Smstools, 5,
       "the record module (mirapost-record.so) is not installed"},
      {"record module broken", "../lib/mirapost/modules", "mirapost-record.so", Way::Smstools, 5,
       "the record module (mirapost-record.so) cannot be loaded"},
  };
  for (const Layout& l : layouts) {
    SCOPED_TRACE(l.name);
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QDir bin(root.filePath("bin"));
    ASSERT_TRUE(QDir().mkpath(bin.path()));
    ASSERT_TRUE(QFile::copy(MP_BINARY_DIR "/src/mirapost-send", bin.filePath("mirapost-send")));
    if (*l.modulesAt) {
      const QString dir = QDir::cleanPath(bin.filePath(l.modulesAt));
      ASSERT_TRUE(QDir().mkpath(dir));
      for (const char* module : kModules) {
        const QString path = dir + "/" + module;
        if (QString(l.broken) == module) {
          QFile f(path);
          ASSERT_TRUE(f.open(QIODevice::WriteOnly));
          f.write("not a library\n");
        } else {
          ASSERT_TRUE(QFile::copy(QString(MP_BINARY_DIR "/src/") + module, path));
        }
      }
    }
    QStringList args;
    if (l.way == Way::Kannel) {
      args = {"--via", "kannel:http://127.0.0.1:9/cgi-bin/sendsms", "--wait", "5"};
    } else {
      const QString spool = root.filePath("spool");
      ASSERT_TRUE(QDir().mkpath(spool + "/outgoing"));
      args = {"--via", "smstools:" + spool, "--wait", "1"};
    }
    QProcess send;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", root.filePath("config"));
    env.insert("XDG_DATA_HOME", root.filePath("data"));
    send.setProcessEnvironment(env);
    send.start(bin.filePath("mirapost-send"), args + QStringList{"--to", "+12345", "text", "Hi"});
    ASSERT_TRUE(send.waitForFinished(20000));
    const QString err = QString::fromUtf8(send.readAllStandardError());
    EXPECT_EQ(send.exitCode(), l.exit) << err.toStdString();
    EXPECT_TRUE(err.contains(l.said)) << err.toStdString();
  }
}

}  // namespace
