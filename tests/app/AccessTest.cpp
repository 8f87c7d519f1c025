// The keyboard and a screen reader's view of every window: the focus comes
// back after a dialogue, Tab goes round every control in visual order, access
// keys are unique in each window, and every control that takes the focus has
// a name; the painted tab rows read as a page tab list.
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QCheckBox>
#include <QAbstractItemView>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTextEdit>
#include <map>
#include <memory>

#include "AppFixture.h"
#include "widgets/Questions.h"
#include "dialogs/AccessNames.h"
#include "dialogs/FontDialog.h"
#include "widgets/PhoneScreen.h"
#include "dialogs/Ports.h"
#include "dialogs/Received.h"
#include "platform/Desktop.h"
#include "ui_Send.h"

namespace {

class AccessTest : public AppFixture {
 protected:
  void TearDown() override {
    owned_.clear();  // before the main window, their parent
    AppFixture::TearDown();
  }
  QWidget* Rows() const { return Win->findChild<QWidget*>("PageControlTabs"); }
  static QWidget* Focused() { return QApplication::focusWidget(); }

  // Every window and dialog of the program, made as the program makes them.
  std::vector<std::pair<std::string, QWidget*>> Windows() {
    owned_.clear();
    owned_.emplace_back(new TFontDialog(QFont(), Win));
    owned_.emplace_back(new TPortsWin(Win));
    owned_.emplace_back(new TReceivedWin(Win));
    owned_.emplace_back(mp::MakeUnsavedQuestion(Win, "Message").release());
    std::vector<std::pair<std::string, QWidget*>> out = {
        {"About", AboutWin}, {"Send/Save", SendWin}, {"Data coding", CodingWin}};
    for (const auto& w : owned_) out.emplace_back(w->objectName().toStdString(), w.get());
    return out;
  }

  std::vector<std::unique_ptr<QWidget>> owned_;
};

// The access key of a caption ("Phone &number:" -> 'N'), 0 for none.
QChar AccessKey(const QString& text) {
  for (qsizetype i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '&') continue;
    if (text[i + 1] == '&') {
      ++i;
      continue;
    }
    return text[i + 1].toUpper();
  }
  return {};
}

// Every access key that reaches a control of `window` as things are shown
// now, with what it names; menu bar titles included.
std::multimap<QChar, QString> AccessKeys(QWidget* window) {
  std::multimap<QChar, QString> keys;
  auto add = [&keys](const QString& text) {
    if (const QChar k = AccessKey(text); !k.isNull()) keys.emplace(k, text);
  };
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if (!w->isVisibleTo(window) || w->window() != window) continue;
    if (auto* b = qobject_cast<QAbstractButton*>(w)) add(b->text());
    if (auto* l = qobject_cast<QLabel*>(w); l && l->buddy()) add(l->text());
    if (auto* g = qobject_cast<QGroupBox*>(w)) add(g->title());
  }
  if (auto* main = qobject_cast<QMainWindow*>(window); main && main->menuBar()) {
    for (QAction* a : main->menuBar()->actions()) {
      if (a->isVisible()) add(a->text());
    }
  }
  return keys;
}

std::string Duplicates(const std::multimap<QChar, QString>& keys) {
  std::string out;
  for (auto it = keys.begin(); it != keys.end(); it = keys.upper_bound(it->first)) {
    if (keys.count(it->first) < 2) continue;
    out += "Alt+" + QString(it->first).toStdString() + ":";
    for (auto [a, b] = keys.equal_range(it->first); a != b; ++a) out += " \"" + a->second.toStdString() + "\"";
    out += "; ";
  }
  return out;
}

// Controls a user can reach with Tab in `window` as shown now.
std::vector<QWidget*> Focusable(QWidget* window) {
  std::vector<QWidget*> out;
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(window) && !w->focusProxy() &&
        w->window() == window)
      out.push_back(w);
  }
  return out;
}

// What a screen reader calls the control. A combo box on this platform
// gives its value as its name and its label through the "labelled by"
// relation, as AT-SPI readers expect.
std::string Name(QWidget* w) {
  QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
  if (!iface) return {};
  if (iface->role() == QAccessible::ComboBox) {
    for (const auto& [label, relation] : iface->relations(QAccessible::Label))
      if (!label->text(QAccessible::Name).isEmpty()) return mp::StripAccessKey(label->text(QAccessible::Name)).toStdString();
    return {};
  }
  return iface->text(QAccessible::Name).toStdString();
}

TEST_F(AccessTest, AccessKeysAreUniqueInEveryWindow) {
  Create();
  QTabWidget* pages = UI(PageControl);
  for (int i = 0; i < pages->count(); ++i) {
    pages->setCurrentIndex(i);
    EXPECT_EQ(Duplicates(AccessKeys(Win)), "") << "page " << pages->tabText(i).toStdString();
  }
  // The items of each menu, the edit pop-up menu too.
  std::vector<QMenu*> menus{Win->PopupMenu1};
  for (QAction* a : UI(MainMenu1)->actions())
    if (a->menu()) menus.push_back(a->menu());
  for (QMenu* menu : menus) {
    std::multimap<QChar, QString> keys;
    for (QAction* a : menu->actions())
      if (const QChar k = AccessKey(a->text()); !k.isNull() && a->isVisible()) keys.emplace(k, a->text());
    EXPECT_EQ(Duplicates(keys), "") << menu->title().toStdString();
  }
  for (const auto& [name, w] : Windows()) EXPECT_EQ(Duplicates(AccessKeys(w)), "") << name;
}

TEST_F(AccessTest, FindAndTheUnsavedQuestionHaveAccessKeysWithTheSameWords) {
  Create();
  EXPECT_EQ(AccessKey(SendWin->ui->Find->text()), 'F');
  const auto box = mp::MakeUnsavedQuestion(Win, "Message");
  const std::pair<QMessageBox::StandardButton, QString> buttons[] = {
      {QMessageBox::Save, "Save"}, {QMessageBox::Discard, "Discard"}, {QMessageBox::Cancel, "Cancel"}};
  for (const auto& [which, words] : buttons) {
    QAbstractButton* b = box->button(which);
    ASSERT_NE(b, nullptr);
    EXPECT_FALSE(AccessKey(b->text()).isNull()) << words.toStdString();
    EXPECT_EQ(mp::StripAccessKey(b->text()), words);
  }
}

TEST_F(AccessTest, TabGoesRoundEveryControlInVisualOrder) {
  Create();
  Activate(Win);
  QWidget* rows = Rows();
  ASSERT_NE(rows, nullptr);
  EXPECT_EQ(UI(PageControl)->tabBar()->focusPolicy(), Qt::NoFocus);
  const std::vector<QWidget*> visual = {
      rows,           UI(BlinkFont), UI(Message),   UI(ClassNormal), UI(ClassClass0), UI(ClassHidden),
      UI(SaveBlink),  UI(VoiceOn),   UI(VoiceOff),  UI(FaxOn),       UI(FaxOff),      UI(EmailOn),
      UI(EmailOff),   UI(Forward),   UI(SaveInd),   UI(BitBtn1),     UI(SaveTemp),    UI(BlinkEntry),
      UI(EntryName),  UI(EntryNo),   UI(SaveEntry), UI(cmdPasteLogo), UI(txtDesc),    UI(cmbOperator),
      UI(cmdSaveLogo), UI(ComPort)};
  for (int page = 0; page < UI(PageControl)->count(); ++page) {
    UI(PageControl)->setCurrentIndex(page);
    SCOPED_TRACE(UI(PageControl)->tabText(page).toStdString());
    // What Tab should reach: the shown, enabled controls; of a set of radio
    // buttons the checked one.
    std::vector<QWidget*> expected;
    for (QWidget* w : visual) {
      auto* radio = qobject_cast<QRadioButton*>(w);
      if (w->isVisibleTo(Win) && w->isEnabled() && (!radio || radio->isChecked())) expected.push_back(w);
    }
    for (bool forward : {true, false}) {
      rows->setFocus();
      std::vector<QWidget*> seen{rows};
      for (int i = 0; i < 40; ++i) {
        QTest::keyClick(Focused(), forward ? Qt::Key_Tab : Qt::Key_Backtab, forward ? Qt::NoModifier : Qt::ShiftModifier);
        if (Focused() == rows) break;
        seen.push_back(Focused());
      }
      EXPECT_EQ(Focused(), rows) << "Tab never came back to the tab rows";
      if (!forward) std::reverse(seen.begin() + 1, seen.end());
      std::vector<std::string> names, want;
      for (QWidget* w : seen) names.push_back(w ? w->objectName().toStdString() : "(none)");
      for (QWidget* w : expected) want.push_back(w->objectName().toStdString());
      EXPECT_EQ(names, want) << (forward ? "Tab" : "Shift+Tab");
    }
  }
}

// Ctrl+Tab from inside a page: the text pages land in their editor, where the
// user goes on typing, never on the Blink button above it.
TEST_F(AccessTest, ControlTabLandsInTheTextPagesEditor) {
  Create();
  Activate(Win);
  UI(PageControl)->setCurrentIndex(0);
  UI(SaveBlink)->setFocus();
  for (int i = 0; i < UI(PageControl)->count(); ++i) {
    QTest::keyClick(Focused(), Qt::Key_Tab, Qt::ControlModifier);
    QApplication::processEvents();
    QWidget* page = UI(PageControl)->currentWidget();
    SCOPED_TRACE(UI(PageControl)->tabText(UI(PageControl)->currentIndex()).toStdString());
    ASSERT_NE(Focused(), nullptr);
    EXPECT_TRUE(page->isAncestorOf(Focused())) << Focused()->objectName().toStdString();
    if (page == UI(TabSheet1)) {
      EXPECT_EQ(Focused(), UI(Message));
    }
    if (page == UI(TabSheet5)) {
      EXPECT_EQ(Focused(), UI(EntryName));
    }
  }
}

TEST_F(AccessTest, FocusComesBackAfterADialogueWithThePhone) {
  Create();
  ASSERT_TRUE(StartPhone());
  Activate(Win);
  struct Case {
    const char* page;
    QWidget* sheet;
    QWidget* focus;  // where the user was
    QPushButton* action;
  } cases[] = {
      {"text", UI(TabSheet1), UI(Message), UI(SaveBlink)},
      {"template (the button itself)", UI(TabSheet2), UI(SaveTemp), UI(SaveTemp)},
      {"phonebook", UI(TabSheet5), UI(EntryNo), UI(SaveEntry)},
      {"indicator, from the tab rows", UI(TabSheet3), Rows(), UI(SaveInd)},
  };
  UI(ClassNormal)->setChecked(true);
  UI(VoiceOn)->click();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.page);
    UI(PageControl)->setCurrentWidget(c.sheet);
    if (c.sheet == UI(TabSheet1)) {
      UI(Message)->setFocus();
      Type(UI(Message), "Hello");
    }
    if (c.sheet == UI(TabSheet5)) {
      UI(EntryName)->setFocus();
      Type(UI(EntryName), "Ann");
      UI(EntryNo)->setFocus();
      Type(UI(EntryNo), "5551234");
    }
    c.focus->setFocus();
    if (c.sheet != UI(TabSheet2) && c.sheet != UI(TabSheet5)) {
      WhenModal([](QWidget* w) {
        auto* send = static_cast<TSendWin*>(w);
        send->ui->Recipient->lineEdit()->selectAll();
        Type(send->ui->Recipient->lineEdit(), "5551234");
        Click(w, "SaveSend");
      });
    }
    ASSERT_TRUE(c.action->isEnabled());
    c.action->click();
    EXPECT_FALSE(Win->Phone.InDialogue());
    // The control the window gives the focus to when it is active again.
    QWidget* back = Win->focusWidget();
    EXPECT_EQ(back, c.focus) << (back ? back->objectName().toStdString() : "(none)");
    EXPECT_NE(back, UI(PageControl)->tabBar());
  }
  // Typing goes on where it left off.
  UI(PageControl)->setCurrentWidget(UI(TabSheet1));
  UI(Message)->setFocus();
  UI(Message)->moveCursor(QTextCursor::End);
  WhenModal([](QWidget* w) { Click(w, "SaveSend"); });
  UI(SaveBlink)->click();
  Type(Win->focusWidget(), " again");
  EXPECT_EQ(UI(Message)->toPlainText(), "Hello again");
}

TEST_F(AccessTest, EveryFocusableControlHasAName) {
  Create();
  for (int page = 0; page < UI(PageControl)->count(); ++page) {
    UI(PageControl)->setCurrentIndex(page);
    for (QWidget* w : Focusable(Win))
      EXPECT_NE(Name(w), "") << "main window, page " << page << ": " << w->metaObject()->className() << " "
                             << w->objectName().toStdString();
  }
  for (const auto& [name, window] : Windows()) {
    for (QWidget* w : Focusable(window))
      EXPECT_NE(Name(w), "") << name << ": " << w->metaObject()->className() << " " << w->objectName().toStdString();
  }
  // Names that say what a box is for, not only its value.
  const std::pair<QWidget*, const char*> named[] = {
      {UI(VoiceOn), "Voice mail: On"},
      {UI(FaxOff), "FAX message: Off"},
      {UI(EmailOn), "Email message: On"},
      {UI(ComPort), "Communications port"},
      {UI(cmbOperator), "Recipient's network operator (MCC-MNC)"},
      {SendWin->ui->Recipient, "Recipient's name or GSM number"},
      {SendWin->ui->Centre, "Short message centre number"},
  };
  for (const auto& [w, name] : named) EXPECT_EQ(Name(w), name) << w->objectName().toStdString();
  // The parts of a combo box a reader meets on their own: the operator box's
  // text field, and each box's drop-down list (the port box's is its own).
  for (QComboBox* box : {UI(ComPort), UI(cmbOperator), SendWin->ui->Recipient}) {
    const QString name = QString::fromStdString(Name(box));
    EXPECT_EQ(box->view()->accessibleName(), name) << box->objectName().toStdString();
    if (box->lineEdit()) {
      EXPECT_EQ(box->lineEdit()->accessibleName(), name) << box->objectName().toStdString();
    }
  }
  // The scratch buffer of the rich-text copies is nowhere to be met.
  EXPECT_EQ(Win->findChild<QTextEdit*>("rtfBuf"), nullptr);
}

TEST_F(AccessTest, TabRowsReadAsAPageTabList) {
  Create();
  QTabWidget* pages = UI(PageControl);
  QAccessibleInterface* list = QAccessible::queryAccessibleInterface(Rows());
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->role(), QAccessible::PageTabList);
  ASSERT_EQ(list->childCount(), pages->count());
  for (int i = 0; i < pages->count(); ++i) {
    SCOPED_TRACE(i);
    QAccessibleInterface* tab = list->child(i);
    ASSERT_NE(tab, nullptr);
    EXPECT_EQ(tab, list->child(i)) << "one interface per tab";
    EXPECT_EQ(list->indexOfChild(tab), i);
    EXPECT_EQ(tab->role(), QAccessible::PageTab);
    EXPECT_EQ(tab->text(QAccessible::Name), mp::StripAccessKey(pages->tabText(i)));
    EXPECT_TRUE(tab->state().selectable);
    // Pressing the tab shows its page, and it reads as the selected one.
    auto* action = tab->actionInterface();
    ASSERT_NE(action, nullptr);
    action->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(pages->currentIndex(), i);
    for (int k = 0; k < pages->count(); ++k) EXPECT_EQ(list->child(k)->state().selected, k == i);
  }
  // The page control shows the rows' pages, not its own hidden bar.
  QAccessibleInterface* control = QAccessible::queryAccessibleInterface(pages);
  ASSERT_NE(control, nullptr);
  for (int i = 0; i < control->childCount(); ++i)
    EXPECT_NE(control->child(i)->object(), pages->tabBar()) << "the hidden bar is exposed";
  EXPECT_EQ(control->indexOfChild(QAccessible::queryAccessibleInterface(pages->tabBar())), -1);
}

TEST_F(AccessTest, ReceivingPhoneOffersItsTextAsText) {
  Create();
  Win->ReceivingPhone1->setChecked(true);
  Win->ReceivingPhone1Click();
  UI(PageControl)->setCurrentWidget(UI(TabSheet1));
  UI(Message)->setPlainText("Meet me at noon");
  Win->RefreshPreview();
  QAccessibleInterface* screen = QAccessible::queryAccessibleInterface(Win->Preview->Screen);
  ASSERT_NE(screen, nullptr);
  EXPECT_NE(screen->text(QAccessible::Name), "");
  QAccessibleTextInterface* text = screen->textInterface();
  ASSERT_NE(text, nullptr);
  const QString all = text->text(0, text->characterCount());
  EXPECT_TRUE(all.contains("Meet me at noon")) << all.toStdString();
  EXPECT_TRUE(all.startsWith("New message")) << all.toStdString();
}

TEST_F(AccessTest, HelpAndWebSiteSayWhereToGoWhenNothingOpensThem) {
  Create();
  ::setenv("MIRAPOST_TESTING_NO_HANDLER", "1", 1);
  Win->MIRAPOSTWebSite1Click();
  EXPECT_TRUE(Win->StatusText().contains("https://www.mirapost.example/download")) << Win->StatusText().toStdString() << "/" << mp::LastOpenedDocument();
  ::unsetenv("MIRAPOST_TESTING_NO_HANDLER");
  Win->ShowStatus("");
  Win->MIRAPOSTWebSite1Click();
  EXPECT_EQ(Win->StatusText(), "");
}

}  // namespace

namespace {

TEST_F(AccessTest, PreviewShowsAnOverLongTextAsNotSendable) {
  Create();
  UI(PageControl)->setCurrentWidget(UI(TabSheet1));
  Win->SetClassIndex(0);
  const struct {
    int length;
    bool sendable;
  } rows[] = {{160, true}, {161, false}, {300, false}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.length);
    UI(Message)->setPlainText(QString(r.length, 'a'));
    const TWin::PagePreview p = Win->CurrentPreview();
    EXPECT_EQ(p.tpdu.empty(), !r.sendable);
    EXPECT_EQ(p.reading.error.find("Too long to send") != std::string::npos, !r.sendable) << p.reading.error;
  }
}

}  // namespace
