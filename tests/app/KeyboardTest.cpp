// Dialogs and keys: exact captions, the two-state delivery report box, Enter
// in the Send/Save dialog, and the keyboard in the main window (focus at
// start, the tab rows, page switching, Tab out of the port box, the access
// keys of the indicator groups).
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalSpy>

#include "AppFixture.h"
#include "ui_Send.h"

namespace {

class KeyboardTest : public AppFixture {
 protected:
  QWidget* Focused() const { return QApplication::focusWidget(); }
};

TEST_F(KeyboardTest, CaptionsCarryNoSuffix) {
  mp::SetApplicationNames();
  // No display name that the platform would append to every window title.
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
  Create();
  const std::pair<QWidget*, const char*> windows[] = {{Win, "Corvistan MIRAPOST"},
                                                      {AboutWin, "About Corvistan MIRAPOST"},
                                                      {SendWin, "Send/Save Message"},
                                                      {CodingWin, "Data Coding Problem"}};
  for (const auto& [w, caption] : windows) EXPECT_EQ(w->windowTitle(), caption);
}

TEST_F(KeyboardTest, DeliveryReportBoxHasTwoStatesForTheUser) {
  // Stored value -> state shown, then after one and two clicks (0 clear, 1 ticked, 2 grey).
  const struct {
    int stored;  // -1: none
    int shown, click1, click2;
  } rows[] = {{-1, 1, 0, 1}, {0, 0, 1, 0}, {1, 1, 0, 1}, {2, 2, 1, 0}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.stored);
    if (r.stored >= 0) WriteSettings([&](mp::SettingsKey& k) { k.WriteInteger("Reports", r.stored); });
    Create();
    QCheckBox* box = SendWin->ui->Reports;
    auto state = [box] { return box->checkState() == Qt::Checked ? 1 : box->checkState() == Qt::Unchecked ? 0 : 2; };
    EXPECT_EQ(state(), r.shown);
    box->click();
    EXPECT_EQ(state(), r.click1);
    EXPECT_EQ(SendWin->Transfer().Reports, r.click1 != 0);
    box->click();
    EXPECT_EQ(state(), r.click2);
    Destroy();
    EXPECT_EQ(StoredInteger("Reports"), r.click2);
  }
}

TEST_F(KeyboardTest, EnterPressesTheEnabledDefaultButton) {
  Create();
  Activate(SendWin);
  QSignalSpy find(SendWin->ui->Find, &QPushButton::clicked);
  QLineEdit* recipient = SendWin->ui->Recipient->lineEdit();
  recipient->selectAll();
  Type(recipient, "Alice");  // a name: Find is the enabled one
  ASSERT_TRUE(SendWin->ui->Find->isEnabled());
  ASSERT_FALSE(SendWin->ui->SaveSend->isEnabled());
  Key(recipient, Qt::Key_Return);
  EXPECT_EQ(find.count(), 1);
  EXPECT_TRUE(SendWin->isVisible());
  recipient->selectAll();
  Type(recipient, "12345");  // a number: Send
  Key(recipient, Qt::Key_Return);
  EXPECT_EQ(find.count(), 1);
  EXPECT_FALSE(SendWin->isVisible());
  EXPECT_EQ(SendWin->result(), QDialog::Accepted);
}

TEST_F(KeyboardTest, MainWindowKeys) {
  Create();
  Activate(Win);
  QTabWidget* pages = UI(PageControl);
  // The message editor has the focus from the start.
  EXPECT_EQ(Focused(), UI(Message));

  // The tab rows take the focus and switch pages with the arrow keys.
  QWidget* rows = Win->findChild<QWidget*>("PageControlTabs");
  ASSERT_NE(rows, nullptr);
  EXPECT_TRUE(rows->focusPolicy() & Qt::TabFocus);
  rows->setFocus();
  Key(rows, Qt::Key_Right);
  EXPECT_EQ(pages->currentIndex(), 1);
  Key(rows, Qt::Key_Left);
  EXPECT_EQ(pages->currentIndex(), 0);

  // Page switching from anywhere in the window.
  const struct {
    Qt::Key key;
    Qt::KeyboardModifiers mods;
    int to;  // from the second page
  } keys[] = {{Qt::Key_Tab, Qt::ControlModifier, 2},
              {Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier, 0},
              {Qt::Key_PageDown, Qt::ControlModifier, 2},
              {Qt::Key_PageUp, Qt::ControlModifier, 0}};
  for (QWidget* from : {static_cast<QWidget*>(UI(EntryName)), static_cast<QWidget*>(UI(ComPort)),
                        static_cast<QWidget*>(UI(VoiceOn)), rows}) {
    for (const auto& k : keys) {
      SCOPED_TRACE(from->objectName().toStdString() + " " + std::to_string(k.key));
      pages->setCurrentIndex(from == UI(EntryName) ? 4 : 1);
      const int start = pages->currentIndex();
      from->setFocus();
      Key(from, k.key, k.mods);
      EXPECT_EQ(pages->currentIndex(), start + k.to - 1);
    }
  }

  // Tab leaves the port box; Down after it does not change the port.
  UI(ComPort)->setFocus();
  const int port = UI(ComPort)->currentIndex();
  Key(UI(ComPort), Qt::Key_Tab);
  EXPECT_NE(Focused(), UI(ComPort));
  Key(Focused(), Qt::Key_Down);
  EXPECT_EQ(UI(ComPort)->currentIndex(), port);

  // The indicator groups' access keys go to the group their caption names,
  // whichever box had the focus before.
  pages->setCurrentWidget(UI(TabSheet3));
  const std::pair<Qt::Key, QWidget*> groups[] = {
      {Qt::Key_V, UI(VoiceOn)}, {Qt::Key_X, UI(FaxOn)}, {Qt::Key_E, UI(EmailOn)}};
  for (QWidget* last : std::initializer_list<QWidget*>{UI(VoiceOff), UI(FaxOff), UI(EmailOff), UI(ComPort)}) {
    for (const auto& [key, box] : groups) {
      last->setFocus();
      Key(last, key, Qt::AltModifier);
      EXPECT_EQ(Focused(), box) << last->objectName().toStdString() << " Alt+" << char(key);
    }
  }
}

}  // namespace
