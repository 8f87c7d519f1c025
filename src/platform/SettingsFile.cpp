// The settings file on disk: where it lives, how it is written, and what is
// left of writes that a crash interrupted.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "platform/Settings.h"
#include "platform/SettingsFile.h"

namespace mp {
namespace settings_file {
namespace {

bool WriteAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool WriteAtomically(const std::string& path, const std::string& data, const std::string& aside,
                     mode_t mode) {
  std::string tmp = path + ".XXXXXX";
  const int fd = ::mkstemp(tmp.data());
  if (fd < 0) return false;
  bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, data) && ::fsync(fd) == 0;
  if (::close(fd) != 0) ok = false;
  if (ok && !aside.empty() && ::rename(path.c_str(), aside.c_str()) != 0) ok = false;
  if (ok && ::rename(tmp.c_str(), path.c_str()) != 0) {
    if (!aside.empty()) ::rename(aside.c_str(), path.c_str());
    ok = false;
  }
  if (!ok) {
    ::unlink(tmp.c_str());
    return false;
  }
  // Make the rename itself durable; a failure here no longer loses data.
  const std::string dir = std::filesystem::path(path).parent_path().string();
  const int dfd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
}

std::string WriteTarget(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_symlink(path, ec)) return path;
  const std::filesystem::path target = std::filesystem::weakly_canonical(path, ec);
  return ec ? path : target.string();
}

bool IsReadOnly(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (::access(path.c_str(), R_OK) != 0) return false;
  return (st.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0;
}

}  // namespace settings_file

std::string SettingsKey::ReadOnlyNotice(const std::string& path) {
  if (!settings_file::IsReadOnly(path)) return {};
  return "Settings were not saved: " + path + " is read-only.";
}

std::string SettingsKey::ReadOnlyWarning(const std::string& path) {
  if (!settings_file::IsReadOnly(path)) return {};
  return "Settings will not be saved: " + path + " is read-only.";
}

void SettingsKey::RemoveStaleTemporaries(const std::string& path) {
  const std::filesystem::path store(path);
  const std::string prefix = store.filename().string() + ".";
  std::error_code ec;
  const auto now = std::filesystem::file_time_type::clock::now();
  for (const auto& entry : std::filesystem::directory_iterator(store.parent_path(), ec)) {
    const std::string name = entry.path().filename().string();
    // mkstemp's names: the prefix and six letters or digits.
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
    bool six = true;
    for (std::size_t i = prefix.size(); i < name.size(); ++i) {
      const char c = name[i];
      six = six && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'));
    }
    std::error_code e2;
    if (!six || !entry.is_regular_file(e2) || entry.is_symlink(e2)) continue;
    const auto written = entry.last_write_time(e2);
    if (e2 || now - written < std::chrono::minutes(1)) continue;
    std::filesystem::remove(entry.path(), e2);
  }
}

std::string SettingsKey::DefaultPath() {
  std::string base;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (home && home[0]) {
      base = home;
    } else if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) {
      base = pw->pw_dir;
    } else {
      base = ".";
    }
    base += "/.config";
  }
  return base + "/Corvistan/MIRAPOST.reg";
}

}  // namespace mp
