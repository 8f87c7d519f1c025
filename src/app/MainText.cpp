// Text page: the message editor, blink marking and the formatting normaliser.
// The blink marking lives only in the editors' character colours: a character
// blinks when it is pure red. The same handlers serve the phonebook page's name
// editor through CurrentEditor and CurrentBlinkButton.
#include <QAbstractButton>
#include <QAbstractUndoItem>
#include <QButtonGroup>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <algorithm>
#include <vector>

#include "app/App.h"
#include "app/Main.h"
#include "widgets/MessageEdit.h"
#include "builders/Messages.h"
#include "dialogs/Send.h"
#include "platform/Ansi.h"
#include "platform/Rtf.h"
#include "ui_Main.h"

namespace {

constexpr int kMessageMax = 320;
constexpr int kEntryNameMax = 32;
const QColor kBlinkRed(255, 0, 0);

QColor WindowText(const QTextEdit* editor) { return editor->palette().color(QPalette::Text); }

bool HasColour(const QTextCharFormat& f) {
  return f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().style() != Qt::NoBrush;
}

bool IsBlinkRed(const QTextCharFormat& f) {
  return HasColour(f) && (f.foreground().color().rgb() & 0xFFFFFF) == 0xFF0000;
}

// Positions of the document, a paragraph mark counting one (as the cursor counts).
int Positions(const QTextDocument* d) { return std::max(0, d->characterCount() - 1); }

// The length as the editor reports it: every line break counts two (carriage
// return and line feed), every other character one.
int EditorLength(const QTextDocument* d) {
  int breaks = d->blockCount() - 1;
  for (QTextBlock b = d->begin(); b.isValid(); b = b.next())
    breaks += static_cast<int>(b.text().count(QChar::LineSeparator));
  return Positions(d) + breaks;
}

// The character format of the character at `pos` (for a paragraph mark, that
// of the character before it, or the block's own format in an empty block).
QTextCharFormat FormatAt(const QTextDocument* d, int pos) {
  const QTextBlock b = d->findBlock(pos);
  if (!b.isValid()) return {};
  QTextCharFormat last = b.charFormat();
  for (auto it = b.begin(); !it.atEnd(); ++it) {
    const QTextFragment f = it.fragment();
    if (f.contains(pos)) return f.charFormat();
    if (f.position() < pos) last = f.charFormat();
  }
  return last;
}

}  // namespace

int TWin::MaxLength(QTextEdit* editor) const { return editor == ui->EntryName ? kEntryNameMax : kMessageMax; }

void TWin::SetupTextPage() {
  connect(ui->Message, &QTextEdit::textChanged, this, &TWin::MessageChange);
  connect(ui->Message, &QTextEdit::selectionChanged, this, &TWin::MessageSelectionChange);
  connect(ui->Message, &QTextEdit::cursorPositionChanged, this, &TWin::MessageSelectionChange);
  connect(ui->EntryName, &QTextEdit::selectionChanged, this, &TWin::MessageSelectionChange);
  connect(ui->EntryName, &QTextEdit::cursorPositionChanged, this, &TWin::MessageSelectionChange);
  connect(ui->BlinkFont, &QAbstractButton::clicked, this, &TWin::BlinkFontClick);
  connect(ui->BlinkEntry, &QAbstractButton::clicked, this, &TWin::BlinkFontClick);
  connect(ui->ClassButtons, &QButtonGroup::idClicked, this, &TWin::ClassClick);
  connect(ui->SaveBlink, &QAbstractButton::clicked, this, &TWin::SaveBlinkClick);
  // The Blink toggles act on the editor's selection: a click never takes the
  // focus from it, Tab reaches them.
  ui->BlinkFont->setFocusPolicy(Qt::TabFocus);
  ui->BlinkEntry->setFocusPolicy(Qt::TabFocus);
  ui->rtfBuf->setUndoRedoEnabled(false);

  // The editors hold at most MaxLength characters; text that comes in from
  // outside is cut to the room left and then re-rendered by the normaliser,
  // as part of the same undo step.
  for (MessageEdit* editor : {ui->Message, ui->EntryName}) {
    editor->SetMaxLength(MaxLength(editor));
    connect(editor, &MessageEdit::TextCameIn, this, [this, editor] {
      if (editor->TakeIncoming()) NormaliseEditor(editor, true);
    });
  }
  ui->Count->setText("160");
  ui->SaveBlink->setEnabled(false);
}

// ---- blink text ------------------------------------------------------------

int TWin::RichToBlinkText(QTextEdit* editor, std::string* out, bool& toggles) {
  toggles = false;
  if (!editor || EditorLength(editor->document()) > kMessageMax) return -1;
  // Read a copy, so that the editor's selection and scroll position stay.
  CopyRichText(editor, ui->rtfBuf);
  const QTextDocument* d = ui->rtfBuf->document();
  // Paragraphs joined by line breaks, each fragment a run of one marking.
  std::vector<mp::MarkedRun> runs;
  for (QTextBlock b = d->begin(); b.isValid(); b = b.next()) {
    if (b != d->begin()) runs.push_back({U"\n", false});
    for (auto it = b.begin(); !it.atEnd(); ++it) {
      const QTextFragment f = it.fragment();
      const QList<uint> text = f.text().toUcs4();
      runs.push_back({std::u32string(text.begin(), text.end()), IsBlinkRed(f.charFormat())});
    }
  }
  return mp::BlinkText(mp::MarkedChars(runs), out, toggles);
}

void TWin::MessageChange() {
  bool toggles = false;
  const int n = RichToBlinkText(ui->Message, nullptr, toggles);
  const mp::CharsLeft left = mp::CountCharsLeft(n, toggles, ClassIndex());
  ui->Count->setText(QString::fromStdString(left.count));
  ui->SaveBlink->setEnabled(left.enabled);
}

void TWin::NormaliseMessage(bool joinPrevious) { NormaliseEditor(ui->Message, joinPrevious); }

void TWin::NormaliseEditor(QTextEdit* editor, bool joinPrevious) {
  QTextEdit* saved = CurrentEditor;
  QAbstractButton* savedButton = CurrentBlinkButton;
  CurrentEditor = editor;
  CurrentBlinkButton = editor == ui->Message ? ui->BlinkFont : ui->BlinkEntry;
  NormaliseFormatting(joinPrevious);
  CurrentEditor = saved;
  CurrentBlinkButton = savedButton;
}

namespace {

// Undoing the choice of "Hidden" in the message's undo history gives the
// type chosen before back, with the marking that the choice removed.
class ClassUndo : public QAbstractUndoItem {
 public:
  ClassUndo(TWin* win, int before, int after) : win_(win), before_(before), after_(after) {}
  void undo() override { Apply(before_); }
  void redo() override { Apply(after_); }

 private:
  void Apply(int index) {
    win_->SetClassIndex(index);
    if (auto* blink = win_->findChild<QWidget*>("BlinkFont")) blink->setEnabled(win_->ClassIndex() != mp::TypeHidden);
    win_->MessageChange();
  }
  TWin* win_;
  int before_, after_;
};

}  // namespace

void TWin::ClassClick() {
  const int before = classShown_;
  classShown_ = ClassIndex();
  ui->BlinkFont->setEnabled(ClassIndex() != mp::TypeHidden);
  if (!ui->BlinkFont->isEnabled()) {
    // Hidden messages have no blinking: remove every red mark, as one step
    // of the message's undo history that also gives the type back.
    NormaliseMessage(false);
    QTextCursor c(ui->Message->document());
    c.joinPreviousEditBlock();
    ui->Message->document()->appendUndoItem(new ClassUndo(this, before, classShown_));
    c.endEditBlock();
  }
  MessageChange();
}

// ---- blink marking ---------------------------------------------------------

void TWin::BlinkFontClick() {
  if (!CurrentEditor || !CurrentBlinkButton) return;
  QTextCharFormat f;
  f.setForeground(CurrentBlinkButton->isChecked() ? kBlinkRed : WindowText(CurrentEditor));
  CurrentEditor->mergeCurrentCharFormat(f);
}

void TWin::MessageSelectionChange() {
  if (!CurrentEditor || !CurrentBlinkButton) return;
  const QTextCursor c = CurrentEditor->textCursor();
  const QTextCharFormat f =
      c.hasSelection() ? FormatAt(CurrentEditor->document(), c.selectionStart()) : CurrentEditor->currentCharFormat();
  CurrentBlinkButton->setChecked(IsBlinkRed(f));
}

bool TWin::MessageKeyPress(QTextEdit* editor, QKeyEvent* key) {
  if (!editor || editor->isReadOnly()) return false;
  const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
  if (key->key() == Qt::Key_B && mods == Qt::ControlModifier) {
    // Ctrl+B: as a click on the Blink toggle.
    if (CurrentBlinkButton && CurrentBlinkButton->isEnabled()) CurrentBlinkButton->click();
    return true;
  }
  const int max = MaxLength(editor);
  QTextCursor c = editor->textCursor();
  const int selected = c.selectionEnd() - c.selectionStart();
  const int free = max - (Positions(editor->document()) - selected);
  if (key->matches(QKeySequence::Paste)) {
    // The editor's own paste, held to the limit (MessageEdit cuts the pasted
    // text), then the normaliser re-renders what came in in the same step.
    PasteInto(editor);
    return true;
  }
  // A typed character (or a line break) beyond the limit is refused.
  const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
  const QString text = key->text();
  const bool printable = !text.isEmpty() && text.at(0).isPrint() && !(mods & (Qt::ControlModifier | Qt::AltModifier));
  if ((printable || (enter && editor == ui->Message)) && free < 1) return true;
  return false;
}

// ---- formatting normaliser ---------------------------------------------------

void TWin::PasteInto(QTextEdit* editor) {
  auto* edit = qobject_cast<MessageEdit*>(editor);
  if (!edit) return;
  edit->paste();
  if (edit->TakeIncoming()) NormaliseEditor(edit, true);
}

void TWin::CopyRichText(QTextEdit* source, QTextEdit* target, bool joinPrevious) {
  if (!source || !target) return;
  if (!ScratchStream.isOpen()) ScratchStream.open(QIODevice::ReadWrite);
  ScratchStream.seek(0);
  const QByteArray rtf = mp::DocumentToRtf(*source->document(), WindowText(source));
  const qint64 written = ScratchStream.write(rtf);
  ScratchStream.seek(0);
  const QByteArray back = ScratchStream.read(std::max<qint64>(written, 0));
  mp::RtfToDocument(back, *target->document(), -1, joinPrevious ? mp::RtfEdit::JoinPrevious : mp::RtfEdit::Step);
}

void TWin::NormaliseFormatting(bool joinPrevious) {
  QTextEdit* editor = CurrentEditor;
  if (!editor) return;
  const QTextCursor was = editor->textCursor();
  const int anchor = was.anchor(), position = was.position();

  CopyRichText(editor, ui->rtfBuf);
  QTextDocument* d = ui->rtfBuf->document();
  QTextCursor c(d);
  c.beginEditBlock();
  if (editor == ui->EntryName) {
    // The name editor holds one line: line breaks that came in with a paste
    // or a file become blanks, so none reaches the phonebook entry.
    while (d->blockCount() > 1) {
      QTextCursor k(d);
      k.setPosition(d->firstBlock().next().position() - 1);
      k.setPosition(k.position() + 1, QTextCursor::KeepAnchor);
      k.insertText(" ");
    }
    for (QTextCursor k = d->find(QString(QChar::LineSeparator)); !k.isNull();
         k = d->find(QString(QChar::LineSeparator), k))
      k.insertText(" ");
  }
  // Text beyond the editor's limit is cut.
  if (Positions(d) > MaxLength(editor)) {
    c.setPosition(MaxLength(editor));
    c.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    c.removeSelectedText();
  }
  // The editor's font in plain style; left paragraphs without indents or lists.
  const QFont font = editor->font();
  QTextCharFormat plain;
  plain.setFontFamilies(QStringList{font.family()});
  if (font.pointSizeF() > 0)
    plain.setFontPointSize(font.pointSizeF());
  else
    plain.setProperty(QTextFormat::FontPixelSize, font.pixelSize());
  plain.setFontWeight(QFont::Normal);
  plain.setFontItalic(false);
  plain.setFontUnderline(false);
  plain.setFontStrikeOut(false);
  c.select(QTextCursor::Document);
  c.mergeCharFormat(plain);
  QTextBlockFormat para;
  para.setAlignment(Qt::AlignLeft);
  para.setIndent(0);
  para.setTextIndent(0);
  para.setLeftMargin(0);
  para.setRightMargin(0);
  c.setBlockFormat(para);

  // Colours: a red component of 128 or more blinks (pure red); everything else,
  // the automatic colour and the window text colour itself included, takes the
  // window text colour. Without an enabled Blink toggle nothing blinks.
  const bool marking = CurrentBlinkButton && CurrentBlinkButton->isEnabled();
  const QColor text = WindowText(editor);
  struct Span {
    int from, length;
    bool red;
  };
  std::vector<Span> spans;
  for (QTextBlock b = d->begin(); b.isValid(); b = b.next()) {
    for (auto it = b.begin(); !it.atEnd(); ++it) {
      const QTextFragment f = it.fragment();
      const QTextCharFormat cf = f.charFormat();
      const bool red = marking && HasColour(cf) && cf.foreground().color().rgb() != text.rgb() &&
                       cf.foreground().color().red() >= 128;
      spans.push_back({f.position(), f.length(), red});
    }
    // The paragraph mark takes the colour of the text before it.
    const bool red = !spans.empty() && spans.back().red;
    if (b.next().isValid()) spans.push_back({b.position() + b.length() - 1, 1, red});
  }
  for (const Span& s : spans) {
    QTextCursor r(d);
    r.setPosition(s.from);
    r.setPosition(s.from + s.length, QTextCursor::KeepAnchor);
    QTextCharFormat f;
    f.setForeground(s.red ? kBlinkRed : text);
    r.mergeCharFormat(f);
  }
  c.endEditBlock();

  CopyRichText(ui->rtfBuf, editor, joinPrevious);
  const int end = Positions(editor->document());
  QTextCursor now(editor->document());
  now.setPosition(std::min(anchor, end));
  now.setPosition(std::min(position, end), QTextCursor::KeepAnchor);
  editor->setTextCursor(now);
  MessageSelectionChange();
}

// ---- sending ---------------------------------------------------------------

void TWin::SaveBlinkClick() {
  if (!SendWin || mp::ShowModal(SendWin) != QDialog::Accepted) return;
  std::string text;
  bool toggles = false;
  const int n = RichToBlinkText(ui->Message, &text, toggles);
  const int type = std::max(ClassIndex(), 0);
  // The button is enabled only within the limit; a change since then that
  // broke it sends nothing rather than a cut message.
  if (n <= 0 || n > mp::TextLimit(type, toggles)) return;
  const mp::Body body = mp::BuildTextBody(type, text, toggles);
  Phone.TransferMessage(SendWin->Transfer(), body.header, body.hex, body.status);
  if (mp::ChooseTextKind(type, toggles) == mp::TextKind::Normal) Phone.LogReady = true;
}
