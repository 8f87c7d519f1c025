#pragma once
// The rich-text machinery that the text page's Message and the phonebook
// page's EntryName share: the blink marking, which lives only in the
// editors' character colours (a character blinks when it is pure red), the
// formatting normaliser, the length limits and the editors' keys. The
// handlers act on CurrentEditor and CurrentBlinkButton, the editor of the
// page shown and its Blink toggle.
#include <QBuffer>
#include <QObject>
#include <string>
#include <vector>

#include "builders/Messages.h"

class MessageEdit;
class QAbstractButton;
class QKeyEvent;
class QTextEdit;

namespace mp {

class Editors : public QObject {
 public:
  struct Controls {
    MessageEdit* Message;
    MessageEdit* EntryName;       // null until the phonebook page is built (SetupEntry)
    QAbstractButton* BlinkFont;   // Message's Blink toggle
    QAbstractButton* BlinkEntry;  // EntryName's
    QTextEdit* rtfBuf;            // the scratch editor of the rich-text copies
  };
  // Connects the editors and toggles to the handlers, sets the limits: the
  // text page's here, the phonebook page's once that page is built.
  void Setup(const Controls& controls);
  void SetupEntry(MessageEdit* entryName, QAbstractButton* blinkEntry);

  QTextEdit* CurrentEditor = nullptr;
  QAbstractButton* CurrentBlinkButton = nullptr;
  QBuffer ScratchStream;  // the scratch stream of CopyRichText

  // The editor's text as runs of one marking each, paragraphs joined by line
  // breaks (read from a copy, so that the selection and scroll position stay).
  std::vector<MarkedRun> Runs(QTextEdit* editor);
  // "Long and Unicode messages": Message holds a long text's characters.
  void SetLongText(bool on);
  // Returns the blink text length or -1; writes the blink text to `out` when given.
  int RichToBlinkText(QTextEdit* editor, std::string* out, bool& toggles);
  // The formatting normaliser, on CurrentEditor. It keeps the editor's undo
  // history: its rewrite is an undo step of its own, or with `joinPrevious`
  // part of the step before (the paste or file load it completes).
  void NormaliseFormatting(bool joinPrevious = false);
  // The normaliser on Message with BlinkFont whatever page is shown.
  void NormaliseMessage(bool joinPrevious = false);
  // The normaliser on `editor` (Message or EntryName) with its Blink toggle.
  void NormaliseEditor(QTextEdit* editor, bool joinPrevious);
  // Pastes the clipboard into `editor` (cut to the room left) and normalises.
  void PasteInto(QTextEdit* editor);
  void CopyRichText(QTextEdit* source, QTextEdit* target, bool joinPrevious = false);
  int MaxLength(QTextEdit* editor) const;  // 320 for Message, 32 for EntryName

  void BlinkFontClick();          // the Blink toggle marks the selection or what is typed next
  void MessageSelectionChange();  // the toggle shows the marking at the cursor
  // Key handling of Message and EntryName (Ctrl+B, Ctrl+V); true when consumed.
  bool MessageKeyPress(QTextEdit* editor, QKeyEvent* key);

 private:
  void SetupEditor(MessageEdit* editor, QAbstractButton* blink);
  Controls c_{};
  bool longText_ = false;
};

}  // namespace mp
