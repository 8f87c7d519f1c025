#include "platform/Cursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace mp {

void SetWaitCursor(bool on) {
  if (!QGuiApplication::instance()) return;
  if (on) {
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
  } else if (QGuiApplication::overrideCursor()) {
    QGuiApplication::restoreOverrideCursor();
  }
}

}  // namespace mp
