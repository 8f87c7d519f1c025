// Program entry: the application object, the four windows, the event loop.
//
// Options: --help, --version, --simulated-phone (start the simulated phone and
// map the stored port to it for this run; the window says so at all times).
// Extra modes for scripts, measuring and checking the look (not listed in --help):
//   --stored-port         print the stored port's number and its device, as a
//                         send would open it, then quit (no display needed)
//   --bench-startup       print the monotonic clock at the main window's first
//                         paint and the peak memory, then quit (with
//                         MIRAPOST_BENCH_SETTLED set, the peak a second later)
//   --screenshots DIR     save a picture of every page and dialog into DIR
#include <sys/resource.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <vector>
#include <algorithm>

#include "app/About.h"
#include "app/App.h"
#include "app/Main.h"
#include "dialogs/Coding.h"
#include "dialogs/Send.h"
#include "phone/Serial.h"
#include "phone/SimulatedPhone.h"
#include "platform/Settings.h"
#include "platform/Version.h"
#include "widgets/Look.h"
#include "app/MainForm.h"

namespace {

// The port the main window starts with: the stored "ComPort" when it is 1..9,
// else "COM 4".
int StoredComNumber() {
  mp::SettingsKey key;
  if (key.Open(false)) {
    if (auto port = key.ReadInteger("ComPort"); port && *port >= 1 && *port <= 9) return *port;
  }
  return 4;
}

std::int64_t MonotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return std::int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

long PeakKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Whether a library whose file name holds `part` is mapped into this process.
bool Mapped(const char* part) {
  QFile maps("/proc/self/maps");
  if (!maps.open(QIODevice::ReadOnly)) return false;
  return maps.readAll().contains(part);
}

// User and system time this process has used, in microseconds.
long long CpuMicroseconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000LL + usage.ru_utime.tv_usec +
         usage.ru_stime.tv_usec;
}

// Prints the clock at the window's first paint, then quits.
class FirstPaint : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !done_) {
      done_ = true;
      std::printf("shown %lld\ncpu_us %lld\n", static_cast<long long>(MonotonicNs()), CpuMicroseconds());
      if (watched->isWidgetType()) {
        const QWidget* w = static_cast<QWidget*>(watched);
        std::printf("window %dx%d\n", w->width(), w->height());  // for baselines of the same size
      }
      // What the start-up must not have done before the first paint.
      std::printf("settings_reads %d\nrecord_open %d\ncanberra %d\nsqlite %d\nnetwork %d\n",
                  mp::SettingsKey::FileReads(), Win && Win->SentRecord && Win->SentRecord->IsOpen() ? 1 : 0,
                  Mapped("libcanberra") ? 1 : 0, Mapped("libQt6Sql") ? 1 : 0, Mapped("libQt6Network") ? 1 : 0);
      std::fflush(stdout);
      // MIRAPOST_BENCH_SETTLED: the peak once the work left for after the first
      // paint (the other pages, the dialogs, the icon) is done as well.
      QTimer::singleShot(std::getenv("MIRAPOST_BENCH_SETTLED") ? 1000 : 0, [] {
        std::printf("maxrss_kb %ld\n", PeakKilobytes());
        std::fflush(stdout);
        QApplication::quit();
      });
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  bool done_ = false;
};

void SaveShot(QWidget* w, const QString& dir, const QString& name) {
  QApplication::processEvents();
  w->grab().save(QDir(dir).absoluteFilePath(name + ".png"));
}

// Pictures of every page of the main window and of the three dialogs.
void TakeScreenshots(const QString& dir) {
  mp::CreateDialogs();
  QDir().mkpath(dir);
  QTabWidget* pages = Win->findChild<QTabWidget*>("PageControl");
  for (int i = 0; i < pages->count(); ++i) {
    pages->setCurrentIndex(i);
    SaveShot(Win, dir, QString("main-%1-%2").arg(i + 1).arg(pages->widget(i)->objectName()));
  }
  pages->setCurrentIndex(0);
  for (QDialog* d : {static_cast<QDialog*>(AboutWin), static_cast<QDialog*>(SendWin),
                     static_cast<QDialog*>(CodingWin)}) {
    d->show();
    SaveShot(d, dir, d->objectName());
    d->hide();
  }
}

// The file named on the command line (a desktop launcher's %f): a picture
// on the logo page, anything else as a message on the text page.
void OpenGivenFile(const QString& path) {
  static const QStringList pictures = {"bmp", "i61", "png", "gif", "jpg", "jpeg", "xpm", "pbm", "pgm", "ppm"};
  const bool picture = pictures.contains(QFileInfo(path).suffix().toLower());
  Win->ShowPage(picture ? "TabSheet6" : "TabSheet1");
  Win->OpenMessageOrLogo(QFileInfo(path).absoluteFilePath());
}

// An error that a command handler does not handle is shown with its text;
// the window stays open and usable.
class Application : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
      QMessageBox::critical(activeWindow(), "Corvistan MIRAPOST", QString::fromLocal8Bit(e.what()));
    }
    return false;
  }
};

// The command line. --help and --version print and end the program before
// any window system is touched, so both work without a display; the window
// system's own options (-platform, -style, ...) are taken out by QApplication
// before the rest is read.
struct Options {
  bool simulatedPhone = false;
  bool benchStartup = false;
  QString screenshots;
  QString file;  // a message or picture to open
};

// The window system's own options, which QApplication takes out of the
// arguments itself (those that take a value first).
constexpr const char* kQtValueOptions[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowicon",
    "qwindowtitle", "display", "geometry", "title", "name", "style", "stylesheet", "session",
    "qmljsdebugger", "graphicssystem", "fn", "font", "bg", "background", "fg", "foreground", "btn",
    "button", "im", "inputstyle", "ncols", "visual", "cmap", "widgetcount"};
constexpr const char* kQtFlagOptions[] = {"reverse", "nograb", "dograb", "sync", "testability"};

// True when an argument is an option that neither this program nor the
// window system knows: the command line is then read without a window
// system, so that the error is said without a display.
bool HasUnknownOption(int argc, char** argv) {
  static const std::vector<std::string> ours = {"simulated-phone", "stored-port", "bench-startup",
                                                "screenshots", "help", "version", "help-all"};
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--") break;
    if (a.size() < 2 || a[0] != '-') continue;
    a.erase(0, a[1] == '-' ? 2 : 1);
    if (const auto eq = a.find('='); eq != std::string::npos) a.resize(eq);
    if (std::find(ours.begin(), ours.end(), a) != ours.end()) {
      if (a == "screenshots" && std::string(argv[i]).find('=') == std::string::npos) ++i;
      continue;
    }
    bool known = false;
    for (const char* q : kQtValueOptions) {
      if (a == q) {
        known = true;
        ++i;  // its value
      }
    }
    for (const char* q : kQtFlagOptions) known = known || a == q;
    if (!known) return true;
  }
  return false;
}

void SetApplicationNames() { mp::SetApplicationNames(); }

bool AsksForHelpOrVersion(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--") break;
    if (a == "-h" || a == "-?" || a == "--help" || a == "--help-all" || a == "-v" || a == "--version" ||
        a == "--stored-port")
      return true;
  }
  return false;
}

Options ParseCommandLine(const QCoreApplication& app) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      "Corvistan MIRAPOST composes special GSM short messages and hands them to a mobile phone\n"
      "on a serial line with AT commands in SMS PDU mode.");
  // "-platform" is one option, not seven letters.
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  parser.addHelpOption();
  parser.addVersionOption();
  QCommandLineOption simulated(
      "simulated-phone",
      "Start the simulated phone and use it in place of a phone on the stored port for this run.\n"
      "Nothing sent reaches a real phone; Phone > Received by the Simulated Phone shows what it got.");
  parser.addOption(simulated);
  QCommandLineOption storedPort("stored-port");
  storedPort.setFlags(QCommandLineOption::HiddenFromHelp);
  parser.addOption(storedPort);
  QCommandLineOption bench("bench-startup");
  bench.setFlags(QCommandLineOption::HiddenFromHelp);
  QCommandLineOption shots("screenshots", "", "folder");
  shots.setFlags(QCommandLineOption::HiddenFromHelp);
  parser.addOption(bench);
  parser.addOption(shots);
  // The window system's options pass (QApplication has taken them out when
  // there is one).
  for (const char* q : kQtValueOptions) {
    QCommandLineOption o(q, "", "value");
    o.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(o);
  }
  for (const char* q : kQtFlagOptions) {
    QCommandLineOption o(q);
    o.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(o);
  }
  parser.addPositionalArgument("file", "A message file (RTF or plain text) or a logo picture to open.",
                               "[file]");
  parser.process(app);  // ends the program on --help, --version and errors
  if (parser.isSet(storedPort)) {
    const int com = StoredComNumber();
    std::printf("%d %s\n", com, mp::ResolvePortDevice("COM" + std::to_string(com) + ":").c_str());
    std::exit(0);
  }
  Options o;
  o.simulatedPhone = parser.isSet(simulated);
  o.benchStartup = parser.isSet(bench);
  o.screenshots = parser.value(shots);
  const QStringList files = parser.positionalArguments();
  if (files.size() > 1) {
    std::fprintf(stderr, "%s: one file at a time, not %lld\n", qPrintable(QCoreApplication::applicationName()),
                 static_cast<long long>(files.size()));
    std::exit(1);
  }
  if (!files.isEmpty()) o.file = files.front();
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  const std::int64_t entered = MonotonicNs();
  const bool trace = std::getenv("MIRAPOST_TRACE_STARTUP") && *std::getenv("MIRAPOST_TRACE_STARTUP");
  auto mark = [&](const char* what) {
    if (trace) std::fprintf(stderr, "%-16s %6.2f ms after main\n", what, (MonotonicNs() - entered) / 1e6);
  };
  if (AsksForHelpOrVersion(argc, argv) || HasUnknownOption(argc, argv)) {
    QCoreApplication core(argc, argv);
    SetApplicationNames();
    ParseCommandLine(core);  // prints and ends the program
    return 0;
  }
  Application app(argc, argv);
  mark("application");
  SetApplicationNames();
  mp::UseLookStyle();
  QGuiApplication::setDesktopFileName("example.mirapost.Mirapost");  // the desktop entry's name
  const Options options = ParseCommandLine(app);

  const bool bench = options.benchStartup;
  const QString shotsDir = options.screenshots;

  mp::SimulatedPhone phone;
  int rc = 0;
  try {
    if (options.simulatedPhone) {
      const int com = StoredComNumber();
      std::string error;
      if (!phone.Start(com, &error)) {
        std::fprintf(stderr, "MIRAPOST: cannot start the simulated phone: %s\n", error.c_str());
        return 1;
      }
      std::fprintf(stderr,
                   "MIRAPOST: simulated phone on COM %d (%s): nothing you send leaves this computer.\n"
                   "MIRAPOST: what it receives is written to %s\n",
                   com, phone.Device().toLocal8Bit().constData(), phone.Journal().toLocal8Bit().constData());
    }
    FirstPaint firstPaint;
    mp::CreateWindows(/*pagesAfterFirstPaint=*/true);
    mark("windows");
    if (phone.Running()) Win->UseSimulatedPhone(phone.ComNumber(), phone.Device(), phone.Journal());
    if (bench) Win->installEventFilter(&firstPaint);
    Win->show();
    mark("shown");
    if (!options.file.isEmpty()) OpenGivenFile(options.file);
    if (!shotsDir.isEmpty()) {
      QTimer::singleShot(0, [&shotsDir] {
        TakeScreenshots(shotsDir);
        QApplication::quit();
      });
    }
    rc = app.exec();
  } catch (const std::exception& e) {
    QMessageBox::critical(nullptr, "Corvistan MIRAPOST", QString::fromLocal8Bit(e.what()));
    rc = 0;
  }
  mp::DestroyWindows();
  phone.Stop();
  return rc;
}
