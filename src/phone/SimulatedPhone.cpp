#include "phone/SimulatedPhone.h"

#include <signal.h>
#include <stdlib.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <chrono>

namespace mp {

namespace {

// The running simulated phone's process id, for the signal handler.
volatile pid_t g_simPid = 0;

// Ended by a signal (Ctrl+C in the terminal, logout): stop the simulated
// phone too, then end as the signal would.
void StopSimulatorAndDie(int sig) {
  if (g_simPid > 0) ::kill(g_simPid, SIGTERM);
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

}  // namespace

SimulatedPhone::SimulatedPhone() = default;

SimulatedPhone::~SimulatedPhone() { Stop(); }

QString SimulatedPhone::FindProgram() {
  const QString name = "mirapost-phonesim";
  const QDir dir(QCoreApplication::applicationDirPath());
  for (const QString& candidate :
       {dir.absoluteFilePath(name), dir.absoluteFilePath("../tools/phonesim/" + name),
        dir.absoluteFilePath("../libexec/mirapost/" + name)}) {
    if (QFileInfo(candidate).isExecutable()) return QFileInfo(candidate).canonicalFilePath();
  }
  return QStandardPaths::findExecutable(name);
}

bool SimulatedPhone::Start(int comNumber, std::string* error, const QStringList& extraArgs) {
  auto fail = [error](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  Stop();
  if (comNumber < 1 || comNumber > 9) return fail("no such port");
  const QString program = FindProgram();
  if (program.isEmpty()) return fail("the simulated phone (mirapost-phonesim) is not installed");

  QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (runtime.isEmpty() || !QFileInfo(runtime).isDir()) runtime = QDir::tempPath();
  journal_ = QDir(runtime).absoluteFilePath(
      QString("mirapost-phonesim-%1.jsonl").arg(QCoreApplication::applicationPid()));

  process_ = std::make_unique<QProcess>();
  process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
  process_->start(program, QStringList{"--journal", journal_} + extraArgs);
  if (!process_->waitForStarted(5000)) {
    process_.reset();
    return fail("the simulated phone did not start");
  }
  // Its first line of output is the pseudo-terminal's path.
  QByteArray first;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!first.contains('\n') && std::chrono::steady_clock::now() < deadline) {
    if (!process_->waitForReadyRead(200) && process_->state() != QProcess::Running) break;
    first += process_->readAllStandardOutput();
  }
  const QByteArray path = first.left(first.indexOf('\n')).trimmed();
  if (path.isEmpty()) {
    Stop();
    return fail("the simulated phone gave no pseudo-terminal");
  }
  // Keep draining its output so that it never blocks on a full pipe.
  QObject::connect(process_.get(), &QProcess::readyReadStandardOutput, process_.get(),
                   [p = process_.get()] { p->readAllStandardOutput(); });
  device_ = QString::fromLocal8Bit(path);
  com_ = comNumber;
  ::setenv(QString("MIRAPOST_COM%1").arg(comNumber).toLocal8Bit().constData(), path.constData(), 1);
  g_simPid = static_cast<pid_t>(process_->processId());
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::signal(sig, StopSimulatorAndDie);
  return true;
}

void SimulatedPhone::Stop() {
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
  if (com_ > 0) ::unsetenv(QString("MIRAPOST_COM%1").arg(com_).toLocal8Bit().constData());
  com_ = 0;
  device_.clear();
}

bool SimulatedPhone::Running() const {
  return process_ && process_->state() == QProcess::Running;
}

}  // namespace mp
