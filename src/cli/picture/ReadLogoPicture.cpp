// The module mirapost-picture.so: reads a picture with Qt Gui's readers and
// makes the logo's bitmap of it (cli/LogoPicture.h).
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <type_traits>

#include "builders/Messages.h"
#include "cli/LogoPicture.h"

extern "C" __attribute__((visibility("default"))) bool mirapost_logo_picture(const QString& path, std::string* bits, QString* why) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    *why = file.errorString();
    return false;
  }
  QImageReader reader(&file);
  reader.setAutoTransform(true);
  if (reader.format().isEmpty()) {
    *why = QString("not a picture in a format this program reads (%1)")
               .arg(QString::fromLatin1(QImageReader::supportedImageFormats().join(", ")));
    return false;
  }
  const QImage picture = reader.read();
  if (picture.isNull()) {
    *why = QString("a broken %1 picture (%2)").arg(QString::fromLatin1(reader.format()), reader.errorString());
    return false;
  }
  *bits = mp::LogoBitsFromImage(&picture, nullptr);
  return true;
}

// The program calls it by this type.
static_assert(std::is_same_v<decltype(&mirapost_logo_picture), mp::cli::LogoPictureFn>);
