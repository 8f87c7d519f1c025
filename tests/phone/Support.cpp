// Shared test support: temporary folders and a private settings store.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

#include "Fakes.h"
#include "phone/PortAccess.h"

namespace mp::test {

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "mp-phone-XXXXXX").string();
  if (::mkdtemp(tmpl.data()) == nullptr) std::abort();
  path = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
}

bool OpenPty(int& master, std::string& slave) {
  master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0) return false;
  const char* name = nullptr;
  if (::grantpt(master) != 0 || ::unlockpt(master) != 0 || (name = ::ptsname(master)) == nullptr) {
    ::close(master);
    master = -1;
    return false;
  }
  slave = name;
  return true;
}

namespace {

// Every test runs with its own empty settings folder, so that the port
// resolution never reads the user's store, and its own lock folder.
class SettingsEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    dir_ = std::make_unique<TempDir>();
    ::setenv("XDG_CONFIG_HOME", dir_->path.c_str(), 1);
    // Lock files of this test process stay apart from those of the others
    // that run beside it: a pseudo-terminal number is given again as soon as
    // its master side closes.
    const std::string lockDir = dir_->path + "/lock";
    std::filesystem::create_directory(lockDir);
    PortPaths paths;
    paths.lockDir = lockDir;
    SetPortPaths(paths);
  }
  void TearDown() override { dir_.reset(); }

 private:
  std::unique_ptr<TempDir> dir_;
};

[[maybe_unused]] auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new SettingsEnvironment);

}  // namespace
}  // namespace mp::test
