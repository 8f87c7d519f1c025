// The longest time the main window's event loop stays blocked while a send, a
// save, a phonebook search and a phonebook write talk to the simulated phone,
// with no fault, with each of its faults and with each of its personalities. A 1 ms timer marks every turn of
// the event loop; the longest gap between two turns (and from the start of
// the command to the first, from the last to its end) is the stall.
//
//   bench_stall [--scale N]    N shrinks every time-out of the link (default 1:
//                              the real values; the run then takes minutes)
#include <stdlib.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "SimProcess.h"
#include "app/App.h"
#include "app/Main.h"

namespace {

struct Config {
  const char* name;
  std::vector<std::string> args;
  int entries;  // phonebook locations taken before the write
};

struct Op {
  const char* name;
  std::function<void()> run;
};

struct Result {
  double stallMs = 0;
  double totalS = 0;
  std::string status;
};

// Runs `op` from the event loop's point of view and measures its longest stall.
Result Measure(const std::function<void()>& op) {
  QElapsedTimer clock;
  std::vector<qint64> turns;
  QTimer tick;
  tick.setTimerType(Qt::PreciseTimer);
  tick.setInterval(1);
  QObject::connect(&tick, &QTimer::timeout, [&] { turns.push_back(clock.nsecsElapsed()); });
  clock.start();
  tick.start();
  op();
  const qint64 end = clock.nsecsElapsed();
  tick.stop();
  qint64 last = 0, worst = 0;
  for (qint64 t : turns) {
    worst = std::max(worst, t - last);
    last = t;
  }
  worst = std::max(worst, end - last);
  Result r;
  r.stallMs = worst / 1e6;
  r.totalS = end / 1e9;
  r.status = Win->StatusText().toStdString();
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  int scale = 1;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--scale") == 0) scale = std::max(1, std::atoi(argv[i + 1]));
  }
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::setenv("MIRAPOST_TESTING", "1", 1);  // no sounds
  char tmpl[] = "/tmp/mp-stall-XXXXXX";
  if (!::mkdtemp(tmpl)) return 1;
  ::setenv("XDG_CONFIG_HOME", tmpl, 1);
  QApplication app(argc, argv);
  mp::CreateWindows();
  Win->show();
  QApplication::processEvents();

  std::vector<Config> configs = {
      {"no fault", {}, 100},
      {"19200 baud", {"--baud", "19200"}, 100},
      {"silent", {"--fault", "silent"}, 100},
      {"cmgf-error", {"--fault", "cmgf-error"}, 100},
      {"refuse", {"--fault", "refuse"}, 100},
      {"no-prompt", {"--fault", "no-prompt"}, 100},
      {"hangup-after-prompt", {"--fault", "hangup-after-prompt"}, 100},
      {"chatter", {"--fault", "chatter"}, 100},
      {"long-line", {"--fault", "long-line"}, 100},
      {"full", {"--fault", "full"}, 0},
      {"full + no-range", {"--fault", "full", "--fault", "no-range"}, 0},
      {"one byte every 40 ms", {"--byte-ms", "40"}, 3},
  };
  // Every personality of the simulated phone, its slow network as slow as
  // the scale makes the link's waits.
  for (const char* p : {"terse", "chatty", "interrupting", "unregistered", "searching", "denied", "sim-pin",
                        "sim-puk", "cmee0", "cmee1", "cmee2", "no-cmee", "no-centre", "drops-fast", "pdu-entry",
                        "transient-500", "slow-network", "lf-only", "bare-prompt", "empty-cme22", "phase2plus"}) {
    configs.push_back({p,
                       {"--personality", p, "--reply-delay", std::to_string(25000 / scale), "--status-interval",
                        "100"},
                       100});
  }
  const mp::TransferSettings send{"05912143F5", false, "00", true};
  const mp::TransferSettings save{"0081", true, "00", true};
  const std::string body = "0000A905E8329BFD06";
  const std::vector<Op> ops = {
      {"send", [&] { Win->Phone.TransferMessage(send, false, body, 2); }},
      {"save", [&] { Win->Phone.TransferMessage(save, false, body, 3); }},
      {"search", [] {
         std::string name = "Name 2", address;
         Win->Phone.FindPhonebookEntry(name, address);
       }},
      {"write", [] { Win->Phone.WritePhonebookEntry("41", "5551234", 129); }},
  };

  std::printf("Longest event-loop stall in ms (whole command in s), time-outs divided by %d\n\n", scale);
  std::printf("| phone | send | save | search | phonebook write |\n|---|---|---|---|---|\n");
  double worst = 0;
  for (const Config& c : configs) {
    std::printf("| %s |", c.name);
    std::fflush(stdout);
    for (const Op& op : ops) {
      const std::string book = std::string(tmpl) + "/book.txt";
      {
        std::ofstream out(book);
        for (int i = 1; i <= c.entries; ++i) out << i << ",+3584000" << i << ",145,Name " << i << "\n";
      }
      std::vector<std::string> args = c.args;
      args.insert(args.end(), {"--phonebook", book});
      phonesim::SimProcess sim;  // a fresh phone for each command
      if (!sim.Start(MP_BINARY_DIR "/tools/phonesim/mirapost-phonesim", args)) {
        std::fprintf(stderr, "cannot start the simulated phone: %s\n", sim.Error().c_str());
        return 1;
      }
      ::setenv("MIRAPOST_COM4", sim.SlavePath().c_str(), 1);
      Win->Phone.SetTimings(mp::LinkTimings::Scaled(scale));
      const Result r = Measure(op.run);
      worst = std::max(worst, r.stallMs);
      std::printf(" %.1f (%.2f s) |", r.stallMs, r.totalS);
      std::fflush(stdout);
      std::fprintf(stderr, "%s / %s: %s\n", c.name, op.name, r.status.c_str());
      sim.Stop();
    }
    std::printf("\n");
  }
  std::printf("\nLongest stall of all: %.1f ms (goal: at most 50 ms)\n", worst);
  mp::DestroyWindows();
  return 0;
}
