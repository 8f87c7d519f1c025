// Finding, checking and loading the program's modules.
#include "platform/Module.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace mp {

namespace {

std::string CanonicalPath(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

std::string ProgramFile() {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

// "a/b/../c" -> "a/c", for a folder named relative to the program's.
std::string Clean(const std::string& path) {
  std::string out;
  std::size_t at = 0;
  while (at <= path.size()) {
    std::size_t slash = path.find('/', at);
    if (slash == std::string::npos) slash = path.size();
    const std::string part = path.substr(at, slash - at);
    if (part == "..") {
      const std::size_t last = out.rfind('/');
      out = last == std::string::npos ? std::string() : out.substr(0, last);
    } else if (!part.empty() && part != ".") {
      out += "/" + part;
    }
    at = slash + 1;
  }
  return out.empty() ? "/" : out;
}

// Who may have written a module: root, we, and whoever owns the program's
// own file (they could change the program itself anyway: a build tree of
// one developer run with sudo).
struct Writers {
  uid_t programOwner = 0;
  gid_t programGroup = 0;

  bool User(uid_t uid) const { return uid == 0 || uid == ::geteuid() || uid == programOwner; }
  bool Group(gid_t gid) const { return gid == 0 || gid == ::getegid() || gid == programGroup; }
  // Why another user could have written what `st` describes; "" when none.
  std::string Problem(const struct stat& st) const {
    if (!User(st.st_uid)) return "belongs to another user (uid " + std::to_string(st.st_uid) + ")";
    // A sticky folder still lets others add the module's name.
    if (st.st_mode & S_IWOTH) return "may be written by every user";
    if ((st.st_mode & S_IWGRP) && !Group(st.st_gid))
      return "may be written by the users of group " + std::to_string(st.st_gid);
    return {};
  }
};

Writers ProgramWriters() {
  Writers w;
  struct stat st {};
  if (::stat("/proc/self/exe", &st) == 0) {
    w.programOwner = st.st_uid;
    w.programGroup = st.st_gid;
  } else {
    w.programOwner = ::geteuid();
    w.programGroup = ::getegid();
  }
  return w;
}

// Opens `dir`/`file` for loading once both are found trustworthy; -1 with
// `why` otherwise (empty `why`: there is no such module).
int OpenTrusted(const std::string& dir, const std::string& file, std::string* why) {
  const Writers writers = ProgramWriters();
  const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) return -1;
  struct stat st {};
  std::string problem;
  if (::fstat(dirFd, &st) != 0 || !(problem = writers.Problem(st)).empty()) {
    *why = "its folder " + dir + " " + (problem.empty() ? std::strerror(errno) : problem);
    ::close(dirFd);
    return -1;
  }
  const std::string path = dir + "/" + file;
  if (::fstatat(dirFd, file.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    ::close(dirFd);
    return -1;  // not installed
  }
  // A link of ours or root's is followed; the file it leads to is checked.
  if (S_ISLNK(st.st_mode) && !writers.User(st.st_uid)) {
    *why = path + " is a link that belongs to another user (uid " + std::to_string(st.st_uid) + ")";
    ::close(dirFd);
    return -1;
  }
  const int fd = ::openat(dirFd, file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  const int openErrno = errno;
  ::close(dirFd);
  if (fd < 0) {
    *why = path + ": " + std::strerror(openErrno);
    return -1;
  }
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    *why = path + " is not a regular file";
  } else if (const std::string p = writers.Problem(st); !p.empty()) {
    *why = path + " " + p;
  } else {
    return fd;
  }
  ::close(fd);
  return -1;
}

}  // namespace

std::string ProgramBuildTree() {
  const std::string tree = CanonicalPath(MP_BUILD_TREE);
  return !tree.empty() && ProgramFile().rfind(tree + "/", 0) == 0 ? tree : std::string();
}

std::string ModuleFolder(const std::string& programFile) {
  // The build tree, as the build saw it; a program inside it is a build's.
  const std::string tree = CanonicalPath(MP_BUILD_TREE);
  if (!tree.empty() && programFile.rfind(tree + "/", 0) == 0) return CanonicalPath(MP_BUILD_MODULES);
  const std::size_t slash = programFile.rfind('/');
  if (slash == std::string::npos) return {};
  return Clean(programFile.substr(0, slash) + "/../lib/mirapost/modules");
}

void* ModuleEntry(const std::string& file, const char* entry, const std::string& what, std::string* error) {
  static std::mutex guard;
  static std::map<std::string, void*> loaded;  // file and entry -> function
  const std::lock_guard<std::mutex> lock(guard);
  const std::string key = file + '\n' + entry;
  if (const auto it = loaded.find(key); it != loaded.end()) return it->second;
  std::string why;
  const std::string folder = ModuleFolder(ProgramFile());
  bool refused = false;
  if (!folder.empty()) {
    if (const int fd = OpenTrusted(folder, file, &why); fd >= 0) {
      // Loaded through the descriptor: the very file that was checked. It
      // stays loaded: what it made may outlive any one caller.
      const std::string self = "/proc/self/fd/" + std::to_string(fd);
      void* handle = ::dlopen(self.c_str(), RTLD_NOW | RTLD_LOCAL);
      ::close(fd);
      if (handle) {
        if (void* function = ::dlsym(handle, entry)) {
          loaded[key] = function;
          return function;
        }
        ::dlclose(handle);
        why = folder + "/" + file + " has no " + entry;
      } else {
        const char* e = ::dlerror();
        std::string text = e ? e : "unknown error";
        if (text.rfind(self + ": ", 0) == 0) text.erase(0, self.size() + 2);
        why = folder + "/" + file + ": " + text;
      }
    } else {
      refused = !why.empty();
    }
  }
  // Not remembered: a module installed meanwhile is found at the next try.
  if (error) {
    if (why.empty()) {
      *error = what + " (" + file + ") is not installed" + (folder.empty() ? "" : " in " + folder);
    } else {
      *error = what + " (" + file + ") " + (refused ? "is not loaded: " : "cannot be loaded: ") + why;
    }
  }
  return nullptr;
}

}  // namespace mp
