// The About dialog: link colours, closing keys, the home page.
#include <QFontMetrics>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

#include "AppFixture.h"
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
