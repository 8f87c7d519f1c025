// The operator logo's 72 x 14 bitmap from a picture, apart from the logo's
// body (Logo.cpp), so that only what reads pictures links Qt Gui.
#include <QColor>
#include <QImage>
#include <QPainter>

#include "builders/Messages.h"

namespace mp {

namespace {

constexpr int kLogoWidth = 72;
constexpr int kLogoHeight = 14;
constexpr QRgb kLogoLight = 0xFFE0FFC0;  // light green 224, 255, 192
constexpr QRgb kLogoDark = 0xFF000000;

}  // namespace

std::string LogoBitsFromImage(const QImage* picture, QImage* preview) {
  QImage logo(kLogoWidth, kLogoHeight, QImage::Format_RGB32);
  logo.fill(Qt::white);
  if (picture && !picture->isNull()) {
    // Stretched over the whole logo; the aspect ratio is not kept.
    QPainter painter(&logo);
    painter.drawImage(QRect(0, 0, kLogoWidth, kLogoHeight), *picture);
  }

  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string bits;
  bits.reserve(kLogoBitsChars);
  for (int y = 0; y < kLogoHeight; ++y) {
    auto* line = reinterpret_cast<QRgb*>(logo.scanLine(y));
    for (int x0 = 0; x0 < kLogoWidth; x0 += 8) {
      unsigned octet = 0;
      for (int x = x0; x < x0 + 8; ++x) {
        octet <<= 1;  // leftmost pixel in the most significant bit
        const QRgb px = line[x];
        if (qRed(px) + qGreen(px) + qBlue(px) < 384) {
          octet |= 1;
          line[x] = kLogoDark;
        } else {
          line[x] = kLogoLight;
        }
      }
      bits.push_back(kHex[octet >> 4]);
      bits.push_back(kHex[octet & 0x0F]);
    }
  }
  if (preview) *preview = logo;
  return bits;
}

}  // namespace mp
