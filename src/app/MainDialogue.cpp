// The main window while a dialogue with the phone runs. Everything stays on
// the one user-interface thread: while the link waits for the phone a local
// event loop runs (as a modal dialog's does), ended by the line's socket
// notifier, a timer or Cancel, so that paint, expose, timer and accessibility
// events are served as they arrive; an application-wide filter keeps all
// input from every window except Escape and a click on the Cancel button,
// and refuses every close request and quit meanwhile (the window says why).
// Gateway waits run in the same state (GatewayLink calls SetDialogue).
#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QStatusBar>
#include <QTimer>
#include <memory>
#include <algorithm>
#include <chrono>
#include <functional>

#include "app/Main.h"
#include "app/MainForm.h"

namespace {

class InputGuard : public QObject {
 public:
  InputGuard(QObject* parent, QAbstractButton* cancel, std::function<void()> onCancel, std::function<void()> onLeave)
      : QObject(parent), cancel_(cancel), onCancel_(std::move(onCancel)), onLeave_(std::move(onLeave)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    // A close asked for by the desktop (the title bar's button, Alt+F4, a
    // logout) reaches the window system's window first, and a quit the
    // application: both are refused there and said. A close event left
    // accepted would hide the window, and the wait would go on unseen. The
    // program's own closes (a tool tip's) are the windows' business.
    if ((event->type() == QEvent::Close && event->spontaneous()) || event->type() == QEvent::Quit) {
      event->ignore();
      onLeave_();
      return true;
    }
    // Window-system events reach the QWindow first and are then passed to a
    // widget; they are judged there, where the Cancel button can be told apart.
    if (!watched->isWidgetType()) return false;
    switch (event->type()) {
      case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) onCancel_();
        return true;
      case QEvent::ShortcutOverride:
        // Claimed, so that no shortcut fires: the key comes back as a key press.
        event->accept();
        return true;
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseMove:
        return watched != cancel_;
      case QEvent::KeyRelease:
      case QEvent::Shortcut:
      case QEvent::InputMethod:
      case QEvent::Wheel:
      case QEvent::ContextMenu:
      case QEvent::DragEnter:
      case QEvent::DragMove:
      case QEvent::Drop:
      case QEvent::TouchBegin:
      case QEvent::TouchUpdate:
      case QEvent::TouchEnd:
      case QEvent::TabletPress:
      case QEvent::TabletMove:
      case QEvent::TabletRelease:
      case QEvent::NonClientAreaMouseButtonPress:
      case QEvent::NonClientAreaMouseButtonRelease:
      case QEvent::NonClientAreaMouseButtonDblClick:
        return true;
      default:
        return false;
    }
  }

 private:
  QAbstractButton* cancel_;
  std::function<void()> onCancel_;
  std::function<void()> onLeave_;
};

}  // namespace

void TWin::SetupDialogue() {
  // A gateway's wait: the time waited and the time left, beside Cancel.
  WaitLabel = new QLabel(ui->StatusBar);
  WaitLabel->setObjectName("WaitLabel");
  WaitLabel->setTextFormat(Qt::PlainText);
  WaitLabel->setAccessibleName("Time waited and time left");
  WaitLabel->setToolTip("The gateway's answer is awaited this long at most; Escape or Cancel stops waiting.");
  ui->StatusBar->addPermanentWidget(WaitLabel);
  WaitLabel->hide();
  CancelButton = new QPushButton("Cancel", ui->StatusBar);
  CancelButton->setObjectName("CancelButton");
  CancelButton->setFocusPolicy(Qt::NoFocus);
  CancelButton->setFixedHeight(ui->StatusBar->maximumHeight() - 2);
  ui->StatusBar->addPermanentWidget(CancelButton);
  CancelButton->hide();
  connect(CancelButton, &QPushButton::clicked, this, &TWin::CancelClick);
  DialogueGuard = new InputGuard(
      this, CancelButton, [this] { CancelClick(); }, [this] { MayClose(); });
}

void TWin::CancelClick() {
  CancelRequested = true;
  if (WaitLoop) WaitLoop->quit();
}

void TWin::SetDialogue(bool running) {
  lineWait_.armed = false;  // a wait armed for a line that is gone
  dialogueRunning_ = running;
  if (running) {
    CancelRequested = false;
    // The window's own focus child: the control the user left for the
    // Send/Save dialog, which keeps it while that dialog is shown.
    DialogueFocus = focusWidget();
    qApp->installEventFilter(DialogueGuard);
    ui->centralwidget->setEnabled(false);
    ui->MainMenu1->setEnabled(false);
    CancelButton->show();
  } else {
    qApp->removeEventFilter(DialogueGuard);
    CancelButton->hide();
    WaitLabel->hide();
    ui->MainMenu1->setEnabled(true);
    ui->centralwidget->setEnabled(true);
    QWidget* back = DialogueFocus;
    if (!back || !back->isEnabled() || !back->isVisible() || !(back->focusPolicy() & Qt::TabFocus)) {
      back = PageFirstControl();
    }
    if (back) back->setFocus(Qt::OtherFocusReason);
    DialogueFocus = nullptr;
  }
}

bool TWin::ServiceEvents() {
  if (lineWait_.armed) {
    const LineWait wait = lineWait_;
    lineWait_.armed = false;
    if (!CancelRequested) RunLineWait(wait);
  } else if (!CancelRequested) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
  }
  return CancelRequested;
}

void TWin::WaitProgress(std::chrono::milliseconds waited, std::chrono::milliseconds left) {
  using std::chrono::seconds;
  // Whole seconds that add up to the bound: waited rounded down, left up.
  const auto w = std::chrono::duration_cast<seconds>(waited).count();
  const auto l = std::chrono::ceil<seconds>(left).count();
  WaitLabel->setText(QString("%1 s waited, %2 s left").arg(w).arg(l));
  WaitLabel->show();
  WaitLabel->repaint();
}

void TWin::ArmLineWait(int fd, bool forWrite, int milliseconds) {
  lineWait_ = {fd, forWrite, milliseconds, true};
}

void TWin::RunLineWait(const LineWait& wait) {
  QEventLoop loop;
  QTimer timer;
  timer.setSingleShot(true);
  timer.setTimerType(Qt::PreciseTimer);
  connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
  std::unique_ptr<QSocketNotifier> line;
  if (wait.fd >= 0) {
    line = std::make_unique<QSocketNotifier>(wait.fd, wait.forWrite ? QSocketNotifier::Write : QSocketNotifier::Read);
    connect(line.get(), &QSocketNotifier::activated, &loop, &QEventLoop::quit);
  }
  QEventLoop* outer = WaitLoop;
  WaitLoop = &loop;
  timer.start(std::max(wait.milliseconds, 0));
  loop.exec();
  WaitLoop = outer;
}

void TWin::FocusPage() {
  // The editor of the text and phonebook pages, where the user will type;
  // else the page's first control; the tab rows for a page that is off.
  QWidget* page = ui->PageControl->currentWidget();
  QWidget* target = page == ui->TabSheet1   ? static_cast<QWidget*>(ui->Message)
                    : page == ui->TabSheet5 ? static_cast<QWidget*>(ui->EntryName)
                                            : nullptr;
  if (!target || !target->isEnabled()) target = PageFirstControl();
  if (!target) target = rows_;
  if (target) target->setFocus(Qt::TabFocusReason);
}

QWidget* TWin::PageFirstControl() const {
  QWidget* page = ui->PageControl->currentWidget();
  if (!page) return nullptr;
  // The window's focus chain, from the page on, to its first control that takes Tab.
  for (QWidget* w = page->nextInFocusChain(); w && w != page; w = w->nextInFocusChain()) {
    if (!page->isAncestorOf(w)) continue;
    if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && w->isVisibleTo(page)) return w;
  }
  return nullptr;
}
