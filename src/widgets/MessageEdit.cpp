#include "widgets/MessageEdit.h"

#include <QMimeData>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTimer>
#include <algorithm>
#include <utility>

MessageEdit::MessageEdit(QWidget* parent) : QTextEdit(parent) {
  connect(document(), &QTextDocument::contentsChange, this, [this](int from, int, int added) {
    changeStart_ = from;
    changeEnd_ = from + added;
  });
  connect(this, &QTextEdit::textChanged, this, [this] {
    if (Positions() > max_) QTimer::singleShot(0, this, &MessageEdit::CutOverflow);
  });
}

int MessageEdit::Positions() const { return std::max(0, document()->characterCount() - 1); }

bool MessageEdit::TakeIncoming() { return std::exchange(incoming_, false); }

void MessageEdit::insertFromMimeData(const QMimeData* source) {
  if (!source || isReadOnly()) return;
  QTextDocumentFragment fragment;
  if (acceptRichText() && source->hasHtml()) {
    fragment = QTextDocumentFragment::fromHtml(source->html(), document());
  } else if (source->hasText()) {
    fragment = QTextDocumentFragment::fromPlainText(source->text());
  } else {
    return;
  }
  QTextCursor c = textCursor();
  const int room = std::max(0, max_ - (Positions() - (c.selectionEnd() - c.selectionStart())));
  // Cut the incoming text to the room left, keeping its formatting.
  QTextDocument scratch;
  QTextCursor s(&scratch);
  s.insertFragment(fragment);
  if (scratch.characterCount() - 1 > room) {
    s.setPosition(room);
    s.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    s.removeSelectedText();
    fragment = QTextDocumentFragment(&scratch);
  }
  c.beginEditBlock();
  if (fragment.isEmpty())
    c.removeSelectedText();
  else
    c.insertFragment(fragment);
  c.endEditBlock();
  setTextCursor(c);
  ensureCursorVisible();
  incoming_ = true;
  QMetaObject::invokeMethod(this, &MessageEdit::TextCameIn, Qt::QueuedConnection);
}

void MessageEdit::CutOverflow() {
  const int over = Positions() - max_;
  if (over <= 0) return;
  // The end of what the last change inserted goes; the text after it stays.
  int end = std::clamp(changeEnd_, 0, Positions());
  int start = std::max(std::max(changeStart_, 0), end - over);
  if (end - start < over) {  // not known: the end of the document
    end = Positions();
    start = end - over;
  }
  QTextCursor c(document());
  c.joinPreviousEditBlock();
  c.setPosition(start);
  c.setPosition(end, QTextCursor::KeepAnchor);
  c.removeSelectedText();
  c.endEditBlock();
}
