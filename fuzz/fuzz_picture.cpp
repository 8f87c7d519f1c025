// Arbitrary bytes as a picture file for the operator logo: the sampling
// bitmap reader first, then the toolkit's readers. Nothing may crash, read
// out of bounds, overflow or ask for more memory than the largest picture we
// accept needs (the fuzzer's -rss_limit_mb and -malloc_limit_mb catch that),
// and what comes back is never larger than the scaled side for big pictures.
#include <QBuffer>
#include <QCoreApplication>
#include <QImageReader>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/Picture.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  static QCoreApplication app(*argc, *argv);
  QImageReader::setAllocationLimit(128);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  const QImage picture = mp::ReadPicture(buffer);
  if (!picture.isNull() && (picture.width() > mp::kPictureMaxSide || picture.height() > mp::kPictureMaxSide))
    std::abort();
  return 0;
}
