// The ways out of the program: File > Exit, the title bar's button, Alt+F4,
// a logout's close request, the session manager's quit and
// QApplication::quit. All of them ask MayClose, which refuses while a send or
// any other dialogue with the phone or a gateway runs (the window then stays
// and says how to cancel it) and while the unsaved-work question is open (the
// question decides), and otherwise asks that question.
//
// Two of the toolkit's own paths pass by the window's close handler: a second
// close request while the first one's question is open is taken as already
// accepted, and QApplication's quit skips a window whose close is under way
// and ends the event loop. So while the question is open a filter refuses
// both before the toolkit sees them; during a dialogue the dialogue's input
// guard does the same (MainDialogue.cpp).
#include <QApplication>
#include <QCloseEvent>
#include <QTextDocument>
#include <QTextEdit>
#include <QWindow>
#if QT_CONFIG(sessionmanager)
#include <QSessionManager>
#endif

#include "app/Main.h"
#include "app/MainForm.h"

namespace {

class LeaveGuard : public QObject {
 public:
  explicit LeaveGuard(TWin* win) : win_(win) { qApp->installEventFilter(this); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const bool quit = event->type() == QEvent::Quit;
    const bool close = event->type() == QEvent::Close && (watched == win_ || watched == win_->windowHandle());
    if (!quit && !close) return false;
    event->ignore();
    return true;
  }

 private:
  TWin* win_;
};

}  // namespace

const char* const TWin::kCloseRefused =
    "A send is in progress: the window stays until it ends. Press Escape to cancel it.";

void TWin::SetupClose() {
#if QT_CONFIG(sessionmanager)
  // A logout asks as a close does; a refusal cancels the logout.
  connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
    if (!manager.allowsInteraction() && !InDialogue()) return;
    const bool mayLeave = MayClose();
    manager.release();
    if (!mayLeave) {
      manager.cancel();
      return;
    }
    // The quit that follows the logout does not ask again for the same text.
    agreedRevision_ = ui->Message->document()->revision();
  });
#endif
}

bool TWin::InDialogue() const { return dialogueRunning_ || Phone.InDialogue(); }

bool TWin::MayClose() {
  if (InDialogue()) {
    ShowStatus(kCloseRefused);
    return false;
  }
  if (leaveGuard_) return false;  // the question on the screen decides
  if (agreedRevision_ >= 0 && agreedRevision_ == ui->Message->document()->revision()) return true;
  agreedRevision_ = -1;
  return MayDiscardMessage();
}

std::unique_ptr<QObject> TWin::HoldLeave() {
  if (leaveGuard_) return nullptr;  // an outer question holds it already
  auto guard = std::make_unique<LeaveGuard>(this);
  leaveGuard_ = guard.get();
  connect(guard.get(), &QObject::destroyed, this, [this] { leaveGuard_ = nullptr; });
  return guard;
}

void TWin::closeEvent(QCloseEvent* event) { event->setAccepted(MayClose()); }
