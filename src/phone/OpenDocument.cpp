// Opening a document or web address with the desktop's default handler.
#include <QDesktopServices>
#include <QUrl>

#include "phone/PhoneLink.h"
#include "platform/Ansi.h"

namespace mp {

void OpenDocument(PhoneHost& host, const std::string& target) {
  host.SetWaitCursor(true);
  // Never through a shell: the text becomes a URL (a local path a file URL).
  QDesktopServices::openUrl(QUrl::fromUserInput(FromAnsi(target)));
  host.SetWaitCursor(false);
}

}  // namespace mp
