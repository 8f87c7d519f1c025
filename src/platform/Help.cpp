#include "platform/Help.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace mp {

QString FindHelpPage(const QString& programDir) {
  if (programDir.isEmpty()) return {};
  const QFileInfo page(QDir(programDir).absoluteFilePath(kHelpPageFromProgram));
  return page.isFile() && page.isReadable() ? page.canonicalFilePath() : QString();
}

QString FindHelpPage() {
  if (!QCoreApplication::instance()) return {};
  return FindHelpPage(QCoreApplication::applicationDirPath());
}

}  // namespace mp
