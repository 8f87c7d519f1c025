// The page objects alone, without the main window: the editor machinery that
// the text and phonebook pages share, on editors and toggles of the test's own.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTextEdit>
#include <algorithm>

#include "app/pages/Editors.h"
#include "support/CaseName.h"
#include "widgets/MessageEdit.h"

QString MarkedEditorText(QTextEdit* editor);  // TextPageTest.cpp

namespace {

struct NormaliseCase {
  const char* name;
  bool entryName;      // EntryName, else Message
  const char* html;    // what came into the editor
  QRgb windowText;     // the editor's text colour
  bool blinkEnabled;   // its Blink toggle
  const char* marked;  // the editor's text after the normaliser, blinking parts in brackets
  const char* blink;   // RichToBlinkText's text, "*" for the toggle "\x01"
};
void PrintTo(const NormaliseCase& c, std::ostream* os) { *os << c.name; }

class Normaliser : public ::testing::TestWithParam<NormaliseCase> {
 protected:
  void SetUp() override { editors_.Setup({&message_, &entryName_, &blinkFont_, &blinkEntry_, &rtfBuf_}); }
  MessageEdit message_, entryName_;
  QPushButton blinkFont_, blinkEntry_;
  QTextEdit rtfBuf_;
  mp::Editors editors_;
};

TEST_P(Normaliser, Renders) {
  const NormaliseCase& c = GetParam();
  MessageEdit* editor = c.entryName ? &entryName_ : &message_;
  QPushButton* blink = c.entryName ? &blinkEntry_ : &blinkFont_;
  QPalette palette = editor->palette();
  palette.setColor(QPalette::Text, QColor::fromRgb(c.windowText));
  editor->setPalette(palette);
  blink->setEnabled(c.blinkEnabled);
  editor->setHtml(QString::fromUtf8(c.html));
  QTextCursor cursor(editor->document());
  cursor.setPosition(1);
  cursor.setPosition(2, QTextCursor::KeepAnchor);
  editor->setTextCursor(cursor);

  editors_.NormaliseEditor(editor, false);
  EXPECT_EQ(MarkedEditorText(editor).toStdString(), c.marked);
  // The editor's selection stays, and the shown page's editor is given back.
  EXPECT_EQ(editor->textCursor().anchor(), 1);
  EXPECT_EQ(editor->textCursor().position(), 2);
  EXPECT_EQ(editors_.CurrentEditor, nullptr);
  std::string text;
  bool toggles = false;
  const int n = editors_.RichToBlinkText(editor, &text, toggles);
  std::string expected = c.blink;
  std::replace(expected.begin(), expected.end(), '*', '\x01');
  EXPECT_EQ(text, expected);
  EXPECT_EQ(n, int(text.size()));
  EXPECT_EQ(toggles, text.find('\x01') != std::string::npos);
}

constexpr QRgb kBlack = 0xFF000000;

INSTANTIATE_TEST_SUITE_P(
    Editors, Normaliser,
    ::testing::Values(
        NormaliseCase{"PureRedBlinks", false, "<span style='color:#ff0000'>ab</span>c", kBlack, true, "[ab]c", "*ab*c"},
        NormaliseCase{"Red128Blinks", false, "a<span style='color:#80ffff'>b</span>", kBlack, true, "a[b]", "a*b"},
        NormaliseCase{"Red127Steady", false, "a<span style='color:#7f0000'>b</span>", kBlack, true, "ab", "ab"},
        // A red text colour of the desktop is the editor's own colour, never a marking.
        NormaliseCase{"WindowTextSteady", false, "<span style='color:#c00000'>ab</span>", 0xFFC00000, true, "ab", "ab"},
        NormaliseCase{"RedOnRedWindowBlinks", false, "<span style='color:#ff0000'>a</span>b", 0xFFC00000, true, "[a]b",
                      "*a*b"},
        NormaliseCase{"NothingBlinksWithoutToggle", false, "<span style='color:#ff0000'>ab</span>", kBlack, false, "ab",
                      "ab"},
        NormaliseCase{"MessageKeepsLines", false, "<p>a<span style='color:#ff0000'>b</span></p><p>c</p>", kBlack, true,
                      "a[b\n]c", "a*b\n*c"},
        NormaliseCase{"NameLinesBecomeBlanks", true, "<p>a<span style='color:#ff0000'>b</span></p><p>c</p>", kBlack,
                      true, "a[b] c", "a*b* c"},
        NormaliseCase{"NameCutTo32", true, "0123456789012345678901234567890123456789", kBlack, true,
                      "01234567890123456789012345678901", "01234567890123456789012345678901"}),
    mp::test::NamedBy(&NormaliseCase::name));

}  // namespace
