// The program's modules as an installation has them, or lacks them:
// mirapost-send copied into a bin/ folder of its own takes each module from
// ../lib/mirapost/modules alone, and says plainly when one is missing,
// broken or not to be trusted. A missing record module costs the record,
// never the message. Modules planted in any other folder near the program
// are never loaded.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <functional>

namespace {

const char* const kModules[] = {"mirapost-http.so", "mirapost-picture.so", "mirapost-record.so"};
constexpr uid_t kNobody = 65534;

// An installation under a temporary PREFIX: bin/mirapost-send, and the
// modules wherever a case puts them.
struct Prefix {
  QTemporaryDir root;
  QDir bin{root.filePath("bin")};

  Prefix() {
    QDir().mkpath(bin.path());
    QFile::copy(MP_BINARY_DIR "/src/mirapost-send", bin.filePath("mirapost-send"));
  }
  QString At(const QString& relative) const { return QDir::cleanPath(bin.filePath(relative)); }
  // The real modules copied into `relative` (to bin/); the path of the folder.
  QString Put(const QString& relative) const {
    const QString dir = At(relative);
    QDir().mkpath(dir);
    for (const char* module : kModules) QFile::copy(QString(MP_BINARY_DIR "/src/") + module, dir + "/" + module);
    return dir;
  }
  // Runs a send through Kannel (nothing listens on port 9: a loaded network
  // module fails to connect; the record module keeps the failure); the exit
  // status and stderr.
  std::pair<int, QString> Send(const QString& cwd = {}) const {
    const QStringList args = {"--via", "kannel:http://127.0.0.1:9/cgi-bin/sendsms", "--wait", "5"};
    QProcess send;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", root.filePath("config"));
    env.insert("XDG_DATA_HOME", root.filePath("data"));
    send.setProcessEnvironment(env);
    if (!cwd.isEmpty()) send.setWorkingDirectory(cwd);
    send.start(bin.filePath("mirapost-send"), args + QStringList{"--to", "+12345", "text", "Hi"});
    if (!send.waitForFinished(20000)) return {-1, "did not end"};
    return {send.exitCode(), QString::fromUtf8(send.readAllStandardError())};
  }
};

struct Layout {
  const char* name;
  std::function<void(const Prefix&)> make;
  int exit;
  const char* said;  // wanted on standard error
};

void Check(const Layout& l, const Prefix& p, const QString& cwd = {}) {
  SCOPED_TRACE(l.name);
  l.make(p);
  const auto [exit, err] = p.Send(cwd);
  EXPECT_EQ(exit, l.exit) << err.toStdString();
  EXPECT_TRUE(err.contains(l.said)) << err.toStdString();
}

void Break(const QString& path) {
  QFile::remove(path);
  QFile f(path);
  f.open(QIODevice::WriteOnly);
  f.write("not a library\n");
}

TEST(Modules, FoundWhereInstalledAndMissingOrBrokenIsSaid) {
  const QString installed = "../lib/mirapost/modules";
  const Layout layouts[] = {
      {"installed", [&](const Prefix& p) { p.Put(installed); }, 1, "Connection refused"},
      // (The build tree has both modules: an installed program never takes them.)
      {"none", [](const Prefix&) {}, 1, "the network module (mirapost-http.so) is not installed"},
      {"broken network module", [&](const Prefix& p) { Break(p.Put(installed) + "/mirapost-http.so"); }, 1,
       "the network module (mirapost-http.so) cannot be loaded"},
      // The message still goes (and fails on the closed port); the record
      // cannot keep it, and says so.
      {"record module missing", [](const Prefix&) {}, 1, "the record module (mirapost-record.so) is not installed"},
      {"record module broken", [&](const Prefix& p) { Break(p.Put(installed) + "/mirapost-record.so"); }, 1,
       "the record module (mirapost-record.so) cannot be loaded"},
  };
  for (const Layout& l : layouts) Check(l, Prefix());
}

// The logo's pictures are read by a module of their own (Qt Gui): an
// installed program reads one through it, and without it says that it
// cannot, never sending a blank logo instead.
TEST(Modules, PictureReadThroughItsModule) {
  struct Case {
    const char* name;
    bool installed;
    int exit;
    const char* said;  // on standard output when it went, else on standard error
  };
  const Case cases[] = {
      {"installed", true, 0, "06050415821582"},
      {"missing", false, 2, "cannot read pictures: the picture module (mirapost-picture.so) is not installed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Prefix p;
    if (c.installed) p.Put("../lib/mirapost/modules");
    const QString picture = p.root.filePath("logo.png");
    QFile f(picture);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    // A 1 x 1 black PNG.
    f.write(QByteArray::fromBase64("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAAAAAA6fptVAAAACklEQVR4nGNgAAAAAgABSK+kcQAAAABJRU5ErkJggg=="));
    f.close();
    QProcess send;
    send.start(p.bin.filePath("mirapost-send"),
               {"--dry-run", "--to", "+12345", "logo", "--operator", "244-05", "--picture", picture});
    ASSERT_TRUE(send.waitForFinished(20000));
    const QString out = QString::fromUtf8(c.exit == 0 ? send.readAllStandardOutput() : send.readAllStandardError());
    EXPECT_EQ(send.exitCode(), c.exit) << out.toStdString();
    EXPECT_TRUE(out.contains(c.said)) << out.toStdString();
    // All dark: no blank logo went in its place.
    if (c.exit == 0) {
      EXPECT_TRUE(out.contains(QString(252, 'F'))) << out.toStdString();
    }
  }
}

TEST(Modules, PlantedNearTheProgramNeverLoaded) {
  // Each a folder another user might write: a module there would run as
  // whoever sends.
  for (const char* place : {".", "../src", "..", "../lib", "../lib/mirapost", "../lib/modules", "../libexec/mirapost",
                            "../src/modules", "cwd"}) {
    SCOPED_TRACE(place);
    Prefix p;
    QString cwd;
    if (QString(place) == "cwd") {
      cwd = p.root.filePath("work");
      p.Put("../work");
    } else {
      p.Put(place);
    }
    const auto [exit, err] = p.Send(cwd);
    EXPECT_EQ(exit, 1);
    for (const char* want : {"the network module (mirapost-http.so) is not installed",
                             "the record module (mirapost-record.so) is not installed"})
      EXPECT_TRUE(err.contains(want)) << err.toStdString();
    EXPECT_FALSE(err.contains("Connection refused")) << "the planted network module ran";
  }
}

TEST(Modules, OthersCouldHaveWrittenThemRefused) {
  const QString installed = "../lib/mirapost/modules";
  const QString http = installed + "/mirapost-http.so";
  std::vector<Layout> layouts = {
      {"module writable by all",
       [&](const Prefix& p) {
         p.Put(installed);
         ::chmod(qPrintable(p.At(http)), 0666);
       },
       1, "mirapost-http.so may be written by every user"},
      {"folder writable by all, even sticky", [&](const Prefix& p) { ::chmod(qPrintable(p.Put(installed)), 01777); }, 1,
       "modules may be written by every user"},
  };
  if (::geteuid() == 0) {
    // Files of another user; only root can make them.
    layouts.push_back({"module of another user",
                       [&](const Prefix& p) {
                         p.Put(installed);
                         ASSERT_EQ(::chown(qPrintable(p.At(http)), kNobody, kNobody), 0);
                       },
                       1, "belongs to another user (uid 65534)"});
    layouts.push_back({"link of another user",
                       [&](const Prefix& p) {
                         const QString elsewhere = p.Put("../elsewhere");
                         QDir().mkpath(p.At(installed));
                         const QString link = p.At(http);
                         ASSERT_EQ(::symlink(qPrintable(elsewhere + "/mirapost-http.so"), qPrintable(link)), 0);
                         ASSERT_EQ(::lchown(qPrintable(link), kNobody, kNobody), 0);
                       },
                       1, "is a link that belongs to another user"});
  }
  for (const Layout& l : layouts) Check(l, Prefix());
  if (::geteuid() != 0) GTEST_SKIP() << "files of another user need root: those cases run in the root pass";
}

// The simulated phone is a program of ours too: an installed mirapost-send
// runs it from ../libexec/mirapost alone, never one planted beside it or in
// the folders a build tree has.
TEST(Modules, PlantedSimulatedPhoneNeverRun) {
  Prefix p;
  const QString marker = p.root.filePath("ran");
  for (const char* place : {".", "../tools/phonesim", "../src"}) {
    const QString dir = p.At(place);
    QDir().mkpath(dir);
    QFile f(dir + "/mirapost-phonesim");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(("#!/bin/sh\ntouch '" + marker + "'\n").toUtf8());
    f.close();
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }
  QProcess send;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("PATH", p.root.filePath("nowhere"));
  env.insert("XDG_CONFIG_HOME", p.root.filePath("config"));
  env.insert("XDG_DATA_HOME", p.root.filePath("data"));
  send.setProcessEnvironment(env);
  send.start(p.bin.filePath("mirapost-send"), {"--simulated-phone", "--to", "+12345", "text", "Hi"});
  ASSERT_TRUE(send.waitForFinished(20000));
  const QString err = QString::fromUtf8(send.readAllStandardError());
  EXPECT_TRUE(err.contains("the simulated phone (mirapost-phonesim) is not installed")) << err.toStdString();
  EXPECT_FALSE(QFile::exists(marker)) << "a planted simulated phone ran";
}

}  // namespace
