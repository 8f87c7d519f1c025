#pragma once
// The wait mouse pointer over the whole application.

namespace mp {

// Shows (true) or takes back (false) the wait pointer. Calls nest: each
// `true` needs one `false`. Does nothing without a QGuiApplication.
void SetWaitCursor(bool on);

}  // namespace mp
