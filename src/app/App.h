#pragma once
// Creation and destruction of the application's four windows. The shared look
// of the forms is in widgets/Look.h, which this header brings along.
#include "widgets/Look.h"

#include <QIcon>

namespace mp {

// Application name, organisation and version. No display name: the platform
// would append it to every window title ("Send/Save Message — ..."), and the
// captions are exact; the main window's caption carries the product name.
void SetApplicationNames();
// The window icon: the desktop entry's picture, the same everywhere.
QIcon LauncherIcon();

// Creates Win, AboutWin, SendWin and CodingWin in this order; each reads its
// settings as it is created. The program's start builds the main window's
// hidden pages after its first paint (pagesAfterFirstPaint); otherwise the
// window is whole at once.
void CreateWindows(bool pagesAfterFirstPaint = false);
// Destroys them in reverse order; each writes its settings. Safe to call twice.
void DestroyWindows();

}  // namespace mp
