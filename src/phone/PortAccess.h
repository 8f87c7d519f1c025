#pragma once
// Who may use a serial device: the reasons an open fails, UUCP lock files and
// the search for another process that holds the device open. The folders the
// system keeps these in are injectable, so that tests use folders of their own.
#include <string>
#include <string_view>
#include <vector>

namespace mp {

// Where the system keeps lock files, process information and device
// information. Tests point them at folders of their own.
struct PortPaths {
  std::string lockDir = "/run/lock";
  std::string procRoot = "/proc";
  std::string sysRoot = "/sys";
};
// The paths that newly made serial lines and port listings use.
const PortPaths& CurrentPortPaths();
void SetPortPaths(const PortPaths& paths);

enum class PortError {
  None,
  NoPort,            // no COM n chosen, or none that maps to a device
  NotFound,          // the device does not exist
  PermissionDenied,  // the user may not open it
  InUse,             // another program has it
  NotSerial,         // a plain file, or a device that is no terminal
  Settings,          // the line settings were refused
  Other,             // any other system error (errnum)
};

// A process that has a device open or locked, or a lock entry that belongs
// to nobody we can name (a symbolic link, a FIFO, a folder: set `foreignLock`
// to its path and leave pid 0).
struct PortHolder {
  int pid = 0;
  std::string program;      // empty when unknown
  std::string foreignLock;  // the lock entry that is no lock file, when that is the reason
  std::string deviceId;     // ModemManager's id of the device (its path under /sys), when known
  std::string plantedLock;  // our temporary lock name, held by an entry we cannot remove
};

struct PortFailure {
  PortError error = PortError::None;
  int errnum = 0;     // the system's error number for Other
  PortHolder holder;  // for InUse, when known
};

// The text after "Cannot open communications port.": the device and why,
// with a hint where one helps ("/dev/ttyUSB0: permission denied; add your
// user to the dialout group and log in again.").
std::string DescribePortFailure(const std::string& device, const PortFailure& failure);

// The physical device a serial line belongs to, as ModemManager names it for
// "mmcli --inhibit-device": the USB device's (or else the line's own) path
// under <sysRoot>/devices. Empty when the system tells nothing.
std::string ModemDeviceId(const std::string& device, const PortPaths& paths);

// The program name of a process ("minicom"), from <procRoot>/<pid>/comm.
std::string ProgramOf(int pid, const PortPaths& paths);

// How thoroughly FindOtherHolder looks. Full (to name the holder after a
// refusal) reads the descriptors of every process. Routine (before every use
// of a port) must not cost more on a machine with more open files, and no
// kernel interface tells who has a terminal open short of reading every
// descriptor of every process (a few us each; 12,000 on a desktop). So it
// weighs each process by one stat of its fd folder (the count of its open
// files, and its owner), names the large ones by their program's file, and
// reads at most kRoutineDescriptorBudget descriptors, from the processes
// most likely to hold a serial line: programs known to use one (whatever
// their size) first, then processes with at most kRoutineSmallProcess open
// files, fewest first (terminal programs, scripts, gateways and daemons that
// talk to modems are small). Its cost still grows with the number of
// processes (listing them and a stat each, a few us), no longer with their
// files; on a machine with several hundred processes the stats, and then the
// reading, are shared between threads (up to 4), with the same answer as one
// thread reading in turn (1,200 processes: about 6 ms of work, 3.5-5 ms on
// two cores).
// What it trades: a port that a large process (a browser, an IDE, an editor
// with a hundred files) or a process beyond the budget holds open without
// any lock is not seen, and the open goes on; programs that take the UUCP
// lock, flock the line or set exclusive mode are refused whatever their
// size. Where the kernel tells no descriptor counts (before Linux 6.2, or a
// process folder that is not procfs) the routine search reads everything.
enum class HolderSearch { Routine, Full };
inline constexpr long kRoutineSmallProcess = 64;
inline constexpr long kRoutineDescriptorBudget = 400;

// A process as the routine search weighs it: its open descriptor count and
// whether its name is that of a program known to use serial lines.
struct ProcessFiles {
  int pid = 0;
  long descriptors = 0;
  bool serialProgram = false;
};
// The PIDs the routine search reads, in the order it reads them.
std::vector<int> RoutineSearchOrder(std::vector<ProcessFiles> processes);
// True for the file name of a program known to hold serial lines:
// ModemManager, minicom, picocom, screen, gammu, smsd, pppd, ...
bool IsSerialProgram(std::string_view program);

// Another process (not this one) that has `device` open, found as fuser
// finds it: the <procRoot>/<pid>/fd/<n> links that lead to the same device.
// Only the link's text is read, only links into /dev are looked at further,
// and the search ends at the first holder. Processes whose descriptors we
// may not read (other users') are skipped. pid 0 when there is none.
PortHolder FindOtherHolder(const std::string& device, const PortPaths& paths,
                           HolderSearch search = HolderSearch::Full);

// A UUCP lock file "LCK..<name>" in the lock folder, holding the PID as ten
// ASCII characters and a line feed. A lock of a process that no longer runs
// is stale and removed; a lock folder we may not write to means going on
// without a lock file. Nothing in the lock folder is ever opened through a
// link: the lock is written to a temporary file made new (O_EXCL|O_NOFOLLOW)
// and linked into place, and a lock entry that is a link or no regular file
// refuses the port, named in the holder's `foreignLock`. An entry at our
// temporary name that we may not remove (another user's, in the sticky lock
// folder) refuses the port too, named in `plantedLock`: going on without the
// lock would let a second program open the port unwarned.
class UucpLock {
 public:
  UucpLock() = default;
  ~UucpLock() { Release(); }
  UucpLock(const UucpLock&) = delete;
  UucpLock& operator=(const UucpLock&) = delete;

  // True when the lock is ours or no lock file can be made; false with
  // `holder` set when a running process holds it, or with its foreignLock
  // set when the lock entry is no lock file.
  bool Acquire(const std::string& device, const PortPaths& paths, PortHolder& holder);
  // Removes our lock file (only while it still names this process).
  void Release();
  // The lock file we hold, empty when none.
  const std::string& File() const { return file_; }

  // "LCK..ttyUSB0" for /dev/ttyUSB0 (links followed); "LCK..pts_3" for /dev/pts/3.
  static std::string FileName(const std::string& device);

 private:
  std::string file_;
};

}  // namespace mp
