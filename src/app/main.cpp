// Program entry: the application object, the four windows, the event loop.
//
// When no phone is attached on "COM 4" (and MIRAPOST_COM4 does not point
// elsewhere), the simulated phone of the build tree is started and COM 4 is
// mapped to it, so that every command can be tried without a phone; it is
// stopped when the main window closes.
//
// Options: --help, --version. Extra modes for measuring and checking the look
// (not listed in --help):
//   --bench-startup       print the monotonic clock at the main window's first
//                         paint and the peak memory, then quit
//   --screenshots DIR     save a picture of every page and dialog into DIR
#include <sys/resource.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

#include "app/About.h"
#include "app/App.h"
#include "app/Main.h"
#include "dialogs/Coding.h"
#include "dialogs/Send.h"
#include "phone/Serial.h"
#include "phone/SimulatedPhone.h"
#include "platform/Version.h"
#include "ui_Main.h"

namespace {

// Until the user asks for it on the command line, the simulated phone stands
// in for a missing phone on COM 4.
void StartIfNoPhone(mp::SimulatedPhone& phone) {
  if (qEnvironmentVariableIsSet("MIRAPOST_COM4")) return;
  const std::string device = mp::ResolvePortDevice("COM4:");
  if (!device.empty() && QFileInfo::exists(QString::fromStdString(device))) return;
  std::string error;
  if (!phone.Start(4, &error)) return;
  std::fprintf(stderr,
               "MIRAPOST: no phone found on COM 4 (%s); started the simulated phone on %s.\n"
               "MIRAPOST: what it receives is written to %s\n",
               device.empty() ? "no device" : device.c_str(), phone.Device().toLocal8Bit().constData(),
               phone.Journal().toLocal8Bit().constData());
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

// Prints the clock at the window's first paint, then quits.
class FirstPaint : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !done_) {
      done_ = true;
      std::printf("shown %lld\n", static_cast<long long>(MonotonicNs()));
      std::fflush(stdout);
      QTimer::singleShot(0, [] {
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
  QDir().mkpath(dir);
  QTabWidget* pages = Win->ui->PageControl;
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
  bool benchStartup = false;
  QString screenshots;
};

void SetApplicationNames() {
  QCoreApplication::setApplicationName("MIRAPOST");
  QCoreApplication::setOrganizationName("Corvistan");
  QCoreApplication::setApplicationVersion(MIRAPOST_VERSION);
}

bool AsksForHelpOrVersion(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--") break;
    if (a == "-h" || a == "-?" || a == "--help" || a == "--help-all" || a == "-v" || a == "--version")
      return true;
  }
  return false;
}

Options ParseCommandLine(const QCoreApplication& app) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      "Corvistan MIRAPOST composes special GSM short messages and hands them to a mobile phone\n"
      "on a serial line with AT commands in SMS PDU mode.");
  parser.addHelpOption();
  parser.addVersionOption();
  QCommandLineOption bench("bench-startup");
  bench.setFlags(QCommandLineOption::HiddenFromHelp);
  QCommandLineOption shots("screenshots", "", "folder");
  shots.setFlags(QCommandLineOption::HiddenFromHelp);
  parser.addOption(bench);
  parser.addOption(shots);
  parser.process(app);  // ends the program on --help, --version and errors
  Options o;
  o.benchStartup = parser.isSet(bench);
  o.screenshots = parser.value(shots);
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  const std::int64_t entered = MonotonicNs();
  const bool trace = std::getenv("MIRAPOST_TRACE_STARTUP") && *std::getenv("MIRAPOST_TRACE_STARTUP");
  auto mark = [&](const char* what) {
    if (trace) std::fprintf(stderr, "%-16s %6.2f ms after main\n", what, (MonotonicNs() - entered) / 1e6);
  };
  if (AsksForHelpOrVersion(argc, argv)) {
    QCoreApplication core(argc, argv);
    SetApplicationNames();
    ParseCommandLine(core);  // prints and ends the program
    return 0;
  }
  Application app(argc, argv);
  mark("application");
  SetApplicationNames();
  QApplication::setApplicationDisplayName("Corvistan MIRAPOST");
  QGuiApplication::setDesktopFileName("example.mirapost.Mirapost");  // the desktop entry's name
  const Options options = ParseCommandLine(app);

  const bool bench = options.benchStartup;
  const QString shotsDir = options.screenshots;

  mp::SimulatedPhone phone;
  int rc = 0;
  try {
    if (!bench && shotsDir.isEmpty()) StartIfNoPhone(phone);
    FirstPaint firstPaint;
    mp::CreateWindows();
    mark("windows");
    if (bench) Win->installEventFilter(&firstPaint);
    Win->show();
    mark("shown");
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
