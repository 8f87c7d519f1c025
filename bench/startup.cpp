// Start-up time: from process start to the first paint of the main window,
// against a minimal Qt Widgets window measured in the same run.
//
//   bench_startup [--runs N]                 offscreen
//   xvfb-run -a -s "-screen 0 1024x768x24" bench_startup --xcb
//
// Each measurement spawns a fresh process: `mirapost --bench-startup`, or this
// program with --minimal. The child prints the monotonic clock and the CPU
// time it used at its first paint, and its peak memory; the parent took the
// clock just before spawning. MIRAPOST also tells how often it read its
// settings file and whether it opened the record before that paint, and the
// parent looks at the libraries it mapped (libcanberra, Qt SQL, Qt Network).
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <ctime>
#include <string>
#include <vector>

extern char** environ;

namespace {

std::int64_t MonotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return std::int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

class FirstPaint : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !done_) {
      done_ = true;
      rusage now{};
      getrusage(RUSAGE_SELF, &now);
      std::printf("shown %lld\ncpu_us %lld\n", static_cast<long long>(MonotonicNs()),
                  (now.ru_utime.tv_sec + now.ru_stime.tv_sec) * 1000000LL + now.ru_utime.tv_usec +
                      now.ru_stime.tv_usec);
      QTimer::singleShot(std::getenv("MIRAPOST_BENCH_SETTLED") ? 1000 : 0, [] {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("maxrss_kb %ld\n", usage.ru_maxrss);
        std::fflush(stdout);
        QApplication::quit();
      });
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  bool done_ = false;
};

// The baselines: an empty window; one with a line of text, which is what
// makes a program load its fonts; and the smallest main window of an
// application, with a menu bar of two menus, that line and a status bar
// (what every Qt main window pays for). Each is as large as MIRAPOST's
// window (the window's size sets what its first paint costs: the backing
// store alone is width x height x 4 bytes), or the size given.
enum class Baseline { Empty, Label, MainWindow };

int MinimalWindow(int argc, char** argv, Baseline kind, int width, int height) {
  QApplication app(argc, argv);
  QMainWindow main;
  QWidget plain;
  QWidget& w = kind == Baseline::MainWindow ? static_cast<QWidget&>(main) : plain;
  if (kind == Baseline::Label) {
    auto* text = new QLabel("Corvistan MIRAPOST", &plain);
    text->move(20, 20);
  } else if (kind == Baseline::MainWindow) {
    main.menuBar()->addMenu("&File")->addAction("E&xit");
    main.menuBar()->addMenu("&Help")->addAction("&About");
    main.setCentralWidget(new QLabel("Corvistan MIRAPOST"));
    main.statusBar()->showMessage("Ready");
  }
  w.setWindowTitle("minimal");
  w.resize(width, height);
  FirstPaint first;
  w.installEventFilter(&first);
  w.show();
  return app.exec();
}

struct Sample {
  double ms = 0;
  double cpuMs = 0;
  long rssKb = 0;
  int settingsReads = -1;
  int recordOpen = -1;
  int canberra = -1, sqlite = -1, network = -1;
  int width = 0, height = 0;
  bool ok = false;
};

Sample RunOnce(const std::vector<std::string>& args) {
  int pipefd[2];
  if (pipe(pipefd) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipefd[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipefd[0]);
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const std::int64_t start = MonotonicNs();
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipefd[1]);
  Sample s;
  if (rc != 0) {
    close(pipefd[0]);
    return s;
  }
  std::string out;
  char buf[256];
  ssize_t n;
  while ((n = read(pipefd[0], buf, sizeof buf)) > 0) out.append(buf, std::size_t(n));
  close(pipefd[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  long long shown = 0;
  long rss = 0;
  const char* p = std::strstr(out.c_str(), "shown ");
  const char* q = std::strstr(out.c_str(), "maxrss_kb ");
  if (p && q && std::sscanf(p, "shown %lld", &shown) == 1 && std::sscanf(q, "maxrss_kb %ld", &rss) == 1) {
    s.ms = double(shown - start) / 1e6;
    s.rssKb = rss;
    s.ok = true;
  }
  long long cpu = 0;
  if (const char* c = std::strstr(out.c_str(), "cpu_us "); c && std::sscanf(c, "cpu_us %lld", &cpu) == 1)
    s.cpuMs = double(cpu) / 1e3;
  if (const char* r = std::strstr(out.c_str(), "settings_reads ")) std::sscanf(r, "settings_reads %d", &s.settingsReads);
  if (const char* r = std::strstr(out.c_str(), "record_open ")) std::sscanf(r, "record_open %d", &s.recordOpen);
  if (const char* r = std::strstr(out.c_str(), "canberra ")) std::sscanf(r, "canberra %d", &s.canberra);
  if (const char* r = std::strstr(out.c_str(), "sqlite ")) std::sscanf(r, "sqlite %d", &s.sqlite);
  if (const char* r = std::strstr(out.c_str(), "network ")) std::sscanf(r, "network %d", &s.network);
  if (const char* r = std::strstr(out.c_str(), "window ")) std::sscanf(r, "window %dx%d", &s.width, &s.height);
  return s;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  bool xcb = false;
  int runs = 7;
  int width = 432, height = 413;  // the form's own size
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--size") && i + 1 < argc) std::sscanf(argv[++i], "%dx%d", &width, &height);
  }
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--minimal")) return MinimalWindow(argc, argv, Baseline::Empty, width, height);
    if (!std::strcmp(argv[i], "--minimal-label")) return MinimalWindow(argc, argv, Baseline::Label, width, height);
    if (!std::strcmp(argv[i], "--minimal-main")) return MinimalWindow(argc, argv, Baseline::MainWindow, width, height);
    if (!std::strcmp(argv[i], "--xcb")) xcb = true;
    if (!std::strcmp(argv[i], "--runs") && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
  }
  if (xcb && !std::getenv("DISPLAY")) {
    std::fprintf(stderr, "--xcb needs a display: run under xvfb-run\n");
    return 2;
  }
  ::setenv("QT_QPA_PLATFORM", xcb ? "xcb" : "offscreen", 1);
  char tmpl[] = "/tmp/mirapost-bench-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  ::setenv("XDG_CONFIG_HOME", tmpl, 1);  // never the user's settings
  ::setenv("MIRAPOST_COM4", "/dev/null", 1);

  char self[4096];
  const ssize_t len = readlink("/proc/self/exe", self, sizeof self - 1);
  if (len <= 0) return 1;
  self[len] = 0;
  const std::string app = std::string(MP_BINARY_DIR) + "/src/mirapost";

  // A settings file as a user who has used the program has one.
  const std::string settingsDir = std::string(tmpl) + "/Corvistan";
  std::filesystem::create_directories(settingsDir);
  if (FILE* f = std::fopen((settingsDir + "/MIRAPOST.reg").c_str(), "w")) {
    std::fputs("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Corvistan\\MIRAPOST]\n"
               "\"ComPort\"=dword:00000003\n\"FontName\"=\"DejaVu Sans\"\n\"ReceivingPhone\"=dword:00000001\n",
               f);
    std::fclose(f);
  }
  ::setenv("XDG_DATA_HOME", tmpl, 1);  // nor the user's record

  std::vector<double> appMs, minMs, labelMs, mainMs, formMs, appCpu, minCpu, labelCpu, mainCpu, formCpu;
  int settingsReads = -1, recordOpen = -1, canberra = -1, sqlite = -1, network = -1;
  long appRss = 0, minRss = 0, labelRss = 0, mainRss = 0, formRss = 0;
  // One warm-up of each so that both start from a warm file cache; the
  // first tells MIRAPOST's window size, which the baselines take.
  RunOnce({self, "--minimal"});
  const Sample first = RunOnce({app, "--bench-startup"});
  if (!first.ok || first.width <= 0 || first.height <= 0) {
    std::fprintf(stderr, "MIRAPOST did not start or did not tell its window's size\n");
    return 1;
  }
  const std::string size = std::to_string(first.width) + "x" + std::to_string(first.height);
  for (int i = 0; i < runs; ++i) {
    Sample m = RunOnce({self, "--minimal", "--size", size});
    Sample l = RunOnce({self, "--minimal-label", "--size", size});
    Sample w = RunOnce({self, "--minimal-main", "--size", size});
    Sample f = RunOnce({self, "--minimal-main"});
    Sample a = RunOnce({app, "--bench-startup"});
    if (!m.ok || !a.ok || !l.ok || !w.ok || !f.ok) {
      std::fprintf(stderr, "a run failed (minimal %d, mirapost %d)\n", m.ok, a.ok);
      return 1;
    }
    minMs.push_back(m.ms);
    appMs.push_back(a.ms);
    minCpu.push_back(m.cpuMs);
    labelCpu.push_back(l.cpuMs);
    mainCpu.push_back(w.cpuMs);
    mainMs.push_back(w.ms);
    mainRss = std::max(mainRss, w.rssKb);
    formMs.push_back(f.ms);
    formCpu.push_back(f.cpuMs);
    formRss = std::max(formRss, f.rssKb);
    appCpu.push_back(a.cpuMs);
    settingsReads = std::max(settingsReads, a.settingsReads);
    recordOpen = std::max(recordOpen, a.recordOpen);
    canberra = std::max(canberra, a.canberra);
    sqlite = std::max(sqlite, a.sqlite);
    network = std::max(network, a.network);
    labelMs.push_back(l.ms);
    minRss = std::max(minRss, m.rssKb);
    labelRss = std::max(labelRss, l.rssKb);
    appRss = std::max(appRss, a.rssKb);
  }
  // The same a second after the first paint, when the pages, the dialogs and
  // the icon left for after it are made too (memory only: a few runs).
  long appSettled = 0, mainSettled = 0;
  ::setenv("MIRAPOST_BENCH_SETTLED", "1", 1);
  for (int i = 0; i < std::min(runs, 3); ++i) {
    const Sample w = RunOnce({self, "--minimal-main", "--size", size});
    const Sample a = RunOnce({app, "--bench-startup"});
    if (!w.ok || !a.ok) {
      std::fprintf(stderr, "a settled run failed (minimal %d, mirapost %d)\n", w.ok, a.ok);
      return 1;
    }
    mainSettled = std::max(mainSettled, w.rssKb);
    appSettled = std::max(appSettled, a.rssKb);
  }
  ::unsetenv("MIRAPOST_BENCH_SETTLED");
  const double a = Median(appMs), m = Median(minMs), l = Median(labelMs), w = Median(mainMs), f = Median(formMs);
  const double ac = Median(appCpu), mc = Median(minCpu), lc = Median(labelCpu), wc = Median(mainCpu),
               fc = Median(formCpu);
  auto ratio = [](double x, double base) { return base > 0 ? x / base : 0.0; };
  std::printf("platform %s, %d runs (median); targets: CPU <= 1.15 x, peak memory <= 1.10 x\n", xcb ? "xcb" : "offscreen",
              runs);
  std::printf("MIRAPOST's window is %s; the baselines are as large, but the last, at the form's 432x413\n",
              size.c_str());
  std::printf("%-22s %9s %9s %10s %9s %9s\n", "", "wall ms", "CPU ms", "peak kB", "CPU x", "memory x");
  struct Row {
    const char* name;
    double ms, cpu;
    long rss;
  };
  for (const Row& r : {Row{"empty window", m, mc, minRss}, Row{"window + label", l, lc, labelRss},
                       Row{"main window + menus", w, wc, mainRss}, Row{"the same, 432x413", f, fc, formRss}}) {
    std::printf("%-22s %9.1f %9.1f %10ld %9.3f %9.3f  (MIRAPOST to this)\n", r.name, r.ms, r.cpu, r.rss,
                ratio(ac, r.cpu), ratio(double(appRss), double(r.rss)));
  }
  std::printf("%-22s %9.1f %9.1f %10ld\n", "MIRAPOST window", a, ac, appRss);
  std::printf("a second later: main window + menus %ld kB, MIRAPOST %ld kB, memory %.3f x\n", mainSettled,
              appSettled, ratio(double(appSettled), double(mainSettled)));
  std::printf("before the first paint: settings file read %d time(s), record %s, libcanberra %s, "
              "Qt SQL %s, Qt Network %s\n",
              settingsReads, recordOpen == 0 ? "not opened" : "OPENED", canberra == 0 ? "not loaded" : "LOADED",
              sqlite == 0 ? "not loaded" : "LOADED", network == 0 ? "not loaded" : "LOADED");
  std::error_code ec;
  std::filesystem::remove_all(tmpl, ec);
  return 0;
}
