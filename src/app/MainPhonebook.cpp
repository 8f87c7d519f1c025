// Blinking phonebook page: a name with blinking parts and a number written
// straight into the phone's own phonebook.
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>

#include "app/Main.h"
#include "builders/Messages.h"
#include "platform/Ansi.h"
#include "ui_Main.h"

void TWin::SetupPhonebookPage() {
  // One line: no wrapping. Enter presses SaveEntry through the frame's
  // default button handling and never breaks the line.
  ui->EntryName->setLineWrapMode(QTextEdit::NoWrap);
  ui->EntryName->setWordWrapMode(QTextOption::NoWrap);
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
