#include "app/pages/Editors.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <algorithm>
#include <vector>

#include "builders/LongText.h"
#include "builders/Messages.h"
#include "platform/Rtf.h"
#include "widgets/MessageEdit.h"

namespace mp {

namespace {

constexpr int kMessageMax = 320;
// With the option "Long and Unicode messages": what the most parts hold.
constexpr int kLongMessageMax = kMaxParts * kConcatSeptets;
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

int Editors::MaxLength(QTextEdit* editor) const {
  if (editor == c_.EntryName) return kEntryNameMax;
  return longText_ ? kLongMessageMax : kMessageMax;
}

void Editors::SetLongText(bool on) {
  longText_ = on;
  if (c_.Message) c_.Message->SetMaxLength(MaxLength(c_.Message));
}

void Editors::Setup(const Controls& controls) {
  c_ = controls;
  c_.rtfBuf->setUndoRedoEnabled(false);
  SetupEditor(c_.Message, c_.BlinkFont);
  if (c_.EntryName) SetupEditor(c_.EntryName, c_.BlinkEntry);
}

void Editors::SetupEntry(MessageEdit* entryName, QAbstractButton* blinkEntry) {
  c_.EntryName = entryName;
  c_.BlinkEntry = blinkEntry;
  SetupEditor(entryName, blinkEntry);
}

void Editors::SetupEditor(MessageEdit* editor, QAbstractButton* blink) {
  connect(editor, &QTextEdit::selectionChanged, this, &Editors::MessageSelectionChange);
  connect(editor, &QTextEdit::cursorPositionChanged, this, &Editors::MessageSelectionChange);
  connect(blink, &QAbstractButton::clicked, this, &Editors::BlinkFontClick);
  // The Blink toggles act on the editor's selection: a click never takes the
  // focus from it, Tab reaches them.
  blink->setFocusPolicy(Qt::TabFocus);
  // The editors hold at most MaxLength characters; text that comes in from
  // outside is cut to the room left and then re-rendered by the normaliser,
  // as part of the same undo step.
  editor->SetMaxLength(MaxLength(editor));
  connect(editor, &MessageEdit::TextCameIn, this, [this, editor] {
    if (editor->TakeIncoming()) NormaliseEditor(editor, true);
  });
}

// ---- blink text ------------------------------------------------------------

int Editors::RichToBlinkText(QTextEdit* editor, std::string* out, bool& toggles) {
  toggles = false;
  if (!editor || EditorLength(editor->document()) > kMessageMax) return -1;
  return BlinkText(MarkedChars(Runs(editor)), out, toggles);
}

std::vector<MarkedRun> Editors::Runs(QTextEdit* editor) {
  // Read a copy, so that the editor's selection and scroll position stay.
  CopyRichText(editor, c_.rtfBuf);
  const QTextDocument* d = c_.rtfBuf->document();
  // Paragraphs joined by line breaks, each fragment a run of one marking.
  std::vector<MarkedRun> runs;
  for (QTextBlock b = d->begin(); b.isValid(); b = b.next()) {
    if (b != d->begin()) runs.push_back({U"\n", false});
    for (auto it = b.begin(); !it.atEnd(); ++it) {
      const QTextFragment f = it.fragment();
      const QList<uint> text = f.text().toUcs4();
      runs.push_back({std::u32string(text.begin(), text.end()), IsBlinkRed(f.charFormat())});
    }
  }
  return runs;
}

void Editors::NormaliseMessage(bool joinPrevious) { NormaliseEditor(c_.Message, joinPrevious); }

void Editors::NormaliseEditor(QTextEdit* editor, bool joinPrevious) {
  QTextEdit* saved = CurrentEditor;
  QAbstractButton* savedButton = CurrentBlinkButton;
  CurrentEditor = editor;
  CurrentBlinkButton = editor == c_.Message ? c_.BlinkFont : c_.BlinkEntry;
  NormaliseFormatting(joinPrevious);
  CurrentEditor = saved;
  CurrentBlinkButton = savedButton;
}

// ---- blink marking ---------------------------------------------------------

void Editors::BlinkFontClick() {
  if (!CurrentEditor || !CurrentBlinkButton) return;
  QTextCharFormat f;
  f.setForeground(CurrentBlinkButton->isChecked() ? kBlinkRed : WindowText(CurrentEditor));
  CurrentEditor->mergeCurrentCharFormat(f);
}

void Editors::MessageSelectionChange() {
  if (!CurrentEditor || !CurrentBlinkButton) return;
  const QTextCursor c = CurrentEditor->textCursor();
  const QTextCharFormat f =
      c.hasSelection() ? FormatAt(CurrentEditor->document(), c.selectionStart()) : CurrentEditor->currentCharFormat();
  CurrentBlinkButton->setChecked(IsBlinkRed(f));
}

bool Editors::MessageKeyPress(QTextEdit* editor, QKeyEvent* key) {
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
  if ((printable || (enter && editor == c_.Message)) && free < 1) return true;
  return false;
}

// ---- formatting normaliser ---------------------------------------------------

void Editors::PasteInto(QTextEdit* editor) {
  auto* edit = qobject_cast<MessageEdit*>(editor);
  if (!edit) return;
  edit->paste();
  if (edit->TakeIncoming()) NormaliseEditor(edit, true);
}

void Editors::CopyRichText(QTextEdit* source, QTextEdit* target, bool joinPrevious) {
  if (!source || !target) return;
  if (!ScratchStream.isOpen()) ScratchStream.open(QIODevice::ReadWrite);
  ScratchStream.seek(0);
  const QByteArray rtf = DocumentToRtf(*source->document(), WindowText(source));
  const qint64 written = ScratchStream.write(rtf);
  ScratchStream.seek(0);
  const QByteArray back = ScratchStream.read(std::max<qint64>(written, 0));
  RtfToDocument(back, *target->document(), -1, joinPrevious ? RtfEdit::JoinPrevious : RtfEdit::Step);
}

void Editors::NormaliseFormatting(bool joinPrevious) {
  QTextEdit* editor = CurrentEditor;
  if (!editor) return;
  const QTextCursor was = editor->textCursor();
  const int anchor = was.anchor(), position = was.position();

  CopyRichText(editor, c_.rtfBuf);
  QTextDocument* d = c_.rtfBuf->document();
  QTextCursor c(d);
  c.beginEditBlock();
  if (editor == c_.EntryName) {
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

  CopyRichText(c_.rtfBuf, editor, joinPrevious);
  const int end = Positions(editor->document());
  QTextCursor now(editor->document());
  now.setPosition(std::min(anchor, end));
  now.setPosition(std::min(position, end), QTextCursor::KeepAnchor);
  editor->setTextCursor(now);
  MessageSelectionChange();
}

}  // namespace mp
