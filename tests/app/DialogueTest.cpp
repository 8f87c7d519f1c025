// The main window while a dialogue with the phone runs: it keeps painting and
// running timers, hears Escape and the Cancel button, and takes no other input.
// The simulated phone is silent and the link's clock scaled, so that each
// dialogue lasts about half a second unless it is cancelled.
#include <QComboBox>
#include <QDropEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QStatusBar>
#include <QTextEdit>
#include <QTimer>
#include <QUrl>

#include "AppFixture.h"
#include "ui_Send.h"

namespace {

class DialogueTest : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    Create();
    ASSERT_TRUE(StartPhone({"--fault", "silent"}));
    Win->Phone.SetTimings(mp::LinkTimings::Scaled(10));  // five 100 ms handshake attempts
    UI(PageControl)->setCurrentWidget(UI(TabSheet2));  // the template: no dialog first
    Activate(Win);
  }
  // Calls `act` with the tick count every 5 ms while a dialogue runs.
  void DuringDialogue(std::function<void(int)> act) {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this, act = std::move(act)] {
      if (Win->Phone.InDialogue()) act(++ticks_);
    });
    timer_.start();
  }
  void ExpectWindowBackToNormal() {
    EXPECT_FALSE(Win->Phone.InDialogue());
    EXPECT_FALSE(Win->Phone.IsOpen());
    EXPECT_TRUE(UI(centralwidget)->isEnabled());
    EXPECT_TRUE(UI(MainMenu1)->isEnabled());
    EXPECT_TRUE(Win->CancelButton->isHidden());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  }
  QTimer timer_;
  int ticks_ = 0;
};

struct CancelWay {
  const char* how;
  std::function<void()> act;
};

TEST_F(DialogueTest, EscapeOrCancelEndsTheDialogue) {
  const CancelWay ways[] = {
      {"Escape on the window", [] { QTest::keyClick(Win, Qt::Key_Escape); }},
      {"Escape on the focused button", [] { QTest::keyClick(UI(SaveTemp), Qt::Key_Escape); }},
      {"Cancel button", [] { QTest::mouseClick(Win->CancelButton, Qt::LeftButton); }},
  };
  for (const CancelWay& way : ways) {
    // A fresh phone line for each way: one connection per line.
    StopPhone();
    ASSERT_TRUE(StartPhone({"--fault", "silent"}));
    ticks_ = 0;
    QString shown;
    bool disabled = false, cancelShown = false;
    bool acted = false;
    // Once the first command has gone out: on a loaded machine the first
    // ticks may all come before it, while the line is still being opened.
    DuringDialogue([&](int tick) {
      if (!acted && tick >= 3 && !Win->Phone.TrafficLog().empty()) {
        acted = true;
        shown = Win->StatusText();
        disabled = !UI(centralwidget)->isEnabled() && !UI(MainMenu1)->isEnabled();
        cancelShown = Win->CancelButton->isVisible();
        way.act();
      }
    });
    mp::TakeRecordedBeeps();
    UI(SaveTemp)->click();
    timer_.stop();
    QObject::disconnect(&timer_, nullptr, nullptr, nullptr);
    EXPECT_EQ(shown, "Establishing connection to ME...") << way.how;
    EXPECT_TRUE(disabled) << way.how;
    EXPECT_TRUE(cancelShown) << way.how;
    EXPECT_EQ(Win->StatusText(), "Cancelled.") << way.how;
    EXPECT_EQ(mp::TakeRecordedBeeps(), std::vector<mp::BeepKind>{mp::BeepKind::Asterisk}) << way.how;
    EXPECT_TRUE(Win->Phone.Cancelled());
    // Cancelled in the first attempt: one command went out, its log is kept.
    EXPECT_EQ(Win->Phone.TrafficLog(), "<10>") << way.how;
    EXPECT_TRUE(Win->isVisible());
    ExpectWindowBackToNormal();
  }
}

TEST_F(DialogueTest, TimersAndPaintingGoOnDuringASilentDialogue) {
  int paints = 0;
  struct PaintCounter : QObject {
    int* n;
    explicit PaintCounter(int* count) : n(count) {}
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::Paint && Win->Phone.InDialogue()) ++*n;
      return false;
    }
  } counter(&paints);
  // The Cancel button appears with the dialogue; only the event loop paints it.
  Win->CancelButton->installEventFilter(&counter);
  DuringDialogue([](int) {});
  UI(SaveTemp)->click();
  EXPECT_TRUE(Win->StatusText().startsWith("Failed, ME is not responding. COM 4 ("));
  EXPECT_GE(ticks_, 10);
  EXPECT_GE(paints, 1);
  EXPECT_FALSE(Win->Phone.Cancelled());
  // Five unanswered attempts, and one ESC for a phone left in PDU entry.
  EXPECT_EQ(Win->Phone.TrafficLog(), "<10><1><10><10><10><10>");
  ExpectWindowBackToNormal();
}

TEST_F(DialogueTest, NothingElseReachesTheWindowOrTheLink) {
  const QString text = "kept";
  UI(Message)->setPlainText(text);
  const QString file = dir_.filePath("dropped.rtf");
  {
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("{\\rtf1 dropped}");
  }
  bool closed = true;
  DuringDialogue([&](int tick) {
    switch (tick) {
      case 2: QTest::mouseClick(UI(SaveTemp), Qt::LeftButton); break;      // a second send
      case 3: QTest::keyClick(UI(SaveTemp), Qt::Key_Return); break;        // its default key
      case 4: QTest::keyClick(Win, Qt::Key_Tab, Qt::ControlModifier); break;    // next page
      case 5: {                                                                 // a page's tab
        QWidget* tabs = Win->findChild<QWidget*>("PageControlTabs");
        QTest::mouseClick(tabs, Qt::LeftButton, {}, QPoint(5, 5));
        break;
      }
      case 6: QTest::keyClick(Win, Qt::Key_N, Qt::ControlModifier); break;      // File > New
      case 7: closed = Win->close(); break;
      case 8: {                                                                 // a dropped file
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(file)});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(UI(PageControl), &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(UI(PageControl), &drop);
        break;
      }
      case 9:  // and the link itself, called directly, refuses
        Win->Phone.TransferMessage(SendWin->Transfer(), false, "00", 3);
        break;
    }
  });
  UI(SaveTemp)->click();
  EXPECT_GE(ticks_, 9);
  EXPECT_FALSE(closed);
  EXPECT_TRUE(Win->isVisible());
  EXPECT_EQ(UI(PageControl)->currentWidget(), UI(TabSheet2));
  EXPECT_EQ(UI(Message)->toPlainText(), text);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  // One connection only: five unanswered attempts (and the one ESC) and their ending.
  EXPECT_EQ(Win->Phone.TrafficLog(), "<10><1><10><10><10><10>");
  EXPECT_TRUE(Win->StatusText().startsWith("Failed, ME is not responding. COM 4 ("));
  ExpectWindowBackToNormal();
}

TEST_F(DialogueTest, EscapeCancelsASearchButNotTheSendDialog) {
  Activate(SendWin);
  QLineEdit* recipient = SendWin->ui->Recipient->lineEdit();
  recipient->selectAll();
  QTest::keyClicks(recipient, "Jo");
  ASSERT_TRUE(SendWin->ui->Find->isEnabled());
  DuringDialogue([&](int tick) {
    if (tick == 3) QTest::keyClick(recipient, Qt::Key_Escape);
  });
  SendWin->ui->Find->click();
  EXPECT_EQ(Win->StatusText(), "Cancelled.");
  EXPECT_TRUE(SendWin->isVisible());  // Escape went to the search, not to the dialog
  EXPECT_EQ(SendWin->ui->Recipient->currentText(), "Jo");
  ExpectWindowBackToNormal();
  SendWin->hide();
}

}  // namespace
