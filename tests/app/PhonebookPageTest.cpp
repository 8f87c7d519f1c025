// Blinking phonebook page: the number check, and entries written to the
// simulated phone's own phonebook with blink-coded hex names.
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTextCursor>
#include <QTextEdit>

#include "PageTest.h"

namespace {

class PhonebookTest : public PageTest {
 protected:
  void SetUp() override {
    PageTest::SetUp();
    Create();
    UI(PageControl)->setCurrentWidget(UI(TabSheet5));
  }

  bool StartSeededPhone() {
    return StartPhone({"--phonebook", PhonebookFile({"1,+358401111111,145,Alice", "2,0401234,129,Bob",
                                                     "3,+3580000,145,Carol"})});
  }

  void TypeNumber(const QString& number) {
    UI(EntryNo)->clear();
    Type(UI(EntryNo), number);
  }

  // The name as runs of steady and blinking (pure red) text.
  void SetName(const std::vector<std::pair<QString, bool>>& runs) {
    QTextEdit* name = UI(EntryName);
    name->clear();
    QTextCursor cursor(name->document());
    for (const auto& [text, blink] : runs) {
      QTextCharFormat format;
      format.setForeground(blink ? QColor(255, 0, 0) : QColor(0, 0, 0));
      cursor.insertText(text, format);
    }
  }
};

// ---- number check -------------------------------------------------------------

struct NumberCase {
  const char* name;
  const char* typed;
  int type;
  const char* number;  // checked when the type is not 0
};
void PrintTo(const NumberCase& c, std::ostream* os) { *os << c.name; }

class PhonebookNumbers : public PhonebookTest, public ::testing::WithParamInterface<NumberCase> {};

TEST_P(PhonebookNumbers, Check) {
  const NumberCase& c = GetParam();
  TypeNumber(QString::fromLatin1(c.typed));
  EXPECT_EQ(Win->EntryType, c.type);
  if (c.type != 0) {
    EXPECT_EQ(Win->EntryNumber, c.number);
  }
  EXPECT_EQ(UI(SaveEntry)->isEnabled(), c.type != 0);
}

INSTANTIATE_TEST_SUITE_P(
    Entry, PhonebookNumbers,
    ::testing::Values(NumberCase{"International", "+358 40-123 45", 145, "+3584012345"},
                      NumberCase{"National", "040 123", 129, "040123"},
                      NumberCase{"LonePlus", "+", 145, "+"},
                      NumberCase{"TwentyDigits", "12345678901234567890", 129, "12345678901234567890"},
                      NumberCase{"TwentyOneDigits", "123456789012345678901", 0, ""},
                      NumberCase{"PlusAfterDigit", "12+3", 0, ""},
                      NumberCase{"TwoPlus", "++1", 0, ""},
                      NumberCase{"Slash", "040/123", 0, ""},
                      NumberCase{"Empty", "", 0, ""},
                      NumberCase{"BlanksAndDashes", " - -", 0, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PhonebookTest, SaveEntryFollowsEveryChange) {
  EXPECT_FALSE(UI(SaveEntry)->isEnabled());
  TypeNumber("040");
  EXPECT_TRUE(UI(SaveEntry)->isEnabled());
  Type(UI(EntryNo), "x");
  EXPECT_FALSE(UI(SaveEntry)->isEnabled());
  Key(UI(EntryNo), Qt::Key_Backspace);
  EXPECT_TRUE(UI(SaveEntry)->isEnabled());
}

// ---- written entries ------------------------------------------------------------

TEST_F(PhonebookTest, WrittenToFirstFreeLocation) {
  ASSERT_TRUE(StartSeededPhone());
  SetName({{"Zoe", false}});
  TypeNumber("+358 40-123 45");
  UI(SaveEntry)->click();
  const auto writes = PhonebookWrites();
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].value("index").toInt(), 4);
  EXPECT_EQ(writes[0].value("number").toString(), "+3584012345");
  EXPECT_EQ(writes[0].value("type").toInt(), 145);
  EXPECT_EQ(writes[0].value("name").toString(), "3a6F65");
  EXPECT_EQ(Win->StatusText(), "Entry successfully saved in ME memory location 4.");
  // The page keeps its contents.
  EXPECT_EQ(UI(EntryName)->toPlainText(), "Zoe");
  EXPECT_EQ(UI(EntryNo)->text(), "+358 40-123 45");
}

TEST_F(PhonebookTest, HexNamesOfBlinkingNames) {
  ASSERT_TRUE(StartSeededPhone());
  struct Case {
    std::vector<std::pair<QString, bool>> runs;
    const char* number;
    const char* hex;
    int type;
  };
  const std::vector<Case> cases{
      {{{"zebra", false}}, "040 123", "5a65627261", 129},
      {{{"A", true}, {"nn", false}}, "040 124", "0141016E6E", 129},
      {{{"A", false}, {"nn", true}}, "+4912", "41016E6E", 145},
      {{}, "112", "", 129},
      {{{QString::fromUtf8("\u00C4"), false}, {"Z", true}}, "113", "C4013a", 129},
  };
  for (const Case& c : cases) {
    SetName(c.runs);
    TypeNumber(c.number);
    UI(SaveEntry)->click();
  }
  const auto writes = PhonebookWrites();
  ASSERT_EQ(writes.size(), cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(writes[i].value("index").toInt(), static_cast<int>(4 + i)) << i;
    EXPECT_EQ(writes[i].value("name").toString().toStdString(), cases[i].hex) << i;
    EXPECT_EQ(writes[i].value("type").toInt(), cases[i].type) << i;
  }
}

TEST_F(PhonebookTest, EnterPressesSaveEntry) {
  ASSERT_TRUE(StartSeededPhone());
  Activate(Win);
  QTextEdit* name = UI(EntryName);
  name->setFocus();
  Type(name, "Ann");
  // No valid number yet: Enter neither writes nor breaks the line, whatever
  // key goes with it.
  Key(name, Qt::Key_Return);
  Key(name, Qt::Key_Enter, Qt::KeypadModifier);
  Key(name, Qt::Key_Return, Qt::ShiftModifier);
  Key(name, Qt::Key_Return, Qt::ControlModifier);
  EXPECT_EQ(name->toPlainText(), "Ann");
  EXPECT_EQ(name->document()->blockCount(), 1);
  EXPECT_TRUE(PhonebookWrites().empty());
  TypeNumber("040 123");
  name->setFocus();
  Key(name, Qt::Key_Return);
  EXPECT_EQ(name->toPlainText(), "Ann");
  const auto writes = PhonebookWrites();
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].value("name").toString(), "416E6E");
  EXPECT_EQ(writes[0].value("number").toString(), "040123");
}

TEST_F(PhonebookTest, LongestName) {
  ASSERT_TRUE(StartSeededPhone());
  Activate(Win);
  QTextEdit* name = UI(EntryName);
  name->setFocus();
  Type(name, QString(40, 'a'));
  ASSERT_EQ(name->toPlainText(), QString(32, 'a'));
  // One blinking character in the middle: two toggles make the name longer.
  QTextCursor cursor(name->document());
  cursor.setPosition(10);
  cursor.setPosition(11, QTextCursor::KeepAnchor);
  QTextCharFormat red;
  red.setForeground(QColor(255, 0, 0));
  cursor.mergeCharFormat(red);
  TypeNumber("040");
  UI(SaveEntry)->click();
  const auto writes = PhonebookWrites();
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].value("name").toString().size(), 68);
}

TEST_F(PhonebookTest, PastedLineBreaksBecomeBlanks) {
  // The name editor is one line: a paste of several lines (plain text or HTML
  // with a line break) must not put a line feed into the phonebook name.
  struct Paste {
    const char* format;
    QString data;
  };
  const Paste pastes[] = {{"text/plain", "Ann\nBob\r\nCy"},
                          {"text/html", "<p>Ann</p><p>Bob<br>Cy</p>"}};
  for (const Paste& p : pastes) {
    SCOPED_TRACE(p.format);
    QTextEdit* name = UI(EntryName);
    name->clear();
    name->setFocus();
    auto* mime = new QMimeData;
    mime->setText("Ann\nBob\nCy");  // a browser offers plain text beside HTML
    if (QString(p.format) == "text/html") mime->setHtml(p.data);
    QApplication::clipboard()->setMimeData(mime);
    Win->Paste1Click();
    EXPECT_EQ(name->document()->blockCount(), 1);
    EXPECT_FALSE(name->toPlainText().contains(QChar::LineSeparator));
    std::string text;
    bool toggles = false;
    Win->RichToBlinkText(name, &text, toggles);
    EXPECT_EQ(text.find('\n'), std::string::npos) << text;
    EXPECT_EQ(text.substr(0, 3), "Ann");
  }
}

}  // namespace
