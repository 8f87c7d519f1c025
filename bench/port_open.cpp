// The check for another program holding a serial port, on a machine with many
// open files: 12,000 descriptors held by other processes (sockets, pipes,
// files and a few devices), spread as on a desktop (12 processes of 1,000),
// over many small processes (120 of 100) and over very many tiny ones (1,200
// of 10), then the routine holder check, the full search and a whole open
// and close of a pseudo-terminal, beside the former search that looked at
// every descriptor (a stat through each link), in the same run. Then a small
// program holds the port among them: the routine check must find it, and the
// open is refused naming it.
//
//   bench_port_open [--files N] [--rounds N]
//
// Budget: the whole check at most 5 ms with 12,000 open files.
#include <dirent.h>
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "phone/PortAccess.h"
#include "phone/Serial.h"

namespace {

double Ms(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// A process that holds `count` descriptors until it is killed.
pid_t Holder(int count, const std::string& file) {
  int ready[2];
  if (::pipe(ready) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid != 0) {
    ::close(ready[1]);
    char c;
    (void)!::read(ready[0], &c, 1);
    ::close(ready[0]);
    return pid;
  }
  ::close(ready[0]);
  rlimit lim{};
  ::getrlimit(RLIMIT_NOFILE, &lim);
  lim.rlim_cur = lim.rlim_max;
  ::setrlimit(RLIMIT_NOFILE, &lim);
  for (int i = 0; i < count;) {
    switch (i % 10) {
      case 0: case 1: case 2: case 3: {
        int sv[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, sv) == 0) i += 2;
        else i = count;
        break;
      }
      case 4: case 5: case 6: {
        int p[2];
        if (::pipe(p) == 0) i += 2;
        else i = count;
        break;
      }
      case 7: case 8:
        if (::open(file.c_str(), O_RDONLY) >= 0) ++i;
        else i = count;
        break;
      default:
        if (::open("/dev/null", O_RDONLY) >= 0) ++i;
        else i = count;
        break;
    }
  }
  (void)!::write(ready[1], "x", 1);
  for (;;) ::pause();
}

// A small program that holds `device` open, as "cat /dev/ttyUSB0" would.
pid_t DeviceHolder(const std::string& device) {
  int ready[2];
  if (::pipe(ready) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid != 0) {
    ::close(ready[1]);
    char c;
    (void)!::read(ready[0], &c, 1);
    ::close(ready[0]);
    return pid;
  }
  ::close(ready[0]);
  (void)!::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  (void)!::write(ready[1], "x", 1);
  for (;;) ::pause();
}

// The former search: every descriptor of every process stat'ed through its link.
int OldSearch(const std::string& device) {
  struct stat target {};
  if (::stat(device.c_str(), &target) != 0) return 0;
  DIR* proc = ::opendir("/proc");
  int found = 0;
  const std::string self = std::to_string(::getpid());
  while (dirent* p = ::readdir(proc)) {
    if (p->d_name[0] < '0' || p->d_name[0] > '9' || self == p->d_name) continue;
    const std::string fdDir = std::string("/proc/") + p->d_name + "/fd";
    DIR* fds = ::opendir(fdDir.c_str());
    if (!fds) continue;
    while (dirent* e = ::readdir(fds)) {
      if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
      struct stat st {};
      if (::stat((fdDir + "/" + e->d_name).c_str(), &st) != 0) continue;
      if (st.st_nlink && S_ISCHR(st.st_mode) && st.st_rdev == target.st_rdev) found = std::atoi(p->d_name);
    }
    ::closedir(fds);
    if (found) break;
  }
  ::closedir(proc);
  return found;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int files = 12000, rounds = 15;
  for (int i = 1; i + 1 < argc; ++i) {
    if (!std::strcmp(argv[i], "--files")) files = std::atoi(argv[++i]);
    if (!std::strcmp(argv[i], "--rounds")) rounds = std::max(1, std::atoi(argv[++i]));
  }
  char tmpl[] = "/tmp/mirapost-bench-port-XXXXXX";
  if (!::mkdtemp(tmpl)) return 1;
  const std::string file = std::string(tmpl) + "/data";
  ::close(::open(file.c_str(), O_WRONLY | O_CREAT, 0600));
  mp::PortPaths paths;
  paths.lockDir = tmpl;  // never the system's lock folder
  mp::SetPortPaths(paths);

  int master = -1, slave = -1;
  char name[256];
  if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) return 1;
  ::close(slave);
  const std::string device = name;

  auto measure = [&](const char* label) {
    std::vector<double> now, old, open, full;
    for (int r = 0; r < rounds; ++r) {
      auto t = std::chrono::steady_clock::now();
      const mp::PortHolder h = mp::FindOtherHolder(device, paths, mp::HolderSearch::Routine);
      now.push_back(Ms(std::chrono::steady_clock::now() - t));
      t = std::chrono::steady_clock::now();
      (void)mp::FindOtherHolder(device, paths, mp::HolderSearch::Full);
      full.push_back(Ms(std::chrono::steady_clock::now() - t));
      t = std::chrono::steady_clock::now();
      const int o = OldSearch(device);
      old.push_back(Ms(std::chrono::steady_clock::now() - t));
      auto line = mp::MakePosixSerialLine();
      t = std::chrono::steady_clock::now();
      const bool opened = line->Open(device);
      line->Close();
      open.push_back(Ms(std::chrono::steady_clock::now() - t));
      if (h.pid || o || !opened) {
        std::fprintf(stderr, "unexpected: holder %d, old %d, opened %d\n", h.pid, o, opened);
        return false;
      }
    }
    const double n = Median(now), o = Median(old);
    std::printf("%-28s check %7.3f ms  former %7.3f ms  (%.1f x less)  full search %7.3f ms  whole open+close "
                "%7.3f ms\n",
                label, n, o, n > 0 ? o / n : 0.0, Median(full), Median(open));
    return true;
  };
  // A small program holds the port: found by the routine check, and the
  // open refused naming it (the full search runs only then).
  auto held = [&]() {
    const pid_t holder = DeviceHolder(device);
    std::vector<double> found, refused;
    bool ok = true;
    for (int r = 0; r < rounds && ok; ++r) {
      auto t = std::chrono::steady_clock::now();
      const mp::PortHolder h = mp::FindOtherHolder(device, paths, mp::HolderSearch::Routine);
      found.push_back(Ms(std::chrono::steady_clock::now() - t));
      auto line = mp::MakePosixSerialLine();
      t = std::chrono::steady_clock::now();
      const bool opened = line->Open(device);
      refused.push_back(Ms(std::chrono::steady_clock::now() - t));
      if (h.pid != holder || opened || line->Failure().holder.pid != holder) {
        std::fprintf(stderr, "the holder %d was not found: routine %d, opened %d\n", holder, h.pid, opened);
        ok = false;
      }
    }
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    std::printf("%-28s check %7.3f ms  (found)  refused open %7.3f ms\n", "  a small holder among them",
                Median(found), Median(refused));
    return ok;
  };

  std::printf("holder check of %s, median of %d rounds (budget: 5 ms with 12,000 open files)\n", device.c_str(),
              rounds);
  if (!measure("this machine as it is")) return 1;
  // As on a desktop: a few programs with very many files; then the same
  // files spread over many small programs (120 of 100), and over very many
  // tiny ones (1,200 of 10), where what is left of the check's cost (a stat
  // a process) shows.
  bool ok = true;
  for (int each : {1000, 100, 10}) {
    std::vector<pid_t> holders;
    for (int left = files; left > 0; left -= each) holders.push_back(Holder(std::min(left, each), file));
    const std::string label = "+" + std::to_string(files) + " files, " + std::to_string(each) + " a process";
    ok = measure(label.c_str()) && ok;
    ok = held() && ok;
    for (pid_t pid : holders) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }
  ::close(master);
  ::unlink(file.c_str());
  ::rmdir(tmpl);
  return ok ? 0 : 1;
}
