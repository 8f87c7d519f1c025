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
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>

namespace mp {

inline constexpr const char* kSettingsKey = "\\Software\\Corvistan\\MIRAPOST";

class SettingsKey {
 public:
  using Value = std::variant<std::string, std::int32_t>;

  // $XDG_CONFIG_HOME/Corvistan/MIRAPOST.reg, or ~/.config/... when unset.
  static std::string DefaultPath();

  explicit SettingsKey(std::string path = DefaultPath());
  ~SettingsKey();  // writes pending changes (as Close)

  // Opens the key. Without `create` it fails when the store has no such key
  // (no file, an unreadable file, or no section for the key). With `create`
  // it always succeeds unless the folder cannot be made; the key is written
  // on Close().
  bool Open(bool create);
  bool IsOpen() const { return open_; }

  std::optional<std::string> ReadString(const std::string& name) const;
  std::optional<std::int32_t> ReadInteger(const std::string& name) const;
  bool Exists(const std::string& name) const;

  void WriteString(const std::string& name, const std::string& value);
  void WriteInteger(const std::string& name, std::int32_t value);

  // Writes the store atomically when something was written; false when it
  // could not be written (the old file then stays as it was).
  bool Close();

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  bool open_ = false;
  bool dirty_ = false;
  std::map<std::string, Value> values_;  // keeps every value read, also unknown ones
  std::string other_sections_;           // text of other keys in the file, kept unchanged
};

}  // namespace mp
