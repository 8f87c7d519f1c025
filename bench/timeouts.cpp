// The real time-outs of the phone link, measured against the simulated phone
// and a scripted phone on a pseudo-terminal. The tests run on time-outs shrunk
// tenfold; this checks the values a user's phone meets:
//   handshake: 1 s for each of the five "AT+CMGF=0" attempts
//   connection: 10 s for a reply after a command
//   bound: 30 s, three read time-outs, for a phone that chatters without end
//   search: 45 s for a phonebook search
// Takes about 90 s. Prints each measured value beside the expected one.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>

#include "SimProcess.h"
#include "phone/PhoneLink.h"
#include "support/SilentHost.h"

namespace {

using Clock = std::chrono::steady_clock;

using Host = mp::test::SilentHost;

// A phone on the master side of a pseudo-terminal: "OK" to the handshake,
// then silence, or "+CREG: 1" every 100 ms for as long as it runs.
class ScriptedPhone {
 public:
  explicit ScriptedPhone(bool chatter) : chatter_(chatter) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    char name[256];
    if (::ptsname_r(master_, name, sizeof name) != 0) return;
    slave_ = name;
    thread_ = std::thread([this] { Run(); });
  }
  ~ScriptedPhone() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (master_ >= 0) ::close(master_);
  }
  const std::string& Slave() const { return slave_; }

 private:
  void Run() {
    std::string line;
    bool connected = false;
    auto nextChatter = Clock::now();
    while (!stop_) {
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, 20) > 0 && (p.revents & POLLIN)) {
        char buf[256];
        const ssize_t n = ::read(master_, buf, sizeof buf);
        for (ssize_t i = 0; i < n; ++i) {
          if (buf[i] != '\r') {
            line += buf[i];
            continue;
          }
          if (line == "AT+CMGF=0") {
            Say("\r\nOK\r\n");
          } else {
            connected = true;  // every later command goes unanswered
          }
          line.clear();
        }
      }
      if (chatter_ && connected && Clock::now() >= nextChatter) {
        Say("\r\n+CREG: 1\r\n");
        nextChatter = Clock::now() + std::chrono::milliseconds(100);
      }
    }
  }
  void Say(const std::string& s) { (void)!::write(master_, s.data(), s.size()); }

  bool chatter_;
  int master_ = -1;
  std::string slave_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
};

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

int failures = 0;

void Report(const char* what, double measured, double expected, const std::string& status) {
  const bool ok = std::fabs(measured - expected) <= 0.05 * expected + 0.3;
  if (!ok) ++failures;
  std::printf("%-44s %7.2f s  expected %5.1f s  %s  (%s)\n", what, measured, expected, ok ? "ok" : "OFF",
              status.c_str());
  std::fflush(stdout);
}

const mp::TransferSettings kExample{"05912143F5", false, "00", true};
const char* const kBody = "0000A905E8329BFD06";

}  // namespace

int main() {
  char tmpl[] = "/tmp/mp-bench-XXXXXX";
  if (!::mkdtemp(tmpl)) return 1;
  ::setenv("XDG_CONFIG_HOME", tmpl, 1);
  const std::string phonesim = MP_BINARY_DIR "/tools/phonesim/mirapost-phonesim";
  Host host;

  {  // Five handshake attempts, each answered "ERROR", each waiting 1 s for "OK".
    phonesim::SimProcess sim;
    if (!sim.Start(phonesim, {"--fault", "cmgf-error"})) return std::fprintf(stderr, "%s\n", sim.Error().c_str()), 1;
    ::setenv("MIRAPOST_COM4", sim.SlavePath().c_str(), 1);
    mp::PhoneLink link(host);
    const auto t0 = Clock::now();
    link.TransferMessage(kExample, false, kBody, 2);
    Report("handshake time-out (one of five attempts)", Seconds(t0) / 5, 1.0, host.last);
  }
  {  // No prompt after AT+CMGS: one connection read time-out.
    phonesim::SimProcess sim;
    if (!sim.Start(phonesim, {"--fault", "no-prompt"})) return std::fprintf(stderr, "%s\n", sim.Error().c_str()), 1;
    ::setenv("MIRAPOST_COM4", sim.SlavePath().c_str(), 1);
    mp::PhoneLink link(host);
    const auto t0 = Clock::now();
    link.TransferMessage(kExample, false, kBody, 2);
    Report("connection read time-out (no prompt)", Seconds(t0), 10.0, host.last);
  }
  {  // Chatter after AT+CMGS that never brings the prompt: the overall bound.
    ScriptedPhone phone(true);
    ::setenv("MIRAPOST_COM4", phone.Slave().c_str(), 1);
    mp::PhoneLink link(host);
    const auto t0 = Clock::now();
    link.TransferMessage(kExample, false, kBody, 2);
    Report("bound of a wait (chatter, no prompt)", Seconds(t0), 30.0, host.last);
  }
  {  // A phonebook search that is never answered.
    ScriptedPhone phone(false);
    ::setenv("MIRAPOST_COM4", phone.Slave().c_str(), 1);
    mp::PhoneLink link(host);
    std::string name = "Alice", address;
    const auto t0 = Clock::now();
    link.FindPhonebookEntry(name, address);
    Report("phonebook search time-out", Seconds(t0), 45.0, host.last);
  }
  std::printf("%s\n", failures ? "some time-outs are off" : "all time-outs as prescribed");
  return failures ? 1 : 0;
}
