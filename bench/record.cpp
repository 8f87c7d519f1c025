// The record of sent messages with 10, 1,000 and 100,000 rows: what opening
// the "Sent messages" window costs (time and memory), how long a send stalls
// the window while it is open, and how long the window waits when another
// program holds the record's write lock.
//
//   bench_record [--rows N]...       offscreen unless a display is set
//
// Budgets: opening at most 200 ms and 40 MB more with 100,000 rows; a send
// with it open at most 50 ms; a locked record never more than a slice.
// Each size runs in a fresh process of its own, so memory figures do not mix.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "app/App.h"
#include "app/Main.h"
#include "app/SentMessages.h"
#include "record/Record.h"

extern char** environ;

namespace {

// "VmRSS" or "VmHWM" of this process, in kB.
long StatusKb(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const std::string want = std::string(field) + ":";
  while (std::getline(in, line)) {
    if (line.rfind(want, 0) == 0) return std::atol(line.c_str() + want.size());
  }
  return 0;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}
double Worst(const std::vector<double>& v) { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); }

constexpr int kSends = 20;
constexpr const char* kTpdu = "31FF05912143F50000A905E8329BFD06";

mp::TransferReport Report(bool finished) {
  mp::TransferReport r;
  r.command = "CMGS";
  r.port = "COM4:";
  r.device = "/dev/ttyUSB0";
  r.sca = "00";
  r.tpdu = kTpdu;
  r.finished = finished;
  r.ok = finished;
  r.statusText = finished ? "Message successfully sent." : "Sending message...";
  return r;
}

// Fills the record with `rows` rows in one transaction, as a year of use would.
bool Fill(int rows) {
  mp::record::Record record;
  if (!record.Open()) {
    std::fprintf(stderr, "record: %s\n", record.Error().c_str());
    return false;
  }
  record.Close();
  {
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "fill");
    db.setDatabaseName(QString::fromStdString(mp::record::Record::DefaultPath()));
    if (!db.open()) return false;
    QSqlQuery q(db);
    q.exec("BEGIN");
    q.prepare(
        "INSERT INTO sent (time, port, device, command, kind, recipient, status_text, ok, sca, tpdu) "
        "VALUES (?, 'COM4:', '/dev/ttyUSB0', 'CMGS', 'text', '+12345', 'Message successfully sent.', 1, '00', ?)");
    for (int i = 0; i < rows; ++i) {
      q.addBindValue(QString("2026-01-01T00:00:%1.000Z").arg(i % 60, 2, 10, QChar('0')));
      q.addBindValue(kTpdu);
      if (!q.exec()) return false;
    }
    QSqlQuery(db).exec("COMMIT");
    db.close();
  }
  QSqlDatabase::removeDatabase("fill");
  return true;
}

int Child(int argc, char** argv, int rows) {
  QTemporaryDir dir;
  ::setenv("XDG_CONFIG_HOME", dir.filePath("config").toLocal8Bit().constData(), 1);
  ::setenv("XDG_DATA_HOME", dir.filePath("data").toLocal8Bit().constData(), 1);
  ::setenv("MIRAPOST_TESTING", "1", 1);  // no sounds
  QApplication app(argc, argv);
  if (!Fill(rows)) return 1;
  mp::CreateWindows();
  Win->show();
  QCoreApplication::processEvents();

  const long rss0 = StatusKb("VmRSS"), hwm0 = StatusKb("VmHWM");
  QElapsedTimer t;
  t.start();
  Win->SentMessages1->trigger();
  QCoreApplication::processEvents();
  const double openMs = static_cast<double>(t.nsecsElapsed()) / 1e6;
  const long rss1 = StatusKb("VmRSS"), hwm1 = StatusKb("VmHWM");
  const int shown = Win->SentWin ? Win->SentWin->RowCount() : -1;

  // Sends with the window open: the row's start and its end, each a report.
  // The stall is the whole of it (the report handled and the window painted);
  // then the same again in its parts: the record write, the row brought up to
  // date in the window, the repaint.
  std::vector<double> stall, write, row, paint;
  for (int i = 0; i < kSends; ++i) {
    for (bool finished : {false, true}) {
      t.start();
      Win->Transferred(Report(finished));
      QCoreApplication::processEvents();
      stall.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
  }
  for (int i = 0; i < kSends; ++i) {
    for (bool finished : {false, true}) {
      t.start();
      Win->SentRecorder->Report(Report(finished));
      write.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
      t.start();
      if (Win->SentRecorder->ChangedId()) Win->SentWin->RowChanged(Win->SentRecorder->ChangedId());
      row.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
      t.start();
      QCoreApplication::processEvents();
      paint.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
  }
  // The same writes as the record made them before, each commit waiting for
  // the disk (synchronous=FULL) on the writer's thread, in the same run.
  std::vector<double> former;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "former");
    db.setDatabaseName(QString::fromStdString(mp::record::Record::DefaultPath()));
    db.open();
    QSqlQuery(db).exec("PRAGMA synchronous=FULL");
    for (int i = 0; i < kSends; ++i) {
      QSqlQuery q(db);
      t.start();
      q.prepare("INSERT INTO sent (time, command, status_text, finished, tpdu) VALUES (?, 'CMGS', ?, 0, ?)");
      q.addBindValue(QString("2026-01-02T00:00:00.000Z"));
      q.addBindValue(QString("Sending message..."));
      q.addBindValue(QString(kTpdu));
      q.exec();
      former.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
      const qlonglong id = q.lastInsertId().toLongLong();
      t.start();
      q.prepare("UPDATE sent SET finished = 1, ok = 1, status_text = ? WHERE id = ?");
      q.addBindValue(QString("Message successfully sent."));
      q.addBindValue(id);
      q.exec();
      former.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    db.close();
  }
  QSqlDatabase::removeDatabase("former");
  // Another program holds the write lock: the window waits a slice at most.
  double lockedMax = 0;
  {
    QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "other");
    other.setDatabaseName(QString::fromStdString(mp::record::Record::DefaultPath()));
    other.open();
    QSqlQuery(other).exec("BEGIN IMMEDIATE");
    for (bool finished : {false, true}) {
      t.start();
      Win->Transferred(Report(finished));
      QCoreApplication::processEvents();
      lockedMax = std::max(lockedMax, static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    QSqlQuery(other).exec("COMMIT");
    other.close();
  }
  QSqlDatabase::removeDatabase("other");
  std::printf("%7d rows  open %7.1f ms  +%6.1f MB (peak +%6.1f MB)  shown %4d  send median %6.2f ms worst %6.2f ms"
              "  locked %6.2f ms  waiting %zu\n"
              "             send in parts (median / worst): write %5.2f / %6.2f  row %5.2f / %6.2f  "
              "paint %5.2f / %6.2f ms;  the write as before (waiting for the disk) %5.2f / %6.2f ms\n",
              rows, openMs, (rss1 - rss0) / 1024.0, (hwm1 - hwm0) / 1024.0, shown, Median(stall), Worst(stall),
              lockedMax, Win->SentRecorder->Waiting(), Median(write), Worst(write), Median(row), Worst(row),
              Median(paint), Worst(paint), Median(former), Worst(former));
  std::fflush(stdout);
  mp::DestroyWindows();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--child") && i + 1 < argc) {
      if (!std::getenv("DISPLAY")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
      return Child(argc, argv, std::atoi(argv[i + 1]));
    }
    if (!std::strcmp(argv[i], "--rows") && i + 1 < argc) sizes.push_back(std::atoi(argv[++i]));
  }
  if (sizes.empty()) sizes = {10, 1000, 100000};
  char self[4096];
  const ssize_t len = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (len <= 0) return 1;
  self[len] = 0;
  std::printf("Sent messages window (budget: open <= 200 ms and +40 MB at 100,000 rows, send <= 50 ms)\n");
  std::fflush(stdout);
  for (int rows : sizes) {
    const std::string n = std::to_string(rows);
    char* args[] = {self, const_cast<char*>("--child"), const_cast<char*>(n.c_str()), nullptr};
    pid_t pid = -1;
    if (::posix_spawn(&pid, self, nullptr, nullptr, args, environ) != 0) return 1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::fprintf(stderr, "the run with %d rows failed\n", rows);
      return 1;
    }
  }
  return 0;
}
