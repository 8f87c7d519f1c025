#include "app/pages/PhonebookPage.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>

#include "app/pages/Editors.h"
#include "builders/Messages.h"
#include "phone/PhoneLink.h"
#include "platform/Ansi.h"

namespace mp {

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

void PhonebookPage::Setup(const Controls& controls, Editors& editors, PageLinks links) {
  c_ = controls;
  editors_ = &editors;
  links_ = std::move(links);
  // One line: no wrapping, no line break typed.
  c_.EntryName->setLineWrapMode(QTextEdit::NoWrap);
  c_.EntryName->setWordWrapMode(QTextOption::NoWrap);
  c_.EntryName->installEventFilter(new OneLine(c_.EntryName));
  connect(c_.EntryNo, &QLineEdit::textChanged, this, &PhonebookPage::EntryNoChange);
  connect(c_.SaveEntry, &QPushButton::clicked, this, &PhonebookPage::SaveEntryClick);
  c_.SaveEntry->setEnabled(false);
}

void PhonebookPage::EntryNoChange() {
  EntryType = CheckEntryNumber(ToAnsi(c_.EntryNo->text()), EntryNumber);
  c_.SaveEntry->setEnabled(EntryType != 0);
}

void PhonebookPage::SaveEntryClick() {
  std::string name;
  bool toggles = false;
  const int n = editors_->RichToBlinkText(c_.EntryName, &name, toggles);
  // The editor holds at most 32 characters; a longer text cannot be a name.
  if (n < 0) return;
  name.resize(static_cast<std::size_t>(n));
  links_.phone->WritePhonebookEntry(HexName(name), EntryNumber, EntryType);
}

}  // namespace mp
