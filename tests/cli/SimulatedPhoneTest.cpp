// The simulated phone as the application and mirapost-send start it: where
// its journal lives and with what mode, that the journal goes when it ends
// (unless a file was named), and that it does not outlive a parent that is
// killed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "phone/SimulatedPhone.h"

namespace {

// Sets (or, for a null value, unsets) an environment variable for a scope.
struct EnvScope {
  EnvScope(const char* name, const QByteArray& value)
      : name_(name), old_(qgetenv(name)), had_(qEnvironmentVariableIsSet(name)) {
    if (value.isNull()) {
      ::unsetenv(name);
    } else {
      ::setenv(name, value.constData(), 1);
    }
  }
  ~EnvScope() {
    if (had_) {
      ::setenv(name_, old_.constData(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  const char* name_;
  QByteArray old_;
  bool had_;
};

mode_t ModeOf(const QString& path) {
  struct stat st {};
  if (::lstat(path.toLocal8Bit().constData(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

bool Gone(pid_t pid, std::chrono::milliseconds within) {
  const auto end = std::chrono::steady_clock::now() + within;
  while (std::chrono::steady_clock::now() < end) {
    // Reparented and reaped, or at least no longer running.
    if (::kill(pid, 0) != 0) return true;
    char state = 0;
    if (FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r")) {
      if (std::fscanf(f, "%*d %*s %c", &state) != 1) state = 0;
      std::fclose(f);
    }
    if (state == 'Z' || state == 'X') return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

TEST(SimulatedPhoneJournal, PrivateFolderModeAndRemoval) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString runtime = dir.filePath("runtime"), tmp = dir.filePath("tmp"), open = dir.filePath("open");
  for (const QString& d : {runtime, tmp, open}) ASSERT_TRUE(QDir().mkpath(d));
  ::chmod(runtime.toLocal8Bit().constData(), 0700);
  ::chmod(open.toLocal8Bit().constData(), 0777);
  struct Case {
    const char* what;
    QByteArray runtimeDir;  // null: unset
    QString expectedBase;
  } cases[] = {
      {"in XDG_RUNTIME_DIR", runtime.toLocal8Bit(), runtime},
      {"without XDG_RUNTIME_DIR", QByteArray(), tmp},
      {"XDG_RUNTIME_DIR others may enter", open.toLocal8Bit(), tmp},
  };
  const EnvScope tmpdir("TMPDIR", tmp.toLocal8Bit());
  for (const Case& c : cases) {
    const EnvScope env("XDG_RUNTIME_DIR", c.runtimeDir);
    mp::SimulatedPhone phone;
    std::string error;
    ASSERT_TRUE(phone.Start(7, &error)) << c.what << ": " << error;
    const QString journal = phone.Journal();
    const QString folder = QFileInfo(journal).path();
    EXPECT_EQ(QFileInfo(folder).path(), c.expectedBase) << c.what << ": " << journal.toStdString();
    EXPECT_EQ(ModeOf(folder), 0700u) << c.what;
    EXPECT_EQ(ModeOf(journal), 0600u) << c.what;
    EXPECT_FALSE(phone.KeepsJournal()) << c.what;
    phone.Stop();
    EXPECT_FALSE(QFileInfo::exists(journal)) << c.what;
    EXPECT_FALSE(QFileInfo::exists(folder)) << c.what;
  }
  // A file the caller names is kept, and made 0600.
  const QString kept = dir.filePath("kept.jsonl");
  mp::SimulatedPhone phone;
  std::string error;
  ASSERT_TRUE(phone.Start(7, &error, {}, kept)) << error;
  EXPECT_TRUE(phone.KeepsJournal());
  phone.Stop();
  EXPECT_TRUE(QFileInfo::exists(kept));
  EXPECT_EQ(ModeOf(kept), 0600u);
  // Never through a planted link.
  const QString secret = dir.filePath("secret"), link = dir.filePath("link.jsonl");
  ASSERT_EQ(::symlink(secret.toLocal8Bit().constData(), link.toLocal8Bit().constData()), 0);
  EXPECT_FALSE(phone.Start(7, &error, {}, link)) << "the simulated phone refuses a journal that is a link";
  phone.Stop();
  EXPECT_FALSE(QFileInfo::exists(secret));
}

// --journal FILE appends only to a regular file of the user's own: never to
// one another user planted, a FIFO that would hold the phone, or a folder.
TEST(SimulatedPhoneJournal, OnlyAFileOfTheUsersOwn) {
  QTemporaryDir dir;
  struct Case {
    const char* name;
    void (*make)(const QByteArray& path);
    const char* said;
  };
  std::vector<Case> cases = {
      {"a FIFO", [](const QByteArray& p) { ASSERT_EQ(::mkfifo(p.constData(), 0666), 0); }, "is not a regular file"},
      {"a folder", [](const QByteArray& p) { ASSERT_EQ(::mkdir(p.constData(), 0777), 0); }, "is not a regular file"},
      {"a link to a file of ours",
       [](const QByteArray& p) { ASSERT_EQ(::symlink((p + ".real").constData(), p.constData()), 0); },
       "is a symbolic link"},
  };
  if (::geteuid() == 0) {
    cases.push_back({"another user's file",
                     [](const QByteArray& p) {
                       const int fd = ::open(p.constData(), O_WRONLY | O_CREAT | O_EXCL, 0666);
                       ASSERT_GE(fd, 0);
                       ::close(fd);
                       ASSERT_EQ(::chown(p.constData(), 65534, 65534), 0);
                     },
                     "belongs to another user (uid 65534)"});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QString path = dir.filePath(QString(c.name).replace(' ', '-'));
    c.make(path.toLocal8Bit());
    mp::SimulatedPhone phone;
    std::string error;
    EXPECT_FALSE(phone.Start(7, &error, {}, path));
    EXPECT_NE(error.find(c.said), std::string::npos) << error;
    phone.Stop();
  }
  if (::geteuid() != 0) GTEST_SKIP() << "a file of another user needs root: that case runs in the root pass";
}

// A parent killed with SIGKILL takes the simulated phone with it, and its
// journal goes too.
TEST(SimulatedPhoneJournal, EndsWhenItsParentIsKilled) {
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  const pid_t parent = ::fork();
  ASSERT_GE(parent, 0);
  if (parent == 0) {
    ::close(pipeFds[0]);
    mp::SimulatedPhone phone;
    std::string error;
    pid_t sim = 0;
    if (phone.Start(8, &error)) {
      // The simulated phone is our only child: find it.
      const std::string children = "/proc/" + std::to_string(::getpid()) + "/task/" +
                                   std::to_string(::getpid()) + "/children";
      if (FILE* f = std::fopen(children.c_str(), "r")) {
        if (std::fscanf(f, "%d", &sim) != 1) sim = 0;
        std::fclose(f);
      }
    }
    const QByteArray journal = phone.Journal().toLocal8Bit();
    (void)!::write(pipeFds[1], &sim, sizeof sim);
    (void)!::write(pipeFds[1], journal.constData(), static_cast<size_t>(journal.size()));
    ::close(pipeFds[1]);
    for (;;) ::pause();
  }
  ::close(pipeFds[1]);
  pid_t sim = 0;
  ASSERT_EQ(::read(pipeFds[0], &sim, sizeof sim), static_cast<ssize_t>(sizeof sim));
  char buf[4096];
  const ssize_t n = ::read(pipeFds[0], buf, sizeof buf);
  ::close(pipeFds[0]);
  const QString journal = QString::fromLocal8Bit(buf, n > 0 ? n : 0);
  ASSERT_GT(sim, 0);
  EXPECT_TRUE(QFileInfo::exists(journal)) << journal.toStdString();
  ::kill(parent, SIGKILL);
  ::waitpid(parent, nullptr, 0);
  EXPECT_TRUE(Gone(sim, std::chrono::milliseconds(1500))) << "the simulated phone outlived its parent";
  EXPECT_FALSE(QFileInfo::exists(journal));
  EXPECT_FALSE(QFileInfo::exists(QFileInfo(journal).path()));
}

}  // namespace
