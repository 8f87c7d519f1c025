#pragma once
// The "(Blinking) Messages" page: Message with its count of characters left,
// the message type (Normal, Class 0, Hidden) and SaveBlink. The editor
// machinery it shares with the phonebook page is in Editors.
#include <QObject>

#include "app/pages/PageLinks.h"
#include "builders/LongText.h"

class QAbstractButton;
class QButtonGroup;
class QLabel;
class QPushButton;
class QTextEdit;

namespace mp {

class Editors;

class TextPage : public QObject {
 public:
  struct Controls {
    QTextEdit* Message;
    QLabel* Count;
    QPushButton* SaveBlink;
    QAbstractButton* BlinkFont;
    QButtonGroup* ClassButtons;  // ClassNormal, ClassClass0, ClassHidden with the ids 0, 1, 2
  };
  void Setup(const Controls& controls, Editors& editors, PageLinks links);

  int ClassIndex() const;  // 0 Normal, 1 Class 0, 2 Hidden, -1 none
  void SetClassIndex(int index);

  // The option "Long and Unicode messages": the text goes in as many parts
  // as it needs (at most kWindowMaxParts), in the automatic alphabet.
  void SetLongText(bool on);
  bool LongTextOn() const { return longText_; }
  // Every part the page would send now, with reference 00 (empty when the
  // text is empty or takes more parts than allowed).
  LongText LongParts();

  void MessageChange();  // the count and SaveBlink follow the text and the type
  void ClassClick();     // Hidden removes the marking, as one undo step
  void SaveBlinkClick();

 private:
  Controls c_{};
  Editors* editors_ = nullptr;
  PageLinks links_;
  int classShown_ = 0;  // the message type before the latest click
  bool longText_ = false;
  bool hinted_ = false;  // the status bar has told once of the option
  // With the option off, a text that reaches its limit: the status bar says
  // once that the option sends longer and Unicode texts.
  void HintAtLimit(const CharsLeft& left, int n);
  void SaveLongText();
};

}  // namespace mp
