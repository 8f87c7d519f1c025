// The ways out of the program: refused and said while a dialogue with the
// phone or a gateway's wait runs, ignored while the unsaved-work question is
// open (the question decides). A close from the desktop is played as the
// window system delivers it: a close event to the window's window-system
// window, which passes it on to the window as a spontaneous one.
// (tests/desktop/ plays the real one under a window manager.)
#include <QCloseEvent>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextEdit>
#include <QTimer>
#include <QWindow>

#include "AppFixture.h"
#include "platform/Help.h"

namespace {

// One way out; true when it was let through.
struct Way {
  const char* how;
  std::function<bool()> ask;
};

bool DesktopClose() {
  QCloseEvent close;
  QCoreApplication::sendEvent(Win->windowHandle(), &close);
  return close.isAccepted();
}

bool ApplicationQuit() {
  // What QApplication::quit and the session manager's "die" send.
  QEvent quit(QEvent::Quit);
  QCoreApplication::sendEvent(qApp, &quit);
  return quit.isAccepted();
}

const Way kWays[] = {
    {"title bar, Alt+F4, a logout's close", DesktopClose},
    {"File > Exit", [] { return Win->close(); }},
    {"QApplication::quit", ApplicationQuit},
};

class CloseTest : public AppFixture {
 protected:
  // Runs `act` once, on the third tick of a 5 ms timer while a dialogue runs.
  void OnceDuringDialogue(std::function<void()> act) {
    ticks_ = 0;
    timer_.setInterval(5);
    QObject::disconnect(&timer_, nullptr, nullptr, nullptr);
    QObject::connect(&timer_, &QTimer::timeout, [this, act] {
      if (Win->InDialogue() && ++ticks_ == 3) act();
    });
    timer_.start();
  }
  void ExpectBackToNormal() {
    EXPECT_FALSE(Win->InDialogue());
    EXPECT_TRUE(Win->isVisible());
    EXPECT_TRUE(Win->CancelButton->isHidden());
    EXPECT_TRUE(Win->WaitLabel->isHidden());
  }
  QTimer timer_;
  int ticks_ = 0;
};

TEST_F(CloseTest, EveryWayOutIsRefusedAndSaidDuringAPhoneDialogue) {
  Create();
  Win->Phone.SetTimings(mp::LinkTimings::Scaled(20));
  UI(PageControl)->setCurrentWidget(UI(TabSheet2));  // the template: no dialog first
  Activate(Win);
  for (const Way& way : kWays) {
    SCOPED_TRACE(way.how);
    StopPhone();
    ASSERT_TRUE(StartPhone({"--fault", "silent"}));
    bool let = true, visible = false;
    QString said;
    OnceDuringDialogue([&] {
      let = way.ask();
      visible = Win->isVisible();
      said = Win->StatusText();
    });
    UI(SaveTemp)->click();
    timer_.stop();
    EXPECT_FALSE(let);
    EXPECT_TRUE(visible);
    EXPECT_EQ(said, TWin::kCloseRefused);
    ExpectBackToNormal();
  }
  // Once it has ended the window closes, without a question for an empty message.
  EXPECT_TRUE(DesktopClose());
  EXPECT_FALSE(Win->isVisible());
}

TEST_F(CloseTest, AGatewayWaitShowsItsTimeRefusesToCloseAndEndsOnEscape) {
  const QString spool = dir_.filePath("spool");
  for (const char* sub : {"outgoing", "sent", "failed"}) QDir().mkpath(spool + "/" + sub);
  mp::gateway::Config office;
  office.name = "office";
  office.spool = spool.toStdString();
  office.pduKey = "1234567";
  ASSERT_TRUE(mp::gateway::SaveGateways({office}));
  WriteSettings([](mp::SettingsKey& k) { k.WriteInteger("GatewayWait", 30); });  // no smsd: Escape ends it
  Create();
  UI(ComPort)->setCurrentIndex(9);
  Activate(Win);
  for (const Way& way : kWays) {
    SCOPED_TRACE(way.how);
    bool let = true, visible = false, cancelShown = false;
    QString said, time;
    OnceDuringDialogue([&] {
      time = Win->WaitLabel->isVisible() ? Win->WaitLabel->text() : QString();
      cancelShown = Win->CancelButton->isVisible();
      let = way.ask();
      visible = Win->isVisible();
      said = Win->StatusText();
      QTest::keyClick(Win, Qt::Key_Escape);
    });
    Win->Phone.TransferMessage({"05912143F5", false, "00", true}, false, "0000A905E8329BFD06", 2);
    timer_.stop();
    EXPECT_FALSE(let);
    EXPECT_TRUE(visible);
    EXPECT_TRUE(cancelShown);
    EXPECT_EQ(said, TWin::kCloseRefused);
    EXPECT_TRUE(QRegularExpression("^0 s waited, 30 s left$").match(time).hasMatch()) << time.toStdString();
    ExpectBackToNormal();
  }
  // The program then ends as usual and keeps its settings: the gateway is the stored port.
  EXPECT_TRUE(Win->close());
  Destroy();
  EXPECT_EQ(StoredInteger("ComPort"), 10);
}

// Answers the unsaved-work question after trying the ways out that can come
// while it is open (the menus cannot).
class QuestionUnderFire : public ScriptedQuestions {
 public:
  mp::UnsavedAnswer answer = mp::UnsavedAnswer::Cancel;
  std::vector<std::string> letThrough;
  int asked = 0;
  mp::UnsavedAnswer AskUnsaved(QWidget*, const QString&) override {
    ++asked;
    for (const Way& way : {kWays[0], kWays[2]}) {
      if (way.ask()) letThrough.push_back(way.how);
      if (!Win->isVisible()) letThrough.push_back(std::string(way.how) + " (hidden)");
    }
    return answer;
  }
};

TEST_F(CloseTest, TheUnsavedWorkQuestionDecides) {
  Create();
  Activate(Win);
  Type(UI(Message), "unsaved");
  QuestionUnderFire question;
  mp::SetQuestions(&question);
  const struct {
    mp::UnsavedAnswer answer;
    bool closed;
  } rows[] = {{mp::UnsavedAnswer::Cancel, false}, {mp::UnsavedAnswer::Discard, true}};
  for (const auto& row : rows) {
    question.answer = row.answer;
    question.asked = 0;
    question.letThrough.clear();
    // The first request asks; those that come while the question is open are ignored.
    EXPECT_EQ(DesktopClose(), row.closed);
    EXPECT_EQ(question.asked, 1);
    EXPECT_EQ(question.letThrough, std::vector<std::string>{});
    EXPECT_EQ(Win->isVisible(), !row.closed);
    EXPECT_EQ(UI(Message)->toPlainText(), "unsaved");
  }
  mp::SetQuestions(&Asked());
}

// The help page and the manual quote the refusal as the window says it.
TEST_F(CloseTest, TheHelpPageAndTheManualQuoteTheRefusal) {
  for (const QString& path : {mp::FindHelpPage(MP_BINARY_DIR "/src"), QString(MP_TEST_DATA "/../../data/man/mirapost.1.scd")}) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    EXPECT_TRUE(QString::fromUtf8(file.readAll()).simplified().contains(TWin::kCloseRefused)) << path.toStdString();
  }
}

}  // namespace
