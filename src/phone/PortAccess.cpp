// Reasons for a refused port, UUCP lock files and the search for other
// processes that hold a device open.
#include "phone/PortAccess.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <vector>

#include "phone/ProcessScan.h"

namespace mp {

namespace {

PortPaths& Paths() {
  static PortPaths paths;
  return paths;
}

// The start of a small regular file, never through a link and never
// waiting on a FIFO or a device; empty for anything else.
std::string ReadSmallFile(const std::string& path) {
  std::string text;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return text;
  struct stat st {};
  char buf[128];
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) text.assign(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return text;
}

// A PID from a lock file: ten ASCII characters (any blanks around them) or,
// as very old programs wrote it, four binary bytes. 0 when there is none.
int ParseAsciiPid(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  long pid = 0;
  size_t digits = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 10; ++i, ++digits)
    pid = pid * 10 + (text[i] - '0');
  if (digits == 0 || pid <= 0 || pid > 0x7fffffff) return 0;
  for (; i < text.size(); ++i) {
    if (text[i] != ' ' && text[i] != '\n' && text[i] != '\r' && text[i] != '\t') return 0;
  }
  return static_cast<int>(pid);
}

int ParseLockPid(const std::string& text) {
  if (int pid = ParseAsciiPid(text)) return pid;
  if (text.size() == sizeof(int)) {
    int pid = 0;
    std::memcpy(&pid, text.data(), sizeof pid);
    return pid > 0 ? pid : 0;
  }
  return 0;
}

bool ProcessRuns(int pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

// True when the user is a member of group `gid`.
bool InGroup(gid_t gid) {
  if (::getegid() == gid) return true;
  const int n = ::getgroups(0, nullptr);
  if (n <= 0) return false;
  std::vector<gid_t> groups(static_cast<size_t>(n));
  const int got = ::getgroups(n, groups.data());
  for (int i = 0; i < got; ++i) {
    if (groups[static_cast<size_t>(i)] == gid) return true;
  }
  return false;
}

}  // namespace

const PortPaths& CurrentPortPaths() { return Paths(); }
void SetPortPaths(const PortPaths& paths) { Paths() = paths; }

std::string DescribePortFailure(const std::string& device, const PortFailure& f) {
  if (f.error == PortError::None) return {};
  if (f.error == PortError::NoPort || device.empty()) return "No port is chosen.";
  const std::string head = device + ": ";
  switch (f.error) {
    case PortError::NotFound:
      return head + "does not exist.";
    case PortError::PermissionDenied: {
      // The hint names the group that may use the device, when the user is
      // not in it (on Debian that is dialout for serial ports).
      struct stat st {};
      if (::stat(device.c_str(), &st) == 0 && st.st_gid != 0 && !InGroup(st.st_gid)) {
        if (const group* g = ::getgrgid(st.st_gid); g && g->gr_name) {
          return head + "permission denied; add your user to the " + g->gr_name +
                 " group and log in again.";
        }
      }
      return head + "permission denied.";
    }
    case PortError::InUse:
      if (!f.holder.plantedLock.empty()) {
        struct stat st {};
        const bool other = ::lstat(f.holder.plantedLock.c_str(), &st) == 0 && st.st_uid != ::geteuid();
        return head + "cannot take its lock: " + f.holder.plantedLock +
               (other ? " belongs to another user (uid " + std::to_string(st.st_uid) + ")" : " is in the way") +
               " and cannot be removed; have it removed (as root), or try again: each run uses its own name.";
      }
      if (!f.holder.foreignLock.empty()) {
        return head + "is locked by " + f.holder.foreignLock +
               ", which is not a lock file (a link or another kind of file); remove it if no program "
               "uses the port.";
      }
      if (f.holder.pid > 0) {
        const std::string who = f.holder.program.empty() ? "another program" : f.holder.program;
        std::string text = head + "is in use by " + who + " (PID " + std::to_string(f.holder.pid) + ").";
        if (f.holder.program == "ModemManager") {
          // It takes every modem it finds; it can be asked to step aside.
          const std::string id = f.holder.deviceId.empty() ? "<device>" : f.holder.deviceId;
          text += " To send while it runs, keep \"mmcli --inhibit-device=" + id +
                  "\" running in another terminal for as long as you need the port (the modem's path "
                  "under /sys, as \"mmcli -m any\" shows it as \"device\"), or mark the modem with "
                  "the udev property ID_MM_DEVICE_IGNORE=1, or stop the service "
                  "(\"systemctl stop ModemManager\").";
        }
        return text;
      }
      return head + "is in use by another program.";
    case PortError::NotSerial:
      return head + "is not a serial device.";
    case PortError::Settings:
      return head + "the line settings were refused.";
    default: {
      std::string why = f.errnum ? std::strerror(f.errnum) : "unknown error";
      if (!why.empty() && why[0] >= 'A' && why[0] <= 'Z') why[0] = static_cast<char>(why[0] - 'A' + 'a');
      return head + why + ".";
    }
  }
}

std::string ProgramOf(int pid, const PortPaths& paths) {
  std::string name = ReadSmallFile(paths.procRoot + "/" + std::to_string(pid) + "/comm");
  while (!name.empty() && (name.back() == '\n' || name.back() == '\r' || name.back() == ' '))
    name.pop_back();
  return name;
}

bool IsSerialProgram(std::string_view program) {
  static const char* const kNames[] = {
      "ModemManager", "minicom", "picocom", "microcom", "screen", "tio", "cu", "putty", "cutecom",
      "moserial", "gtkterm", "kermit", "gammu", "gammu-smsd", "gnokii", "gnokiid", "smsd", "pppd",
      "wvdial", "chat", "socat", "ser2net", "gpsd", "mirapost", "mirapost-send", "mirapost-phonesim"};
  for (const char* name : kNames) {
    if (program == name) return true;
  }
  return false;
}

std::vector<int> RoutineSearchOrder(std::vector<ProcessFiles> processes) {
  // Known programs first, then the small processes, fewest files first.
  std::stable_sort(processes.begin(), processes.end(), [](const ProcessFiles& a, const ProcessFiles& b) {
    if (a.serialProgram != b.serialProgram) return a.serialProgram;
    return a.descriptors < b.descriptors;
  });
  std::vector<int> order;
  long left = kRoutineDescriptorBudget;
  for (const ProcessFiles& p : processes) {
    // Known programs are read whatever their size; after them the rest
    // only come bigger.
    if (!p.serialProgram && (p.descriptors > kRoutineSmallProcess || p.descriptors > left)) break;
    order.push_back(p.pid);
    left -= p.descriptors;
  }
  return order;
}

PortHolder FindOtherHolder(const std::string& device, const PortPaths& paths, HolderSearch search) {
  scan::Target target;
  if (device.empty() || ::stat(device.c_str(), &target.st) != 0) return {};
  target.isChar = S_ISCHR(target.st.st_mode);
  // The name the kernel shows in the fd links for it.
  target.name = device;
  if (char* real = ::realpath(device.c_str(), nullptr)) {
    target.name = real;
    std::free(real);
  }
  target.underDev = target.name.rfind("/dev/", 0) == 0;
  const int procFd = ::open(paths.procRoot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (procFd < 0) return {};
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{procFd};
  PortHolder found;
  if (search == HolderSearch::Routine && scan::CountsDescriptors(procFd)) {
    found.pid = scan::RoutineHolder(procFd, target, scan::ThreadsFor(scan::ProcessEstimate(procFd)));
  } else {
    // Every process's descriptors, in the folder's order, to the first holder.
    const int self = static_cast<int>(::getpid());
    found.pid = scan::EachProcess(procFd, [&](int pid) { return pid == self || !scan::Holds(procFd, pid, target); });
  }
  if (found.pid) {
    found.program = ProgramOf(found.pid, paths);
    if (found.program == "ModemManager") found.deviceId = ModemDeviceId(device, paths);
  }
  return found;
}

std::string ModemDeviceId(const std::string& device, const PortPaths& paths) {
  std::string name = device;
  if (char* real = ::realpath(device.c_str(), nullptr)) {
    name = real;
    std::free(real);
  }
  const size_t slash = name.rfind('/');
  if (slash == std::string::npos || slash + 1 >= name.size()) return {};
  const std::string classDir = paths.sysRoot + "/class/tty/" + name.substr(slash + 1) + "/device";
  char* real = ::realpath(classDir.c_str(), nullptr);
  if (!real) return {};
  std::string dir = real;
  std::free(real);
  // Up from the line's interface to the USB device that carries idVendor.
  const std::string devices = paths.sysRoot + "/devices/";
  std::string walk = dir;
  while (walk.size() > devices.size() && walk.rfind(devices, 0) == 0) {
    struct stat st {};
    if (::stat((walk + "/idVendor").c_str(), &st) == 0) return walk;
    walk.erase(walk.rfind('/'));
  }
  return dir;
}

std::string UucpLock::FileName(const std::string& device) {
  std::string path = device;
  if (char* real = ::realpath(device.c_str(), nullptr)) {
    path = real;
    std::free(real);
  }
  std::string name;
  if (path.rfind("/dev/", 0) == 0) {
    name = path.substr(5);
  } else {
    const size_t slash = path.rfind('/');
    name = slash == std::string::npos ? path : path.substr(slash + 1);
  }
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  return "LCK.." + name;
}

namespace {

// What is at a lock entry, looked at without following a link.
enum class Entry { None, Regular, Foreign };

Entry Look(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT ? Entry::None : Entry::Foreign;
  return S_ISREG(st.st_mode) ? Entry::Regular : Entry::Foreign;
}

}  // namespace

bool UucpLock::Acquire(const std::string& device, const PortPaths& paths, PortHolder& holder) {
  Release();
  holder = {};
  if (paths.lockDir.empty()) return true;
  const std::string path = paths.lockDir + "/" + FileName(device);
  const int self = static_cast<int>(::getpid());
  for (int attempt = 0; attempt < 3; ++attempt) {
    const Entry entry = Look(path);
    if (entry == Entry::Foreign) {
      // A link (even one that leads nowhere), a FIFO, a folder: not a lock
      // any program of the convention writes, and nothing to follow or
      // remove. The user decides.
      holder.foreignLock = path;
      return false;
    }
    if (entry == Entry::Regular) {
      const int pid = ParseLockPid(ReadSmallFile(path));
      // Our own process already holds it (another line of ours): the
      // device's own lock decides; the file stays the other line's.
      if (pid == self) return true;
      if (pid > 0 && ProcessRuns(pid)) {
        holder = {pid, ProgramOf(pid, paths), {}, {}, {}};
        return false;
      }
      // Stale: its process is gone (or it names none). A stale lock that we
      // may not remove is no reason to refuse the port.
      if (::unlink(path.c_str()) != 0 && errno != ENOENT) return true;
    }
    // Written completely under a name of our own, then linked into place, so
    // that nobody ever reads a half-written lock. A leftover under that name
    // (ours from a crash, or planted) is removed, never opened; the file is
    // then made new, so a link planted meanwhile makes the open fail.
    const std::string temp = paths.lockDir + "/LTMP." + std::to_string(self);
    ::unlink(temp.c_str());
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0 && (errno == EEXIST || errno == ELOOP)) {
      // Still there after the unlink: another user's file in the sticky
      // lock folder (or a folder). Said, never skipped in silence.
      holder.plantedLock = temp;
      return false;
    }
    if (fd < 0) return true;  // lock folder not writable: go on without a lock file
    char line[16];
    const int len = std::snprintf(line, sizeof line, "%10d\n", self);
    const bool written = ::write(fd, line, static_cast<size_t>(len)) == len;
    ::fchmod(fd, 0644);
    ::close(fd);
    if (!written) {
      ::unlink(temp.c_str());
      return true;
    }
    const int linked = ::link(temp.c_str(), path.c_str());
    const int linkErr = errno;
    ::unlink(temp.c_str());
    if (linked == 0) {
      file_ = path;
      return true;
    }
    if (linkErr != EEXIST) return true;  // no hard links here: go on without
    // Someone else was quicker: look at their lock again.
  }
  return true;
}

void UucpLock::Release() {
  if (file_.empty()) return;
  // Only our own regular file: ReadSmallFile follows no link.
  if (ParseLockPid(ReadSmallFile(file_)) == static_cast<int>(::getpid())) ::unlink(file_.c_str());
  file_.clear();
}

}  // namespace mp
