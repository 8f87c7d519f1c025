// Flushing the record's write-ahead log on a thread of its own: what is
// flushed, what is never opened, and a failed flush told once.
#include "record/Flusher.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

namespace mp::record {
namespace {

namespace fs = std::filesystem;

TEST(Flusher, FlushesWhatExistsNeverThroughALinkAndTellsAFailureOnce) {
  const fs::path dir = fs::temp_directory_path() / ("mirapost-flusher-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "file") << "data";
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  fs::create_symlink(dir / "file", dir / "link");
  struct Case {
    const char* name;
    bool flushed;
    int error;
  } cases[] = {
      {"file", true, 0},
      {"missing", false, 0},
      {"link", false, 0},         // never opened through a link
      {"fifo", true, EINVAL},     // no file to keep: the failure is told
  };
  for (const Case& c : cases) {
    Flusher flusher((dir / c.name).string());
    for (int i = 0; i < 5; ++i) flusher.Request();
    flusher.Wait();
    EXPECT_EQ(flusher.Flushes() > 0, c.flushed) << c.name;
    EXPECT_LE(flusher.Flushes(), 5) << c.name;
    EXPECT_EQ(flusher.TakeError(), c.error) << c.name;
    EXPECT_EQ(flusher.TakeError(), 0) << c.name << ": told once";
  }
  // Removed and made anew (the log after every user closed it): the new
  // file is the one flushed.
  {
    Flusher flusher((dir / "file").string());
    flusher.Request();
    flusher.Wait();
    fs::remove(dir / "file");
    flusher.Request();
    flusher.Wait();
    EXPECT_EQ(flusher.Flushes(), 1) << "nothing to flush while it is gone";
    std::ofstream(dir / "file") << "again";
    flusher.Request();
    flusher.Wait();
    EXPECT_EQ(flusher.Flushes(), 2);
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace mp::record
