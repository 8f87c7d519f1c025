#include "app/pages/TextPage.h"

#include <QAbstractButton>
#include <QAbstractUndoItem>
#include <QButtonGroup>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <algorithm>

#include "app/pages/Editors.h"
#include "builders/Messages.h"
#include "dialogs/Send.h"
#include "phone/PhoneLink.h"
#include "widgets/Look.h"

namespace mp {

namespace {

// Undoing the choice of "Hidden" in the message's undo history gives the
// type chosen before back, with the marking that the choice removed.
class ClassUndo : public QAbstractUndoItem {
 public:
  ClassUndo(TextPage* page, QAbstractButton* blink, int before, int after)
      : page_(page), blink_(blink), before_(before), after_(after) {}
  void undo() override { Apply(before_); }
  void redo() override { Apply(after_); }

 private:
  void Apply(int index) {
    page_->SetClassIndex(index);
    blink_->setEnabled(page_->ClassIndex() != TypeHidden);
    page_->MessageChange();
  }
  TextPage* page_;
  QAbstractButton* blink_;
  int before_, after_;
};

}  // namespace

void TextPage::Setup(const Controls& controls, Editors& editors, PageLinks links) {
  c_ = controls;
  editors_ = &editors;
  links_ = std::move(links);
  connect(c_.Message, &QTextEdit::textChanged, this, &TextPage::MessageChange);
  connect(c_.ClassButtons, &QButtonGroup::idClicked, this, &TextPage::ClassClick);
  connect(c_.SaveBlink, &QAbstractButton::clicked, this, &TextPage::SaveBlinkClick);
  c_.Count->setText("160");
  c_.SaveBlink->setEnabled(false);
}

int TextPage::ClassIndex() const { return c_.ClassButtons->checkedId(); }

void TextPage::SetClassIndex(int index) {
  if (QAbstractButton* b = c_.ClassButtons->button(index)) b->setChecked(true);
  classShown_ = ClassIndex();
}

void TextPage::SetLongText(bool on) {
  longText_ = on;
  editors_->SetLongText(on);
  MessageChange();
}

LongText TextPage::LongParts() {
  return BuildLongText(std::max(ClassIndex(), 0), TextChars(editors_->Runs(c_.Message)), TextCoding::Auto,
                       kWindowMaxParts, 0);
}

void TextPage::MessageChange() {
  if (longText_) {
    const LongText t = LongParts();
    c_.Count->setText(QString::fromStdString(LongCount(t)));
    c_.SaveBlink->setEnabled(t.Fits());
    return;
  }
  bool toggles = false;
  const int n = editors_->RichToBlinkText(c_.Message, nullptr, toggles);
  const CharsLeft left = CountCharsLeft(n, toggles, ClassIndex());
  c_.Count->setText(QString::fromStdString(left.count));
  c_.SaveBlink->setEnabled(left.enabled);
  HintAtLimit(left, n);
}

void TextPage::HintAtLimit(const CharsLeft& left, int n) {
  if (hinted_ || !links_.status || (n != -1 && left.count != "0" && left.count.rfind('-', 0) != 0)) return;
  hinted_ = true;
  links_.status("Longer and Unicode texts are possible with View > Long and Unicode messages.");
}

void TextPage::ClassClick() {
  const int before = classShown_;
  classShown_ = ClassIndex();
  c_.BlinkFont->setEnabled(ClassIndex() != TypeHidden);
  if (!c_.BlinkFont->isEnabled()) {
    // Hidden messages have no blinking: remove every red mark, as one step
    // of the message's undo history that also gives the type back.
    editors_->NormaliseMessage(false);
    QTextCursor c(c_.Message->document());
    c.joinPreviousEditBlock();
    c_.Message->document()->appendUndoItem(new ClassUndo(this, c_.BlinkFont, before, classShown_));
    c.endEditBlock();
  }
  MessageChange();
}

void TextPage::SaveBlinkClick() {
  if (longText_) {
    SaveLongText();
    return;
  }
  TSendWin* send = links_.SendDialog();
  if (!send || ShowModal(send) != QDialog::Accepted) return;
  std::string text;
  bool toggles = false;
  const int n = editors_->RichToBlinkText(c_.Message, &text, toggles);
  const int type = std::max(ClassIndex(), 0);
  // The button is enabled only within the limit; a change since then that
  // broke it sends nothing rather than a cut message.
  if (n <= 0 || n > TextLimit(type, toggles)) return;
  const Body body = BuildTextBody(type, text, toggles);
  links_.phone->TransferMessage(send->Transfer(), body.header, body.hex, body.status);
  if (ChooseTextKind(type, toggles) == TextKind::Normal) links_.phone->LogReady = true;
}

void TextPage::SaveLongText() {
  TSendWin* send = links_.SendDialog();
  if (!send || ShowModal(send) != QDialog::Accepted) return;
  const std::vector<TextChar> chars = TextChars(editors_->Runs(c_.Message));
  const int type = std::max(ClassIndex(), 0);
  const LongText t = BuildLongText(type, chars, TextCoding::Auto, kWindowMaxParts, 0);
  // As with a single message: a text that no longer fits sends nothing.
  if (!t.Fits()) return;
  std::vector<Body> parts;
  for (const TextPart& p : t.parts) parts.push_back(p.body);
  const TransferSettings settings = send->Transfer();
  const int reference = parts.size() > 1 && links_.reference ? links_.reference(settings.DestAddress) : 0;
  SetReference(parts, reference);
  links_.phone->TransferParts(settings, parts, reference);
  if (ChooseTextKind(type, AnyBlink(chars)) == TextKind::Normal) links_.phone->LogReady = true;
}

}  // namespace mp
