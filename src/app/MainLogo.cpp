// Operator logo page.
#include "app/Main.h"

void TWin::SetupLogoPage() {}
void TWin::cmdPasteLogoClick() {}
void TWin::cmbOperatorChange() {}
void TWin::cmbOperatorClick() {}
void TWin::cmdSaveLogoClick() {}
void TWin::BitmapToLogo(const QImage*) {}
