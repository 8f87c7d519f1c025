#include "platform/Picture.h"

#include <QImageReader>
#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace mp {
namespace {

quint32 U32(const uchar* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (quint32(p[3]) << 24); }
quint16 U16(const uchar* p) { return quint16(p[0] | (p[1] << 8)); }

// Samples a large uncompressed Windows bitmap (1, 4, 8, 24 or 32 bits a
// pixel) row by row into at most kPictureScaledSide pixels a side, the
// nearest source pixel for each. A null image for anything else; `refused`
// is set when the header is a bitmap's but asks for more than any picture we
// accept (a side over kPictureMaxSide, or pixels beyond the end of the file),
// so that no other reader is tried on it. Every size is checked before
// anything is allocated, and all arithmetic stays well inside 64 bits.
QImage SampleBitmap(QIODevice& device, qint64 start, bool& refused) {
  refused = false;
  if (!device.seek(start)) return {};
  const QByteArray head = device.read(54);
  if (head.size() < 54 || !head.startsWith("BM")) return {};
  const auto* h = reinterpret_cast<const uchar*>(head.constData());
  const quint32 offBits = U32(h + 10);
  const quint32 infoSize = U32(h + 14);
  if (infoSize < 40) return {};
  const qint64 w = qint32(U32(h + 18));
  const qint64 rawH = qint32(U32(h + 22));
  const int bpp = U16(h + 28);
  const quint32 compression = U32(h + 30);
  quint32 colours = U32(h + 46);
  const bool topDown = rawH < 0;
  const qint64 height = topDown ? -rawH : rawH;
  if (w <= 0 || height <= 0 || compression != 0) return {};
  if (w > kPictureMaxSide || height > kPictureMaxSide) {
    refused = true;
    return {};
  }
  if (w * height <= kPictureMaxPixels) return {};
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) return {};
  // Both below 2^16 and bpp at most 32: no product here comes near 2^63.
  const qint64 stride = ((w * bpp + 31) / 32) * 4;
  if (!device.isSequential()) {
    const qint64 size = device.size();
    if (offBits > size || height * stride > size - start - offBits) {
      refused = true;
      return {};
    }
  }
  QList<QRgb> palette;
  if (bpp <= 8) {
    if (colours == 0 || colours > (1u << bpp)) colours = 1u << bpp;
    if (!device.seek(start + 14 + infoSize)) return {};
    const QByteArray table = device.read(qint64(colours) * 4);
    if (table.size() < qint64(colours) * 4) return {};
    for (quint32 i = 0; i < colours; ++i) {
      const auto* e = reinterpret_cast<const uchar*>(table.constData()) + i * 4;
      palette.push_back(qRgb(e[2], e[1], e[0]));
    }
  }
  const int tw = int(std::min<qint64>(w, kPictureScaledSide));
  const int th = int(std::min<qint64>(height, kPictureScaledSide));
  QImage out(tw, th, QImage::Format_RGB32);
  if (out.isNull()) return {};
  QByteArray row(stride, Qt::Uninitialized);
  for (int ty = 0; ty < th; ++ty) {
    const qint64 sy = (2 * qint64(ty) + 1) * height / (2 * th);
    const qint64 fileRow = topDown ? sy : height - 1 - sy;
    if (!device.seek(start + offBits + fileRow * stride) || device.read(row.data(), stride) != stride) return {};
    const auto* r = reinterpret_cast<const uchar*>(row.constData());
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(ty));
    for (int tx = 0; tx < tw; ++tx) {
      const qint64 sx = (2 * qint64(tx) + 1) * w / (2 * tw);
      QRgb px = 0;
      switch (bpp) {
        case 1:
        case 4:
        case 8: {
          const qint64 bit = sx * bpp;
          const int v = (r[bit / 8] >> (8 - bpp - bit % 8)) & ((1 << bpp) - 1);
          px = v < palette.size() ? palette[v] : qRgb(0, 0, 0);
          break;
        }
        case 24:
          px = qRgb(r[sx * 3 + 2], r[sx * 3 + 1], r[sx * 3]);
          break;
        case 32:
          px = qRgb(r[sx * 4 + 2], r[sx * 4 + 1], r[sx * 4]);
          break;
      }
      line[tx] = px;
    }
  }
  return out;
}

// A Windows or OS/2 bitmap header whose uncompressed pixels would lie beyond
// the end of the file: no reader is given it, so that a few bytes never
// make one allocate an image of the largest size it allows.
bool BitmapBeyondFile(QIODevice& device, qint64 start) {
  if (device.isSequential() || !device.seek(start)) return false;
  const QByteArray head = device.read(34);
  if (head.size() < 26 || !head.startsWith("BM")) return false;
  const auto* h = reinterpret_cast<const uchar*>(head.constData());
  const quint32 offBits = U32(h + 10);
  const quint32 infoSize = U32(h + 14);
  qint64 w = 0, height = 0;
  int bpp = 0;
  quint32 compression = 0;
  if (infoSize == 12) {  // OS/2 1.x: 16-bit sides
    w = U16(h + 18);
    height = U16(h + 20);
    bpp = U16(h + 24);
  } else if (infoSize >= 16 && head.size() >= 30) {
    w = qint32(U32(h + 18));
    height = std::abs(qint64(qint32(U32(h + 22))));
    bpp = U16(h + 28);
    if (infoSize >= 20 && head.size() >= 34) compression = U32(h + 30);
  } else {
    return false;
  }
  if (w > kPictureMaxSide || height > kPictureMaxSide) return true;
  if (w <= 0 || height <= 0 || bpp <= 0 || bpp > 32) return false;  // the readers refuse these themselves
  if (compression != 0 && compression != 3) return false;  // run-length: its own reader's limits
  const qint64 stride = ((w * bpp + 31) / 32) * 4;
  return qint64(offBits) + height * stride > device.size() - start;
}

QImage ReadWith(QIODevice& device, qint64 start, const QByteArray& format) {
  device.seek(start);
  QImageReader reader(&device, format);
  reader.setDecideFormatFromContent(format.isEmpty());
  const QSize size = reader.size();
  if (size.isValid() && qint64(size.width()) * size.height() > kPictureMaxPixels)
    reader.setScaledSize(size.scaled(kPictureScaledSide, kPictureScaledSide, Qt::KeepAspectRatio));
  return reader.read();
}

}  // namespace

QImage ReadPicture(QIODevice& device) {
  const qint64 start = device.pos();
  // The toolkit's bitmap reader cannot scale: large bitmaps are sampled here.
  bool refused = false;
  QImage picture = SampleBitmap(device, start, refused);
  if (refused || (picture.isNull() && BitmapBeyondFile(device, start))) return {};
  if (picture.isNull()) picture = ReadWith(device, start, "BMP");
  if (picture.isNull()) picture = ReadWith(device, start, QByteArray());
  return picture;
}

namespace {

// "*.gif", "*.jpeg", ... of the formats the toolkit reads, but BMP.
QStringList OtherPicturePatterns() {
  QStringList patterns;
  for (const QByteArray& f : QImageReader::supportedImageFormats()) {
    const QString ext = QString::fromLatin1(f).toLower();
    if (ext == "bmp") continue;
    patterns << "*." + ext;
  }
  patterns.removeDuplicates();
  patterns.sort();
  return patterns;
}

}  // namespace

QStringList OtherPictureFilters() {
  const QStringList patterns = OtherPicturePatterns();
  if (patterns.isEmpty()) return {};
  return {"Other Pictures (" + patterns.join(' ') + ")"};
}

QStringList LogoPictureFilters() {
  // Every picture the logo page takes comes first, so that a PNG shows
  // without the user changing the filter; the bitmap entry follows.
  const QStringList all = QStringList{"*.bmp", "*.i61"} + OtherPicturePatterns();
  return QStringList{"All Pictures (" + all.join(' ') + ")", "Bitmap Image (*.bmp *.i61)", "All Files (*)"} +
         OtherPictureFilters();
}

}  // namespace mp
