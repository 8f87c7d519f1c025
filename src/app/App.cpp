#include "app/App.h"

#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>

#include "app/About.h"
#include "app/Main.h"
#include "dialogs/Coding.h"
#include "dialogs/Send.h"
#include "platform/Version.h"

TAboutWin* AboutWin = nullptr;
TSendWin* SendWin = nullptr;
TCodingWin* CodingWin = nullptr;

namespace mp {

void SetApplicationNames() {
  QCoreApplication::setApplicationName("MIRAPOST");
  QCoreApplication::setOrganizationName("Corvistan");
  QCoreApplication::setApplicationVersion(MIRAPOST_VERSION);
}

void CreateWindows() {
  // MIRAPOST_TRACE_STARTUP=1 prints how long each window takes to create.
  const bool trace = !qEnvironmentVariableIsEmpty("MIRAPOST_TRACE_STARTUP");
  QElapsedTimer clock;
  clock.start();
  auto lap = [&](const char* what) {
    if (trace) std::fprintf(stderr, "%-10s %6.2f ms\n", what, clock.nsecsElapsed() / 1e6);
    clock.restart();
  };
  Win = new TWin();
  lap("Win");
  AboutWin = new TAboutWin(Win);
  lap("AboutWin");
  SendWin = new TSendWin(Win);
  SendWin->SetPhonebookSearch(
      [](std::string& name, std::string& address) { return Win && Win->Phone.FindPhonebookEntry(name, address); });
  lap("SendWin");
  CodingWin = new TCodingWin(Win);
  lap("CodingWin");
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
