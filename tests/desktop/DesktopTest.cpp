// The main window on a real X server (Xvfb) under a window manager
// (openbox), driven with real keys (xdotool) and the desktop's own close
// request (_NET_CLOSE_WINDOW, as a title bar's button or a taskbar sends it):
// what the offscreen tests cannot show. Alt+F4 and the close request during
// a gateway's wait are refused and the window stays; a close request while
// the unsaved-work question is open leaves the question to decide; the
// program then ends as usual and keeps its settings.
//
// One ctest entry; exit status 77 (skipped) where Xvfb, openbox or xdotool
// is missing or the X server cannot start. The X server and the window
// manager are this program's children and end with it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "app/App.h"
#include "app/Main.h"
#include "dialogs/Send.h"
#include "gateway/Gateway.h"
#include "platform/Settings.h"
#include "support/FormControl.h"

namespace {

std::vector<pid_t> g_children;

void StopChildren() {
  for (auto it = g_children.rbegin(); it != g_children.rend(); ++it) {
    ::kill(*it, SIGTERM);
    ::waitpid(*it, nullptr, 0);
  }
  g_children.clear();
}

// Starts `argv` with `fd` (when >= 0) kept open; it ends with this program.
pid_t Spawn(const std::vector<std::string>& argv, int keepFd = -1) {
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  ::prctl(PR_SET_PDEATHSIG, SIGTERM);
  const int null = ::open("/dev/null", O_RDWR);
  ::dup2(null, 0);
  ::dup2(null, 1);
  ::dup2(null, 2);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  (void)keepFd;
  ::execvp(args[0], args.data());
  ::_exit(127);
}

// An X server on a free display and openbox on it; false when either cannot start.
bool StartDesktop(const QString& home, std::string* why) {
  int fds[2];
  if (::pipe(fds) != 0) return false;
  const pid_t x =
      Spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1024x768x24", "-nolisten", "tcp"}, fds[1]);
  ::close(fds[1]);
  if (x <= 0) return false;
  g_children.push_back(x);
  std::string display;
  char c;
  while (::read(fds[0], &c, 1) == 1 && c != '\n') display += c;
  ::close(fds[0]);
  if (display.empty()) {
    *why = "Xvfb did not start";
    return false;
  }
  ::setenv("DISPLAY", (":" + display).c_str(), 1);
  ::setenv("HOME", home.toLocal8Bit().constData(), 1);  // openbox's own settings: none
  g_children.push_back(Spawn({"openbox", "--sm-disable"}));
  // Ready once it has announced itself on the root window.
  for (int i = 0; i < 100; ++i) {
    QProcess prop;
    prop.start("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"});
    if (prop.waitForFinished(2000) && prop.readAllStandardOutput().contains("window id")) return true;
    ::usleep(50000);
  }
  *why = "openbox did not start";
  return false;
}

void Xdotool(const QStringList& args) { QProcess::execute("xdotool", args); }

// What a title bar's close button or a taskbar asks the window manager for.
void DesktopCloseRequest(QWidget* window) {
  auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t* c = x11->connection();
  const char name[] = "_NET_CLOSE_WINDOW";
  xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr);
  if (!atom) return;
  xcb_client_message_event_t ev{};
  ev.response_type = XCB_CLIENT_MESSAGE;
  ev.format = 32;
  ev.window = xcb_window_t(window->winId());
  ev.type = atom->atom;
  ev.data.data32[0] = XCB_CURRENT_TIME;
  ev.data.data32[1] = 2;  // from a pager or taskbar, as a user's request
  free(atom);
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
  xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                 reinterpret_cast<const char*>(&ev));
  xcb_flush(c);
}

// Counts the window manager's close requests (WM_DELETE_WINDOW) as they
// arrive for the main window, before the toolkit acts on them.
class CloseRequests : public QAbstractNativeEventFilter {
 public:
  CloseRequests() { qApp->installNativeEventFilter(this); }
  ~CloseRequests() override { qApp->removeNativeEventFilter(this); }
  bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
    if (type != "xcb_generic_event_t" || !Win) return false;
    auto* ev = static_cast<xcb_generic_event_t*>(message);
    if ((ev->response_type & 0x7f) != XCB_CLIENT_MESSAGE) return false;
    auto* cm = reinterpret_cast<xcb_client_message_event_t*>(ev);
    if (cm->window == xcb_window_t(Win->winId())) ++count;
    return false;
  }
  int count = 0;
};

// Steps run in order from the event loop, each once its condition holds; the
// loop is the program's own (exec), as a user would meet it.
struct Step {
  const char* what;
  std::function<bool()> ready;
  std::function<void()> act;
};

// Runs the windows' event loop until it ends (the window closed: the program
// would end) or the steps stall; returns how many steps ran.
std::size_t RunSteps(const std::vector<Step>& steps, int stallMs = 8000) {
  std::size_t next = 0;
  QTimer poll;
  QTimer stall;
  stall.setSingleShot(true);
  QObject::connect(&stall, &QTimer::timeout, [&] {
    ADD_FAILURE() << "stalled before: " << (next < steps.size() ? steps[next].what : "the window's close");
    QCoreApplication::exit(1);
  });
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (next < steps.size() && steps[next].ready()) {
      steps[next++].act();
      stall.start(stallMs);
    }
  });
  poll.start(10);
  stall.start(stallMs);
  QApplication::exec();
  return next;
}

class DesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    ::setenv("XDG_CONFIG_HOME", dir_.filePath("config").toLocal8Bit().constData(), 1);
    ::setenv("XDG_DATA_HOME", dir_.filePath("data").toLocal8Bit().constData(), 1);
  }
  void TearDown() override {
    if (Win) mp::DestroyWindows();
  }
  static void ShowWindow() {
    mp::CreateWindows();
    Win->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Win, 5000));
  }
  static std::optional<std::int32_t> StoredInteger(const char* name) {
    mp::SettingsKey key;
    if (!key.Open(false)) return std::nullopt;
    return key.ReadInteger(name);
  }
  QTemporaryDir dir_;
};

TEST_F(DesktopTest, AltF4AndTheTitleBarDuringAGatewayWaitAreRefusedAndTheProgramEndsAfterIt) {
  const QString spool = dir_.filePath("spool");
  for (const char* sub : {"outgoing", "sent", "failed"}) QDir().mkpath(spool + "/" + sub);
  mp::gateway::Config office;
  office.name = "office";
  office.spool = spool.toStdString();
  office.pduKey = "1234567";
  ASSERT_TRUE(mp::gateway::SaveGateways({office}));
  {
    mp::SettingsKey key;
    ASSERT_TRUE(key.Open(true));
    key.WriteInteger("GatewayWait", 30);  // no smsd: Escape ends the wait
    key.WriteInteger("ComPort", 10);      // the gateway
    ASSERT_TRUE(key.Close());
  }
  ShowWindow();
  auto refused = [] { return Win->StatusText() == TWin::kCloseRefused; };
  bool stayed = true;
  const std::vector<Step> steps = {
      {"typing", [] { return true; },
       [] {
         Xdotool({"type", "--delay", "5", "hi"});
         Xdotool({"key", "alt+s"});
       }},
      {"the Send/Save dialog", [] { return SendWin->isVisible() && QApplication::activeWindow() == SendWin; },
       [] {
         Xdotool({"type", "--delay", "5", "12345"});
         Xdotool({"key", "Return"});
       }},
      {"the wait", [] { return Win->WaitLabel->isVisible(); },
       [] {
         Xdotool({"key", "alt+F4"});
       }},
      {"Alt+F4 refused", refused,
       [&] {
         stayed = stayed && Win->isVisible();
         Win->ShowStatus("");
         DesktopCloseRequest(Win);
       }},
      {"the title bar's close refused", refused,
       [&] {
         stayed = stayed && Win->isVisible() && Win->InDialogue();
         Xdotool({"key", "Escape"});
       }},
      {"the wait's end", [] { return !Win->InDialogue(); },
       [&] {
         stayed = stayed && Win->isVisible();
         Xdotool({"key", "alt+F4"});
       }},
      // Keys go where the window manager has put the focus: wait until the
      // question has it, or a loaded machine loses the key to the window.
      {"the unsaved-work question",
       [] {
         QWidget* question = QApplication::activeModalWidget();
         return question && question->isVisible() && QApplication::activeWindow() == question;
       },
       [] {
         Xdotool({"key", "alt+d"});
       }},  // Discard: the window closes
  };
  EXPECT_EQ(RunSteps(steps), steps.size());
  EXPECT_TRUE(stayed);
  EXPECT_FALSE(Win->isVisible());  // closed once the wait was over: exec has returned
  mp::DestroyWindows();
  EXPECT_EQ(StoredInteger("ComPort"), 10);
}

TEST_F(DesktopTest, ACloseRequestWhileTheUnsavedWorkQuestionIsOpenLeavesItToDecide) {
  ShowWindow();
  auto question = [] {
    QWidget* modal = QApplication::activeModalWidget();
    return modal && modal->objectName() == "UnsavedQuestion" && QApplication::activeWindow() == modal;
  };
  bool stayed = true;
  CloseRequests requests;
  int before = 0, ticks = 0;
  const std::vector<Step> steps = {
      {"typing", [] { return true; },
       [] {
         Xdotool({"type", "--delay", "5", "unsaved"});
       }},
      {"the text", [] { return UI(Message)->toPlainText() == "unsaved"; },
       [] {
         Xdotool({"key", "alt+F4"});
       }},
      {"the question", question,
       [&] {
         before = requests.count;
         DesktopCloseRequest(Win);  // the main window's title bar, or a logout
       }},
      {"the close request's arrival", [&] { return requests.count > before && ++ticks > 2; },
       [] {
         QApplication::quit();        // what the session manager does at a logout
         Xdotool({"key", "alt+F4"});  // the question's own close: its Cancel
       }},
      {"the question answered", [] { return !QApplication::activeModalWidget(); },
       [&] {
         stayed = Win->isVisible() && UI(Message)->toPlainText() == "unsaved";
         Xdotool({"key", "alt+F4"});
       }},
      {"the question again", question,
       [] {
         Xdotool({"key", "alt+d"});
       }},  // Discard: the window closes
  };
  EXPECT_EQ(RunSteps(steps), steps.size());
  EXPECT_TRUE(stayed);
  EXPECT_FALSE(Win->isVisible());
}

TEST_F(DesktopTest, CtrlTabLandsInThePageNeverInThePortBox) {
  ShowWindow();
  QTabWidget* pages = UI(PageControl);
  UI(ComPort)->setFocus();
  QWidget* focus = nullptr;
  const std::vector<Step> steps = {
      {"the port box", [] { return QApplication::focusWidget() == UI(ComPort); },
       [] {
         Xdotool({"key", "ctrl+Tab"});
       }},
      {"the next page", [&] { return pages->currentIndex() == 1; },
       [&] {
         focus = QApplication::focusWidget();
         Win->close();
       }},
  };
  EXPECT_EQ(RunSteps(steps), steps.size());
  ASSERT_NE(focus, nullptr);
  EXPECT_TRUE(pages->widget(1)->isAncestorOf(focus)) << focus->objectName().toStdString();
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (const char* tool : {"Xvfb", "openbox", "xdotool", "xprop"}) {
    if (QStandardPaths::findExecutable(tool).isEmpty()) {
      std::printf("skipped: %s is not installed\n", tool);
      return 77;
    }
  }
  QTemporaryDir home;
  std::string why = "cannot start";
  if (!home.isValid() || !StartDesktop(home.path(), &why)) {
    std::printf("skipped: %s\n", why.c_str());
    StopChildren();
    return 77;
  }
  ::setenv("QT_QPA_PLATFORM", "xcb", 1);
  ::setenv("MIRAPOST_TESTING", "1", 1);
  int rc = 0;
  {
    QApplication app(argc, argv);
    rc = RUN_ALL_TESTS();
  }
  StopChildren();
  return rc;
}
