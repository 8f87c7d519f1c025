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
// hidden pages and the dialogs after its first paint (pagesAfterFirstPaint);
// otherwise all is there at once.
void CreateWindows(bool pagesAfterFirstPaint = false);
// Creates AboutWin, SendWin and CodingWin unless they are there: the
// program's start leaves them until after the first paint, and whatever
// shows one before that calls this first.
void CreateDialogs();
// Destroys them in reverse order; each writes its settings. Safe to call twice.
void DestroyWindows();

}  // namespace mp
