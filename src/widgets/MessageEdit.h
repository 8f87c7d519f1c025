#pragma once
// The rich-text editors of the message and of the phonebook name. Text that
// comes in from outside (Paste, Ctrl+V, text dropped on the editor, the
// selection pasted with the middle button) is cut to the room left under the
// editor's limit before it is inserted, so that what the user typed is never
// pushed out. Any other change that overflows (an input method, for example)
// loses the end of what it inserted, never the text after it.
#include <QTextEdit>

class MessageEdit : public QTextEdit {
  Q_OBJECT

 public:
  explicit MessageEdit(QWidget* parent = nullptr);

  void SetMaxLength(int positions) { max_ = positions; }
  int MaxLength() const { return max_; }
  // Positions of the document, a paragraph mark counting one.
  int Positions() const;
  // True once after text came in from outside; the call clears it.
  bool TakeIncoming();

 signals:
  // Text came in from outside; sent queued, after the editor's own handling.
  void TextCameIn();

 protected:
  void insertFromMimeData(const QMimeData* source) override;

 private:
  void CutOverflow();
  int max_ = 320;
  bool incoming_ = false;
  int changeEnd_ = -1;  // end of the text inserted by the last change
  int changeStart_ = 0;
};
