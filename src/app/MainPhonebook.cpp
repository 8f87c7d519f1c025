// Blinking phonebook page.
#include "app/Main.h"

void TWin::SetupPhonebookPage() {}
void TWin::EntryNoChange() {}
void TWin::SaveEntryClick() {}
