#pragma once
// smsd's spool folder, opened once for one message. Everyone who may write
// in it can read, change or forge what we queue there, so a folder that
// users other than its owner and smsd's group may write is refused. Each
// subfolder is reached without following a link and held open, so that a
// link or folder swapped in later cannot redirect us; smsd's result files
// are opened without following links or blocking, checked on the open
// descriptor, and believed only when they hold what smsd writes about our
// own message.
#include <sys/types.h>

#include <string>

namespace mp::gateway {

// Who counts as smsd: the spool folder's owner and group, the Debian
// package's user "smsd" and its group, and the group "dialout" smsd runs
// with; besides them only root and we may own or write spool folders.
struct SpoolWriters {
  uid_t owner = 0;
  gid_t group = 0;
  uid_t smsdUser = static_cast<uid_t>(-1);
  gid_t smsdGroup = static_cast<gid_t>(-1);
  gid_t dialout = static_cast<gid_t>(-1);

  static SpoolWriters For(uid_t spoolOwner, gid_t spoolGroup);
  bool User(uid_t uid) const;
  bool Group(gid_t gid) const;
  // Why the folder `st` describes is not safe to queue in; "" when it is.
  std::string FolderProblem(uid_t uid, gid_t gid, mode_t mode) const;
};

// Where smsd has put a queued file.
enum class SpoolState { Waiting, Sent, Failed, Gone };
struct SpoolStatus {
  SpoolState state = SpoolState::Waiting;
  std::string failReason;  // "Fail_reason:" of a failed file
  std::string distrust;    // a result file not believed, and why ("" none)
};

// Whether the file we queued is still ours to take back.
enum class Withdrawal { Withdrawn, Taken };

class Spool {
 public:
  Spool() = default;
  ~Spool();
  Spool(const Spool&) = delete;
  Spool& operator=(const Spool&) = delete;

  // Opens `path` and its outgoing/ folder (needed); sent/, failed/ and
  // checked/ are opened when first needed. False, with the reason, for a
  // missing or untrustworthy folder.
  bool Open(const std::string& path, std::string* error);
  // Writes `text` into outgoing/ atomically, readable by smsd's user (mode
  // 0644). Gives the file's name, or empty and `error`.
  std::string Queue(const std::string& text, std::string* error);
  // Where smsd has put the file queued as `name` with `text`.
  SpoolStatus Follow(const std::string& name, const std::string& text);
  // Takes the file back from outgoing/ if smsd has not taken it yet.
  Withdrawal Withdraw(const std::string& name);

 private:
  int Folder(int& fd, const char* name, std::string* error);
  // A result file smsd may have written in `sub` (sent/ or failed/).
  enum class Found { None, Believed, Distrusted };
  Found Result(int& folder, const char* sub, const std::string& name, const std::string& text, std::string* content,
               std::string* why);
  bool Present(int& folder, const char* sub, const std::string& name);

  std::string path_;
  SpoolWriters writers_;
  int root_ = -1, outgoing_ = -1, sent_ = -1, failed_ = -1, checked_ = -1;
};

// The header lines and body of a spool file's text, split at its first
// empty line; what smsd added to a result file is judged against them.
// True when `result` is what smsd writes for `ours` in the folder `sub`
// ("sent": a "Sent:" line; "failed": "Failed:" or "Fail_reason:"), our own
// header lines kept in order and our body unchanged; else false and `why`.
bool SmsdWrote(const std::string& result, const std::string& ours, const std::string& sub, std::string* why);

}  // namespace mp::gateway
