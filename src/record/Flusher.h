#pragma once
// Keeps a file's written data on the disk from a thread of its own, so that
// whoever writes it never waits for the disk: Request after each write; the
// flush (fdatasync) follows a moment later, several requests made meanwhile
// served by one flush. The destructor waits for the last one.
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace mp::record {

class Flusher {
 public:
  // `path` is opened at the first flush (never through a link) and again
  // when it was removed and made anew meanwhile; nothing is done while it
  // does not exist.
  explicit Flusher(std::string path);
  ~Flusher();
  Flusher(const Flusher&) = delete;
  Flusher& operator=(const Flusher&) = delete;

  void Request();
  // Waits until every request made so far has been flushed.
  void Wait();
  // The error number of a flush that failed since the last call, 0 when none.
  int TakeError();
  // Flushes done so far.
  long Flushes();

 private:
  void Run();
  void Flush();

  std::string path_;
  int fd_ = -1;
  std::mutex mutex_;
  std::condition_variable wake_, done_;
  long requested_ = 0, flushed_ = 0, flushes_ = 0;
  int error_ = 0;
  bool stop_ = false;
  std::thread thread_;  // last: started when the rest is ready
};

}  // namespace mp::record
