// One complete message transfer (handshake, AT+CMGS, PDU, reply) of the
// example message against the simulated phone at 19200 baud, compared with
// the wire floor: every byte sent and received at 10 bits a byte, plus the
// prescribed 10 ms pause before each write.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "SimProcess.h"
#include "phone/PhoneLink.h"
#include "support/SilentHost.h"

namespace {

struct Counts {
  long sent = 0, received = 0, writes = 0;
};

// A real line that counts what crosses it.
class CountingLine : public mp::SerialLine {
 public:
  explicit CountingLine(Counts& c) : line_(mp::MakePosixSerialLine()), c_(c) {}
  bool Open(const std::string& d) override { return line_->Open(d); }
  bool Configure() override { return line_->Configure(); }
  bool GetTimeouts(mp::CommTimeouts& t) override { return line_->GetTimeouts(t); }
  bool SetTimeouts(const mp::CommTimeouts& t) override { return line_->SetTimeouts(t); }
  bool RaiseDtr() override { return line_->RaiseDtr(); }
  bool RaiseRts() override { return line_->RaiseRts(); }
  void PurgeInput() override { line_->PurgeInput(); }
  bool ReadByte(unsigned char& b) override {
    bool ok = line_->ReadByte(b);
    if (ok) ++c_.received;
    return ok;
  }
  int Write(const char* d, int n) override {
    int w = line_->Write(d, n);
    c_.sent += w;
    ++c_.writes;
    return w;
  }
  void Close() override { line_->Close(); }
  void Pause(int ms) override { line_->Pause(ms); }
  std::int64_t NowMs() override { return line_->NowMs(); }

 private:
  std::unique_ptr<mp::SerialLine> line_;
  Counts& c_;
};

using Host = mp::test::SilentHost;

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  char tmpl[] = "/tmp/mp-bench-XXXXXX";
  if (!::mkdtemp(tmpl)) return 1;
  ::setenv("XDG_CONFIG_HOME", tmpl, 1);

  phonesim::SimProcess sim;
  if (!sim.Start(MP_BINARY_DIR "/tools/phonesim/mirapost-phonesim", {"--baud", "19200"})) {
    std::fprintf(stderr, "cannot start the simulated phone: %s\n", sim.Error().c_str());
    return 1;
  }
  ::setenv("MIRAPOST_COM4", sim.SlavePath().c_str(), 1);

  Host host;
  const mp::TransferSettings settings{"05912143F5", false, "00", true};
  std::vector<double> ratios, pacedRatios, seconds;
  for (int i = 0; i < runs; ++i) {
    Counts c;
    mp::PhoneLink link(host, [&c] { return std::make_unique<CountingLine>(c); });
    auto t0 = std::chrono::steady_clock::now();
    link.TransferMessage(settings, false, "0000A905E8329BFD06", 2);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (host.last != "Message successfully sent.") {
      std::fprintf(stderr, "run %d failed: %s\n", i + 1, host.last.c_str());
      return 1;
    }
    const double floor = (c.sent + c.received) * 10.0 / 19200.0 + 0.010 * c.writes;
    // The pseudo-terminal does not pace what the computer writes; only the
    // phone's side runs at 19200 baud. This floor counts the paced bytes only.
    const double paced = c.received * 10.0 / 19200.0 + 0.010 * c.writes;
    std::printf("run %2d: %.1f ms, floor %.1f ms (%ld sent, %ld received, %ld writes), ratio %.3f;"
                " received-only floor %.1f ms, ratio %.3f\n",
                i + 1, s * 1000, floor * 1000, c.sent, c.received, c.writes, s / floor,
                paced * 1000, s / paced);
    ratios.push_back(s / floor);
    pacedRatios.push_back(s / paced);
    seconds.push_back(s);
  }
  std::sort(ratios.begin(), ratios.end());
  std::sort(seconds.begin(), seconds.end());
  std::sort(pacedRatios.begin(), pacedRatios.end());
  std::printf("transfer: median %.1f ms, ratio to the wire floor: median %.3f, worst %.3f (target <= 1.2)\n",
              seconds[seconds.size() / 2] * 1000, ratios[ratios.size() / 2], ratios.back());
  std::printf("against the received-only floor: median %.3f, worst %.3f\n",
              pacedRatios[pacedRatios.size() / 2], pacedRatios.back());
  sim.Stop();
  return 0;
}
