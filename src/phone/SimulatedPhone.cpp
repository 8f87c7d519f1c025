#include "phone/SimulatedPhone.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <chrono>

#include "platform/Module.h"

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

// A folder only this user may enter, made new: in $XDG_RUNTIME_DIR when that
// is a folder of ours that nobody else may enter, else in the temporary
// folder. Empty when none can be made.
QString MakePrivateFolder() {
  QByteArray base = qgetenv("XDG_RUNTIME_DIR");
  struct stat st {};
  if (base.isEmpty() || base[0] != '/' || ::stat(base.constData(), &st) != 0 || !S_ISDIR(st.st_mode) ||
      st.st_uid != ::geteuid() || (st.st_mode & 077) != 0)
    base = QDir::tempPath().toLocal8Bit();
  QByteArray folder = base + "/mirapost-phonesim-XXXXXX";
  if (!::mkdtemp(folder.data())) return {};
  return QString::fromLocal8Bit(folder);
}

// Made new, never through a link, readable by this user alone.
bool MakeJournal(const QString& path) {
  const int fd = ::open(path.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                        0600);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

// Why a journal the user named is not to be written: another user's file
// (planted where we would append to it), a link, or no regular file. ""
// when it is fine or does not exist yet (the simulated phone makes it).
std::string JournalProblem(const QString& path) {
  struct stat st {};
  if (::lstat(path.toLocal8Bit().constData(), &st) != 0) return {};
  if (S_ISLNK(st.st_mode)) return "is a symbolic link";
  if (!S_ISREG(st.st_mode)) return "is not a regular file";
  if (st.st_uid != ::geteuid()) return "belongs to another user (uid " + std::to_string(st.st_uid) + ")";
  return {};
}

}  // namespace

SimulatedPhone::SimulatedPhone() = default;

SimulatedPhone::~SimulatedPhone() { Stop(); }

QString SimulatedPhone::FindProgram() {
  const QString name = "mirapost-phonesim";
  // The program's own place for it, as for its modules: never beside an
  // installed program or in a folder near it that others might write.
  const std::string tree = ProgramBuildTree();
  const QString candidate =
      tree.empty() ? QDir(QCoreApplication::applicationDirPath()).absoluteFilePath("../libexec/mirapost/" + name)
                   : QString::fromStdString(tree) + "/tools/phonesim/" + name;
  if (QFileInfo(candidate).isExecutable()) return QFileInfo(candidate).canonicalFilePath();
  return QStandardPaths::findExecutable(name);
}

bool SimulatedPhone::Start(int comNumber, std::string* error, const QStringList& extraArgs,
                           const QString& journal) {
  auto fail = [error](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  Stop();
  if (comNumber < 1 || comNumber > 9) return fail("no such port");
  const QString program = FindProgram();
  if (program.isEmpty()) return fail("the simulated phone (mirapost-phonesim) is not installed");

  QStringList args{"--journal"};
  if (journal.isEmpty()) {
    privateFolder_ = MakePrivateFolder();
    if (privateFolder_.isEmpty()) return fail("cannot make a private folder for its journal");
    journal_ = privateFolder_ + "/journal.jsonl";
    if (!MakeJournal(journal_)) {
      Stop();
      return fail("cannot make its journal in " + privateFolder_.toStdString());
    }
    args << journal_ << "--journal-temporary";
  } else {
    journal_ = QFileInfo(journal).absoluteFilePath();
    if (const std::string why = JournalProblem(journal_); !why.empty())
      return fail("the journal " + journal_.toStdString() + " " + why + "; name a file of your own");
    args << journal_;
  }

  process_ = std::make_unique<QProcess>();
  process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
  // It ends with this process, whatever ends this one: the kernel sends it
  // SIGTERM when we die. A parent that died before the request took hold
  // shows as a changed parent.
  const pid_t parent = ::getpid();
  process_->setChildProcessModifier([parent] {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(1);
  });
  process_->start(program, args + extraArgs);
  if (!process_->waitForStarted(5000)) {
    Stop();
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
  if (process_ && process_->state() != QProcess::NotRunning) {
    process_->terminate();  // SIGTERM
    if (!process_->waitForFinished(3000)) {
      process_->kill();
      process_->waitForFinished(1000);
    }
  }
  process_.reset();
  if (!privateFolder_.isEmpty()) {
    // Normally gone already: the simulated phone removes it as it ends.
    ::unlink(journal_.toLocal8Bit().constData());
    ::rmdir(privateFolder_.toLocal8Bit().constData());
    privateFolder_.clear();
    journal_.clear();
  }
  if (com_ > 0) ::unsetenv(QString("MIRAPOST_COM%1").arg(com_).toLocal8Bit().constData());
  com_ = 0;
  device_.clear();
}

bool SimulatedPhone::Running() const {
  return process_ && process_->state() == QProcess::Running;
}

}  // namespace mp
