#pragma once
// Accessible interfaces of the main window's own controls (Accessible.cpp).
class TabRows;

namespace mp {

// Installs, once, the factory that describes the painted tab rows, the page
// control without its hidden bar and the receiving phone's screen.
void InstallAccessibleFactory();
// Tells assistive technology that the rows' current tab changed.
void NotifyPageShown(TabRows* rows);

}  // namespace mp
