#pragma once
// Hands a document or web address to the desktop's default handler.
#include <string>

namespace mp {

// Opens `target` (a web address, or a local file path) with the desktop's
// default application. The address is passed as one value, never through a
// shell. Returns whether the desktop accepted it; callers may ignore it.
bool OpenDesktopDocument(const std::string& target);

// While MIRAPOST_TESTING is set nothing is opened; the last address asked
// for is kept here instead (and refused while MIRAPOST_TESTING_NO_HANDLER is set).
std::string& LastOpenedDocument();

}  // namespace mp
