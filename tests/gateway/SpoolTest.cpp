// smsd's spool folder against another user: folders others may write are
// refused, links are never followed, and a result file counts only when it
// holds what smsd writes about our own message. Cases that need a file of
// another user run as root (chown to nobody); the unprivileged pass skips
// them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

#include "gateway/GatewayLink.h"
#include "gateway/Spool.h"

namespace mp::gateway {
namespace {

constexpr uid_t kNobody = 65534;
const std::string kOurs = "To: 1234567\nText_is_pdu: yes\n\n0011000C915348103254760000A905E8329BFD06\n";
// What smsd makes of it (as a real smsd wrote it).
const std::string kSent =
    "To: 1234567\nText_is_pdu: yes\nModem: GSM1\nSent: 26-12-08 09:23:27\nSending_time: 1\nIMSI: 244050000000001\n"
    "\n0011000C915348103254760000A905E8329BFD06\n";
const std::string kFailed =
    "To: 1234567\nText_is_pdu: yes\nModem: GSM1\nFail_reason: Invalid key (To) for text_is_pdu\n"
    "Failed: 26-12-08 09:23:25\n\n0011000C915348103254760000A905E8329BFD06\n";

void Write(const QString& path, const std::string& text, int mode = 0644) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
  f.write(text.data(), static_cast<qint64>(text.size()));
  f.close();
  ::chmod(qPrintable(path), static_cast<mode_t>(mode));
}

struct SpoolDir {
  QTemporaryDir dir;
  SpoolDir() {
    for (const char* sub : {"outgoing", "checked", "sent", "failed"}) QDir(dir.path()).mkdir(sub);
  }
  QString Path(const QString& sub) const { return dir.path() + "/" + sub; }
  std::string Root() const { return dir.path().toStdString(); }
};

TEST(Spool, FoldersOthersMayWriteAreRefused) {
  const SpoolWriters w = SpoolWriters::For(::geteuid(), 4100);
  const gid_t smsdGroup = 4100, other = 4242;
  const uid_t stranger = ::geteuid() == 65533 ? 65532 : 65533;
  struct Case {
    const char* name;
    uid_t uid;
    gid_t gid;
    mode_t mode;
    const char* problem;  // "" when the folder is fine
  };
  for (const Case& k : {
           Case{"ours", ::geteuid(), other, 0755, ""},
           Case{"Debian's: smsd's group, set-group-id and sticky", ::geteuid(), smsdGroup, 03775, ""},
           Case{"every user", ::geteuid(), smsdGroup, 0777, "may be written by every user"},
           Case{"every user, even sticky", ::geteuid(), smsdGroup, 01777, "may be written by every user"},
           Case{"a group that is not smsd's", ::geteuid(), other, 0775, "which is not smsd's"},
           Case{"another user's", stranger, smsdGroup, 0755, "who is neither smsd nor you"},
           Case{"root's", 0, 0, 0755, ""},
       }) {
    EXPECT_NE(w.FolderProblem(k.uid, k.gid, k.mode).find(k.problem), std::string::npos) << k.name;
    if (!*k.problem) {
      EXPECT_EQ(w.FolderProblem(k.uid, k.gid, k.mode), "") << k.name;
    }
  }
}

TEST(Spool, PlantedOrOpenFoldersNeverTakeTheMessage) {
  struct Case {
    const char* name;
    std::function<void(const SpoolDir&)> plant;
    const char* said;
  };
  std::vector<Case> cases = {
      {"no outgoing", [](const SpoolDir& s) { QDir(s.Path("outgoing")).removeRecursively(); }, "does not exist"},
      {"outgoing a link to a folder of ours",
       [](const SpoolDir& s) {
         QDir(s.Path("outgoing")).removeRecursively();
         QDir().mkpath(s.Path("private"));
         ::symlink(qPrintable(s.Path("private")), qPrintable(s.Path("outgoing")));
       },
       "is a link or no folder"},
      {"outgoing writable by all", [](const SpoolDir& s) { ::chmod(qPrintable(s.Path("outgoing")), 01777); },
       "may be written by every user"},
      {"sent writable by all", [](const SpoolDir& s) { ::chmod(qPrintable(s.Path("sent")), 0777); },
       "sent may be written by every user"},
      {"the spool itself writable by all", [](const SpoolDir& s) { ::chmod(qPrintable(s.dir.path()), 0777); },
       "may be written by every user"},
  };
  if (::geteuid() == 0) {
    cases.push_back({"the spool a link of another user",
                     [](const SpoolDir& s) {
                       const QString real = s.dir.path() + ".real";
                       QDir().rename(s.dir.path(), real);
                       ::symlink(qPrintable(real), qPrintable(s.dir.path()));
                       ::lchown(qPrintable(s.dir.path()), kNobody, kNobody);
                     },
                     "is a link that belongs to nobody"});
    cases.push_back({"outgoing of another user",
                     [](const SpoolDir& s) { ASSERT_EQ(::chown(qPrintable(s.Path("outgoing")), kNobody, kNobody), 0); },
                     "who is neither smsd nor you"});
  }
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    SpoolDir s;
    k.plant(s);
    Spool spool;
    std::string error;
    EXPECT_FALSE(spool.Open(s.Root(), &error));
    EXPECT_NE(error.find(k.said), std::string::npos) << error;
    EXPECT_TRUE(QDir(s.Path("private")).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    QDir(s.dir.path() + ".real").removeRecursively();
  }
  if (::geteuid() != 0) GTEST_SKIP() << "a folder of another user needs root: that case runs in the root pass";
}

TEST(Spool, QueuedWholeAndReadableThenWithdrawn) {
  SpoolDir s;
  Spool spool;
  std::string error;
  ASSERT_TRUE(spool.Open(s.Root(), &error)) << error;
  ::umask(077);
  const std::string name = spool.Queue(kOurs, &error);
  ::umask(022);
  ASSERT_FALSE(name.empty()) << error;
  const QStringList left = QDir(s.Path("outgoing")).entryList(QDir::Files | QDir::Hidden);
  EXPECT_EQ(left, QStringList{QString::fromStdString(name)}) << "no hidden temporary stays behind";
  struct stat st {};
  ASSERT_EQ(::stat(qPrintable(s.Path("outgoing/") + QString::fromStdString(name)), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u) << "smsd's user must read it";
  EXPECT_EQ(spool.Follow(name, kOurs).state, SpoolState::Waiting);
  EXPECT_EQ(spool.Withdraw(name), Withdrawal::Withdrawn);
  EXPECT_TRUE(QDir(s.Path("outgoing")).isEmpty());
  EXPECT_EQ(spool.Withdraw(name), Withdrawal::Taken) << "gone: smsd has it";
}

// smsd's notifier wakes smsd for a file renamed into outgoing/ or closed
// there after writing; a file that only appears under a second name (a
// link) waits for smsd's next look, seconds later.
TEST(Spool, QueuedFileWakesSmsdsNotifier) {
  SpoolDir s;
  Spool spool;
  std::string error;
  ASSERT_TRUE(spool.Open(s.Root(), &error)) << error;
  const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(::inotify_add_watch(watch, qPrintable(s.Path("outgoing")), IN_MOVED_TO | IN_CLOSE_WRITE), 0);
  const std::string name = spool.Queue(kOurs, &error);
  ASSERT_FALSE(name.empty()) << error;
  alignas(inotify_event) char buffer[4096];
  const ssize_t n = ::read(watch, buffer, sizeof buffer);
  ::close(watch);
  bool woken = false;
  for (ssize_t at = 0; at < n;) {
    const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
    if (e->len > 0 && name == e->name) woken = true;
    at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
  }
  EXPECT_TRUE(woken) << "nothing told smsd about " << name;
}

TEST(Spool, OnlyWhatSmsdWroteIsBelieved) {
  struct Case {
    const char* name;
    const char* sub;  // where the "result" is
    std::function<void(const QString& path)> make;
    SpoolState state;
    const char* distrust;  // "" when believed
  };
  const std::string big = "To: 1234567\nText_is_pdu: yes\nSent: x\n\n" + std::string(70000, 'A');
  std::vector<Case> cases = {
      {"smsd's sent file", "sent", [](const QString& p) { Write(p, kSent); }, SpoolState::Sent, ""},
      {"smsd's failed file", "failed", [](const QString& p) { Write(p, kFailed); }, SpoolState::Failed, ""},
      {"empty", "sent", [](const QString& p) { Write(p, ""); }, SpoolState::Waiting, "is empty"},
      {"another message", "sent", [](const QString& p) { Write(p, "To: 666\nSent: now\n\nforged\n"); },
       SpoolState::Waiting, "does not hold the message we queued"},
      {"ours without smsd's line", "sent", [](const QString& p) { Write(p, kOurs); }, SpoolState::Waiting,
       "has no \"Sent:\" line"},
      {"writable by all", "sent", [](const QString& p) { Write(p, kSent, 0666); }, SpoolState::Waiting,
       "may be written by every user"},
      {"too large", "sent", [&](const QString& p) { Write(p, big); }, SpoolState::Waiting, "is larger"},
      {"a link to smsd's file", "sent",
       [](const QString& p) {
         Write(p + ".real", kSent);
         ::symlink(qPrintable(p + ".real"), qPrintable(p));
       },
       SpoolState::Waiting, "is a link"},
      // Opened without O_NONBLOCK these would hold us in open() for good.
      {"a FIFO as sent", "sent", [](const QString& p) { ::mkfifo(qPrintable(p), 0644); }, SpoolState::Waiting,
       "is not a regular file"},
      {"a FIFO as failed", "failed", [](const QString& p) { ::mkfifo(qPrintable(p), 0644); }, SpoolState::Waiting,
       "is not a regular file"},
      {"a forged failure", "failed", [](const QString& p) { Write(p, "Fail_reason: retry me\n\nx\n"); },
       SpoolState::Waiting, "does not hold the message we queued"},
  };
  if (::geteuid() == 0) {
    cases.push_back({"another user's", "sent",
                     [](const QString& p) {
                       Write(p, kSent);
                       ASSERT_EQ(::chown(qPrintable(p), kNobody, kNobody), 0);
                     },
                     SpoolState::Waiting, "belongs to"});
  }
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    SpoolDir s;
    Spool spool;
    std::string error;
    ASSERT_TRUE(spool.Open(s.Root(), &error)) << error;
    const std::string name = spool.Queue(kOurs, &error);
    ASSERT_FALSE(name.empty()) << error;
    k.make(s.Path(k.sub) + "/" + QString::fromStdString(name));
    SpoolStatus st = spool.Follow(name, kOurs);
    EXPECT_EQ(st.state, k.state);
    if (*k.distrust) {
      EXPECT_NE(st.distrust.find(std::string(k.sub) + "/" + name + " " + k.distrust), std::string::npos) << st.distrust;
      // smsd took it meanwhile: nothing tells what became of it.
      QFile::remove(s.Path("outgoing/") + QString::fromStdString(name));
      EXPECT_EQ(spool.Follow(name, kOurs).state, SpoolState::Gone);
    } else {
      EXPECT_EQ(st.distrust, "");
    }
    if (k.state == SpoolState::Failed) {
      EXPECT_EQ(st.failReason, "Invalid key (To) for text_is_pdu");
    }
  }
  if (::geteuid() != 0) GTEST_SKIP() << "a file of another user needs root: that case runs in the root pass";
}

struct Host : PhoneHost {
  int PortIndex() const override { return -1; }
  void ShowStatus(const std::string& t) override { statuses.push_back(t); }
  void Beep(BeepKind) override {}
  void SetWaitCursor(bool) override {}
  std::vector<std::string> statuses;
};

TEST(Spool, AForgedSentFileNeverMakesASuccess) {
  SpoolDir s;
  Config c;
  c.name = "office";
  c.spool = s.Root();
  c.pduKey = "1234567";
  TransferSettings settings;
  settings.DestAddress = "0C91534810325476";
  Host host;
  GatewayLink link(host, c, std::chrono::milliseconds(300));
  // Another member of smsd's group takes the file and writes a "sent" one.
  QTimer forger;
  QObject::connect(&forger, &QTimer::timeout, [&] {
    for (const QString& f : QDir(s.Path("outgoing")).entryList(QDir::Files)) {
      QFile::remove(s.Path("outgoing/") + f);
      Write(s.Path("sent/") + f, "Sent: 26-12-08 09:23:27\n\n");
    }
  });
  forger.start(10);
  const LinkResult r = link.Send(settings, false, "0000A905E8329BFD06");
  EXPECT_EQ(r.outcome, Outcome::Unconfirmed);
  EXPECT_NE(host.statuses.back().find("it may have been sent (sent/"), std::string::npos) << host.statuses.back();
}

}  // namespace
}  // namespace mp::gateway
