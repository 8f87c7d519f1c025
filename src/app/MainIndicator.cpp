// Indicator control page.
#include "app/Main.h"

void TWin::SetupIndicatorPage() {}
void TWin::VoiceOnClick() {}
void TWin::VoiceOffClick() {}
void TWin::FaxOnClick() {}
void TWin::FaxOffClick() {}
void TWin::EmailOnClick() {}
void TWin::EmailOffClick() {}
void TWin::UpdateIndicatorState() {}
void TWin::SaveIndClick() {}
