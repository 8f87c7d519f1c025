// The main window's frame: first start, page availability, settings rules,
// font command, edit pop-up menu, hidden Debug command, default buttons.
#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QFileInfo>
#include <QImage>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTextEdit>

#include "AppFixture.h"
#include "dialogs/FontDialog.h"
#include "platform/Picture.h"
#include "dropfile/DropFile.h"
#include "platform/Desktop.h"

namespace {
// Whether dropped files are accepted now.
bool DropAccepted() { return Win->DropFile1 && Win->DropFile1->EnableDrop(); }
}  // namespace

class FrameTest : public AppFixture {};

TEST_F(FrameTest, FirstStartWithoutSettings) {
  Create();
  EXPECT_EQ(Win->windowTitle(), "Corvistan MIRAPOST");
  EXPECT_EQ(UI(ComPort)->currentIndex(), 3);
  EXPECT_EQ(UI(ComPort)->currentText(), "COM 4");
  EXPECT_EQ(UI(ComPort)->count(), 9);
  EXPECT_EQ(Win->MessageFont.family(), "System");
  EXPECT_EQ(Win->MessageFont.pointSize(), 12);
  EXPECT_EQ(UI(cmbOperator)->count(), 0);
  EXPECT_EQ(UI(PageControl)->currentWidget(), UI(TabSheet1));
  for (QAction* a : {UI(New1), UI(Open1), UI(SaveAs1), UI(Font1)}) {
    EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
  }
  EXPECT_EQ(Win->StatusText(), "");
  EXPECT_EQ(Win->PortIndex(), 3);
  EXPECT_TRUE(DropAccepted());
  // Fixed size, 432 wide (and the receiving phone's panel beside the form),
  // 393 high below the menu bar, no maximise box.
  EXPECT_EQ(Win->minimumSize(), Win->maximumSize());
  EXPECT_EQ(UI(centralwidget)->width(), 432);
  EXPECT_GT(Win->width(), 432);
  EXPECT_EQ(Win->height() - UI(MainMenu1)->sizeHint().height(), 393);
  EXPECT_FALSE(Win->windowFlags() & Qt::WindowMaximizeButtonHint);
  // Settings written at shut-down.
  Destroy();
  EXPECT_EQ(StoredInteger("ComPort"), 4);
  EXPECT_EQ(StoredString("FontName"), "System");
  EXPECT_EQ(StoredInteger("FontSize"), 12);
  EXPECT_FALSE(StoredString("Operator0").has_value());
}

TEST_F(FrameTest, PagesInOrderWithHints) {
  Create();
  const char* captions[] = {"(Blinking) Messages", "Indicator Control", "Void Messages",
                            "Class 0 Templates", "Blinking Phonebook", "Logo Messages"};
  const char* names[] = {"TabSheet1", "TabSheet3", "TabSheet4", "TabSheet2", "TabSheet5", "TabSheet6"};
  QTabWidget* pc = UI(PageControl);
  ASSERT_EQ(pc->count(), 6);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(pc->tabText(i), captions[i]);
    EXPECT_EQ(pc->widget(i)->objectName(), names[i]);
    EXPECT_FALSE(pc->tabToolTip(i).isEmpty());
  }
  EXPECT_EQ(pc->tabToolTip(1), "Select the function(s) you\nwant to include in your message.");
  EXPECT_EQ(UI(ComPort)->toolTipDuration(), 10000);
  EXPECT_EQ(UI(Forward)->toolTipDuration(), 10000);
}

TEST_F(FrameTest, PageAvailability) {
  Create();
  struct Row {
    QWidget* page;
    bool newOn, openOn, saveOn, fontOn;
    QString filter;
    QString ext;
    QTextEdit* editor;
    QAbstractButton* blink;
  };
  const std::vector<Row> rows = {
      {UI(TabSheet3), false, false, false, false, "", "", UI(EntryName), UI(BlinkEntry)},
      {UI(TabSheet6), false, true, false, false, mp::LogoPictureFilters().join(";;"), "BMP", UI(EntryName),
       UI(BlinkEntry)},
      {UI(TabSheet4), false, false, false, false, "", "", UI(EntryName), UI(BlinkEntry)},
      {UI(TabSheet1), true, true, true, true, "Rich Text Format (*.rtf);;All Files (*)", "RTF", UI(Message),
       UI(BlinkFont)},
      {UI(TabSheet2), false, false, false, false, "", "", UI(EntryName), UI(BlinkEntry)},
      {UI(TabSheet5), false, false, false, false, "", "", UI(EntryName), UI(BlinkEntry)},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.page->objectName().toStdString());
    UI(PageControl)->setCurrentWidget(r.page);
    EXPECT_EQ(UI(New1)->isEnabled(), r.newOn);
    EXPECT_EQ(UI(Open1)->isEnabled(), r.openOn);
    EXPECT_EQ(UI(SaveAs1)->isEnabled(), r.saveOn);
    EXPECT_EQ(UI(Font1)->isEnabled(), r.fontOn);
    if (!r.filter.isEmpty()) {
      EXPECT_EQ(Win->OpenFilter, r.filter);
      EXPECT_EQ(Win->OpenDefaultExt, r.ext);
    }
    EXPECT_EQ(DropAccepted(), r.openOn);
    EXPECT_EQ(Win->CurrentEditor, r.editor);
    EXPECT_EQ(Win->CurrentBlinkButton, r.blink);
  }
}

TEST_F(FrameTest, ComPortSetting) {
  struct Case {
    const char* name;
    std::optional<int> asInteger;
    std::optional<std::string> asText;
    int index;
    int written;
  };
  const Case cases[] = {
      {"nine", 9, std::nullopt, 8, 9},     {"one", 1, std::nullopt, 0, 1},
      {"ten", 10, std::nullopt, -1, 0},    {"zero", 0, std::nullopt, -1, 0},
      {"negative", -5, std::nullopt, -1, 0}, {"text", std::nullopt, "9", 3, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteSettings([&](mp::SettingsKey& k) {
      if (c.asInteger) k.WriteInteger("ComPort", *c.asInteger);
      if (c.asText) k.WriteString("ComPort", *c.asText);
    });
    Create();
    EXPECT_EQ(UI(ComPort)->currentIndex(), c.index);
    EXPECT_EQ(Win->PortIndex(), c.index);
    Destroy();
    EXPECT_EQ(StoredInteger("ComPort"), c.written);
  }
}

TEST_F(FrameTest, OperatorListLoading) {
  struct Case {
    const char* name;
    std::function<void(mp::SettingsKey&)> write;
    int loaded;
  };
  const std::vector<Case> cases = {
      {"twelve", [](mp::SettingsKey& k) {
         for (int i = 0; i < 12; ++i) k.WriteString("Operator" + std::to_string(i), "244-0" + std::to_string(i % 10));
       }, 10},
      {"missing three", [](mp::SettingsKey& k) {
         for (int i : {0, 1, 2, 4, 5}) k.WriteString("Operator" + std::to_string(i), "244-05");
       }, 3},
      {"integer one", [](mp::SettingsKey& k) {
         k.WriteString("Operator0", "244-05 Radiolinja");
         k.WriteInteger("Operator1", 24491);
         k.WriteString("Operator2", "244-91");
       }, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir fresh;  // a store of its own per case
    ::setenv("XDG_CONFIG_HOME", fresh.path().toLocal8Bit().constData(), 1);
    WriteSettings(c.write);
    Create();
    EXPECT_EQ(UI(cmbOperator)->count(), c.loaded);
    Destroy();
  }
}

TEST_F(FrameTest, OperatorsWrittenAndOlderValuesKept) {
  WriteSettings([](mp::SettingsKey& k) {
    k.WriteString("Operator0", "244-05 Radiolinja");
    k.WriteString("Operator5", "older");
    k.WriteString("Unrelated", "kept");
  });
  Create();
  ASSERT_EQ(UI(cmbOperator)->count(), 1);
  EXPECT_EQ(UI(cmbOperator)->itemText(0), "244-05 Radiolinja");
  UI(cmbOperator)->addItem("244-91 Sonera");
  UI(cmbOperator)->addItem("000-00");
  Destroy();
  EXPECT_EQ(StoredString("Operator0"), "244-05 Radiolinja");
  EXPECT_EQ(StoredString("Operator1"), "244-91 Sonera");
  EXPECT_EQ(StoredString("Operator2"), "000-00");
  EXPECT_EQ(StoredString("Operator5"), "older");
  EXPECT_EQ(StoredString("Unrelated"), "kept");
}

TEST_F(FrameTest, FontSettings) {
  const std::string longName(40, 'F');
  WriteSettings([&](mp::SettingsKey& k) {
    k.WriteString("FontName", longName);
    k.WriteInteger("FontSize", 30);  // outside 8..24: used unchanged
  });
  Create();
  EXPECT_EQ(Win->MessageFont.family().toStdString(), longName.substr(0, 31));
  EXPECT_EQ(Win->MessageFont.pointSize(), 30);
  EXPECT_EQ(UI(Message)->font().pointSize(), 30);
  Destroy();
  EXPECT_EQ(StoredString("FontName"), longName.substr(0, 31));
  EXPECT_EQ(StoredInteger("FontSize"), 30);
}

TEST_F(FrameTest, FontSettingsOfWrongTypeIgnored) {
  WriteSettings([](mp::SettingsKey& k) {
    k.WriteInteger("FontName", 5);
    k.WriteString("FontSize", "20");
  });
  Create();
  EXPECT_EQ(Win->MessageFont.family(), "System");
  EXPECT_EQ(Win->MessageFont.pointSize(), 12);
}

TEST_F(FrameTest, FontDialogGivesPlainFont) {
  Create();
  UI(Message)->setFontWeight(QFont::Bold);
  WhenModal([](QWidget* w) {
    auto* dialog = qobject_cast<TFontDialog*>(w);
    ASSERT_NE(dialog, nullptr);
    // Only the sizes 8 to 24 are offered.
    ASSERT_EQ(dialog->Size->count(), 17);
    EXPECT_EQ(dialog->Size->item(0)->text(), "8");
    EXPECT_EQ(dialog->Size->item(16)->text(), "24");
    dialog->Size->setCurrentRow(20 - 8);
    dialog->accept();
  });
  Win->Font1Click();
  EXPECT_EQ(Win->MessageFont.pointSize(), 20);
  EXPECT_FALSE(Win->MessageFont.bold());
  EXPECT_FALSE(Win->MessageFont.italic());
  EXPECT_FALSE(Win->MessageFont.underline());
  EXPECT_EQ(UI(Message)->font().pointSize(), 20);
  EXPECT_FALSE(UI(Message)->font().bold());
  // EntryName keeps its own font.
  EXPECT_NE(UI(EntryName)->font().pointSize(), 20);
  Destroy();
  EXPECT_EQ(StoredInteger("FontSize"), 20);

  // Cancel changes nothing.
  Create();
  WhenModal([](QWidget* w) { static_cast<QDialog*>(w)->reject(); });
  Win->Font1Click();
  EXPECT_EQ(Win->MessageFont.pointSize(), 20);
}

TEST_F(FrameTest, PopupMenuEnabling) {
  Create();
  UI(Message)->setPlainText("hello");
  QApplication::clipboard()->setImage(QImage(4, 4, QImage::Format_RGB32));
  Win->PopupMenu1Popup();
  EXPECT_FALSE(UI(Cut1)->isEnabled());
  EXPECT_FALSE(UI(Copy1)->isEnabled());
  EXPECT_FALSE(UI(Delete1)->isEnabled());
  EXPECT_FALSE(UI(Paste1)->isEnabled());

  UI(Message)->selectAll();
  QApplication::clipboard()->setText("x");
  Win->PopupMenu1Popup();
  EXPECT_TRUE(UI(Cut1)->isEnabled());
  EXPECT_TRUE(UI(Copy1)->isEnabled());
  EXPECT_TRUE(UI(Delete1)->isEnabled());
  EXPECT_TRUE(UI(Paste1)->isEnabled());

  // Delete leaves the clipboard alone; the menu acts on CurrentEditor only.
  Win->Delete1Click();
  EXPECT_EQ(UI(Message)->toPlainText(), "");
  EXPECT_EQ(QApplication::clipboard()->text(), "x");
  UI(PageControl)->setCurrentWidget(UI(TabSheet5));
  Win->Paste1Click();
  EXPECT_EQ(UI(EntryName)->toPlainText(), "x");
  EXPECT_EQ(UI(Message)->toPlainText(), "");
  Win->SelectAll1Click();
  Win->Cut1Click();
  EXPECT_EQ(UI(EntryName)->toPlainText(), "");
}

TEST_F(FrameTest, DebugCommandHiddenButWorking) {
  Create();
  EXPECT_FALSE(UI(Help1)->actions().contains(UI(Debug1)));
  EXPECT_FALSE(UI(File1)->actions().contains(UI(Debug1)));
  EXPECT_TRUE(Win->actions().contains(UI(Debug1)));
  EXPECT_EQ(UI(Debug1)->shortcut(), QKeySequence("Ctrl+Shift+F12"));
  UI(Forward)->setEnabled(false);
  Activate(Win);
  QTest::keyClick(Win, Qt::Key_F12, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_TRUE(UI(Forward)->isEnabled());
}

TEST_F(FrameTest, MenuShortcuts) {
  Create();
  const std::vector<std::pair<QAction*, const char*>> keys = {
      {UI(New1), "Ctrl+N"}, {UI(Open1), "Ctrl+O"}, {UI(SaveAs1), "Ctrl+S"},
      {UI(Font1), "Alt+Return"}, {UI(Exit1), "Alt+F4"}, {UI(HelpContents1), "F1"},
      {UI(MIRAPOSTWebSite1), ""}, {UI(AboutMiraPost1), "Shift+F1"}};
  for (const auto& [action, key] : keys) EXPECT_EQ(action->shortcut(), QKeySequence(key)) << key;
}

TEST_F(FrameTest, WebSiteCommandOpensDownloadPage) {
  Create();
  mp::LastOpenedDocument().clear();
  UI(MIRAPOSTWebSite1)->trigger();
  EXPECT_EQ(mp::LastOpenedDocument(), "https://www.mirapost.example/download");
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// F1 opens the local help page that the build puts beside the program
// (build/share/mirapost/help, as <prefix>/share/mirapost/help when installed).
TEST_F(FrameTest, HelpCommandOpensLocalPage) {
  Create();
  mp::LastOpenedDocument().clear();
  ASSERT_TRUE(UI(Help1)->actions().contains(UI(HelpContents1)));
  UI(HelpContents1)->trigger();
  EXPECT_TRUE(QString::fromStdString(mp::LastOpenedDocument()).endsWith("/share/mirapost/help/index.html"))
      << mp::LastOpenedDocument();
  EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(mp::LastOpenedDocument())));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(FrameTest, EnterPressesThePagesDefaultButton) {
  Create();
  Activate(Win);
  UI(PageControl)->setCurrentWidget(UI(TabSheet5));
  QSignalSpy clicked(UI(SaveEntry), &QPushButton::clicked);
  UI(SaveEntry)->setEnabled(false);
  QTest::keyClick(UI(EntryNo), Qt::Key_Return);
  EXPECT_EQ(clicked.count(), 0);
  UI(SaveEntry)->setEnabled(true);
  QTest::keyClick(UI(EntryNo), Qt::Key_Return);
  EXPECT_EQ(clicked.count(), 1);
  // Enter in the one-line name presses the button and never breaks the line.
  QTest::keyClick(UI(EntryName), Qt::Key_Return);
  EXPECT_EQ(clicked.count(), 2);
  EXPECT_FALSE(UI(EntryName)->toPlainText().contains('\n'));
  // Enter in Message is a line break.
  UI(PageControl)->setCurrentWidget(UI(TabSheet1));
  QSignalSpy saveBlink(UI(SaveBlink), &QPushButton::clicked);
  UI(SaveBlink)->setEnabled(true);
  QTest::keyClick(UI(Message), Qt::Key_Return);
  EXPECT_EQ(saveBlink.count(), 0);
}

TEST_F(FrameTest, StatusAndWaitPointer) {
  Create();
  Win->ShowStatus("Opening COM4:...");
  Win->ShowStatus("Message successfully sent.");
  EXPECT_EQ(Win->StatusText(), "Message successfully sent.");
  EXPECT_FALSE(UI(StatusBar)->isSizeGripEnabled());
  Win->SetWaitCursor(true);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  Win->SetWaitCursor(false);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  mp::TakeRecordedBeeps();
  Win->Beep(mp::BeepKind::Asterisk);
  EXPECT_EQ(mp::TakeRecordedBeeps(), std::vector<mp::BeepKind>{mp::BeepKind::Asterisk});
}

TEST_F(FrameTest, WindowsCreatedOnceAndDestroyedInReverse) {
  Create();
  ASSERT_NE(Win, nullptr);
  ASSERT_NE(AboutWin, nullptr);
  ASSERT_NE(SendWin, nullptr);
  ASSERT_NE(CodingWin, nullptr);
  EXPECT_EQ(AboutWin->windowTitle(), "About Corvistan MIRAPOST");
  EXPECT_EQ(SendWin->windowTitle(), "Send/Save Message");
  EXPECT_EQ(CodingWin->windowTitle(), "Data Coding Problem");
  Destroy();
  EXPECT_EQ(Win, nullptr);
  EXPECT_EQ(CodingWin, nullptr);
  // Every window wrote its settings.
  EXPECT_TRUE(StoredInteger("Model").has_value());
  EXPECT_TRUE(StoredInteger("Reports").has_value());
  EXPECT_TRUE(StoredInteger("ComPort").has_value());
}
