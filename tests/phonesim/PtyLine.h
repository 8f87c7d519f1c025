#pragma once
// The computer's end of a simulated phone's line in tests, opened the way
// the application opens it, and temporary paths named after the test.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;

inline std::string TempPath(const std::string& what) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string path = std::filesystem::temp_directory_path().string() + "/phonesim-" + info->name() + "-" +
                     std::to_string(getpid()) + "-" + what;
  std::remove(path.c_str());
  return path;
}

// The computer's end of the line, opened the way the application opens it.
class Line {
 public:
  explicit Line(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) return;
    exclusive_ = ioctl(fd_, TIOCEXCL) == 0 && flock(fd_, LOCK_EX | LOCK_NB) == 0;
  }
  ~Line() {
    if (fd_ < 0) return;
    ioctl(fd_, TIOCNXCL);  // on a pseudo-terminal exclusive mode outlives the close
    close(fd_);
  }
  bool Ok() const { return fd_ >= 0 && exclusive_; }
  int Fd() const { return fd_; }
  void Write(std::string_view s) { ASSERT_EQ(write(fd_, s.data(), s.size()), static_cast<ssize_t>(s.size())); }
  // Reads until `pattern` has arrived or `ms` pass; `hup` tells whether the
  // line was hung up (end of file, EIO or POLLHUP).
  // What came up to and with `pattern` (all that came within `ms` when it is
  // empty); what came after it in the same read is kept for the next call.
  std::string ReadUntil(std::string_view pattern, int ms, bool* hup = nullptr) {
    std::string got = std::exchange(rest_, {});
    auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    if (hup) *hup = false;
    while (pattern.empty() || got.find(pattern) == std::string::npos) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
      char buf[512];
      ssize_t n = (p.revents & POLLIN) ? read(fd_, buf, sizeof buf) : 0;
      if (n <= 0) {
        if (hup) *hup = true;
        break;
      }
      got.append(buf, static_cast<std::size_t>(n));
    }
    if (const std::size_t at = pattern.empty() ? std::string::npos : got.find(pattern); at != std::string::npos) {
      rest_ = got.substr(at + pattern.size());
      got.resize(at + pattern.size());
    }
    return got;
  }

 private:
  int fd_ = -1;
  bool exclusive_ = false;
  std::string rest_;
};

}  // namespace
