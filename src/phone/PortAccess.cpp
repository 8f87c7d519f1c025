// Reasons for a refused port, UUCP lock files and the search for other
// processes that hold a device open.
#include "phone/PortAccess.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace mp {

namespace {

PortPaths& Paths() {
  static PortPaths paths;
  return paths;
}

std::string ReadSmallFile(const std::string& path) {
  std::string text;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return text;
  char buf[128];
  ssize_t n = ::read(fd, buf, sizeof buf);
  if (n > 0) text.assign(buf, static_cast<size_t>(n));
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

bool IsNumber(const char* s) {
  if (*s == '\0') return false;
  for (; *s; ++s) {
    if (*s < '0' || *s > '9') return false;
  }
  return true;
}

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
      if (f.holder.pid > 0) {
        const std::string who = f.holder.program.empty() ? "another program" : f.holder.program;
        return head + "is in use by " + who + " (PID " + std::to_string(f.holder.pid) + ").";
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

PortHolder FindOtherHolder(const std::string& device, const PortPaths& paths) {
  struct stat target {};
  if (device.empty() || ::stat(device.c_str(), &target) != 0) return {};
  const bool isChar = S_ISCHR(target.st_mode);
  DIR* proc = ::opendir(paths.procRoot.c_str());
  if (!proc) return {};
  const int self = static_cast<int>(::getpid());
  PortHolder found;
  while (dirent* p = ::readdir(proc)) {
    if (!IsNumber(p->d_name)) continue;
    const int pid = std::atoi(p->d_name);
    if (pid == self) continue;
    const std::string fdDir = paths.procRoot + "/" + p->d_name + "/fd";
    DIR* fds = ::opendir(fdDir.c_str());
    if (!fds) continue;  // another user's process, or gone meanwhile
    while (dirent* e = ::readdir(fds)) {
      if (!IsNumber(e->d_name)) continue;
      struct stat st {};
      if (::stat((fdDir + "/" + e->d_name).c_str(), &st) != 0) continue;
      // A device node that is gone (a pseudo-terminal whose other side has
      // closed, an unplugged adapter) is no longer this device, even when a
      // new one now has its number.
      if (st.st_nlink == 0) continue;
      const bool same = isChar ? (S_ISCHR(st.st_mode) && st.st_rdev == target.st_rdev)
                               : (st.st_dev == target.st_dev && st.st_ino == target.st_ino);
      if (same) {
        found = {pid, ProgramOf(pid, paths)};
        break;
      }
    }
    ::closedir(fds);
    if (found.pid) break;
  }
  ::closedir(proc);
  return found;
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

bool UucpLock::Acquire(const std::string& device, const PortPaths& paths, PortHolder& holder) {
  Release();
  holder = {};
  if (paths.lockDir.empty()) return true;
  const std::string path = paths.lockDir + "/" + FileName(device);
  const int self = static_cast<int>(::getpid());
  for (int attempt = 0; attempt < 3; ++attempt) {
    const std::string text = ReadSmallFile(path);
    if (!text.empty() || ::access(path.c_str(), F_OK) == 0) {
      const int pid = ParseLockPid(text);
      // Our own process already holds it (another line of ours): the
      // device's own lock decides; the file stays the other line's.
      if (pid == self) return true;
      if (pid > 0 && ProcessRuns(pid)) {
        holder = {pid, ProgramOf(pid, paths)};
        return false;
      }
      // Stale: its process is gone (or it names none). A stale lock that we
      // may not remove is no reason to refuse the port.
      if (::unlink(path.c_str()) != 0 && errno != ENOENT) return true;
    }
    // Written completely under a name of our own, then linked into place, so
    // that nobody ever reads a half-written lock.
    const std::string temp = paths.lockDir + "/LTMP." + std::to_string(self);
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
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
  if (ParseLockPid(ReadSmallFile(file_)) == static_cast<int>(::getpid())) ::unlink(file_.c_str());
  file_.clear();
}

}  // namespace mp
