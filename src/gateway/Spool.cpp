// smsd's spool folder: trusted writers, descriptors, and the result files.
#include "gateway/Spool.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <vector>

namespace mp::gateway {

namespace {

// smsd writes a few hundred bytes; a larger "result" is not smsd's.
constexpr std::size_t kResultLimit = 64 * 1024;

bool WriteAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::string RandomSuffix() {
  static const char* chars = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string s;
  for (int i = 0; i < 8; ++i) s += chars[QRandomGenerator::global()->bounded(36)];
  return s;
}

std::string UserName(uid_t uid) {
  const passwd* p = ::getpwuid(uid);
  return p && p->pw_name ? std::string(p->pw_name) : "uid " + std::to_string(uid);
}

std::string GroupName(gid_t gid) {
  const group* g = ::getgrgid(gid);
  return g && g->gr_name ? std::string(g->gr_name) : "gid " + std::to_string(gid);
}

// A spool file's lines before its first empty line, and the rest.
void Split(const std::string& text, std::vector<std::string>* head, std::string* body) {
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    at = end + 1;
    if (line.empty()) break;
    head->push_back(line);
  }
  *body = at < text.size() ? text.substr(at) : std::string();
  while (!body->empty() && std::strchr("\r\n \t", body->back())) body->pop_back();
}

bool HasField(const std::vector<std::string>& head, const char* field) {
  for (const std::string& line : head) {
    if (line.rfind(field, 0) == 0) return true;
  }
  return false;
}

// Gives the hidden file its name, never replacing a file queued under that
// name; 0 or the errno. A rename is what smsd's notifier (inotify) sees, so
// smsd takes the file at once rather than at its next look; link() and
// unlink() serve where the file system cannot rename without replacing.
// The hidden file is gone afterwards either way.
int PlaceNoReplace(int dir, const std::string& hidden, const std::string& name) {
  if (::renameat2(dir, hidden.c_str(), dir, name.c_str(), RENAME_NOREPLACE) == 0) return 0;
  int e = errno;
  if (e == EINVAL || e == ENOSYS) {
    e = ::linkat(dir, hidden.c_str(), dir, name.c_str(), 0) == 0 ? 0 : errno;
  }
  ::unlinkat(dir, hidden.c_str(), 0);
  return e;
}

}  // namespace

SpoolWriters SpoolWriters::For(uid_t spoolOwner, gid_t spoolGroup) {
  SpoolWriters w;
  w.owner = spoolOwner;
  w.group = spoolGroup;
  if (const passwd* p = ::getpwnam("smsd")) {
    w.smsdUser = p->pw_uid;
    w.smsdGroup = p->pw_gid;
  }
  if (const struct group* g = ::getgrnam("dialout")) w.dialout = g->gr_gid;
  return w;
}

bool SpoolWriters::User(uid_t uid) const { return uid == 0 || uid == ::geteuid() || uid == owner || uid == smsdUser; }

bool SpoolWriters::Group(gid_t gid) const { return gid == group || gid == smsdGroup || gid == dialout; }

std::string SpoolWriters::FolderProblem(uid_t uid, gid_t gid, mode_t mode) const {
  if (!User(uid)) return "belongs to " + UserName(uid) + ", who is neither smsd nor you";
  // A sticky bit keeps others from replacing our file, not from reading it
  // or from making sent/ and failed/ files of their own.
  if (mode & S_IWOTH) return "may be written by every user";
  if ((mode & S_IWGRP) && !Group(gid)) return "may be written by the group " + GroupName(gid) + ", which is not smsd's";
  return {};
}

Spool::~Spool() {
  for (int fd : {root_, outgoing_, sent_, failed_, checked_}) {
    if (fd >= 0) ::close(fd);
  }
}

bool Spool::Open(const std::string& path, std::string* error) {
  path_ = path;
  // The folder the user named; a link to it is the user's own choice, or
  // root's, never another user's (planted in a folder all may write).
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && st.st_uid != 0 && st.st_uid != ::geteuid()) {
    *error = "the spool folder " + path + " is a link that belongs to " + UserName(st.st_uid);
    return false;
  }
  root_ = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (root_ < 0 || ::fstat(root_, &st) != 0) {
    *error =
        "the spool folder " + path + (errno == ENOENT ? " does not exist" : ": " + std::string(std::strerror(errno)));
    return false;
  }
  writers_ = SpoolWriters::For(st.st_uid, st.st_gid);
  if (const std::string p = writers_.FolderProblem(st.st_uid, st.st_gid, st.st_mode); !p.empty()) {
    *error = "the spool folder " + path + " " + p + ": others could read, change or forge its messages";
    return false;
  }
  if (Folder(outgoing_, "outgoing", error) < 0) return false;
  // A result folder that is there must be as safe as outgoing/.
  for (auto [fd, name] : {std::pair<int*, const char*>{&sent_, "sent"}, {&failed_, "failed"}, {&checked_, "checked"}}) {
    std::string why;
    if (Folder(*fd, name, &why) < 0 && errno != ENOENT) {
      *error = why;
      return false;
    }
  }
  return true;
}

int Spool::Folder(int& fd, const char* name, std::string* error) {
  if (fd >= 0) return fd;
  const std::string path = path_ + "/" + name;
  // Never through a link: one planted as outgoing/ would take our file
  // wherever it leads.
  const int opened = ::openat(root_, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (opened < 0) {
    const int e = errno;
    if (error) {
      *error = e == ENOENT                    ? "the spool folder " + path + " does not exist"
               : (e == ELOOP || e == ENOTDIR) ? "the spool folder " + path + " is a link or no folder"
                                              : "cannot open " + path + ": " + std::strerror(e);
    }
    errno = e;
    return -1;
  }
  struct stat st {};
  ::fstat(opened, &st);
  if (const std::string p = writers_.FolderProblem(st.st_uid, st.st_gid, st.st_mode); !p.empty()) {
    if (error) *error = "the spool folder " + path + " " + p + ": others could read, change or forge its messages";
    ::close(opened);
    errno = EPERM;
    return -1;
  }
  fd = opened;
  return fd;
}

std::string Spool::Queue(const std::string& text, std::string* error) {
  const std::string dir = path_ + "/outgoing";
  for (int attempt = 0; attempt < 20; ++attempt) {
    const std::string name = "mirapost-" + RandomSuffix();
    const std::string hidden = "." + name;
    const int fd = ::openat(outgoing_, hidden.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      *error = "cannot write into " + dir + ": " + std::strerror(errno);
      return {};
    }
    // Readable by smsd's user whatever our umask is.
    const bool ok = ::fchmod(fd, 0644) == 0 && WriteAll(fd, text) && ::fsync(fd) == 0;
    const int saved = errno;
    ::close(fd);
    if (!ok) {
      ::unlinkat(outgoing_, hidden.c_str(), 0);
      *error = "cannot write into " + dir + ": " + std::strerror(saved);
      return {};
    }
    const int placed = PlaceNoReplace(outgoing_, hidden, name);
    if (placed == 0) return name;
    if (placed == EEXIST) continue;
    *error = "cannot write into " + dir + ": " + std::strerror(placed);
    return {};
  }
  *error = "cannot find a free name in " + dir;
  return {};
}

bool SmsdWrote(const std::string& result, const std::string& ours, const std::string& sub, std::string* why) {
  std::vector<std::string> head, ourHead;
  std::string body, ourBody;
  Split(result, &head, &body);
  Split(ours, &ourHead, &ourBody);
  if (result.empty()) {
    *why = "is empty";
    return false;
  }
  // smsd keeps our header lines in their order and adds its own.
  std::size_t found = 0;
  for (const std::string& line : head) {
    if (found < ourHead.size() && line == ourHead[found]) ++found;
  }
  if (found < ourHead.size() || body != ourBody) {
    *why = "does not hold the message we queued";
    return false;
  }
  if (sub == "sent" ? !HasField(head, "Sent:") : !HasField(head, "Failed:") && !HasField(head, "Fail_reason:")) {
    *why = sub == "sent" ? "has no \"Sent:\" line" : "has no \"Failed:\" line";
    return false;
  }
  return true;
}

Spool::Found Spool::Result(int& folder, const char* sub, const std::string& name, const std::string& text,
                           std::string* content, std::string* why) {
  if (Folder(folder, sub, nullptr) < 0) return Found::None;
  // Neither through a link nor blocking: a FIFO put in its place would
  // otherwise hold us in open() past every bound.
  const int fd = ::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return Found::None;
    *why = errno == ELOOP ? "is a link" : std::string("cannot be read: ") + std::strerror(errno);
    return Found::Distrusted;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    *why = "is not a regular file";
  } else if (!writers_.User(st.st_uid)) {
    *why = "belongs to " + UserName(st.st_uid) + ", who is neither smsd nor you";
  } else if (st.st_mode & S_IWOTH) {
    *why = "may be written by every user";
  } else {
    content->clear();
    char buffer[4096];
    for (;;) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      content->append(buffer, static_cast<std::size_t>(n));
      if (content->size() > kResultLimit) break;
    }
    if (content->size() > kResultLimit) {
      *why = "is larger than anything smsd writes";
    } else if (SmsdWrote(*content, text, sub, why)) {
      ::close(fd);
      return Found::Believed;
    }
  }
  ::close(fd);
  return Found::Distrusted;
}

bool Spool::Present(int& folder, const char* sub, const std::string& name) {
  struct stat st {};
  return Folder(folder, sub, nullptr) >= 0 && ::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

SpoolStatus Spool::Follow(const std::string& name, const std::string& text) {
  SpoolStatus s;
  std::string content, why;
  switch (Result(sent_, "sent", name, text, &content, &why)) {
    case Found::Believed: s.state = SpoolState::Sent; return s;
    case Found::Distrusted: s.distrust = "sent/" + name + " " + why; break;
    case Found::None: break;
  }
  why.clear();
  switch (Result(failed_, "failed", name, text, &content, &why)) {
    case Found::Believed: {
      s.state = SpoolState::Failed;
      std::vector<std::string> head;
      std::string body;
      Split(content, &head, &body);
      for (const std::string& line : head) {
        if (line.rfind("Fail_reason:", 0) == 0) s.failReason = line.substr(12);
      }
      while (!s.failReason.empty() && s.failReason.front() == ' ') s.failReason.erase(0, 1);
      if (s.failReason.empty()) s.failReason = "smsd gave no reason";
      s.distrust.clear();
      return s;
    }
    case Found::Distrusted:
      if (s.distrust.empty()) s.distrust = "failed/" + name + " " + why;
      break;
    case Found::None: break;
  }
  if (!Present(outgoing_, "outgoing", name) && !Present(checked_, "checked", name)) {
    // Taken by smsd (a modem is sending it), or with a sent/ folder that is
    // not the spool's: keep waiting until the bound.
    s.state = SpoolState::Gone;
  }
  return s;
}

Withdrawal Spool::Withdraw(const std::string& name) {
  // smsd takes a file by renaming it out of outgoing/: whichever of us comes
  // first wins, and an unlink that finds nothing means smsd has it.
  if (::unlinkat(outgoing_, name.c_str(), 0) != 0) return Withdrawal::Taken;
  // (Where checked/ is on another file system smsd copies before it
  // removes: a copy there is smsd's.)
  return Present(checked_, "checked", name) ? Withdrawal::Taken : Withdrawal::Withdrawn;
}

}  // namespace mp::gateway
