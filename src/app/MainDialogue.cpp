// The main window while a dialogue with the phone runs. Everything stays on
// the one user-interface thread: the link calls ServiceEvents between the
// short slices of its waits, which lets paint, expose, timer and
// accessibility events through, while an application-wide filter keeps all
// input from every window except Escape and a click on the Cancel button.
#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <functional>

#include "app/Main.h"
#include "ui_Main.h"

namespace {

class InputGuard : public QObject {
 public:
  InputGuard(QObject* parent, QAbstractButton* cancel, std::function<void()> onCancel)
      : QObject(parent), cancel_(cancel), onCancel_(std::move(onCancel)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
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
      case QEvent::Close:
        // A close asked for by the desktop (the title bar's button); the
        // program's own closes are the windows' business.
        return event->spontaneous();
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
};

}  // namespace

void TWin::SetupDialogue() {
  CancelButton = new QPushButton("Cancel", ui->StatusBar);
  CancelButton->setObjectName("CancelButton");
  CancelButton->setFocusPolicy(Qt::NoFocus);
  CancelButton->setFixedHeight(ui->StatusBar->maximumHeight() - 2);
  ui->StatusBar->addPermanentWidget(CancelButton);
  CancelButton->hide();
  connect(CancelButton, &QPushButton::clicked, this, &TWin::CancelClick);
  DialogueGuard = new InputGuard(this, CancelButton, [this] { CancelClick(); });
}

void TWin::CancelClick() { CancelRequested = true; }

void TWin::SetDialogue(bool running) {
  if (running) {
    CancelRequested = false;
    DialogueFocus = QApplication::focusWidget();
    qApp->installEventFilter(DialogueGuard);
    ui->centralwidget->setEnabled(false);
    ui->MainMenu1->setEnabled(false);
    CancelButton->show();
  } else {
    qApp->removeEventFilter(DialogueGuard);
    CancelButton->hide();
    ui->MainMenu1->setEnabled(true);
    ui->centralwidget->setEnabled(true);
    if (DialogueFocus && DialogueFocus->isEnabled() && DialogueFocus->isVisible()) {
      DialogueFocus->setFocus();
    }
    DialogueFocus = nullptr;
  }
}

bool TWin::ServiceEvents() {
  if (!CancelRequested) QCoreApplication::processEvents(QEventLoop::AllEvents);
  return CancelRequested;
}
