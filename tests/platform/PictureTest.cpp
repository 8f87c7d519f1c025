// The logo's picture reader and hostile bitmap headers: sides or pixel data
// that no accepted picture needs are refused before anything is allocated,
// and nothing overflows; real bitmaps, small and large, still read.
#include "platform/Picture.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <cstdint>

namespace {

void Put32(QByteArray& b, int at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xff);
}
void Put16(QByteArray& b, int at, std::uint16_t v) {
  b[at] = static_cast<char>(v & 0xff);
  b[at + 1] = static_cast<char>(v >> 8);
}

// A Windows bitmap header (40-byte info) followed by `data` bytes.
QByteArray Bitmap(std::int32_t w, std::int32_t h, int bpp, int data, int colours = 0) {
  const int palette = bpp <= 8 ? 4 * (colours ? colours : 1 << bpp) : 0;
  QByteArray b(54 + palette + data, '\0');
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 2, static_cast<std::uint32_t>(b.size()));
  Put32(b, 10, static_cast<std::uint32_t>(54 + palette));
  Put32(b, 14, 40);
  Put32(b, 18, static_cast<std::uint32_t>(w));
  Put32(b, 22, static_cast<std::uint32_t>(h));
  Put16(b, 26, 1);
  Put16(b, 28, static_cast<std::uint16_t>(bpp));
  for (int i = 0; i < palette; i += 4) b[54 + i] = b[55 + i] = b[56 + i] = static_cast<char>(i ? 0xff : 0);
  return b;
}

QImage Read(const QByteArray& bytes) {
  QByteArray copy = bytes;
  QBuffer buffer(&copy);
  buffer.open(QIODevice::ReadOnly);
  return mp::ReadPicture(buffer);
}

TEST(Picture, HostileHeadersAreRefusedUnread) {
  const QByteArray os2 = QByteArray::fromHex("424d4e018700003e0000002800000008000000040079010001000000000000000a4d4e0000");
  struct Case {
    const char* what;
    QByteArray bytes;
  } cases[] = {
      {"4 KB, width 2^31-1 at 32 bits", Bitmap(0x7fffffff, 2, 32, 4096 - 54)},
      {"1 KB, height -2^31 (top-down) at 24 bits", Bitmap(70000, static_cast<std::int32_t>(0x80000000u), 24, 1024)},
      {"rows past the end of the file", Bitmap(5000, 5000, 24, 1024)},
      {"large and small sides past the end", Bitmap(65536, 300, 32, 2048)},
      {"a header that made a reader allocate its limit", os2},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(Read(c.bytes).isNull()) << c.what;
  }
}

TEST(Picture, RealBitmapsStillRead) {
  // Small: read as it is, 1 bit a pixel with its palette.
  const QImage small = Read(Bitmap(8, 4, 1, 4 * 4));
  ASSERT_FALSE(small.isNull());
  EXPECT_EQ(small.size(), QSize(8, 4));
  // Large (more than 4096 x 4096 pixels): sampled to the scaled side.
  const int w = 4200, h = 4100, stride = ((w + 31) / 32) * 4;
  const QImage large = Read(Bitmap(w, h, 1, stride * h));
  ASSERT_FALSE(large.isNull());
  EXPECT_EQ(large.width(), mp::kPictureScaledSide);
  EXPECT_EQ(large.height(), mp::kPictureScaledSide);
}

}  // namespace
