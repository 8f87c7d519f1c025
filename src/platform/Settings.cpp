#include "platform/Settings.h"

#include "platform/SettingsFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <atomic>
#include <mutex>
#include <string_view>

namespace mp {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kSection = "HKEY_CURRENT_USER\\Software\\Corvistan\\MIRAPOST";

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Fold(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = Lower(c);
  return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// regedit exports UTF-16 text with a byte order mark; the store itself is
// UTF-8. Broken surrogates become U+FFFD, an odd last byte is dropped.
std::string Utf16ToUtf8(std::string_view bytes, bool big_endian) {
  std::string out;
  out.reserve(bytes.size() / 2);
  auto unit = [&](std::size_t i) -> char32_t {
    const auto a = static_cast<unsigned char>(bytes[i]);
    const auto b = static_cast<unsigned char>(bytes[i + 1]);
    return big_endian ? char32_t((a << 8) | b) : char32_t((b << 8) | a);
  };
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    char32_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size()) {
      const char32_t lo = unit(i + 2);
      if (lo >= 0xDC00 && lo <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
        i += 2;
        continue;
      }
    }
    if (u >= 0xD800 && u <= 0xDFFF) u = 0xFFFD;
    AppendUtf8(out, u);
  }
  return out;
}

std::string Escape(std::string_view s) {
  std::string out;
  out.reserve(s.size() + 2);
  for (char c : s) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\0': out += "\\0"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

// Parses a quoted string starting at s[pos] == '"'. On success sets `out`
// and returns the position after the closing quote; npos when unterminated.
std::size_t ParseQuoted(std::string_view s, std::size_t pos, std::string& out) {
  out.clear();
  for (std::size_t i = pos + 1; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '"') return i + 1;
    if (c != '\\') {
      out.push_back(c);
      continue;
    }
    if (++i == s.size()) break;
    switch (s[i]) {
      case '\\': out.push_back('\\'); break;
      case '"': out.push_back('"'); break;
      case 'n': out.push_back('\n'); break;
      case 'r': out.push_back('\r'); break;
      case '0': out.push_back('\0'); break;
      default:  // unknown escape: kept as written
        out.push_back('\\');
        out.push_back(s[i]);
    }
  }
  return std::string_view::npos;
}

std::optional<std::int32_t> ParseDword(std::string_view data) {
  constexpr std::string_view kPrefix = "dword:";
  if (data.size() < kPrefix.size() || !EqualsNoCase(data.substr(0, kPrefix.size()), kPrefix))
    return std::nullopt;
  data.remove_prefix(kPrefix.size());
  data = TrimRight(data);
  if (data.empty() || data.size() > 8) return std::nullopt;
  std::uint32_t v = 0;
  for (char c : data) {
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return std::nullopt;
    v = (v << 4) | static_cast<std::uint32_t>(d);
  }
  return static_cast<std::int32_t>(v);
}

// Content of a line without its line end.
std::string_view Content(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  return line;
}

// Makes `out` end with an empty line, so that a section header follows a gap.
void EnsureBlankLine(std::string& out, const std::string& eol) {
  if (out.empty()) return;
  if (out.back() != '\n') out += eol;
  const std::size_t prev = out.size() >= 2 ? out.rfind('\n', out.size() - 2) : std::string::npos;
  const std::string_view last(out.data() + (prev == std::string::npos ? 0 : prev + 1),
                              out.size() - 1 - (prev == std::string::npos ? 0 : prev + 1));
  if (!TrimRight(last).empty()) out += eol;
}

// The store's bytes as last read, with what identifies that version of the
// file: every window opens the key in turn, and the file is read again only
// when it has changed (another inode after a save, another size or time).
// File times tick coarsely (a few milliseconds), so a version changed just
// before it was read could be changed again in place with the same times:
// such a version is not kept, and the next reader reads the file.
struct ReadCache {
  static constexpr std::int64_t kTimeGrainNs = 100'000'000;
  std::mutex mutex;
  std::string path;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = -1;
  timespec mtime{}, ctime{};
  std::string bytes;

  bool Matches(const std::string& p, const struct stat& st) const {
    return size >= 0 && p == path && st.st_dev == dev && st.st_ino == ino && st.st_size == size &&
           st.st_mtim.tv_sec == mtime.tv_sec && st.st_mtim.tv_nsec == mtime.tv_nsec &&
           st.st_ctim.tv_sec == ctime.tv_sec && st.st_ctim.tv_nsec == ctime.tv_nsec;
  }
  void Keep(const std::string& p, const struct stat& st, const std::string& b) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const std::int64_t age = (std::int64_t(now.tv_sec) - st.st_ctim.tv_sec) * 1'000'000'000 +
                             (std::int64_t(now.tv_nsec) - st.st_ctim.tv_nsec);
    if (age < kTimeGrainNs) {
      size = -1;
      return;
    }
    path = p;
    dev = st.st_dev;
    ino = st.st_ino;
    size = st.st_size;
    mtime = st.st_mtim;
    ctime = st.st_ctim;
    bytes = b;
  }
};

std::atomic<int> g_fileReads{0};

ReadCache& Cache() {
  static ReadCache cache;
  return cache;
}

}  // namespace

int SettingsKey::FileReads() { return g_fileReads.load(); }

SettingsKey::SettingsKey(std::string path) : path_(std::move(path)) {}

SettingsKey::~SettingsKey() { Close(); }

void SettingsKey::ClearContent() {
  key_found_ = false;
  entries_.clear();
  index_.clear();
  before_.clear();
  after_.clear();
  eol_ = "\n";
}

void SettingsKey::Reset() {
  ClearContent();
  dirty_ = false;
  private_ = false;
  changes_.clear();
}

SettingsKey::FileState SettingsKey::ReadFile(std::string* bytes) {
  // O_NONBLOCK: opening a pipe must not wait for a writer.
  const int fd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    const int err = errno;
    if (err == ENOENT) return FileState::Missing;
    if (err == ENOTDIR) return FileState::NotAFile;  // a part of the folder path is a file
    struct stat st;
    if (::stat(path_.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return FileState::NotAFile;
    return FileState::Unreadable;
  }
  ++g_fileReads;
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    ::close(fd);
    return FileState::Unreadable;
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return FileState::NotAFile;
  }
  if (static_cast<std::uint64_t>(st.st_size) > kMaxFileSize) {
    ::close(fd);
    return FileState::Unreadable;
  }
  ReadCache& cache = Cache();
  if (st.st_size > 0) {
    // The size may change while reading: stop one chunk beyond the cap.
    bytes->reserve(static_cast<std::size_t>(st.st_size));
    char chunk[16384];
    bool failed = false;
    while (bytes->size() <= kMaxFileSize) {
      const ssize_t n = ::read(fd, chunk, sizeof chunk);
      if (n < 0) {
        if (errno == EINTR) continue;
        failed = true;
        break;
      }
      if (n == 0) break;
      bytes->append(chunk, static_cast<std::size_t>(n));
    }
    struct stat after;
    const bool unchanged = ::fstat(fd, &after) == 0 && after.st_size == st.st_size &&
                           static_cast<std::size_t>(after.st_size) == bytes->size() &&
                           after.st_mtim.tv_sec == st.st_mtim.tv_sec && after.st_mtim.tv_nsec == st.st_mtim.tv_nsec;
    ::close(fd);
    if (failed || bytes->size() > kMaxFileSize) return FileState::Unreadable;
    if (unchanged) {
      std::lock_guard lock(cache.mutex);
      cache.Keep(path_, st, *bytes);
    }
  } else {
    ::close(fd);
  }
  return FileState::Readable;
}

SettingsKey::FileState SettingsKey::Load(std::string* bytes) {
  ClearContent();
  bytes->clear();

  // Unchanged since it was last read (the same file, size and times): the
  // bytes read then, without opening it again. Only a change is read.
  {
    struct stat now;
    if (::stat(path_.c_str(), &now) == 0 && S_ISREG(now.st_mode)) {
      ReadCache& cache = Cache();
      std::lock_guard lock(cache.mutex);
      if (cache.Matches(path_, now)) *bytes = cache.bytes;
    }
  }
  if (bytes->empty()) {
    const FileState read = ReadFile(bytes);
    if (read != FileState::Readable) return read;
  }

  std::string text;
  const std::string_view b(*bytes);
  if (b.size() >= 2 && b[0] == '\xFF' && b[1] == '\xFE') {
    text = Utf16ToUtf8(b.substr(2), false);
  } else if (b.size() >= 2 && b[0] == '\xFE' && b[1] == '\xFF') {
    text = Utf16ToUtf8(b.substr(2), true);
  } else if (b.substr(0, 3) == "\xEF\xBB\xBF") {
    text = b.substr(3);
  } else {
    text = b;
  }
  const std::size_t nl = text.find('\n');
  const std::string_view first = TrimRight(std::string_view(text).substr(0, nl));
  if (first != kHeader && first != kHeader4) return FileState::Unreadable;
  if (nl != std::string::npos && nl > 0 && text[nl - 1] == '\r') eol_ = "\r\n";
  Parse(nl == std::string::npos ? std::string() : text.substr(nl + 1));
  return FileState::Readable;
}

void SettingsKey::Parse(const std::string& text) {
  enum class Where { Outside, Ours, Other } where = Where::Outside;
  std::size_t pos = 0;
  auto next_line = [&]() -> std::string_view {
    const std::size_t nl = text.find('\n', pos);
    const std::size_t end = nl == std::string::npos ? text.size() : nl + 1;
    std::string_view line(text.data() + pos, end - pos);
    pos = end;
    return line;
  };
  // Adds the continuation lines of a value whose data ends with a backslash.
  auto continued = [&](std::string_view line) {
    std::string raw(line);
    while (pos < text.size() && TrimRight(Content(line)).ends_with('\\')) {
      line = next_line();
      raw += line;
    }
    return raw;
  };

  while (pos < text.size()) {
    std::string_view line = next_line();
    const std::string_view content = TrimLeft(TrimRight(Content(line)));

    if (content.starts_with('[')) {
      const std::size_t close = content.rfind(']');
      const bool ours = close != std::string_view::npos && close == content.size() - 1 &&
                        EqualsNoCase(content.substr(1, close - 1), kSection);
      if (ours) {
        where = Where::Ours;
        key_found_ = true;  // a repeated section of the key is merged into the first
        continue;
      }
      where = Where::Other;
    }
    if (where != Where::Ours) {
      (key_found_ ? after_ : before_) += line;
      continue;
    }
    if (content.empty()) continue;  // gaps in the key are written anew

    Entry e;
    std::string name;
    std::size_t p = std::string_view::npos;
    if (content.front() == '"') p = ParseQuoted(content, 0, name);
    if (p != std::string_view::npos) {
      std::string_view rest = TrimLeft(content.substr(p));
      if (rest.starts_with('=')) {
        e.named = true;
        e.name = std::move(name);
        const std::string_view data = TrimLeft(rest.substr(1));
        std::string s;
        if (data.starts_with('"')) {
          const std::size_t q = ParseQuoted(data, 0, s);
          if (q != std::string_view::npos && TrimLeft(data.substr(q)).empty()) {
            e.kind = Kind::Text;
            e.text = std::move(s);
          } else {
            e.raw = line;
          }
        } else if (auto v = ParseDword(data)) {
          e.kind = Kind::Integer;
          e.integer = *v;
        } else {
          e.raw = continued(line);
        }
      }
    }
    if (!e.named) {
      // Not a value we can name (the default value "@", a comment, garbage):
      // kept as it is.
      e.raw = content.starts_with('@') ? continued(line) : std::string(line);
    }
    if (e.named) {
      const std::string key = Fold(e.name);
      if (auto it = index_.find(key); it != index_.end()) {
        // A later line for the same name wins; the first spelling stays.
        e.name = std::move(entries_[it->second].name);
        entries_[it->second] = std::move(e);
        continue;
      }
      index_.emplace(key, entries_.size());
    }
    entries_.push_back(std::move(e));
  }
}

bool SettingsKey::Open(bool create) {
  if (open_) Close();
  Reset();
  std::string bytes;
  const FileState state = Load(&bytes);
  if (!create) {
    if (state != FileState::Readable || !key_found_) {
      Reset();
      return false;
    }
    open_ = true;
    return true;
  }
  if (state == FileState::NotAFile) {
    Reset();
    return false;
  }
  std::error_code ec;
  const std::filesystem::path dir = std::filesystem::path(path_).parent_path();
  if (!dir.empty()) std::filesystem::create_directories(dir, ec);
  if (ec) {
    Reset();
    return false;
  }
  open_ = true;
  if (state != FileState::Readable || !key_found_) dirty_ = true;  // the key is created
  return true;
}

const SettingsKey::Entry* SettingsKey::Find(const std::string& name) const {
  if (!open_) return nullptr;
  const auto it = index_.find(Fold(name));
  return it == index_.end() ? nullptr : &entries_[it->second];
}

std::optional<std::string> SettingsKey::ReadString(const std::string& name) const {
  const Entry* e = Find(name);
  if (!e || e->kind != Kind::Text) return std::nullopt;
  return e->text;
}

std::optional<std::int32_t> SettingsKey::ReadInteger(const std::string& name) const {
  const Entry* e = Find(name);
  if (!e || e->kind != Kind::Integer) return std::nullopt;
  return e->integer;
}

bool SettingsKey::Exists(const std::string& name) const { return Find(name) != nullptr; }

void SettingsKey::Set(const std::string& name, Value value) {
  Entry* e;
  const std::string key = Fold(name);
  if (auto it = index_.find(key); it != index_.end()) {
    e = &entries_[it->second];
  } else {
    index_.emplace(key, entries_.size());
    e = &entries_.emplace_back();
    e->named = true;
    e->name = name;
  }
  e->raw.clear();
  if (const auto* s = std::get_if<std::string>(&value)) {
    e->kind = Kind::Text;
    e->text = *s;
  } else {
    e->kind = Kind::Integer;
    e->integer = std::get<std::int32_t>(value);
  }
}

void SettingsKey::WriteString(const std::string& name, const std::string& value) {
  if (!open_) return;
  Set(name, value);
  changes_.emplace_back(name, value);
  dirty_ = true;
}

void SettingsKey::WriteInteger(const std::string& name, std::int32_t value) {
  if (!open_) return;
  Set(name, value);
  changes_.emplace_back(name, value);
  dirty_ = true;
}

std::string SettingsKey::Serialize() const {
  std::string out;
  out += kHeader;
  out += eol_;
  out += before_;
  EnsureBlankLine(out, eol_);
  out += '[';
  out += kSection;
  out += ']';
  out += eol_;
  char hex[16];
  for (const Entry& e : entries_) {
    switch (e.kind) {
      case Kind::Text:
        out += '"' + Escape(e.name) + "\"=\"" + Escape(e.text) + '"' + eol_;
        break;
      case Kind::Integer:
        std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(static_cast<std::uint32_t>(e.integer)));
        out += '"' + Escape(e.name) + "\"=dword:" + hex + eol_;
        break;
      case Kind::Other:
        out += e.raw;
        if (!e.raw.ends_with('\n')) out += eol_;
        // A value cut off after a continuation backslash would swallow the
        // next line; an empty line ends it.
        if (TrimRight(Content(e.raw)).ends_with('\\')) out += eol_;
        break;
    }
  }
  out += eol_;
  out += after_;
  return out;
}

bool SettingsKey::Close() {
  if (!open_) return true;
  open_ = false;
  if (!dirty_) {
    Reset();
    return true;
  }
  // Apply this key's writes to what is on disk now, so that another key
  // object that wrote in the meantime keeps its values.
  std::string old;
  const FileState state = Load(&old);
  auto changes = std::move(changes_);
  if (state == FileState::NotAFile) {
    Reset();
    return false;
  }
  for (auto& [name, value] : changes) Set(name, std::move(value));
  const std::string data = Serialize();
  bool ok = true;
  const std::string target = settings_file::WriteTarget(path_);
  struct stat st;
  mode_t mode = (state == FileState::Readable && ::stat(target.c_str(), &st) == 0)
                    ? (st.st_mode & 07777)
                    : 0600;  // recipient numbers are personal data
  // A file that holds a password is the user's alone, whatever its mode was.
  const bool narrow = private_ && (mode & 07077) != 0;
  if (private_) mode = (mode & 0700) | 0600;
  if (state != FileState::Readable || data != old || narrow) {
    if (settings_file::IsReadOnly(path_)) {  // the user's choice: leave it
      Reset();
      return false;
    }
    RemoveStaleTemporaries(path_);
    const std::string aside = state == FileState::Unreadable ? target + ".bad" : std::string();
    ok = settings_file::WriteAtomically(target, data, aside, mode);
  }
  Reset();
  return ok;
}

}  // namespace mp
