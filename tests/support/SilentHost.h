#pragma once
// A phone host that only keeps the last status text: no window, no sound, no
// wait pointer. For tests, benchmarks and fuzzers that drive the phone link
// and look at the outcome alone.
#include <string>

#include "phone/PhoneHost.h"

namespace mp::test {

struct SilentHost : PhoneHost {
  int port = 3;  // "COM 4"
  std::string last;
  int PortIndex() const override { return port; }
  void ShowStatus(const std::string& text) override { last = text; }
  void Beep(BeepKind) override {}
  void SetWaitCursor(bool) override {}
};

}  // namespace mp::test
