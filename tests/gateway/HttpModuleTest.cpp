// The network module as an installation has it, or lacks it: mirapost-send
// copied into a folder of its own finds the module beside it or in
// ../lib/mirapost/modules, and says plainly when it is missing or broken, without
// reporting the message as sent.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

struct Layout {
  const char* name;
  const char* moduleAt;  // where the module goes, relative to bin/ ("" none)
  bool broken;           // a file of that name that is no library
  const char* said;      // wanted on standard error
};

TEST(HttpModule, FoundWhereInstalledAndMissingOrBrokenIsSaid) {
  const Layout layouts[] = {
      {"installed", "../lib/mirapost/modules", false, "Connection refused"},
      {"beside the program", ".", false, "Connection refused"},
      {"missing", "", false, "the network module (mirapost-http.so) is not installed"},
      {"broken", "../lib/mirapost/modules", true, "the network module (mirapost-http.so) cannot be loaded"},
  };
  for (const Layout& l : layouts) {
    SCOPED_TRACE(l.name);
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QDir bin(root.filePath("bin"));
    ASSERT_TRUE(QDir().mkpath(bin.path()));
    ASSERT_TRUE(QFile::copy(MP_BINARY_DIR "/src/mirapost-send", bin.filePath("mirapost-send")));
    if (*l.moduleAt) {
      const QString dir = QDir::cleanPath(bin.filePath(l.moduleAt));
      ASSERT_TRUE(QDir().mkpath(dir));
      const QString module = dir + "/mirapost-http.so";
      if (l.broken) {
        QFile f(module);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a library\n");
      } else {
        ASSERT_TRUE(QFile::copy(MP_BINARY_DIR "/src/mirapost-http.so", module));
      }
    }
    QProcess send;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", root.filePath("config"));
    env.insert("XDG_DATA_HOME", root.filePath("data"));
    send.setProcessEnvironment(env);
    // Nothing listens on port 9 of this machine: the module, when found,
    // fails to connect.
    send.start(bin.filePath("mirapost-send"),
               {"--via", "kannel:http://127.0.0.1:9/cgi-bin/sendsms", "--wait", "5", "--to", "+12345", "text", "Hi"});
    ASSERT_TRUE(send.waitForFinished(20000));
    const QString err = QString::fromUtf8(send.readAllStandardError());
    EXPECT_EQ(send.exitCode(), 1) << err.toStdString();
    EXPECT_TRUE(err.contains(l.said)) << err.toStdString();
  }
}

}  // namespace
