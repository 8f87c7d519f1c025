// The About dialog: link colours, closing keys, the home page; the program's icon.
#include <QFontMetrics>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

#include "AppFixture.h"
#include "app/App.h"
#include "platform/Desktop.h"
#include "platform/Version.h"
#include "ui_About.h"

class AboutTest : public AppFixture {
 protected:
  static void MoveOver(QWidget* w) {
    QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), w->mapToGlobal(QPointF(2, 2)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &move);
  }
};

TEST_F(AboutTest, LinkColours) {
  Create();
  auto* ui = AboutWin->ui;
  const QColor green(0, 128, 0), bright(0, 255, 0);
  EXPECT_EQ(AboutWin->LinkColour(), green);
  struct Step {
    QWidget* over;
    QColor after;
  };
  const std::vector<Step> steps = {
      {ui->Link, bright},  {ui->Shape2, green}, {ui->Link, bright},   {ui->Title, bright},
      {ui->Version, bright}, {ui->Icon, bright}, {ui->OwnerLine, bright}, {ui->Notice, green},
      {ui->Link, bright},  {ui->OKButton, green},
  };
  for (const Step& s : steps) {
    MoveOver(s.over);
    EXPECT_EQ(AboutWin->LinkColour(), s.after) << s.over->objectName().toStdString();
  }
}

TEST_F(AboutTest, EscapeAndEnterClose) {
  Create();
  for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
    WhenModal([key](QWidget* w) { QTest::keyClick(w, key); });
    EXPECT_EQ(mp::ShowModal(AboutWin), QDialog::Accepted);
  }
  WhenModal([](QWidget* w) { static_cast<QDialog*>(w)->findChild<QPushButton*>("OKButton")->click(); });
  Win->AboutMiraPost1Click();
  EXPECT_FALSE(AboutWin->isVisible());
}

TEST_F(AboutTest, LinkOpensHomePage) {
  Create();
  EXPECT_LE(std::string(TAboutWin::kHomePage).size(), 21u);
  EXPECT_EQ(AboutWin->ui->Link->text(), TAboutWin::kHomePage);
  mp::LastOpenedDocument().clear();
  AboutWin->LinkClick();
  EXPECT_EQ(mp::LastOpenedDocument(), std::string("https://") + TAboutWin::kHomePage);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// The version from the build is shown; the Version label keeps its build date.
TEST_F(AboutTest, ShowsVersion) {
  Create();
  EXPECT_TRUE(AboutWin->ui->OwnerLine->text().contains(QString("Version ") + MIRAPOST_VERSION));
  EXPECT_EQ(AboutWin->ui->Version->text(), "Built: 17.10.2002");
  QFontMetrics metrics(AboutWin->ui->OwnerLine->font());
  EXPECT_LE(metrics.horizontalAdvance(AboutWin->ui->OwnerLine->text()), AboutWin->ui->OwnerLine->width());
}

// The program's icon, as the window and the About dialog take it: every size
// a window system asks for draws at that size and is not blank (pictures
// missing from the program give an empty icon, not an error).
TEST_F(AboutTest, IconDrawsAtEverySize) {
  const QIcon icon = mp::LauncherIcon();
  ASSERT_FALSE(icon.isNull());
  for (int size : {16, 24, 32, 48, 64, 128}) {
    SCOPED_TRACE(size);
    const QImage image = icon.pixmap(size, size).toImage();
    ASSERT_EQ(image.size(), QSize(size, size));
    // The red frame reaches the middle of the top edge.
    EXPECT_GT(qRed(image.pixel(size / 2, size / 16)), 150);
    EXPECT_GT(qAlpha(image.pixel(size / 2, size / 16)), 200);
  }
}
