#include "platform/Desktop.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QUrl>

namespace mp {

bool OpenDesktopDocument(const std::string& target) {
  if (!QGuiApplication::instance() || target.empty()) return false;
  const QString text = QString::fromStdString(target);
  QUrl url = QUrl::fromUserInput(text);
  if (!url.isValid()) return false;
  // Tests must never start a browser.
  if (!qEnvironmentVariableIsEmpty("MIRAPOST_TESTING")) {
    LastOpenedDocument() = target;
    // MIRAPOST_TESTING_NO_HANDLER plays a desktop where nothing opens it.
    return qEnvironmentVariableIsEmpty("MIRAPOST_TESTING_NO_HANDLER");
  }
  return QDesktopServices::openUrl(url);
}

std::string& LastOpenedDocument() {
  static std::string last;
  return last;
}

}  // namespace mp
