// Opening a document or web address with the desktop's default handler.
#include "phone/PhoneLink.h"
#include "platform/Desktop.h"

namespace mp {

void OpenDocument(PhoneHost& host, const std::string& target) {
  host.SetWaitCursor(true);
  OpenDesktopDocument(target);  // the result is not examined
  host.SetWaitCursor(false);
}

}  // namespace mp
