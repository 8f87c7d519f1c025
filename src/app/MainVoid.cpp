// Void message and class 0 template pages.
#include "app/Main.h"

void TWin::SetupVoidPages() {}
void TWin::SaveVoidClick() {}
void TWin::SaveTempClick() {}
