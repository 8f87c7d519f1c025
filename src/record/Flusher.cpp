// Flushing a file to the disk on a thread of its own.
#include "record/Flusher.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace mp::record {

Flusher::Flusher(std::string path) : path_(std::move(path)), thread_([this] { Run(); }) {}

Flusher::~Flusher() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  thread_.join();
  if (fd_ >= 0) ::close(fd_);
}

void Flusher::Request() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    ++requested_;
  }
  wake_.notify_one();
}

void Flusher::Wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  const long want = requested_;
  done_.wait(lock, [&] { return flushed_ >= want; });
}

int Flusher::TakeError() {
  const std::lock_guard<std::mutex> lock(mutex_);
  const int e = error_;
  error_ = 0;
  return e;
}

long Flusher::Flushes() {
  const std::lock_guard<std::mutex> lock(mutex_);
  return flushes_;
}

void Flusher::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stop_ || requested_ > flushed_; });
    // What is asked before the stop is still flushed.
    if (requested_ == flushed_) return;
    const long upTo = requested_;
    lock.unlock();
    Flush();
    lock.lock();
    flushed_ = upTo;
    done_.notify_all();
  }
}

void Flusher::Flush() {
  struct stat st {};
  if (fd_ >= 0 && (::fstat(fd_, &st) != 0 || st.st_nlink == 0)) {
    // Removed (the last user of the file closed it) and perhaps made anew.
    ::close(fd_);
    fd_ = -1;
  }
  if (fd_ < 0) fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd_ < 0) return;
  const int rc = ::fdatasync(fd_);
  const int e = errno;
  const std::lock_guard<std::mutex> lock(mutex_);
  ++flushes_;
  if (rc != 0) error_ = e;
}

}  // namespace mp::record
