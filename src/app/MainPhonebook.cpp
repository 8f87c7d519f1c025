// Blinking phonebook page: a name with blinking parts and a number written
// straight into the phone's own phonebook.
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>

#include "app/Main.h"
#include "builders/Messages.h"
#include "platform/Ansi.h"
#include "ui_Main.h"

namespace {

// Keeps the name on one line: Enter with Shift, Ctrl or Alt would break it.
// Plain Enter goes on to the frame, which presses SaveEntry when enabled.
class OneLine : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      const auto* key = static_cast<QKeyEvent*>(event);
      const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
      const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
      if (enter && !plain) return true;
    }
    return QObject::eventFilter(watched, event);
  }
};

}  // namespace

void TWin::SetupPhonebookPage() {
  // One line: no wrapping, no line break typed.
  ui->EntryName->setLineWrapMode(QTextEdit::NoWrap);
  ui->EntryName->setWordWrapMode(QTextOption::NoWrap);
  ui->EntryName->installEventFilter(new OneLine(ui->EntryName));
  connect(ui->EntryNo, &QLineEdit::textChanged, this, &TWin::EntryNoChange);
  connect(ui->SaveEntry, &QPushButton::clicked, this, &TWin::SaveEntryClick);
  ui->SaveEntry->setEnabled(false);
}

void TWin::EntryNoChange() {
  EntryType = mp::CheckEntryNumber(mp::ToAnsi(ui->EntryNo->text()), EntryNumber);
  ui->SaveEntry->setEnabled(EntryType != 0);
}

void TWin::SaveEntryClick() {
  std::string name;
  bool toggles = false;
  const int n = RichToBlinkText(ui->EntryName, &name, toggles);
  // The editor holds at most 32 characters; a longer text cannot be a name.
  if (n < 0) return;
  name.resize(static_cast<std::size_t>(n));
  Phone.WritePhonebookEntry(mp::HexName(name), EntryNumber, EntryType);
}
