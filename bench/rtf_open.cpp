// Opening a message file: a 10 MB rich text file against a 1 KB one, through
// the main window (read, normalise, show), offscreen. The editor keeps 320
// characters, so the large file should cost about what the small one costs.
//
//   bench_rtf_open [--runs N]
//
// Prints the median time of each and their ratio, and the growth of the
// peak memory while the large file is opened.
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/App.h"
#include "app/Main.h"

namespace {

QByteArray Document(qint64 bytes) {
  QByteArray doc = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fnil System;}}\n"
                   "{\\colortbl ;\\red255\\green0\\blue0;}\n\\viewkind4\\uc1\\pard\\f0\\fs24 ";
  int i = 0;
  while (doc.size() < bytes - 8) {
    doc += (i++ % 3 == 0) ? "\\cf1 blinking words\\cf0  " : "steady text, line \\par\n";
  }
  return doc + "\\par\n}\n";
}

long PeakKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

double MedianMs(const QString& path, int runs) {
  std::vector<double> ms;
  for (int r = 0; r < runs; ++r) {
    QElapsedTimer t;
    t.start();
    Win->OpenMessageOrLogo(path);
    ms.push_back(t.nsecsElapsed() / 1e6);
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 50;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QTemporaryDir dir;
  ::setenv("XDG_CONFIG_HOME", dir.filePath("config").toLocal8Bit().constData(), 1);
  QApplication app(argc, argv);
  mp::CreateWindows();

  const QString small = dir.filePath("small.rtf"), large = dir.filePath("large.rtf");
  for (const auto& [path, size] : {std::pair{small, 1LL << 10}, std::pair{large, 10LL << 20}}) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(Document(size)) < 0) return 1;
  }
  MedianMs(small, 5);  // warm up
  const double smallMs = MedianMs(small, runs);
  const long before = PeakKb();
  const double largeMs = MedianMs(large, runs);
  const long grown = PeakKb() - before;
  std::printf("open 1 KB rich text:  %8.3f ms (median of %d)\n", smallMs, runs);
  std::printf("open 10 MB rich text: %8.3f ms (median of %d)\n", largeMs, runs);
  std::printf("ratio: %.2f (goal at most 1.5); peak memory grew by %ld KB\n", largeMs / smallMs, grown);
  mp::DestroyWindows();
  return 0;
}
