#pragma once
// Where a run of mirapost-send goes and what it takes from the window's
// settings: the COM port named on the command line or stored, and the data
// coding dialog's stored choice.
#include <QString>
#include <cstdlib>
#include <optional>
#include <string>

namespace mp::cli {

// Sets an environment variable for the run and puts the old value back.
class EnvGuard {
 public:
  EnvGuard(const char* name, const std::string& value) : name_(name) {
    if (const char* v = std::getenv(name)) old_ = v;
    ::setenv(name, value.c_str(), 1);
  }
  ~EnvGuard() {
    if (old_) {
      ::setenv(name_.c_str(), old_->c_str(), 1);
    } else {
      ::unsetenv(name_.c_str());
    }
  }

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// "COM4", "COM 4", "com4:" -> 4; 0 when the text names no COM port; -1 for
// a COM name without a digit 1 to 9.
int ComNumber(const QString& port);

// The stored port choice: index 0..8, -1 when the stored value names none.
int StoredPortIndex();

// The data coding dialog's stored 7-bit workaround (on at first).
bool StoredSevenBit();

}  // namespace mp::cli
