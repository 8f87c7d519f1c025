// Listing processes and reading their descriptors for FindOtherHolder, and
// the routine search's weighing shared between threads.
#include "phone/ProcessScan.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/magic.h>
#include <sched.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>

namespace mp::scan {

const char* DirEntries::Next() noexcept {
  for (;;) {
    if (at_ >= size_) {
      const ssize_t n = ::getdents64(fd_, buf_, sizeof buf_);
      if (n <= 0) return nullptr;
      size_ = n;
      at_ = 0;
    }
    const auto* e = reinterpret_cast<const dirent64*>(buf_ + at_);
    at_ += e->d_reclen;
    if (e->d_name[0] != '.') return e->d_name;
  }
}

int ParsePid(const char* name) noexcept {
  if (*name < '1' || *name > '9') return 0;
  long pid = 0;
  for (; *name; ++name) {
    if (*name < '0' || *name > '9' || pid > INT_MAX / 10) return 0;
    pid = pid * 10 + (*name - '0');
  }
  return pid <= INT_MAX ? static_cast<int>(pid) : 0;
}

namespace {

// "<pid><suffix>" into `out` (room for any PID and a short suffix).
void PidPath(char (&out)[32], int pid, const char* suffix) noexcept {
  char* end = std::to_chars(out, out + 12, pid).ptr;
  const size_t room = static_cast<size_t>(out + sizeof out - 1 - end);
  const size_t n = std::min(std::strlen(suffix), room);
  std::memcpy(end, suffix, n);
  end[n] = '\0';
}

// True when the program file of process `pid` (the link to its executable)
// is one known to hold serial lines. False when we may not read it.
bool RunsSerialProgram(int procFd, int pid) noexcept {
  char path[32];
  PidPath(path, pid, "/exe");
  char link[PATH_MAX];
  const ssize_t n = ::readlinkat(procFd, path, link, sizeof link);
  if (n <= 0) return false;
  std::string_view name(link, static_cast<size_t>(n));
  // A program replaced while it runs: "/usr/bin/screen (deleted)".
  constexpr std::string_view kDeleted = " (deleted)";
  if (name.size() > kDeleted.size() && name.substr(name.size() - kDeleted.size()) == kDeleted)
    name.remove_suffix(kDeleted.size());
  const size_t slash = name.rfind('/');
  if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
  return IsSerialProgram(name);
}

}  // namespace

bool Holds(int procFd, int pid, const Target& target) noexcept {
  char fdPath[32];
  PidPath(fdPath, pid, "/fd");
  const int fdsFd = ::openat(procFd, fdPath, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fdsFd < 0) return false;  // another user's process, or gone meanwhile
  bool same = false;
  char link[PATH_MAX];
  DirEntries fds(fdsFd);
  // A link is worth a stat only when it leads into /dev (every terminal
  // does) or has the device's own name; sockets, pipes, anonymous inodes and
  // ordinary files are passed over by their text alone.
  while (const char* name = fds.Next()) {
    if (name[0] < '0' || name[0] > '9') continue;
    const ssize_t n = ::readlinkat(fdsFd, name, link, sizeof link - 1);
    if (n <= 0) continue;
    link[n] = '\0';
    if (target.name != link && !(target.underDev && std::strncmp(link, "/dev/", 5) == 0)) continue;
    struct stat st {};
    if (::fstatat(fdsFd, name, &st, 0) != 0) continue;
    // A device node that is gone (a pseudo-terminal whose other side has
    // closed, an unplugged adapter) is no longer this device, even when a
    // new one now has its number.
    if (st.st_nlink == 0) continue;
    same = target.isChar ? (S_ISCHR(st.st_mode) && st.st_rdev == target.st.st_rdev)
                         : (st.st_dev == target.st.st_dev && st.st_ino == target.st.st_ino);
    if (same) break;
  }
  ::close(fdsFd);
  return same;
}

bool CountsDescriptors(int procFd) {
  // This process always has the process folder itself open.
  struct statfs fs {};
  if (::fstatfs(procFd, &fs) != 0 || fs.f_type != PROC_SUPER_MAGIC) return false;
  struct stat self {};
  return ::fstatat(procFd, "self/fd", &self, 0) == 0 && self.st_size > 0;
}

long ProcessEstimate(int procFd) {
  // procfs counts every process in its root folder's links.
  struct stat st {};
  return ::fstat(procFd, &st) == 0 ? static_cast<long>(st.st_nlink) : 0;
}

int ThreadsFor(long processes) {
  // A thread costs its start and a wake-up or two; a stat costs a few us.
  // Below a few hundred processes one thread is done before another starts.
  if (processes < 400) return 1;
  // The cores this process may run on (fewer than the machine's when it is
  // pinned).
  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  const long cores = ::sched_getaffinity(0, sizeof cpus, &cpus) == 0 ? CPU_COUNT(&cpus)
                                                                     : std::thread::hardware_concurrency();
  return static_cast<int>(std::clamp(cores, 1L, 4L));
}

namespace {

// Processes listed together, and what weighing them found.
struct Batch {
  static constexpr int kSize = 64;
  int pids[kSize];
  int count = 0;
  ProcessFiles weighed[kSize];
  int kept = 0;
};

// One stat a process: how many files it has open, and whose it is. Only the
// large ones are named (one call each): the small ones are taken by their
// size.
void Weigh(int procFd, uid_t me, Batch& batch) noexcept {
  char path[32];
  for (int i = 0; i < batch.count; ++i) {
    PidPath(path, batch.pids[i], "/fd");
    struct stat fds {};
    if (::fstatat(procFd, path, &fds, 0) != 0 || fds.st_size <= 0) continue;  // gone, or a kernel thread
    if (me != 0 && fds.st_uid != me) continue;  // another user's: not ours to read
    ProcessFiles f{batch.pids[i], static_cast<long>(fds.st_size), false};
    if (f.descriptors > kRoutineSmallProcess) f.serialProgram = RunsSerialProgram(procFd, f.pid);
    batch.weighed[batch.kept++] = f;
  }
}

// The routine search, shared by the calling thread and its helpers: the
// caller lists the processes in batches that any thread weighs as they come,
// then puts them in RoutineSearchOrder; any thread then takes the next
// process of that order to read, until one holds the device. The answer is
// the first holder in that order, as when one thread reads them in turn:
// processes are taken in order, and the caller waits until every process
// taken before the first holder found has been read.
class RoutineSearch {
 public:
  RoutineSearch(int procFd, const Target& target) : procFd_(procFd), target_(target) {}

  int Run(int threads) {
    std::vector<int> order;
    // Ends the helpers and waits for them, whatever way Run leaves.
    struct Helpers {
      RoutineSearch& search;
      std::vector<std::thread> threads;
      ~Helpers() {
        {
          std::lock_guard<std::mutex> l(search.m_);
          search.over_ = true;
        }
        search.work_.notify_all();
        for (std::thread& t : threads) t.join();
      }
    } helpers{*this, {}};
    for (int i = 1; i < threads; ++i) {
      try {
        helpers.threads.emplace_back([this] { Help(); });
      } catch (const std::system_error&) {
        break;  // no more threads: the ones there (or this one) do the work
      }
    }
    List();
    std::unique_lock<std::mutex> l(m_);
    while (WeighNext(l)) {
    }
    idle_.wait(l, [this] { return inHand_ == 0; });
    std::vector<ProcessFiles> weighed;
    for (const auto& batch : batches_) weighed.insert(weighed.end(), batch->weighed, batch->weighed + batch->kept);
    order = RoutineSearchOrder(std::move(weighed));
    order_ = &order;
    work_.notify_all();
    ReadNext(l);
    idle_.wait(l, [this] { return inHand_ == 0; });
    return found_ < order.size() ? order[found_] : 0;
  }

 private:
  // The caller's part: list the process folder, handing out full batches.
  void List() {
    const int self = static_cast<int>(::getpid());
    auto batch = std::make_unique<Batch>();
    auto handOut = [this, &batch] {
      {
        std::lock_guard<std::mutex> l(m_);
        batches_.push_back(std::move(batch));
      }
      work_.notify_one();
    };
    EachProcess(procFd_, [&](int pid) {
      if (pid == self) return true;
      batch->pids[batch->count++] = pid;
      if (batch->count == Batch::kSize) {
        handOut();
        batch = std::make_unique<Batch>();
      }
      return true;
    });
    if (batch->count > 0) handOut();
    {
      std::lock_guard<std::mutex> l(m_);
      listed_ = true;
    }
    work_.notify_all();
  }

  // Weighs the next batch listed; false when there is none waiting.
  bool WeighNext(std::unique_lock<std::mutex>& l) {
    if (over_ || nextBatch_ >= batches_.size()) return false;
    Batch& batch = *batches_[nextBatch_++];
    ++inHand_;
    l.unlock();
    Weigh(procFd_, me_, batch);
    l.lock();
    if (--inHand_ == 0) idle_.notify_all();
    return true;
  }

  // Reads the processes of the order in turn until the first holder is known.
  void ReadNext(std::unique_lock<std::mutex>& l) {
    while (!over_ && order_ && nextRead_ < order_->size() && nextRead_ < found_) {
      const size_t at = nextRead_++;
      const int pid = (*order_)[at];
      ++inHand_;
      l.unlock();
      const bool holds = Holds(procFd_, pid, target_);
      l.lock();
      if (holds) found_ = std::min(found_, at);
      if (--inHand_ == 0) idle_.notify_all();
    }
  }

  // A helper thread: weighs batches until all are listed and taken, then
  // reads processes once the order is known.
  void Help() noexcept {
    std::unique_lock<std::mutex> l(m_);
    for (;;) {
      work_.wait(l, [this] { return over_ || listed_ || nextBatch_ < batches_.size(); });
      if (!WeighNext(l)) break;
    }
    work_.wait(l, [this] { return over_ || order_ != nullptr; });
    ReadNext(l);
  }

  const int procFd_;
  const Target& target_;
  const uid_t me_ = ::geteuid();
  std::mutex m_;
  std::condition_variable work_;  // helpers wait for batches, the order or the end
  std::condition_variable idle_;  // the caller waits for the work in the helpers' hands
  std::vector<std::unique_ptr<Batch>> batches_;
  size_t nextBatch_ = 0;
  bool listed_ = false;
  const std::vector<int>* order_ = nullptr;
  size_t nextRead_ = 0;
  size_t found_ = SIZE_MAX;
  int inHand_ = 0;
  bool over_ = false;
};

}  // namespace

int RoutineHolder(int procFd, const Target& target, int threads) {
  return RoutineSearch(procFd, target).Run(std::max(threads, 1));
}

}  // namespace mp::scan
