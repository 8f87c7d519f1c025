// The editors never lose the user's work: one undo step takes back exactly
// the last action (paste, menu Paste, dropped text, Hidden, a font, Open, a
// dropped file), in both editors; text that comes in is cut to the room left
// and what was typed stays; changed work is asked about before it goes.
#include <QClipboard>
#include <QDropEvent>
#include <QFile>
#include <QFontComboBox>
#include <QListWidget>
#include <QMimeData>
#include <QUrl>

#include "AppFixture.h"
#include "dialogs/FontDialog.h"

QString MarkedEditorText(QTextEdit* editor);  // TextPageTest.cpp

namespace {

using mp::UnsavedAnswer;

class EditorTest : public AppFixture {
 public:
  void SetUp() override {
    AppFixture::SetUp();
    Create();
    Activate(Win);
  }
  QTextEdit* Editor(int page) const { return page == 0 ? UI(Message) : UI(EntryName); }
  void Show(int page) {
    UI(PageControl)->setCurrentWidget(page == 0 ? UI(TabSheet1) : UI(TabSheet5));
  }
  // Sends a drag of `mime` and its drop to `target` (the editor's viewport or the page control).
  static void Drop(QWidget* target, QMimeData* mime) {
    const QPoint at(3, 3);
    QDragEnterEvent enter(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDragMoveEvent move(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    QDropEvent drop(QPointF(at), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    QApplication::processEvents();  // the normaliser runs after the editor's own handling
  }
  static void DropText(QTextEdit* editor, const QString& text) {
    QMimeData mime;
    mime.setText(text);
    Drop(editor->viewport(), &mime);
  }
  static void DropFile(const QString& path) {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    Drop(UI(PageControl), &mime);
  }
  QString File(const QString& name, const QByteArray& bytes) {
    QFile f(dir_.filePath(name));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    return f.fileName();
  }
};

TEST_F(EditorTest, OneUndoTakesBackTheLastActionOnly) {
  const QString rtf = File("in.rtf", "{\\rtf1{\\colortbl;\\red255\\green0\\blue0;}hello \\cf1 red\\par}");
  Win->PopupMenu1Popup();  // nothing to take back at start
  EXPECT_FALSE(Win->Undo1->isEnabled() || Win->Redo1->isEnabled());
  auto discarding = [](std::function<void()> act) {
    return [act](QTextEdit*) {
      Asked().UnsavedAnswers(UnsavedAnswer::Discard);
      act();
    };
  };
  const std::pair<int, std::function<void(QTextEdit*)>> cases[] = {  // page, action
      {0, [](QTextEdit* e) { Key(e, Qt::Key_V, Qt::ControlModifier); }},
      {4, [](QTextEdit* e) { Key(e, Qt::Key_V, Qt::ControlModifier); }},
      {0, [](QTextEdit*) { Win->Paste1Click(); }},
      {4, [](QTextEdit*) { Win->Paste1Click(); }},
      {0, [](QTextEdit* e) { DropText(e, "dropped"); }},
      {4, [](QTextEdit* e) { DropText(e, "dropped"); }},
      {0, [](QTextEdit*) { UI(ClassHidden)->click(); }},
      {0,
       [](QTextEdit*) {
         WhenModal([](QWidget* w) {
           static_cast<TFontDialog*>(w)->Size->setCurrentRow(20 - 8);
           static_cast<TFontDialog*>(w)->accept();
         });
         Win->Font1Click();
       }},
      {0, discarding([rtf] { Asked().OpenAnswers(rtf), Win->Open1Click(); })},
      {0, discarding([rtf] { DropFile(rtf); })},
  };
  int n = 0;
  for (const auto& [page, act] : cases) {
    SCOPED_TRACE(n++);
    Show(page);
    QTextEdit* e = Editor(page);
    e->setFocus();
    e->selectAll();
    Key(e, Qt::Key_Delete);
    Type(e, "ab");
    UI(BlinkFont)->setChecked(true);  // "b" blinks
    UI(BlinkEntry)->setChecked(true);
    Key(e, Qt::Key_Left, Qt::ShiftModifier);
    Key(e, Qt::Key_B, Qt::ControlModifier);
    Key(e, Qt::Key_End);
    // Text, marking, the size of the first character and the message type.
    auto state = [e] {
      QTextCursor first(e->document());
      first.setPosition(1);
      return MarkedEditorText(e) + " " + QString::number(first.charFormat().fontPointSize()) + " " +
             QString::number(Win->ClassIndex());
    };
    const QString before = state();
    ASSERT_TRUE(before.startsWith("a[b] ")) << before.toStdString();
    QApplication::clipboard()->setText("XY");
    act(e);
    const QString after = state();
    ASSERT_NE(after, before);
    Win->PopupMenu1Popup();  // Undo and Redo of the edit pop-up menu
    ASSERT_TRUE(Win->Undo1->isEnabled());
    EXPECT_FALSE(Win->Redo1->isEnabled());
    Win->Undo1->trigger();
    EXPECT_EQ(state(), before);
    Win->PopupMenu1Popup();
    ASSERT_TRUE(Win->Redo1->isEnabled());
    Win->Redo1->trigger();
    EXPECT_EQ(state(), after);
    Win->SetClassIndex(0);
    Win->ClassClick();
  }
}

TEST_F(EditorTest, IncomingTextIsCutAndTypedTextStays) {
  struct Case {
    const char* name;
    int page;
    std::function<void(QTextEdit*)> act;
  } cases[] = {
      {"Ctrl+V", 0, [](QTextEdit* e) { Key(e, Qt::Key_V, Qt::ControlModifier); }},
      {"menu Paste", 0, [](QTextEdit*) { Win->Paste1Click(); }},
      {"dropped text", 0, [](QTextEdit* e) { DropText(e, "0123456789"); }},
      {"menu Paste in the name", 4, [](QTextEdit*) { Win->Paste1Click(); }},
      {"dropped text in the name", 4, [](QTextEdit* e) { DropText(e, "0123456789"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Show(c.page);
    QTextEdit* e = Editor(c.page);
    const int max = c.page == 0 ? 320 : 32;
    const QString typed = QString(max - 3, 'a') + "END";
    e->setPlainText(typed);
    QTextCursor at(e->document());  // the caret (and the drop point) at the start
    e->setTextCursor(at);
    QApplication::clipboard()->setText("0123456789");
    c.act(e);
    EXPECT_EQ(e->toPlainText(), "" + typed) << "room left: none";
    e->setPlainText(typed.mid(4));  // four positions free
    e->setTextCursor(QTextCursor(e->document()));
    c.act(e);
    EXPECT_EQ(e->toPlainText(), "0123" + typed.mid(4));
  }
}

TEST_F(EditorTest, ChangedWorkIsAskedAboutFirst) {
  const QString file = File("other.rtf", "{\\rtf1 other\\par}");
  const QString saved = dir_.filePath("saved.rtf");
  struct Case {
    const char* name;
    std::function<void(EditorTest&, bool)> act;  // (test, the question lets it go on)
  } actions[] = {
      {"New", [](EditorTest&, bool) { Win->New1Click(); }},
      {"Open",
       [file](EditorTest&, bool on) {
         if (on) Asked().OpenAnswers(file);
         Win->Open1Click();
       }},
      {"drop", [file](EditorTest&, bool) { DropFile(file); }},
      {"close", [](EditorTest&, bool) { Win->close(); }},
  };
  for (const auto& a : actions) {
    for (UnsavedAnswer answer : {UnsavedAnswer::Cancel, UnsavedAnswer::Discard, UnsavedAnswer::Save}) {
      SCOPED_TRACE(std::string(a.name) + " " + std::to_string(int(answer)));
      Activate(Win);
      QFile::remove(saved);
      UI(Message)->clear();
      Type(UI(Message), "mine");
      Asked().Reset();
      Asked().UnsavedAnswers(answer);
      if (answer == UnsavedAnswer::Save) Asked().SaveAnswers(saved);
      const bool gone = answer != UnsavedAnswer::Cancel;
      a.act(*this, gone);
      EXPECT_EQ(Asked().unsavedAsked.size(), 1u);
      EXPECT_EQ(UI(Message)->toPlainText() != "mine" || !Win->isVisible(), gone);
      EXPECT_EQ(QFile::exists(saved), answer == UnsavedAnswer::Save);
    }
  }
  // Not asked: an empty message, and one unchanged since it was opened or saved.
  Activate(Win);
  Asked().Reset();
  Win->New1Click();
  Asked().OpenAnswers(file);
  Win->Open1Click();
  EXPECT_EQ(UI(Message)->toPlainText(), "other");
  Win->New1Click();
  EXPECT_TRUE(Asked().unsavedAsked.empty());
}

}  // namespace
