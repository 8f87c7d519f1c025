#pragma once
// Pictures for the operator logo: Windows bitmaps first (whatever the file's
// name), then every format the toolkit reads (PNG, GIF, JPEG, ...). Large
// pictures are scaled while they are read, so that a picture of any size
// gives a result without holding all of its pixels.
#include <QImage>
#include <QIODevice>
#include <QStringList>

namespace mp {

// Pictures with more pixels than this are scaled while read.
inline constexpr qint64 kPictureMaxPixels = 4096LL * 4096;
// No side of an accepted picture is longer than this (a bitmap row then
// needs at most 256 KB); headers that claim more are refused unread.
inline constexpr qint64 kPictureMaxSide = 65536;
// The size they are scaled to fit (the logo is 72 x 14).
inline constexpr int kPictureScaledSide = 1024;

// Reads a picture from a seekable device; a null image when it holds none.
QImage ReadPicture(QIODevice& device);

// Open-dialog filter entries for the other formats the toolkit reads, such as
// "Other Pictures (*.gif *.jpeg *.jpg *.png)"; empty when there are none.
QStringList OtherPictureFilters();
// The logo page's open-dialog filters: "All Pictures (*.bmp *.i61 *.gif ...)"
// first, then "Bitmap Image (*.bmp *.i61)", "All Files (*)" and the others.
QStringList LogoPictureFilters();

}  // namespace mp
