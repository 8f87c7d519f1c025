#include "PtyRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <optional>

namespace phonesim {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;

volatile sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }

std::string Printable(const char* data, std::size_t n) {
  std::string out;
  for (std::size_t i = 0; i < n; ++i) {
    auto c = static_cast<unsigned char>(data[i]);
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c < 0x20 || c >= 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// Opens a pseudo-terminal pair and puts the slave side in raw mode. The
// slave is opened only for that and closed again, so that the application
// can open it exclusively (TIOCEXCL) and the kernel clears that flag when the
// application closes it.
bool OpenPty(int& master, std::string& slave, std::string& error) {
  master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0) {
    error = std::string("posix_openpt: ") + std::strerror(errno);
    return false;
  }
  fcntl(master, F_SETFD, FD_CLOEXEC);
  char name[256];
  if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
    error = std::string("pseudo-terminal setup: ") + std::strerror(errno);
    close(master);
    return false;
  }
  slave = name;
  int s = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (s < 0) {
    error = "open " + slave + ": " + std::strerror(errno);
    close(master);
    return false;
  }
  termios t{};
  if (tcgetattr(s, &t) == 0) {
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&t, B19200);
    cfsetospeed(&t, B19200);
    tcsetattr(s, TCSANOW, &t);
  }
  close(s);
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  return true;
}

bool PointLink(const std::string& link, const std::string& target, std::string& error) {
  struct stat st {};
  if (lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
    error = link + " exists and is no symbolic link";
    return false;
  }
  std::string tmp = link + ".phonesim-" + std::to_string(getpid());
  unlink(tmp.c_str());
  if (symlink(target.c_str(), tmp.c_str()) != 0 || rename(tmp.c_str(), link.c_str()) != 0) {
    error = "link " + link + ": " + std::strerror(errno);
    unlink(tmp.c_str());
    return false;
  }
  return true;
}

void RemoveLink(const std::string& link, const std::string& target) {
  char buf[512];
  ssize_t n = readlink(link.c_str(), buf, sizeof buf - 1);
  if (n < 0) return;
  buf[n] = 0;
  if (target == buf) unlink(link.c_str());
}

struct Item {
  std::string bytes;
  std::size_t pos = 0;
  bool hangup = false;  // hang up once everything before it is out
  Clock::time_point due{};  // not written before this
};

class Runner {
 public:
  Runner(Phone& phone, const RunOptions& o) : phone_(phone), o_(o) {
    if (o.baud > 0) byteTime_ = nanoseconds(10'000'000'000LL / o.baud);
    if (o.byteMs > 0) byteTime_ = milliseconds(o.byteMs);
  }

  int Run() {
    std::string error;
    if (!OpenPty(master_, slave_, error) || !Announce(error)) {
      std::fprintf(stderr, "mirapost-phonesim: %s\n", error.c_str());
      if (master_ >= 0) close(master_);
      return 1;
    }
    sigset_t block, waitMask;
    sigemptyset(&block);
    sigaddset(&block, SIGINT);
    sigaddset(&block, SIGTERM);
    sigprocmask(SIG_BLOCK, &block, &waitMask);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    while (!g_stop) {
      auto now = Clock::now();
      Timers(now);
      if (connected_ && !queue_.empty()) Write(Clock::now());
      if (g_stop) break;

      nanoseconds wait = milliseconds(1000);
      auto limit = [&](Clock::time_point t) {
        wait = std::min(wait, std::max(nanoseconds(0), std::chrono::duration_cast<nanoseconds>(t - Clock::now())));
      };
      if (!connected_) wait = milliseconds(10);
      if (!queue_.empty() && byteTime_.count() > 0) limit(nextByte_);
      if (chatterUntil_) limit(nextChatter_);
      if (hangupAt_) limit(*hangupAt_);
      if (connected_ && phone_.PeriodicMs() > 0) limit(nextPeriodic_);
      if (!queue_.empty() && queue_.front().pos == 0) limit(queue_.front().due);

      timespec ts{static_cast<time_t>(wait.count() / 1'000'000'000), static_cast<long>(wait.count() % 1'000'000'000)};
      pollfd pfd{master_, POLLIN, 0};
      if (connected_) {
        if (!queue_.empty() && blocked_) pfd.events |= POLLOUT;
        int r = ppoll(&pfd, 1, &ts, &waitMask);
        if (r < 0) continue;  // a signal
        if (r > 0) Events(pfd.revents);
      } else {
        // Nobody has the slave open: the master reports a hang-up until
        // someone opens it again, so look every 10 ms.
        if (ppoll(nullptr, 0, &ts, &waitMask) < 0) continue;
        pfd.revents = 0;
        if (poll(&pfd, 1, 0) > 0) {
          if (!(pfd.revents & POLLHUP)) Connected();
          if (pfd.revents & POLLIN) Read();
        }
      }
    }
    if (!o_.link.empty()) RemoveLink(o_.link, slave_);
    close(master_);
    return 0;
  }

 private:
  bool Announce(std::string& error) {
    if (!o_.link.empty() && !PointLink(o_.link, slave_, error)) return false;
    std::fprintf(o_.out, "%s\n", slave_.c_str());
    std::fflush(o_.out);
    if (o_.trace) std::fprintf(stderr, "== %s\n", slave_.c_str());
    return true;
  }

  void Events(short revents) {
    if (revents & POLLIN) Read();
    if (!connected_) return;
    if (revents & POLLOUT) blocked_ = false;
    if ((revents & (POLLHUP | POLLERR)) && !(revents & POLLIN)) Dropped();
  }

  void Read() {
    char buf[4096];
    for (;;) {
      ssize_t n = read(master_, buf, sizeof buf);
      if (n > 0) {
        Connected();
        if (o_.trace) std::fprintf(stderr, "<- %s\n", Printable(buf, static_cast<std::size_t>(n)).c_str());
        if (hangupAt_) {
          Hangup();  // the computer answered the prompt: now drop the line
          return;
        }
        std::vector<Event> events;
        const double ms = std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count();
        phone_.Receive(std::string_view(buf, static_cast<std::size_t>(n)), events, ms);
        Queue(events);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN) return;
      Dropped();  // EIO: the last holder of the slave closed it
      return;
    }
  }

  void Connected() {
    if (connected_) return;
    connected_ = true;
    nextPeriodic_ = Clock::now() + milliseconds(phone_.PeriodicMs());
  }

  // Unsolicited lines of the phone's own go before any answer that is still
  // waiting for its time, not after it.
  void QueueUrgent(std::vector<Event>& events) {
    auto now = Clock::now();
    auto at = std::find_if(queue_.begin(), queue_.end(), [&](const Item& i) { return i.pos == 0 && i.due > now; });
    for (auto& e : events) {
      Item item;
      item.bytes = std::move(e.bytes);
      at = std::next(queue_.insert(at, std::move(item)));
    }
  }

  void Queue(std::vector<Event>& events) {
    auto now = Clock::now();
    for (auto& e : events) {
      if (e.kind == Event::Chatter) {
        chatterUntil_ = now + std::chrono::seconds(o_.chatterSeconds);
        nextChatter_ = now;
        continue;
      }
      if (queue_.empty() && nextByte_ < now) nextByte_ = now;
      Item item;
      item.bytes = std::move(e.bytes);
      item.hangup = e.kind == Event::Hangup;
      item.due = now + milliseconds(e.delayMs);
      queue_.push_back(std::move(item));
    }
  }

  void Timers(Clock::time_point now) {
    if (chatterUntil_ && now >= nextChatter_) {
      if (now < *chatterUntil_) {
        std::vector<Event> ev(1);
        ev[0].bytes = "\r\n+CREG: 1\r\n";
        Queue(ev);
        nextChatter_ += milliseconds(o_.chatterIntervalMs);
      } else {
        chatterUntil_.reset();
      }
    }
    if (hangupAt_ && now >= *hangupAt_) Hangup();
    if (connected_ && phone_.PeriodicMs() > 0 && now >= nextPeriodic_) {
      std::vector<Event> ev;
      phone_.Periodic(ev);
      QueueUrgent(ev);
      nextPeriodic_ = now + milliseconds(phone_.PeriodicMs());
    }
  }

  void Write(Clock::time_point now) {
    while (!queue_.empty() && connected_) {
      Item& item = queue_.front();
      if (item.pos == item.bytes.size()) {
        bool hangup = item.hangup;
        queue_.pop_front();
        if (hangup && !hangupAt_) hangupAt_ = Clock::now() + milliseconds(1000);
        continue;
      }
      if (item.pos == 0 && now < item.due) return;
      if (item.pos == 0 && nextByte_ < item.due) nextByte_ = item.due;
      std::size_t count = item.bytes.size() - item.pos;
      if (byteTime_.count() > 0) {
        if (now < nextByte_) return;
        auto due = static_cast<std::size_t>((now - nextByte_) / byteTime_) + 1;
        count = std::min(count, due);
      }
      ssize_t n = write(master_, item.bytes.data() + item.pos, count);
      if (n < 0) {
        if (errno == EAGAIN || errno == EINTR) {
          blocked_ = true;
          return;
        }
        Dropped();
        return;
      }
      if (o_.trace) std::fprintf(stderr, "-> %s\n", Printable(item.bytes.data() + item.pos, static_cast<std::size_t>(n)).c_str());
      item.pos += static_cast<std::size_t>(n);
      if (byteTime_.count() > 0) nextByte_ += byteTime_ * n;
    }
  }

  // The computer closed the line: what was on its way to it is lost.
  void Dropped() {
    if (!connected_) return;
    connected_ = false;
    blocked_ = false;
    if (o_.trace) std::fprintf(stderr, "== line closed\n");
    phone_.LineDropped();
    queue_.clear();
    chatterUntil_.reset();
    if (hangupAt_) Hangup();
  }

  // Drops the line by closing the master side (the computer sees a hang-up),
  // then offers a new pseudo-terminal: its path is printed as a new line of
  // standard output and the link is pointed at it.
  void Hangup() {
    hangupAt_.reset();
    if (o_.trace) std::fprintf(stderr, "== hang-up\n");
    close(master_);
    master_ = -1;
    phone_.LineDropped();
    queue_.clear();
    chatterUntil_.reset();
    connected_ = false;
    blocked_ = false;
    std::string old = slave_, error;
    if (!OpenPty(master_, slave_, error) || !Announce(error)) {
      std::fprintf(stderr, "mirapost-phonesim: %s\n", error.c_str());
      if (!o_.link.empty()) RemoveLink(o_.link, old);
      g_stop = 1;
    }
  }

  Phone& phone_;
  const RunOptions& o_;
  int master_ = -1;
  std::string slave_;
  bool connected_ = false;
  bool blocked_ = false;
  std::deque<Item> queue_;
  nanoseconds byteTime_{0};
  Clock::time_point nextByte_{};
  std::optional<Clock::time_point> chatterUntil_;
  Clock::time_point nextChatter_{};
  Clock::time_point nextPeriodic_{};
  std::optional<Clock::time_point> hangupAt_;
};

}  // namespace

int RunPhone(Phone& phone, const RunOptions& options) {
  g_stop = 0;
  Runner runner(phone, options);
  return runner.Run();
}

}  // namespace phonesim
