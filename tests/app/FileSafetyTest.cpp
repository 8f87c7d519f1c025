// Files that would freeze or flood the window are refused before they are
// opened; huge pictures are scaled while read; other picture formats are
// taken; a read-only settings file is reported at start-up.
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QPainter>
#include <QUrl>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include "AppFixture.h"
#include "platform/Picture.h"

namespace {

class FileSafetyTest : public AppFixture {
 protected:
  // Drops `path` on the tab area as the file manager would.
  static void DropFile(const QString& path) {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    const QPoint at(3, 3);
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(UI(PageControl), &enter);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(UI(PageControl), &drop);
  }
};

TEST_F(FileSafetyTest, OnlyRegularFilesAreOpened) {
  Create();
  const QString fifo = dir_.filePath("pipe.rtf");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  const QString paths[] = {fifo, "/dev/zero", dir_.path()};
  for (QWidget* page : {UI(TabSheet1), UI(TabSheet6)}) {
    UI(PageControl)->setCurrentWidget(page);
    for (const QString& path : paths) {
      SCOPED_TRACE(path.toStdString());
      UI(Message)->setPlainText("kept");
      UI(Message)->document()->setModified(false);
      mp::TakeRecordedBeeps();
      DropFile(path);
      EXPECT_EQ(Win->StatusText(), "Cannot open file " + path + ".");
      EXPECT_EQ(mp::TakeRecordedBeeps(), std::vector<mp::BeepKind>{mp::BeepKind::Asterisk});
      Asked().OpenAnswers(path);
      Win->Open1Click();
      EXPECT_EQ(Win->StatusText(), "Cannot open file " + path + ".");
      EXPECT_EQ(UI(Message)->toPlainText(), "kept");
    }
  }
}

TEST_F(FileSafetyTest, PicturesOfAnySizeAndFormat) {
  Create();
  UI(PageControl)->setCurrentWidget(UI(TabSheet6));
  for (const char* ext : {"*.png", "*.gif", "*.jpg"})
    EXPECT_TRUE(Win->OpenFilter.contains(ext)) << ext;

  // A checked picture just above the scaling limit, 60 x 300 pixels for each
  // logo pixel: read row by row and scaled, it gives the logo the whole picture gives.
  QImage picture(72 * 60, 14 * 300, QImage::Format_Indexed8);
  picture.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
  for (int y = 0; y < picture.height(); ++y)
    std::memset(picture.scanLine(y), 0, picture.bytesPerLine());
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x)
      if ((x / 60 / 8 + y / 300 / 7 + x / 60) % 3 == 0) picture.scanLine(y)[x] = 1;
  ASSERT_GT(qint64(picture.width()) * picture.height(), mp::kPictureMaxPixels);
  const QString big = dir_.filePath("big.bmp");
  ASSERT_TRUE(picture.save(big, "BMP"));
  Win->BitmapToLogo(&picture);
  const std::string whole = Win->LogoBits;
  Win->BitmapToLogo(nullptr);
  Win->OpenMessageOrLogo(big);
  EXPECT_EQ(Win->StatusText(), "Logo '" + big + "' opened.");
  EXPECT_EQ(Win->LogoBits, whole);

  // 20000 x 20000 pixels at 24 bits (a sparse file of 1.2 GB, all black).
  const QString huge = dir_.filePath("huge.bmp");
  {
    QFile f(huge);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    const qint64 stride = 20000LL * 3, size = 54 + stride * 20000;
    QByteArray h(54, '\0');
    auto put = [&h](int at, quint32 v, int n) {
      for (int i = 0; i < n; ++i) h[at + i] = char((v >> (8 * i)) & 0xFF);
    };
    h[0] = 'B', h[1] = 'M';
    put(2, quint32(size), 4), put(10, 54, 4), put(14, 40, 4), put(18, 20000, 4), put(22, 20000, 4);
    put(26, 1, 2), put(28, 24, 2);
    f.write(h);
    ASSERT_TRUE(f.resize(size));
  }
  Win->OpenMessageOrLogo(huge);
  EXPECT_EQ(Win->StatusText(), "Logo '" + huge + "' opened.");
  EXPECT_EQ(Win->LogoBits, std::string(Win->LogoBits.size(), 'F'));
}

TEST_F(FileSafetyTest, ReadOnlySettingsAreReportedAtStart) {
  WriteSettings([](mp::SettingsKey& k) { k.WriteInteger("ComPort", 2); });
  const std::string path = mp::SettingsKey::DefaultPath();
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  Create();
  EXPECT_EQ(Win->StatusText().toStdString(), "Settings will not be saved: " + path + " is read-only.");
  UI(ComPort)->setCurrentIndex(5);
  Destroy();
  EXPECT_EQ(StoredInteger("ComPort"), 2);  // left as it was
  ::chmod(path.c_str(), 0600);
}

}  // namespace
