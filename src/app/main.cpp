// Program entry: the application object, the four windows, the event loop.
//
// When no phone is attached on "COM 4" (and MIRAPOST_COM4 does not point
// elsewhere), the simulated phone of the build tree is started and COM 4 is
// mapped to it, so that every command can be tried without a phone; it is
// stopped when the main window closes.
//
// Extra modes for measuring and checking the look (not for users):
//   --bench-startup       print the monotonic clock at the main window's first
//                         paint and the peak memory, then quit
//   --screenshots DIR     save a picture of every page and dialog into DIR
#include <signal.h>
#include <sys/resource.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>

#include "app/About.h"
#include "app/App.h"
#include "app/Main.h"
#include "dialogs/Coding.h"
#include "dialogs/Send.h"
#include "phone/Serial.h"
#include "ui_Main.h"

namespace {

// The simulated phone's process id, for the signal handler.
volatile pid_t g_simPid = 0;

// Ended by a signal (Ctrl+C in the terminal, logout): stop the simulated
// phone too, then end as the signal would.
void StopSimulatorAndDie(int sig) {
  if (g_simPid > 0) ::kill(g_simPid, SIGTERM);
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

// The simulated phone started for a user without a phone.
class SimulatedPhone {
 public:
  ~SimulatedPhone() { Stop(); }

  // Starts it when COM 4 resolves to no device and nothing maps COM 4.
  void StartIfNoPhone(const QString& appDir) {
    if (qEnvironmentVariableIsSet("MIRAPOST_COM4")) return;
    const std::string device = mp::ResolvePortDevice("COM4:");
    if (!device.empty() && QFileInfo::exists(QString::fromStdString(device))) return;

    QString program = QDir(appDir).absoluteFilePath("../tools/phonesim/mirapost-phonesim");
    if (!QFileInfo(program).isExecutable()) {
      program = QStandardPaths::findExecutable("mirapost-phonesim");
    }
    if (program.isEmpty()) return;

    QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty() || !QFileInfo(runtime).isDir()) runtime = QDir::tempPath();
    journal_ = QDir(runtime).absoluteFilePath(
        QString("mirapost-phonesim-%1.jsonl").arg(QCoreApplication::applicationPid()));

    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_->start(program, {"--journal", journal_});
    if (!process_->waitForStarted(5000)) {
      process_.reset();
      return;
    }
    QByteArray first;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!first.contains('\n') && std::chrono::steady_clock::now() < deadline) {
      if (!process_->waitForReadyRead(200) && process_->state() != QProcess::Running) break;
      first += process_->readAllStandardOutput();
    }
    const QByteArray path = first.left(first.indexOf('\n')).trimmed();
    if (path.isEmpty()) {
      Stop();
      return;
    }
    // Keep draining its output so that it never blocks on a full pipe.
    QObject::connect(process_.get(), &QProcess::readyReadStandardOutput, process_.get(),
                     [p = process_.get()] { p->readAllStandardOutput(); });
    ::setenv("MIRAPOST_COM4", path.constData(), 1);
    g_simPid = static_cast<pid_t>(process_->processId());
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::signal(sig, StopSimulatorAndDie);
    std::fprintf(stderr,
                 "MIRAPOST: no phone found on COM 4 (%s); started the simulated phone on %s.\n"
                 "MIRAPOST: what it receives is written to %s\n",
                 device.empty() ? "no device" : device.c_str(), path.constData(),
                 journal_.toLocal8Bit().constData());
  }

  void Stop() {
    g_simPid = 0;
    if (!process_) return;
    if (process_->state() != QProcess::NotRunning) {
      process_->terminate();  // SIGTERM
      if (!process_->waitForFinished(3000)) {
        process_->kill();
        process_->waitForFinished(1000);
      }
    }
    process_.reset();
  }

 private:
  std::unique_ptr<QProcess> process_;
  QString journal_;
};

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

}  // namespace

int main(int argc, char** argv) {
  const std::int64_t entered = MonotonicNs();
  const bool trace = std::getenv("MIRAPOST_TRACE_STARTUP") && *std::getenv("MIRAPOST_TRACE_STARTUP");
  auto mark = [&](const char* what) {
    if (trace) std::fprintf(stderr, "%-16s %6.2f ms after main\n", what, (MonotonicNs() - entered) / 1e6);
  };
  Application app(argc, argv);
  mark("application");
  QApplication::setApplicationName("MIRAPOST");
  QApplication::setApplicationDisplayName("Corvistan MIRAPOST");
  QApplication::setOrganizationName("Corvistan");

  const QStringList args = QApplication::arguments();
  const bool bench = args.contains("--bench-startup");
  const int shotsAt = args.indexOf("--screenshots");
  const QString shotsDir = shotsAt >= 0 && shotsAt + 1 < args.size() ? args[shotsAt + 1] : QString();

  SimulatedPhone phone;
  int rc = 0;
  try {
    if (!bench && shotsDir.isEmpty()) phone.StartIfNoPhone(QApplication::applicationDirPath());
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
