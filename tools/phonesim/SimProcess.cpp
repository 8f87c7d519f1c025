#include "SimProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

extern char** environ;

namespace phonesim {

SimProcess::~SimProcess() { Stop(); }

bool SimProcess::Start(const std::string& binary, const std::vector<std::string>& args, int timeoutMs) {
  Stop();
  error_.clear();
  slave_.clear();
  buffered_.clear();
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    error_ = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(binary.c_str()));
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  // fork and exec rather than posix_spawn, so that the child can ask to be
  // ended with its parent: a test that crashes or is killed by its time-out
  // must not leave a simulated phone behind holding the test runner's pipes.
  const pid_t parent = getpid();
  int rc = 0;
  pid_ = fork();
  if (pid_ == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    dup2(fds[1], STDOUT_FILENO);
    execv(binary.c_str(), argv.data());
    _exit(127);
  }
  if (pid_ < 0) rc = errno;
  close(fds[1]);
  if (rc != 0) {
    pid_ = -1;
    close(fds[0]);
    error_ = "spawn " + binary + ": " + std::strerror(rc);
    return false;
  }
  out_ = fds[0];
  slave_ = NextLine(timeoutMs);
  if (slave_.empty()) {
    error_ = "no slave path from " + binary + " within " + std::to_string(timeoutMs) + " ms";
    Stop();
    return false;
  }
  return true;
}

std::string SimProcess::NextLine(int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    auto nl = buffered_.find('\n');
    if (nl != std::string::npos) {
      std::string line = buffered_.substr(0, nl);
      buffered_.erase(0, nl + 1);
      return line;
    }
    if (out_ < 0) return {};
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return {};
    pollfd p{out_, POLLIN, 0};
    int r = poll(&p, 1, static_cast<int>(left.count()));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return {};
    char buf[512];
    ssize_t n = read(out_, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      close(out_);
      out_ = -1;
      continue;
    }
    buffered_.append(buf, static_cast<std::size_t>(n));
  }
}

int SimProcess::Stop() {
  int result = -1;
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    pid_t r;
    while ((r = waitpid(pid_, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (r == 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
    } else if (r == pid_ && WIFEXITED(status)) {
      result = WEXITSTATUS(status);
    }
    pid_ = -1;
  }
  if (out_ >= 0) {
    close(out_);
    out_ = -1;
  }
  return result;
}

std::vector<std::string> ReadJournal(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

}  // namespace phonesim
