#include "app/App.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QPixmap>
#include <QElapsedTimer>
#include <cstdio>

#include "app/About.h"
#include "app/Main.h"
#include "dialogs/AccessNames.h"
#include "dialogs/Coding.h"
#include "dialogs/Send.h"
#include "platform/Version.h"
#include "widgets/Look.h"

TAboutWin* AboutWin = nullptr;
TSendWin* SendWin = nullptr;
TCodingWin* CodingWin = nullptr;

// The program's icon is a resource of the window library.
static void InitIconResource() { Q_INIT_RESOURCE(icons); }

namespace mp {

QIcon LauncherIcon() {
  // One icon everywhere: the desktop entry's SVG, drawn beforehand at the
  // sizes window systems ask for (scripts/render-icons.sh). A size is read
  // only when it is asked for; reading the SVG itself would keep its reader
  // and the maths library's tables in memory for the program's life.
  InitIconResource();
  // Each picture is named after its size (icons.qrc).
  QIcon icon;
  for (const QFileInfo& picture : QDir(QStringLiteral(":/icons")).entryInfoList({QStringLiteral("*.png")})) {
    const int size = picture.baseName().toInt();
    icon.addFile(picture.filePath(), QSize(size, size));
  }
  return icon;
}

void SetApplicationNames() {
  QCoreApplication::setApplicationName("MIRAPOST");
  QCoreApplication::setOrganizationName("Corvistan");
  QCoreApplication::setApplicationVersion(MIRAPOST_VERSION);
}

void CreateWindows(bool pagesAfterFirstPaint) {
  // MIRAPOST_TRACE_STARTUP=1 prints how long each window takes to create.
  const bool trace = !qEnvironmentVariableIsEmpty("MIRAPOST_TRACE_STARTUP");
  QElapsedTimer clock;
  clock.start();
  auto lap = [&](const char* what) {
    if (trace) std::fprintf(stderr, "%-10s %6.2f ms\n", what, clock.nsecsElapsed() / 1e6);
    clock.restart();
  };
  Win = new TWin(nullptr, pagesAfterFirstPaint ? TWin::Pages::AfterFirstPaint : TWin::Pages::AtOnce);
  lap("Win");
  // Every control named for screen readers, from its label where it has one.
  mp::NameControls(Win);
  if (!pagesAfterFirstPaint) {
    CreateDialogs();
    lap("dialogs");
    return;
  }
  // The dialogs wait as well; the preview, which reads the Send/Save
  // dialog's settings, follows them.
  AfterFirstPaint(Win, [] {
    CreateDialogs();
    if (Win) Win->PreviewChanged();
  });
}

void CreateDialogs() {
  if (AboutWin || !Win) return;
  AboutWin = new TAboutWin(Win);
  SendWin = new TSendWin(Win);
  SendWin->SetPhonebookSearch(
      [](std::string& name, std::string& address) { return Win && Win->Phone.FindPhonebookEntry(name, address); });
  CodingWin = new TCodingWin(Win);
  for (QWidget* w : std::initializer_list<QWidget*>{AboutWin, SendWin, CodingWin}) mp::NameControls(w);
}

void DestroyWindows() {
  delete CodingWin;
  CodingWin = nullptr;
  delete SendWin;
  SendWin = nullptr;
  delete AboutWin;
  AboutWin = nullptr;
  delete Win;
  Win = nullptr;
}

}  // namespace mp
