// The serial line on POSIX termios. Every single-byte read waits at most the
// read total time-out (poll, then read); every write waits for the line with
// poll(POLLOUT) and gives up at the write total time-out. Both wait in slices
// and run the wait hook between them. A hang-up of the
// other side (end of file, EIO, POLLHUP or POLLERR without data) is a failed
// read, so a vanished phone ends the dialogue instead of spinning.
#include "phone/Serial.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "phone/PhoneHost.h"
#include "platform/Settings.h"

namespace mp {

void SerialLine::Pause(int milliseconds) {
  const std::int64_t end = NowMs() + milliseconds;
  for (std::int64_t left = milliseconds; left > 0; left = end - NowMs()) {
    if (WaitEnded()) return;
    const int slice = static_cast<int>(std::min<std::int64_t>(left, MsUntilHook()));
    if (eventWait_ && hook_) {
      eventWait_(-1, false, slice);
      if (RunHook()) return;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(slice));
    }
  }
}

int SerialLine::PollLine(int fd, short events, short& revents, int milliseconds) {
  const bool hosted = eventWait_ && hook_;
  pollfd p{fd, events, 0};
  int r = ::poll(&p, 1, hosted ? 0 : milliseconds);
  if (r == 0 && hosted && milliseconds > 0) {
    // Nothing yet: the hook's owner serves its events until the line is ready.
    eventWait_(fd, (events & POLLOUT) != 0, milliseconds);
    if (RunHook()) {
      errno = ECANCELED;  // the hook ended the wait: as a failed poll
      return -1;
    }
    p.revents = 0;
    r = ::poll(&p, 1, 0);
  }
  revents = p.revents;
  return r;
}

bool SerialLine::RunHook() {
  const bool ended = hook_();
  // The slice counts from the hook's return: the hook may take a while itself.
  lastHook_ = NowMs();
  hookRan_ = true;
  return ended;
}

bool SerialLine::WaitEnded() {
  if (!hook_) return false;
  const std::int64_t now = NowMs();
  if (hookRan_ && now - lastHook_ < SliceMs()) return false;
  return RunHook();
}

int SerialLine::MsUntilHook() {
  if (!hook_ || !hookRan_) return SliceMs();
  const std::int64_t due = lastHook_ + SliceMs() - NowMs();
  return static_cast<int>(std::clamp<std::int64_t>(due, 1, SliceMs()));
}

std::int64_t SerialLine::NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

namespace {

std::int64_t MonotonicMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Milliseconds left until `deadline`, clamped to what poll() accepts.
int Remaining(std::int64_t deadline) {
  std::int64_t left = deadline - MonotonicMs();
  if (left < 0) return 0;
  if (left > 0x7fffffff) return 0x7fffffff;
  return static_cast<int>(left);
}


class PosixSerialLine final : public SerialLine {
 public:
  explicit PosixSerialLine(PortPaths paths) : paths_(std::move(paths)) {}
  ~PosixSerialLine() override { Close(); }

  bool Open(const std::string& device) override {
    Close();
    failure_ = {};
    if (device.empty()) return Fail(PortError::NoPort);
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0) return Fail(PortErrorFromErrno(errno), errno);
    if (!S_ISCHR(st.st_mode)) return Fail(PortError::NotSerial);
    // No sharing: a program that holds the UUCP lock keeps the line, and is
    // named at once; the lock is looked at before the device is touched.
    PortHolder holder;
    if (!lock_.Acquire(device, paths_, holder)) return Fail(PortError::InUse, 0, holder);
    int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      const int e = errno;
      const PortError error = PortErrorFromErrno(e);
      // Busy: name the program in exclusive mode when it is one of ours.
      return Fail(error, e, error == PortError::InUse ? FindOtherHolder(device, paths_) : PortHolder{});
    }
    if (!::isatty(fd)) {
      ::close(fd);
      return Fail(PortError::NotSerial);
    }
    // A program that simply has the terminal open keeps it too; flock
    // refuses a line that another instance of this program (or any program
    // that takes that lock) already holds.
    holder = FindOtherHolder(device, paths_, HolderSearch::Routine);
    if (holder.pid > 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      ::close(fd);
      // Refused by the lock alone: the full search names who holds it.
      if (holder.pid == 0) holder = FindOtherHolder(device, paths_, HolderSearch::Full);
      return Fail(PortError::InUse, 0, holder);
    }
    // Exclusive terminal mode keeps programs that look at no lock away while
    // the line is open; Close clears it again.
    ::ioctl(fd, TIOCEXCL);
    fd_ = fd;
    return true;
  }

  PortFailure Failure() const override { return failure_; }

  bool Configure() override {
    if (fd_ < 0) return false;
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) {
      failure_ = {PortError::Settings, errno, {}};
      return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB);
    tio.c_cflag |= CS8 | CRTSCTS | CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, B19200) != 0 || ::cfsetospeed(&tio, B19200) != 0 ||
        ::tcsetattr(fd_, TCSANOW, &tio) != 0) {
      failure_ = {PortError::Settings, errno, {}};
      return false;
    }
    return true;
  }

  bool GetTimeouts(CommTimeouts& t) override {
    if (fd_ < 0) return false;
    t = timeouts_;
    return true;
  }

  bool SetTimeouts(const CommTimeouts& t) override {
    if (fd_ < 0) return false;
    timeouts_ = t;
    return true;
  }

  bool RaiseDtr() override { return SetModemBit(TIOCM_DTR); }
  bool RaiseRts() override { return SetModemBit(TIOCM_RTS); }

  void PurgeInput() override {
    if (fd_ >= 0) ::tcflush(fd_, TCIFLUSH);
  }

  bool HungUp() const override { return hungUp_; }

  bool ReadByte(unsigned char& b) override {
    if (fd_ < 0) return false;
    const std::int64_t deadline = MonotonicMs() + timeouts_.ReadTotalTimeoutConstant +
                                  std::int64_t{timeouts_.ReadTotalTimeoutMultiplier};
    for (;;) {
      // Also between bytes that keep coming: the hook runs once a slice.
      if (WaitEnded()) return false;
      pollfd p{fd_, POLLIN, 0};
      int r = PollLine(fd_, POLLIN, p.revents, std::min(Remaining(deadline), MsUntilHook()));
      if (r < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      if (r == 0) {
        if (Remaining(deadline) == 0) return false;  // time-out
        continue;
      }
      if (p.revents & POLLIN) {
        ssize_t n = ::read(fd_, &b, 1);
        if (n == 1) return true;
        if (n == 0) return hungUp_ = true, false;  // end of file: the other side hung up
        if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) {
          if (Remaining(deadline) == 0) return false;
          continue;
        }
        return hungUp_ = true, false;  // EIO and the like: hang-up
      }
      if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) return hungUp_ = true, false;
      if (Remaining(deadline) == 0) return false;
    }
  }

  int Write(const char* data, int length) override {
    if (fd_ < 0 || length <= 0) return 0;
    const std::int64_t deadline =
        MonotonicMs() + timeouts_.WriteTotalTimeoutConstant +
        std::int64_t{timeouts_.WriteTotalTimeoutMultiplier} * length;
    int done = 0;
    while (done < length) {
      if (WaitEnded()) break;
      pollfd p{fd_, POLLOUT, 0};
      int r = PollLine(fd_, POLLOUT, p.revents, std::min(Remaining(deadline), MsUntilHook()));
      if (r < 0) {
        if (errno == EINTR) continue;
        break;
      }
      if (r == 0) {
        if (Remaining(deadline) == 0) break;  // time-out
        continue;
      }
      if (!(p.revents & POLLOUT)) break;  // hang-up or error
      ssize_t n = ::write(fd_, data + done, static_cast<size_t>(length - done));
      if (n > 0) {
        done += static_cast<int>(n);
        continue;
      }
      if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
        if (Remaining(deadline) == 0) break;
        continue;
      }
      break;
    }
    return done;
  }

  void Close() override {
    if (fd_ >= 0) {
      // Output still queued (a cancelled dialogue, a phone holding CTS low)
      // is dropped, so that closing never waits for the line to drain.
      ::tcflush(fd_, TCOFLUSH);
      // Exclusive mode outlives the close on a pseudo-terminal and would lock
      // out every later open but root's: take it back first.
      ::ioctl(fd_, TIOCNXCL);
      ::close(fd_);  // also drops the flock
      fd_ = -1;
    }
    lock_.Release();
  }

 private:
  bool Fail(PortError error, int errnum = 0, PortHolder holder = {}) {
    failure_ = {error, errnum, std::move(holder)};
    lock_.Release();
    return false;
  }

  bool SetModemBit(int bit) {
    if (fd_ < 0) return false;
    return ::ioctl(fd_, TIOCMBIS, &bit) == 0;
  }

  PortPaths paths_;
  UucpLock lock_;
  PortFailure failure_;
  int fd_ = -1;
  bool hungUp_ = false;
  CommTimeouts timeouts_{};
};

}  // namespace

std::unique_ptr<SerialLine> MakePosixSerialLine() {
  return std::make_unique<PosixSerialLine>(CurrentPortPaths());
}

SerialFactory HostedSerialFactory(PhoneHost& host) {
  return [&host] {
    auto line = MakePosixSerialLine();
    line->SetEventWait([&host](int fd, bool forWrite, int ms) { host.ArmLineWait(fd, forWrite, ms); });
    return line;
  };
}

PortError PortErrorFromErrno(int errnum) {
  switch (errnum) {
    case ENOENT:
    case ENOTDIR:
    case ENXIO:
    case ENODEV:
      return PortError::NotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return PortError::PermissionDenied;
    case EBUSY:
    case EWOULDBLOCK:
      return PortError::InUse;
    case ENOTTY:
      return PortError::NotSerial;
    default:
      return PortError::Other;
  }
}

std::string ResolvePortDevice(const std::string& portName) {
  if (portName.size() != 5 || portName.compare(0, 3, "COM") != 0 || portName[4] != ':' ||
      portName[3] < '1' || portName[3] > '9')
    return {};
  const std::string com = portName.substr(0, 4);  // "COM<n>"
  const std::string env = "MIRAPOST_" + com;
  if (const char* v = std::getenv(env.c_str()); v != nullptr && *v != '\0') return v;

  SettingsKey key;
  if (key.Open(false)) {
    if (auto v = key.ReadString(com); v && !v->empty()) return *v;
  }

  return DefaultPortDevice(portName[3] - '0');
}

bool PortPaced(int comNumber) {
  if (comNumber < 1 || comNumber > 9) return false;
  SettingsKey key;
  if (!key.Open(false)) return false;
  const auto value = key.ReadInteger("Pace" + std::to_string(comNumber));
  return value && *value != 0;
}

bool PortKeepsReports(int comNumber) {
  if (comNumber < 1 || comNumber > 9) return true;
  SettingsKey key;
  if (!key.Open(false)) return true;
  const auto value = key.ReadInteger("KeepReports" + std::to_string(comNumber));
  return !value || *value != 0;
}

std::string DefaultPortDevice(int comNumber) {
  static const char* const kDefaults[9] = {
      "/dev/ttyS0", "/dev/ttyS1",  "/dev/ttyACM0", "/dev/ttyUSB0", "/dev/ttyACM1",
      "/dev/ttyUSB1", "/dev/rfcomm0", "/dev/ircomm0", "/dev/ttyS2"};
  return comNumber >= 1 && comNumber <= 9 ? kDefaults[comNumber - 1] : std::string();
}

}  // namespace mp
