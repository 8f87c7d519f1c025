// Text page: the message editor, blink marking and the formatting normaliser.
#include "app/Main.h"

#include <QKeyEvent>
#include <QTextEdit>

void TWin::SetupTextPage() {}
void TWin::MessageChange() {}
void TWin::ClassClick() {}
void TWin::BlinkFontClick() {}
void TWin::MessageSelectionChange() {}
void TWin::SaveBlinkClick() {}
int TWin::RichToBlinkText(QTextEdit*, std::string*, bool& toggles) {
  toggles = false;
  return 0;
}
void TWin::NormaliseFormatting() {}
void TWin::CopyRichText(QTextEdit*, QTextEdit*) {}
int TWin::MaxLength(QTextEdit*) const { return 320; }
bool TWin::MessageKeyPress(QTextEdit*, QKeyEvent*) { return false; }
