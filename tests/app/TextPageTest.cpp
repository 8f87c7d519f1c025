// The "(Blinking) Messages" page through the real editor: typing, selecting,
// Blink and Ctrl+B, pasting formatted text, the counts, the Hidden type and
// the PDU of every kind as the simulated phone received it.
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>

#include "AppFixture.h"

// The editor's text with every stretch of pure red characters in brackets.
QString MarkedEditorText(QTextEdit* editor) {
  QString s;
  bool inRed = false;
  const QTextDocument* d = editor->document();
  for (QTextBlock b = d->begin(); b.isValid(); b = b.next()) {
    if (b != d->begin()) s += '\n';
    for (auto it = b.begin(); !it.atEnd(); ++it) {
      const QTextCharFormat f = it.fragment().charFormat();
      const bool red = f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().color() == QColor(255, 0, 0);
      if (red != inRed) s += red ? '[' : ']';
      inRed = red;
      s += it.fragment().text();
    }
  }
  if (inRed) s += ']';
  return s;
}

namespace {

class TextPageTest : public AppFixture {
 protected:
  QTextEdit* Message() const { return UI(Message); }
  // Selects [from, to) in Message with the keyboard, as a user would.
  void Select(int from, int to) {
    QTextCursor c = Message()->textCursor();
    c.setPosition(from);
    Message()->setTextCursor(c);
    for (int i = from; i < to; ++i) Key(Message(), Qt::Key_Right, Qt::ShiftModifier);
  }
  // Types `text` and marks the characters at the given positions as blinking.
  void Compose(const QString& text, const QString& redMask) {
    Message()->setFocus();
    Message()->clear();
    Message()->setCurrentCharFormat(QTextCharFormat());  // start steady
    Type(Message(), text);
    for (int i = 0; i < redMask.size(); ++i) {
      if (redMask[i] != 'r') continue;
      Select(i, i + 1);
      if (!UI(BlinkFont)->isChecked()) UI(BlinkFont)->click();
    }
  }
  std::string Blink() {
    std::string out;
    bool toggles = false;
    Win->RichToBlinkText(Message(), &out, toggles);
    return out;
  }
};

TEST_F(TextPageTest, TypingSelectingAndBlinking) {
  Create();
  Activate(Win);
  EXPECT_EQ(UI(Count)->text(), "160");
  EXPECT_FALSE(UI(SaveBlink)->isEnabled());
  Message()->setFocus();
  Type(Message(), "ab");
  EXPECT_EQ(UI(Count)->text(), "158");
  EXPECT_TRUE(UI(SaveBlink)->isEnabled());

  // Blink on the selected b: a, toggle, b; no closing toggle.
  Select(1, 2);
  EXPECT_FALSE(UI(BlinkFont)->isChecked());
  UI(BlinkFont)->click();
  EXPECT_EQ(MarkedEditorText(Message()), "a[b]");
  EXPECT_EQ(Blink(), "a\x01"
                     "b");
  EXPECT_EQ(UI(Count)->text(), "67");
  // The toggle follows the selection.
  Select(0, 1);
  EXPECT_FALSE(UI(BlinkFont)->isChecked());
  Select(1, 2);
  EXPECT_TRUE(UI(BlinkFont)->isChecked());

  // Ctrl+B on a: both blink, one toggle at the start.
  Select(0, 1);
  Key(Message(), Qt::Key_B, Qt::ControlModifier);
  EXPECT_TRUE(UI(BlinkFont)->isChecked());
  EXPECT_EQ(MarkedEditorText(Message()), "[ab]");
  EXPECT_EQ(Blink(), "\x01"
                     "ab");
  // Ctrl+B again on b only: a blinks, b steady.
  Select(1, 2);
  Key(Message(), Qt::Key_B, Qt::ControlModifier);
  EXPECT_EQ(MarkedEditorText(Message()), "[a]b");
  EXPECT_EQ(Blink(), "\x01"
                     "a\x01"
                     "b");

  // Typing after red text continues in red; a line break costs one character.
  QTextCursor end = Message()->textCursor();
  end.movePosition(QTextCursor::End);
  Message()->setTextCursor(end);
  Key(Message(), Qt::Key_Return);
  Type(Message(), "c");
  EXPECT_EQ(Blink(), "\x01"
                     "a\x01"
                     "b\nc");
}

TEST_F(TextPageTest, Counts) {
  Create();
  struct Row {
    const char* name;
    QString text;
    bool alternateRed;  // every other character red, starting with the first
    int type;
    QString count;
    bool enabled;
  };
  const Row rows[] = {
      {"empty", "", false, 0, "160", false},
      {"160 characters", QString(160, 'x'), false, 0, "0", true},
      {"161 characters", QString(161, 'x'), false, 0, "-1", false},
      {"35 characters with 35 toggles", QString(35, 'x'), true, 0, "0", true},
      {"36 characters with 36 toggles", QString(36, 'x'), true, 0, "-2", false},
      {"class 0 keeps 160", QString(10, 'x'), false, 1, "150", true},
      {"hidden: 69", QString(69, 'x'), false, 2, "0", true},
      {"more than 320 as the editor counts", QString("a\n").repeated(161), false, 0, "", false},
  };
  for (const Row& r : rows) {
    Win->SetClassIndex(r.type);
    Win->ClassClick();
    Message()->setPlainText(r.text);
    if (r.alternateRed) {
      QTextCharFormat red;
      red.setForeground(QColor(255, 0, 0));
      for (int i = 0; i < r.text.size(); i += 2) {
        QTextCursor c(Message()->document());
        c.setPosition(i);
        c.setPosition(i + 1, QTextCursor::KeepAnchor);
        c.mergeCharFormat(red);
      }
    }
    EXPECT_EQ(UI(Count)->text(), r.count) << r.name;
    EXPECT_EQ(UI(SaveBlink)->isEnabled(), r.enabled) << r.name;
  }
}

TEST_F(TextPageTest, EditorHoldsAtMost320Characters) {
  Create();
  Activate(Win);
  Message()->setFocus();
  Message()->setPlainText(QString(318, 'x'));
  QTextCursor c = Message()->textCursor();
  c.setPosition(10);
  Message()->setTextCursor(c);
  Type(Message(), "abc");  // the third character is refused
  EXPECT_EQ(Message()->toPlainText().size(), 320);
  EXPECT_EQ(Message()->toPlainText().mid(10, 3), "abx");
  // Pasting: what does not fit of the pasted text is cut, the old text stays.
  Message()->setPlainText(QString(315, 'x'));
  c.setPosition(0);
  Message()->setTextCursor(c);
  QApplication::clipboard()->setText("0123456789");
  Key(Message(), Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(Message()->toPlainText(), "01234" + QString(315, 'x'));
}

TEST_F(TextPageTest, PastingFormattedText) {
  Create();
  Activate(Win);
  Message()->setFocus();
  auto* mime = new QMimeData;
  mime->setHtml(
      "<p><span style='color:#ff0000'>R</span><span style='color:#800000'>D</span>"
      "<span style='color:#7f0000'>d</span><span style='color:#0000ff'>B</span><b>X</b>"
      "<span style='color:#000000; font-size:30pt; font-family:Courier'>k</span></p>"
      "<ul><li style='margin-left:40px'><i>I</i></li></ul><p align='right'>z</p>");
  mime->setText("RDdBXk\nI\nz");
  QApplication::clipboard()->setMimeData(mime);
  Key(Message(), Qt::Key_V, Qt::ControlModifier);
  // Red and dark red blink; blue, black and the darker red do not.
  EXPECT_EQ(MarkedEditorText(Message()), "[RD]dBXk\nI\nz");
  const QTextDocument* d = Message()->document();
  for (QTextBlock b = d->begin(); b.isValid(); b = b.next()) {
    EXPECT_EQ(b.blockFormat().indent(), 0);
    EXPECT_EQ(b.blockFormat().leftMargin(), 0);
    EXPECT_EQ(b.textList(), nullptr);
    EXPECT_FALSE(b.blockFormat().alignment() & Qt::AlignRight);
    for (auto it = b.begin(); !it.atEnd(); ++it) {
      const QTextCharFormat f = it.fragment().charFormat();
      const QString t = it.fragment().text().toHtmlEscaped();
      EXPECT_LT(f.fontWeight(), QFont::DemiBold) << t.toStdString();
      EXPECT_FALSE(f.fontItalic()) << t.toStdString();
      EXPECT_EQ(f.fontFamilies().toStringList().value(0), Win->MessageFont.family()) << t.toStdString();
      EXPECT_DOUBLE_EQ(f.fontPointSize(), Win->MessageFont.pointSizeF()) << t.toStdString();
    }
  }
  // The edit pop-up menu's Paste does the same.
  Message()->clear();
  auto* again = new QMimeData;
  again->setHtml("<span style='color:#c00000'>r</span><span style='color:#00ff00'>g</span>");
  again->setText("rg");
  QApplication::clipboard()->setMimeData(again);
  Win->Paste1Click();
  EXPECT_EQ(MarkedEditorText(Message()), "[r]g");
}

TEST_F(TextPageTest, HiddenRemovesTheMarking) {
  Create();
  Activate(Win);
  Compose("hi", "rr");
  EXPECT_EQ(MarkedEditorText(Message()), "[hi]");
  EXPECT_EQ(UI(Count)->text(), "67");
  QTest::mouseClick(UI(ClassHidden), Qt::LeftButton);
  EXPECT_FALSE(UI(BlinkFont)->isEnabled());
  EXPECT_EQ(MarkedEditorText(Message()), "hi");
  EXPECT_EQ(UI(Count)->text(), "67");  // 69 - 2
  // Ctrl+B does nothing while Blink is disabled.
  Select(0, 2);
  Key(Message(), Qt::Key_B, Qt::ControlModifier);
  EXPECT_EQ(MarkedEditorText(Message()), "hi");
  // Back to Normal: Blink enabled again, the marking is not restored.
  QTest::mouseClick(UI(ClassNormal), Qt::LeftButton);
  EXPECT_TRUE(UI(BlinkFont)->isEnabled());
  EXPECT_EQ(MarkedEditorText(Message()), "hi");
  EXPECT_EQ(UI(Count)->text(), "158");
}

// Each kind, stored in the SIM of the simulated phone: the TPDU after the
// save-mode destination and the storage status.
TEST_F(TextPageTest, EveryKindReachesThePhone) {
  ASSERT_TRUE(StartPhone());
  Create();
  Activate(Win);
  struct Row {
    const char* name;
    QString text, red;
    int type;
    std::string body;  // TP-PID onward
    int stat;
    const char* dcsField;
    bool logReady;
  };
  const Row rows[] = {
      {"normal", "hello", "", 0, "0000A905E8329BFD06", 2, "\"dcs\":0,", true},
      {"class 0", "hello", "", 1, "00F0A905E8329BFD06", 3, "\"dcs\":240,", false},
      {"blinking", "ab", ".r", 0, "001BA906006100010062", 3, "\"dcs\":27,", false},
      {"blinking class 0", "ab", ".r", 1, "0018A906006100010062", 3, "\"dcs\":24,", false},
      {"hidden", "hi", "r", 2, "001BA906000000680069", 3, "\"dcs\":27,", false},
  };
  size_t seen = 0;
  for (const Row& r : rows) {
    Win->SetClassIndex(0);
    Win->ClassClick();
    Compose(r.text, r.red);
    Win->SetClassIndex(r.type);
    Win->ClassClick();
    ASSERT_TRUE(UI(SaveBlink)->isEnabled()) << r.name;
    Win->Phone.LogReady = false;
    WhenModal([](QWidget* w) { Click(w, "SaveSend"); });  // first use: save to the SIM
    UI(SaveBlink)->click();
    const auto lines = Journal();
    std::string line;
    for (size_t i = seen; i < lines.size(); ++i)
      if (lines[i].find("\"command\":\"CMGW\"") != std::string::npos) line = lines[i];
    seen = lines.size();
    ASSERT_FALSE(line.empty()) << r.name;
    EXPECT_NE(line.find("\"stat\":" + std::to_string(r.stat)), std::string::npos) << r.name << ": " << line;
    // First octet 31: SMS-SUBMIT with a status report (the dialog's default), TP-MR FF,
    // the save-mode destination 0081, then the body.
    EXPECT_NE(line.find("\"tpdu\":\"31FF0081" + r.body + "\""), std::string::npos) << r.name << ": " << line;
    EXPECT_NE(line.find(r.dcsField), std::string::npos) << r.name << ": " << line;
    EXPECT_EQ(Win->Phone.LogReady, r.logReady) << r.name;
    EXPECT_EQ(Win->StatusText(), "Message successfully saved in SM.") << r.name;
  }
}

TEST_F(TextPageTest, CancelSendsNothing) {
  ASSERT_TRUE(StartPhone());
  Create();
  Compose("x", "");
  WhenModal([](QWidget* w) { static_cast<QDialog*>(w)->reject(); });
  UI(SaveBlink)->click();
  EXPECT_TRUE(Journal().empty() || Journal().back().find("CMGW") == std::string::npos);
  EXPECT_EQ(Win->StatusText(), "");
}

}  // namespace
