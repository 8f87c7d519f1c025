#pragma once
// The per-user settings store: one key, "\Software\Corvistan\MIRAPOST", kept in
// $XDG_CONFIG_HOME/Corvistan/MIRAPOST.reg (default ~/.config) as text in the
// registry export style:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Corvistan\MIRAPOST]
//   "ComPort"=dword:00000004
//   "FontName"="System"
//
// Values are typed (text or 32-bit integer) and read only with the expected
// type. A missing or unreadable file means "no key". Saving writes a temporary
// file beside the store and renames it over the old one.
//
// File format details:
// - The file is written as UTF-8 text. Text values are stored as the bytes the
//   caller passes in (the windows pass UTF-8); they are not converted. In a
//   text value and in a value name, backslash, double quote, line feed,
//   carriage return and NUL are written as \\, \", \n, \r and \0.
// - Integers are written as dword:%08x of the 32-bit pattern (-1 is
//   dword:ffffffff and reads back as -1).
// - Value names compare without regard to ASCII letter case, as in the
//   registry; a value keeps the spelling it was first written with.
// - A file is readable when it is a regular file of at most
//   kMaxFileSize bytes whose first line is "Windows Registry Editor Version
//   5.00" or "REGEDIT4" (a UTF-8 byte order mark or UTF-16 text with a byte
//   order mark, as regedit exports it, is accepted). Lines of the key that
//   cannot be parsed are not read as values but are kept; values of other
//   types (hex:, hex(2):, ...), comments, and other keys' sections are kept
//   unchanged when the file is rewritten.
// - A file that exists but is not readable (garbage, too big, no permission)
//   is never overwritten: when a value has to be saved, the old file is first
//   renamed to MIRAPOST.reg.bad (replacing an older one) and a new store is
//   written. A path that is not a regular file (a folder, a pipe) is left
//   alone and nothing is saved.
// - A store that is a symbolic link is written through to the file it points
//   to (the temporary file is made beside that file); the link stays.
// - A store without write permission is left alone: Close() gives false.
// - The file is looked at again at Open() and at Close() (and read again when
//   it changed since it was last read), where the values
//   written in between are applied to what is on disk at that moment; so
//   windows that open, write and close the key in turn (or even overlapping)
//   keep each other's values.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace mp {

inline constexpr const char* kSettingsKey = "\\Software\\Corvistan\\MIRAPOST";

class SettingsKey {
 public:
  using Value = std::variant<std::string, std::int32_t>;

  // Larger files are not read (treated as unreadable).
  static constexpr std::size_t kMaxFileSize = 1u << 20;

  // $XDG_CONFIG_HOME/Corvistan/MIRAPOST.reg, or ~/.config/... when unset.
  static std::string DefaultPath();

  explicit SettingsKey(std::string path = DefaultPath());
  ~SettingsKey();  // writes pending changes (as Close)
  SettingsKey(const SettingsKey&) = delete;
  SettingsKey& operator=(const SettingsKey&) = delete;

  // Opens the key. Without `create` it fails when the store has no such key
  // (no file, an unreadable file, or no section for the key). With `create`
  // it always succeeds unless the folder cannot be made or the path is not a
  // regular file; the key is written on Close().
  // Opening an open key closes it first (writing pending changes).
  bool Open(bool create);
  bool IsOpen() const { return open_; }

  // Reads and writes need an open key; otherwise reads give nothing and
  // writes are ignored.
  std::optional<std::string> ReadString(const std::string& name) const;
  std::optional<std::int32_t> ReadInteger(const std::string& name) const;
  bool Exists(const std::string& name) const;  // of any type

  void WriteString(const std::string& name, const std::string& value);
  void WriteInteger(const std::string& name, std::int32_t value);

  // The store holds a secret (a gateway's password): Close writes it, even
  // unchanged, with no permission for the group or others (mode 0600).
  void KeepPrivate() {
    private_ = true;
    dirty_ = true;
  }

  // Writes the store atomically when something was written; false when it
  // could not be written (the old file then stays as it was). Closing a key
  // that is not open does nothing and gives true.
  bool Close();

  const std::string& Path() const { return path_; }

  // "Settings were not saved: <path> is read-only." when the store at `path`
  // is a file without write permission (for the owner's mode bits or for
  // this user), which Close() leaves alone; otherwise empty.
  static std::string ReadOnlyNotice(const std::string& path = DefaultPath());
  // The same said ahead, at start-up: "Settings will not be saved: <path> is
  // read-only."; otherwise empty.
  static std::string ReadOnlyWarning(const std::string& path = DefaultPath());
  // Removes temporary files ("MIRAPOST.reg.XXXXXX") that a crash left beside
  // the store at `path`; those younger than a minute may belong to a save in
  // progress and stay. Close() calls it before writing.
  static void RemoveStaleTemporaries(const std::string& path = DefaultPath());
  // How often a store was opened and read from disk in this process. The
  // key is opened many times (each window reads its part), but an unchanged
  // file is opened and read once: the bytes are kept with its inode, size
  // and times, and a look at those (stat) is all a later opening costs.
  static int FileReads();

 private:
  enum class Kind { Text, Integer, Other };
  struct Entry {
    bool named = false;  // false: a line of the key without a readable name
    std::string name;    // as first written
    Kind kind = Kind::Other;
    std::string text;
    std::int32_t integer = 0;
    std::string raw;     // Other: the lines as found in the file, line ends included
  };
  enum class FileState { Missing, Readable, Unreadable, NotAFile };

  void ClearContent();  // what was read from the file
  void Reset();         // and the pending writes
  FileState Load(std::string* bytes);
  // Opens and reads the file into `bytes` (and the read cache).
  FileState ReadFile(std::string* bytes);
  void Parse(const std::string& text);
  const Entry* Find(const std::string& name) const;
  void Set(const std::string& name, Value value);
  std::string Serialize() const;

  std::string path_;
  bool open_ = false;
  bool dirty_ = false;
  bool private_ = false;
  bool key_found_ = false;
  std::vector<Entry> entries_;                    // values of the key in file order
  std::map<std::string, std::size_t> index_;      // folded name -> entries_ position
  std::vector<std::pair<std::string, Value>> changes_;  // written since Open, in order
  std::string before_;  // file text between the header line and the key's section
  std::string after_;   // file text after the key's section (other keys)
  std::string eol_ = "\n";
};

}  // namespace mp
