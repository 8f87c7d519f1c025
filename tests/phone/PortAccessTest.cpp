// Exclusive use of a serial line: why an open fails, UUCP lock files, other
// processes holding the device, and the exclusive mode given back at the
// close. Runs the same as root and as an ordinary user.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "Fakes.h"
#include "SimProcess.h"
#include "phone/PhoneLink.h"
#include "phone/PortAccess.h"

extern char** environ;

namespace mp::test {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string PidText(int pid) {
  char line[16];
  std::snprintf(line, sizeof line, "%10d\n", pid);
  return line;
}

// A process that has ended: its PID names nobody.
int DeadPid() {
  pid_t pid = ::fork();
  if (pid == 0) ::_exit(0);
  ::waitpid(pid, nullptr, 0);
  return pid;
}

// "sleep 30" with `stdinPath` (when given) open as its standard input.
struct Sleeper {
  pid_t pid = -1;
  explicit Sleeper(const std::string& stdinPath = "") {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!stdinPath.empty())
      posix_spawn_file_actions_addopen(&actions, 0, stdinPath.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK, 0);
    char arg0[] = "sleep", arg1[] = "30";
    char* argv[] = {arg0, arg1, nullptr};
    if (::posix_spawnp(&pid, "sleep", &actions, nullptr, argv, environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    // The child has the file open once its descriptor shows in /proc.
    for (int i = 0; i < 500 && pid > 0 && !stdinPath.empty(); ++i) {
      std::error_code ec;
      if (fs::read_symlink("/proc/" + std::to_string(pid) + "/fd/0", ec) == stdinPath) break;
      ::usleep(2000);
    }
  }
  ~Sleeper() {
    if (pid > 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }
};

// A pseudo-terminal of the test's own, and lock and process folders the test
// chooses.
class PortAccess : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(OpenPty(master, slave));
    lockDir = dir.path + "/lock";
    fs::create_directory(lockDir);
    saved = CurrentPortPaths();
    paths.lockDir = lockDir;
    SetPortPaths(paths);
  }
  void TearDown() override {
    SetPortPaths(saved);
    if (master >= 0) ::close(master);
  }
  std::string LockFile() const { return lockDir + "/" + UucpLock::FileName(slave); }

  TempDir dir;
  int master = -1;
  std::string slave;
  std::string lockDir;
  PortPaths paths;
  PortPaths saved;
};

TEST_F(PortAccess, EachReasonForARefusedOpen) {
  const std::string file = dir.path + "/plain";
  WriteFile(file, "not a line");
  struct Case {
    std::string device;
    PortError error;
    std::string text;
  } cases[] = {
      {"", PortError::NoPort, "No port is chosen."},
      {dir.path + "/ttyUSB9", PortError::NotFound, dir.path + "/ttyUSB9: does not exist."},
      {file + "/below", PortError::NotFound, file + "/below: does not exist."},
      {file, PortError::NotSerial, file + ": is not a serial device."},
      {dir.path, PortError::NotSerial, dir.path + ": is not a serial device."},
      {"/dev/null", PortError::NotSerial, "/dev/null: is not a serial device."},
  };
  for (const Case& c : cases) {
    auto line = MakePosixSerialLine();
    EXPECT_FALSE(line->Open(c.device)) << c.device;
    EXPECT_EQ(line->Failure().error, c.error) << c.device;
    EXPECT_EQ(DescribePortFailure(c.device, line->Failure()), c.text);
  }
}

TEST_F(PortAccess, PermissionDeniedNamesTheGroupToJoin) {
  // Only an ordinary user is refused by the file mode; root opens anyway.
  ASSERT_EQ(::chmod(slave.c_str(), 0), 0);
  auto line = MakePosixSerialLine();
  if (::geteuid() != 0) {
    EXPECT_FALSE(line->Open(slave));
    EXPECT_EQ(line->Failure().error, PortError::PermissionDenied);
  }
  EXPECT_EQ(DescribePortFailure("/nonexistent/ttyUSB0", {PortError::PermissionDenied, EACCES, {}}),
            "/nonexistent/ttyUSB0: permission denied.");
  struct stat st {};
  if (::stat("/dev/ttyS0", &st) == 0 && ::getgrgid(st.st_gid) &&
      std::string(::getgrgid(st.st_gid)->gr_name) == "dialout" && ::getegid() != st.st_gid) {
    gid_t groups[256];
    const int n = ::getgroups(256, groups);
    if (std::find(groups, groups + std::max(n, 0), st.st_gid) == groups + std::max(n, 0)) {
      EXPECT_EQ(DescribePortFailure("/dev/ttyS0", {PortError::PermissionDenied, EACCES, {}}),
                "/dev/ttyS0: permission denied; add your user to the dialout group and log in again.");
    }
  }
  struct {
    int errnum;
    PortError error;
  } errnos[] = {{ENOENT, PortError::NotFound}, {ENXIO, PortError::NotFound},
                {ENODEV, PortError::NotFound}, {EACCES, PortError::PermissionDenied},
                {EPERM, PortError::PermissionDenied}, {EBUSY, PortError::InUse},
                {ENOTTY, PortError::NotSerial}, {EIO, PortError::Other}};
  for (const auto& e : errnos) EXPECT_EQ(PortErrorFromErrno(e.errnum), e.error) << e.errnum;
}

TEST_F(PortAccess, LockFileCases) {
  const int self = static_cast<int>(::getpid());
  Sleeper other;
  ASSERT_GT(other.pid, 0);
  struct Case {
    const char* what;
    std::string before;  // lock file content; "-" for none
    bool acquired;
    int holder;
    bool ours;  // the lock file then holds our PID until Release
  } cases[] = {
      {"free", "-", true, 0, true},
      {"held by a running program", PidText(other.pid), false, other.pid, false},
      {"held, old binary form", std::string(reinterpret_cast<const char*>(&other.pid), 4), false, other.pid, false},
      {"stale: its process is gone", PidText(DeadPid()), true, 0, true},
      {"damaged", "garbage\n", true, 0, true},
      {"empty", "", true, 0, true},
      {"another line of this process", PidText(self), true, 0, false},
  };
  for (const Case& c : cases) {
    fs::remove(LockFile());
    if (c.before != "-") WriteFile(LockFile(), c.before);
    UucpLock lock;
    PortHolder holder;
    EXPECT_EQ(lock.Acquire(slave, paths, holder), c.acquired) << c.what;
    EXPECT_EQ(holder.pid, c.holder) << c.what;
    if (c.holder) {
      EXPECT_EQ(holder.program, "sleep") << c.what;
    }
    EXPECT_EQ(!lock.File().empty(), c.ours) << c.what;
    if (c.ours) {
      EXPECT_EQ(ReadAll(LockFile()), PidText(self)) << c.what;
      lock.Release();
      EXPECT_FALSE(fs::exists(LockFile())) << c.what;
    } else if (c.before != "-") {
      lock.Release();
      EXPECT_EQ(ReadAll(LockFile()), c.before) << c.what << ": somebody else's lock stays";
    }
  }
  // No lock folder to write in: go on without a lock file.
  PortPaths none = paths;
  none.lockDir = dir.path + "/no-such-folder";
  UucpLock lock;
  PortHolder holder;
  EXPECT_TRUE(lock.Acquire(slave, none, holder));
  EXPECT_TRUE(lock.File().empty());
  EXPECT_EQ(UucpLock::FileName("/dev/ttyUSB0"), "LCK..ttyUSB0");
  EXPECT_EQ(UucpLock::FileName(slave), "LCK.." + slave.substr(5).replace(3, 1, "_"));
}

// Things planted in the lock folder are never followed, written or made
// readable: at the temporary name they are removed and the lock is made
// anyway; at the lock's own name they refuse the port, named.
TEST_F(PortAccess, PlantedEntriesInTheLockFolder) {
  const std::string secret = dir.path + "/secret";
  const std::string temp = lockDir + "/LTMP." + std::to_string(::getpid());
  struct Case {
    const char* what;
    std::string at;  // where the thing is planted
    char kind;       // 'l' link to the secret, 'd' dangling link, 'f' FIFO, 'r' foreign file, 'D' folder
    bool acquired;
  } cases[] = {
      {"link at the temporary name", temp, 'l', true},
      {"dangling link at the temporary name", temp, 'd', true},
      {"FIFO at the temporary name", temp, 'f', true},
      {"foreign file at the temporary name", temp, 'r', true},
      {"folder at the temporary name (cannot be removed)", temp, 'D', false},
      {"link at the lock", LockFile(), 'l', false},
      {"dangling link at the lock", LockFile(), 'd', false},
      {"FIFO at the lock", LockFile(), 'f', false},
      {"folder at the lock", LockFile(), 'D', false},
  };
  for (const Case& c : cases) {
    fs::remove_all(LockFile());
    fs::remove_all(temp);
    WriteFile(secret, "root only\n");
    ::chmod(secret.c_str(), 0600);
    switch (c.kind) {
      case 'l': fs::create_symlink(secret, c.at); break;
      case 'd': fs::create_symlink(dir.path + "/nowhere", c.at); break;
      case 'f': ASSERT_EQ(::mkfifo(c.at.c_str(), 0600), 0); break;
      case 'r': WriteFile(c.at, "someone else's\n"); break;
      case 'D': fs::create_directory(c.at); break;
    }
    UucpLock lock;
    PortHolder holder;
    EXPECT_EQ(lock.Acquire(slave, paths, holder), c.acquired) << c.what;
    struct stat st {};
    ASSERT_EQ(::stat(secret.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << c.what;
    EXPECT_EQ(ReadAll(secret), "root only\n") << c.what;
    EXPECT_FALSE(fs::exists(dir.path + "/nowhere")) << c.what;
    if (c.at == temp && !c.acquired) {
      // Told, never gone round without a lock.
      EXPECT_EQ(holder.plantedLock, temp) << c.what;
      EXPECT_FALSE(fs::exists(fs::symlink_status(LockFile()))) << c.what;
      EXPECT_NE(DescribePortFailure(slave, {PortError::InUse, 0, holder}).find("cannot take its lock: " + temp),
                std::string::npos)
          << c.what;
      continue;
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(temp))) << c.what << ": the temporary name is gone";
    if (c.acquired) {
      EXPECT_EQ(ReadAll(LockFile()), PidText(static_cast<int>(::getpid()))) << c.what;
      EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(LockFile()))) << c.what;
    } else {
      EXPECT_EQ(holder.foreignLock, LockFile()) << c.what;
      EXPECT_EQ(holder.pid, 0) << c.what;
      EXPECT_TRUE(fs::exists(fs::symlink_status(LockFile()))) << c.what << ": left for the user";
      EXPECT_EQ(DescribePortFailure(slave, {PortError::InUse, 0, holder}),
                slave + ": is locked by " + LockFile() +
                    ", which is not a lock file (a link or another kind of file); remove it if no program "
                    "uses the port.")
          << c.what;
      auto line = MakePosixSerialLine();
      EXPECT_FALSE(line->Open(slave)) << c.what;
      EXPECT_EQ(line->Failure().holder.foreignLock, LockFile()) << c.what;
    }
  }
  fs::remove_all(LockFile());
}

// Another user's LTMP.<pid> in the sticky lock folder, which we may not
// remove: a user's send is refused with the reason, never sent unlocked. Only
// root can plant a file of another user; the send then runs as nobody.
TEST_F(PortAccess, AnotherUsersTemporaryLockIsTold) {
  if (::geteuid() != 0) GTEST_SKIP() << "planting another user's file needs root";
  ASSERT_EQ(::chmod(dir.path.c_str(), 0755), 0);
  ASSERT_EQ(::chmod(lockDir.c_str(), 01777), 0);
  ASSERT_EQ(::chmod(slave.c_str(), 0666), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const std::string temp = lockDir + "/LTMP." + std::to_string(::getpid());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0 || ::fchown(fd, 65533, 65533) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(10);
    ::close(fd);
    UucpLock lock;
    PortHolder holder;
    if (lock.Acquire(slave, paths, holder)) ::_exit(11);
    if (holder.plantedLock != temp) ::_exit(12);
    const std::string said = DescribePortFailure(slave, {PortError::InUse, 0, holder});
    ::_exit(said.find("belongs to another user (uid 65533)") == std::string::npos ? 13 : 0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "10: setup, 11: went on without a lock, 12: not named, 13: not said";
  EXPECT_FALSE(fs::exists(LockFile()));
}

// ModemManager holding the port: the message names the ways to make it let
// go, with the modem's id under /sys when the system tells it.
TEST_F(PortAccess, ModemManagerAsHolderNamesTheRemedies) {
  PortHolder mm{321, "ModemManager", {}, "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2", {}};
  const std::string text = DescribePortFailure("/dev/ttyUSB0", {PortError::InUse, 0, mm});
  EXPECT_EQ(text.rfind("/dev/ttyUSB0: is in use by ModemManager (PID 321). ", 0), 0u) << text;
  for (const char* part : {"\"mmcli --inhibit-device=/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2\"",
                           "ID_MM_DEVICE_IGNORE=1", "\"systemctl stop ModemManager\""})
    EXPECT_NE(text.find(part), std::string::npos) << part;
  // The id: up from the line's class entry to the USB device (idVendor).
  const std::string sys = dir.path + "/sys";
  const std::string usb = sys + "/devices/pci0/usb1/1-2";
  fs::create_directories(usb + "/1-2:1.0/ttyUSB7");
  WriteFile(usb + "/idVendor", "1234\n");
  fs::create_directories(sys + "/class/tty/ttyUSB7");
  fs::create_symlink(usb + "/1-2:1.0/ttyUSB7", sys + "/class/tty/ttyUSB7/device");
  paths.sysRoot = sys;
  EXPECT_EQ(ModemDeviceId("/dev/ttyUSB7", paths), usb);
  EXPECT_EQ(ModemDeviceId("/dev/ttyUSB8", paths), "");
  // Another holder gets no such advice.
  EXPECT_EQ(DescribePortFailure("/dev/ttyUSB0", {PortError::InUse, 0, {5, "minicom", {}, {}, {}}}),
            "/dev/ttyUSB0: is in use by minicom (PID 5).");
}

TEST_F(PortAccess, TheLineTakesAndGivesBackTheLockFile) {
  auto line = MakePosixSerialLine();
  ASSERT_TRUE(line->Open(slave));
  EXPECT_EQ(ReadAll(LockFile()), PidText(static_cast<int>(::getpid())));
  line->Close();
  EXPECT_FALSE(fs::exists(LockFile()));

  Sleeper other;
  WriteFile(LockFile(), PidText(other.pid));
  EXPECT_FALSE(line->Open(slave));
  EXPECT_EQ(DescribePortFailure(slave, line->Failure()),
            slave + ": is in use by sleep (PID " + std::to_string(other.pid) + ").");
}

TEST_F(PortAccess, ALineAnotherProcessHoldsOpenIsRefusedNamingIt) {
  Sleeper holder(slave);
  ASSERT_GT(holder.pid, 0);
  auto line = MakePosixSerialLine();
  EXPECT_FALSE(line->Open(slave));
  EXPECT_EQ(line->Failure().error, PortError::InUse);
  EXPECT_EQ(DescribePortFailure(slave, line->Failure()),
            slave + ": is in use by sleep (PID " + std::to_string(holder.pid) + ").");
  EXPECT_FALSE(fs::exists(LockFile())) << "a refused open leaves no lock behind";
}

TEST_F(PortAccess, HolderSearchReadsTheProcessFolders) {
  // A process folder as the kernel shows one: fd links and the program name.
  const std::string proc = dir.path + "/proc";
  auto fake = [&](int pid, const char* program, const std::string& target) {
    const std::string p = proc + "/" + std::to_string(pid);
    fs::create_directories(p + "/fd");
    WriteFile(p + "/comm", std::string(program) + "\n");
    fs::create_symlink("/dev/null", p + "/fd/0");
    fs::create_symlink(target, p + "/fd/7");
  };
  fake(static_cast<int>(::getpid()), "self", slave);  // this process never counts
  fake(999001, "cat", dir.path);                      // something else
  paths.procRoot = proc;
  EXPECT_EQ(FindOtherHolder(slave, paths).pid, 0);
  fake(999002, "minicom", slave);
  const PortHolder h = FindOtherHolder(slave, paths);
  EXPECT_EQ(h.pid, 999002);
  EXPECT_EQ(h.program, "minicom");
  // Folders that are not procfs tell no descriptor counts: the routine
  // search then reads them all.
  EXPECT_EQ(FindOtherHolder(slave, paths, HolderSearch::Routine).pid, 999002);
  EXPECT_EQ(ProgramOf(999001, paths), "cat");
  EXPECT_EQ(FindOtherHolder(dir.path + "/missing", paths).pid, 0);
}

// The routine search reads known serial programs first whatever their size,
// then small processes, fewest files first, within its budget of descriptors.
TEST(RoutineHolderSearch, ReadsLikelyHoldersFirstWithinTheBudget) {
  const long small = kRoutineSmallProcess;
  struct Case {
    const char* what;
    std::vector<ProcessFiles> processes;
    std::vector<int> order;
  } cases[] = {
      {"none", {}, {}},
      {"fewest files first", {{1, 30, false}, {2, 4, false}, {3, 12, false}}, {2, 3, 1}},
      {"a known program first, however large", {{1, 5, false}, {2, 5000, true}, {3, 3, false}}, {2}},
      {"a small known program before smaller ones", {{1, 3, false}, {2, 40, true}}, {2, 1}},
      {"large unknown processes are left out", {{1, small + 1, false}, {2, 10, false}}, {2}},
      {"exactly small is read", {{1, small, false}}, {1}},
      {"the budget is kept", {{1, small, false}, {2, small, false}, {3, small, false}, {4, small, false},
                              {5, small, false}, {6, small, false}, {7, small, false}},
       {1, 2, 3, 4, 5, 6}},
      {"the budget is not exceeded by the next", {{1, small, false}, {2, small, false}, {3, small, false},
                                                  {4, small, false}, {5, small, false}, {6, small, false},
                                                  {7, 20, false}},
       {7, 1, 2, 3, 4, 5}},
  };
  static_assert(6 * kRoutineSmallProcess <= kRoutineDescriptorBudget &&
                20 + 6 * kRoutineSmallProcess > kRoutineDescriptorBudget);
  for (const Case& c : cases) EXPECT_EQ(RoutineSearchOrder(c.processes), c.order) << c.what;
  for (const char* name : {"ModemManager", "minicom", "picocom", "screen", "gammu-smsd", "smsd", "pppd"})
    EXPECT_TRUE(IsSerialProgram(name)) << name;
  for (const char* name : {"", "firefox", "minicom2", "Screen", "sleep"}) EXPECT_FALSE(IsSerialProgram(name)) << name;
}

TEST_F(PortAccess, ExclusiveModeIsGivenBackAtTheClose) {
  for (int round = 0; round < 3; ++round) {
    auto line = MakePosixSerialLine();
    ASSERT_TRUE(line->Open(slave)) << "round " << round << ": "
                                   << DescribePortFailure(slave, line->Failure());
    // While open, a plain open by an ordinary user is refused.
    if (::geteuid() != 0) {
      const int fd = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
      const int e = errno;
      EXPECT_LT(fd, 0);
      if (fd >= 0) ::close(fd);
      EXPECT_EQ(e, EBUSY);
    }
    line->Close();
    int fd = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    EXPECT_GE(fd, 0) << "round " << round << ": " << std::strerror(errno);
    if (fd >= 0) ::close(fd);
  }
}

// Two sends in a row through the simulated phone's pseudo-terminal: both
// arrive, whoever runs the test.
TEST(PortAccessSimulatedPhone, TwoSendsInARowBothArrive) {
  TempDir dir;
  const PortPaths saved = CurrentPortPaths();
  PortPaths paths;
  paths.lockDir = dir.path;
  SetPortPaths(paths);
  const std::string journal = dir.path + "/journal.jsonl";
  phonesim::SimProcess sim;
  ASSERT_TRUE(sim.Start(MP_PHONESIM, {"--journal", journal})) << sim.Error();
  ::setenv("MIRAPOST_COM4", sim.SlavePath().c_str(), 1);
  RecordingHost host;
  PhoneLink link(host);
  link.SetTimings(LinkTimings::Scaled(10));
  const TransferSettings settings{"05912143F5", false, "00", true};
  link.TransferMessage(settings, false, "0000A905E8329BFD06", 2);
  link.TransferMessage(settings, false, "0000A905E8329BFD06", 2);
  ::unsetenv("MIRAPOST_COM4");
  SetPortPaths(saved);
  ASSERT_GE(host.statuses.size(), 2u);
  EXPECT_EQ(host.statuses.back(), "Message successfully sent.");
  EXPECT_EQ(std::count(host.statuses.begin(), host.statuses.end(), "Message successfully sent."), 2);
  EXPECT_EQ(phonesim::ReadJournal(journal).size(), 2u);
  EXPECT_FALSE(fs::exists(dir.path + "/" + UucpLock::FileName(sim.SlavePath())));
}

}  // namespace
}  // namespace mp::test
