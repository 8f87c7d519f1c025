#pragma once
// The reading behind FindOtherHolder: the process folder listed and each
// process's descriptors looked at, with the system's calls only (no
// allocation per entry), and the routine search's weighing shared between
// threads on a machine with many processes.
#include <sys/stat.h>

#include <string>
#include <vector>

#include "phone/PortAccess.h"

namespace mp::scan {

// The device as the kernel names it in fd links, and what makes a link it.
struct Target {
  struct stat st {};
  bool isChar = false;
  std::string name;
  bool underDev = false;
};

// True when process `pid` (an entry of the process folder `procFd`) has the
// target open. Another user's process, or one gone meanwhile, holds nothing.
bool Holds(int procFd, int pid, const Target& target) noexcept;

// True when the kernel tells descriptor counts: the size of a process's fd
// folder on procfs (Linux 6.2 and later; 0 before).
bool CountsDescriptors(int procFd);

// The routine search: the first holder of the target among the processes
// that RoutineSearchOrder picks from all of them weighed (not this one; not
// other users' unless we are root; no kernel threads); 0 when none.
// `threads` is how many threads share the weighing and the reading (1: the
// calling thread alone); the answer is the same however many there are.
// Reads `procFd` from where its reading stands, as EachProcess (below).
int RoutineHolder(int procFd, const Target& target, int threads);

// How many threads the routine search uses on this machine for about
// `processes` processes: 1 below 400, else one a core, at most 4.
int ThreadsFor(long processes);
// About how many processes the system runs, from the process folder's link
// count (one call); 0 when it tells nothing.
long ProcessEstimate(int procFd);

// --- what EachProcess needs -------------------------------------------------

// The entries of an open folder, read straight from the kernel into a buffer
// on the stack. Names are valid until the next Next().
class DirEntries {
 public:
  explicit DirEntries(int fd) noexcept : fd_(fd) {}
  DirEntries(const DirEntries&) = delete;
  DirEntries& operator=(const DirEntries&) = delete;
  // The next entry's name, nullptr at the end (or on an error: the folder
  // of a process that has ended reads as empty).
  const char* Next() noexcept;

 private:
  int fd_;
  long size_ = 0;
  long at_ = 0;
  alignas(8) char buf_[8192];
};

// The PID an entry names, 0 when it is no process.
int ParsePid(const char* name) noexcept;

// Calls `visit(pid)` for every process in the folder `procFd` (in the
// folder's order, from where its reading stands: a folder just opened is
// read from the start) until it returns false. Returns the PID that stopped
// it, or 0 when the listing ended.
template <typename Visit>
int EachProcess(int procFd, Visit visit) {
  DirEntries entries(procFd);
  while (const char* name = entries.Next()) {
    const int pid = ParsePid(name);
    if (pid > 0 && !visit(pid)) return pid;
  }
  return 0;
}

}  // namespace mp::scan
