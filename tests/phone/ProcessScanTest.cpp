// The reading behind the holder search: folders larger than one read of the
// kernel's listing, and the routine search giving the same holder however
// many threads share it. Runs the same as root and as an ordinary user.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Fakes.h"
#include "phone/PortAccess.h"
#include "phone/ProcessScan.h"

namespace mp::test {
namespace {

namespace fs = std::filesystem;

TEST(ProcessScan, ProcessNames) {
  struct Case {
    const char* name;
    int pid;
  } cases[] = {
      {"1", 1},          {"4194304", 4194304}, {"2147483647", INT_MAX}, {"2147483648", 0}, {"99999999999", 0},
      {"0", 0},          {"012", 0},           {"12a", 0},              {"self", 0},       {"", 0},
      {"thread-self", 0}, {"-1", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(scan::ParsePid(c.name), c.pid) << c.name;
}

// Folders larger than one read of their listing are read to the end: every
// entry once, every process once, and a visit that says stop stops there.
TEST(ProcessScan, FoldersAreListedToTheEnd) {
  TempDir dir;
  struct Case {
    int processes;
    int others;  // entries that name no process
  } cases[] = {{0, 0}, {3, 2}, {300, 5}};  // (one read holds 256 of these)
  int round = 0;
  for (const Case& c : cases) {
    const std::string folder = dir.path + "/" + std::to_string(round++);
    fs::create_directory(folder);
    for (int p = 0; p < c.processes; ++p) ::close(::open((folder + "/" + std::to_string(3900000 + p)).c_str(), O_CREAT | O_WRONLY, 0600));
    for (int o = 0; o < c.others; ++o) ::close(::open((folder + "/x" + std::to_string(o)).c_str(), O_CREAT | O_WRONLY, 0600));
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    int entries = 0;
    {
      scan::DirEntries list(fd);
      while (list.Next()) ++entries;
    }
    EXPECT_EQ(entries, c.processes + c.others) << c.processes;
    std::vector<bool> seen(static_cast<size_t>(c.processes));
    ::lseek(fd, 0, SEEK_SET);
    EXPECT_EQ(scan::EachProcess(fd, [&](int pid) {
                const size_t at = static_cast<size_t>(pid - 3900000);
                EXPECT_FALSE(seen.at(at)) << pid;
                seen.at(at) = true;
                return true;
              }),
              0);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), true), c.processes);
    if (c.processes > 0) {
      ::lseek(fd, 0, SEEK_SET);
      int visits = 0;
      const int stopped = scan::EachProcess(fd, [&](int) { return ++visits < c.processes; });
      EXPECT_EQ(visits, c.processes);
      EXPECT_GE(stopped, 3900000);
    }
    ::close(fd);
  }
}

// A child process that holds only `device` and `extra` more descriptors
// (/dev/null) until it is killed.
struct Holder {
  pid_t pid = -1;
  Holder(const std::string& device, int extra) {
    int ready[2];
    if (::pipe(ready) != 0) return;
    pid = ::fork();
    if (pid == 0) {
      for (int fd = 0; fd < 1024; ++fd) {
        if (fd != ready[1]) ::close(fd);
      }
      if (::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK) < 0) ::_exit(1);
      for (int i = 0; i < extra; ++i) {
        if (::open("/dev/null", O_RDONLY) < 0) ::_exit(1);
      }
      (void)!::write(ready[1], "x", 1);
      ::close(ready[1]);
      for (;;) ::pause();
    }
    ::close(ready[1]);
    char c = 0;
    if (pid < 0 || ::read(ready[0], &c, 1) != 1) pid = -1;
    ::close(ready[0]);
  }
  ~Holder() {
    if (pid > 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }
};

// The routine search over this machine's processes: the holder it names is
// the first in RoutineSearchOrder (the one with fewer files), whether one
// thread reads them in turn or several share them.
TEST(ProcessScan, TheRoutineSearchFindsTheSameHolderOnAnyNumberOfThreads) {
  int master = -1;
  std::string slave;
  ASSERT_TRUE(OpenPty(master, slave));
  scan::Target target;
  ASSERT_EQ(::stat(slave.c_str(), &target.st), 0);
  target.isChar = true;
  target.name = slave;
  target.underDev = true;
  struct Case {
    const char* what;
    std::vector<int> holders;  // the extra descriptors of each
    int found;                 // which of them is named; -1 for none
  } cases[] = {
      {"nobody", {}, -1},
      {"one small holder", {3}, 0},
      {"the one with fewer files of two", {4, 1}, 1},
      {"the one with fewer files of three", {2, 5, 0}, 2},
  };
  for (const Case& c : cases) {
    std::vector<std::unique_ptr<Holder>> holders;
    for (int extra : c.holders) {
      holders.push_back(std::make_unique<Holder>(slave, extra));
      ASSERT_GT(holders.back()->pid, 0) << c.what;
    }
    const int expected = c.found < 0 ? 0 : holders[static_cast<size_t>(c.found)]->pid;
    for (int threads : {1, 2, 4}) {
      const int procFd = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      ASSERT_GE(procFd, 0);
      if (!scan::CountsDescriptors(procFd)) {
        ::close(procFd);
        GTEST_SKIP() << "this kernel tells no descriptor counts";
      }
      EXPECT_EQ(scan::RoutineHolder(procFd, target, threads), expected) << c.what << ", " << threads << " threads";
      ::close(procFd);
    }
  }
  ::close(master);
}

// A process that still holds a device node that is gone (a pseudo-terminal
// whose other side closed, an unplugged adapter) holds nothing of the device
// that now has the name: it is not named as the port's holder.
TEST(ProcessScan, AHolderOfAGoneDeviceNodeHoldsNothing) {
  int master = -1;
  std::string slave;
  ASSERT_TRUE(OpenPty(master, slave));
  scan::Target target;
  ASSERT_EQ(::stat(slave.c_str(), &target.st), 0);
  target.isChar = true;
  target.name = slave;
  target.underDev = true;
  Holder holder(slave, 0);
  ASSERT_GT(holder.pid, 0);
  const int procFd = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(procFd, 0);
  EXPECT_TRUE(scan::Holds(procFd, holder.pid, target)) << "while the device is there";
  ::close(master);  // the node goes; the holder's descriptor stays
  EXPECT_FALSE(scan::Holds(procFd, holder.pid, target));
  ::close(procFd);
}

}  // namespace
}  // namespace mp::test
