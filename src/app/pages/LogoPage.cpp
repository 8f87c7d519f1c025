#include "app/pages/LogoPage.h"

#include <QAbstractItemView>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QValidator>

#include "builders/Messages.h"
#include "dialogs/Send.h"
#include "phone/PhoneLink.h"
#include "platform/Ansi.h"
#include "widgets/Look.h"

namespace mp {

namespace {

constexpr int kOperatorChars = 32;  // what the user may type into cmbOperator
constexpr int kPreviewWidth = 216;
constexpr int kPreviewHeight = 50;

// Limits what the user types to 32 characters. A length limit of the line
// edit itself would also cut the placeholder (38 characters) when the page
// puts it in; a validator only judges the user's edits.
class OperatorLength : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int&) const override {
    return input.size() <= kOperatorChars ? Acceptable : Invalid;
  }
};

// Runs cmbOperatorClick before the text change that a pick from the list
// causes: the toolkit changes the text first and reports the pick after it,
// so the events that lead to a pick are caught on their way in. Filters run
// in the reverse order of their installation, so this one sees the list's
// mouse and key events before the combo box's own popup handling does.
class OperatorPicks : public QObject {
 public:
  OperatorPicks(LogoPage* page, QComboBox* box) : QObject(page), page_(page), box_(box) {
    box_->installEventFilter(this);
    box_->view()->installEventFilter(this);
    box_->view()->viewport()->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (PickFollows(watched, event)) {
      page_->cmbOperatorClick();
      // A pick of the entry already shown changes no text; the check then
      // runs on its own so that OperatorCode is never left empty.
      QTimer::singleShot(0, page_, [page = page_] {
        if (page->OperatorCode.empty()) page->cmbOperatorChange();
      });
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  bool PickFollows(QObject* watched, QEvent* event) const {
    // Only input events are looked at: others also arrive while the box is
    // being destroyed, when it can no longer be asked anything.
    switch (event->type()) {
      case QEvent::MouseButtonRelease:
      case QEvent::ShortcutOverride:
      case QEvent::KeyPress:
      case QEvent::Wheel:
        break;
      default:
        return false;
    }
    QAbstractItemView* view = box_->view();
    const bool popupShown = view->isVisible();
    switch (event->type()) {
      case QEvent::MouseButtonRelease:
        return watched == view->viewport() && popupShown && view->currentIndex().isValid();
      case QEvent::ShortcutOverride:
      case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (watched == view) {
          // Enter, Return, F4 and Alt+Down close the list with its current entry.
          const bool closes = key->key() == Qt::Key_Enter || key->key() == Qt::Key_Return ||
                              key->key() == Qt::Key_F4 ||
                              (key->key() == Qt::Key_Down && (key->modifiers() & Qt::AltModifier));
          return popupShown && closes && view->currentIndex().isValid();
        }
        // Up and Down in the closed box step through the list.
        if (watched == box_ && event->type() == QEvent::KeyPress && !popupShown) {
          const bool alt = key->modifiers() & Qt::AltModifier;
          switch (key->key()) {
            case Qt::Key_Up:
            case Qt::Key_Down:
            case Qt::Key_PageUp:
            case Qt::Key_PageDown:
              return !alt && box_->count() > 0;
            default:
              return false;
          }
        }
        return false;
      }
      case QEvent::Wheel:
        return watched == box_ && !popupShown && box_->count() > 0;
      default:
        return false;
    }
  }

  LogoPage* page_;
  QComboBox* box_;
};

}  // namespace

void LogoPage::Setup(const Controls& controls, PageLinks links) {
  c_ = controls;
  links_ = std::move(links);
  QComboBox* box = c_.cmbOperator;
  // Typed text is never taken into the list by the box itself (the list is
  // the history that cmdSaveLogoClick keeps) and is never completed from it:
  // a completion would turn the one character typed over the placeholder
  // into a whole entry.
  box->setInsertPolicy(QComboBox::NoInsert);
  box->setCompleter(nullptr);
  box->setMaxVisibleItems(10);
  // With a placeholder of its own the box chooses no entry when the history
  // is loaded, so that it starts with an empty text, as the placeholder rules
  // expect. An editable box never draws this text.
  box->setPlaceholderText(QString::fromLatin1(kOperatorPlaceholder));
  box->lineEdit()->setMaxLength(32767);
  box->setValidator(new OperatorLength(box));
  new OperatorPicks(this, box);

  c_.txtDesc->setMaxLength(11);
  c_.imgPreview->setScaledContents(true);

  connect(c_.cmdPasteLogo, &QPushButton::clicked, this, &LogoPage::cmdPasteLogoClick);
  connect(box, &QComboBox::editTextChanged, this, &LogoPage::cmbOperatorChange);
  connect(c_.cmdSaveLogo, &QPushButton::clicked, this, &LogoPage::cmdSaveLogoClick);
}

void LogoPage::BitmapToLogo(const QImage* picture) {
  LogoBits = LogoBitsFromImage(picture, &LogoPreview);
  // Stretched without smoothing, so that the preview shows exactly the two
  // colours that will be sent.
  c_.imgPreview->setPixmap(QPixmap::fromImage(LogoPreview.scaled(
      kPreviewWidth, kPreviewHeight, Qt::IgnoreAspectRatio, Qt::FastTransformation)));
  links_.PreviewChanged();
}

void LogoPage::cmdPasteLogoClick() {
  const QImage picture = QGuiApplication::clipboard()->image();
  if (picture.isNull()) {
    // Nothing usable on the clipboard: the previous logo stays.
    if (links_.status) links_.status("Clipboard does not contain a bitmap.");
    if (links_.beep) links_.beep(BeepKind::Exclamation);
    return;
  }
  BitmapToLogo(&picture);
}

void LogoPage::cmbOperatorChange() {
  QComboBox* box = c_.cmbOperator;
  const OperatorCheck check = CheckOperator(ToAnsi(box->currentText()), OperatorCode);
  if (check.replaced) {
    // The placeholder put in by the page is no user change: no second check.
    const QSignalBlocker blocker(box);
    box->setEditText(FromAnsi(check.text));
    if (box->hasFocus()) box->lineEdit()->selectAll();
  }
  OperatorCode = check.code;
  c_.cmdSaveLogo->setEnabled(check.valid);
}

void LogoPage::cmbOperatorClick() { OperatorCode.clear(); }

void LogoPage::cmdSaveLogoClick() {
  TSendWin* send = links_.SendDialog();
  if (ShowModal(send) != QDialog::Accepted) return;

  QComboBox* box = c_.cmbOperator;
  std::vector<std::string> history;
  for (int i = 0; i < box->count(); ++i) history.push_back(ToAnsi(box->itemText(i)));
  if (UpdateOperatorHistory(history, ToAnsi(box->currentText()), OperatorCode) == 0) {
    // The newest entry is chosen, which shows the text without its leading
    // blanks; OperatorCode stays as it is.
    const QSignalBlocker blocker(box);
    box->clear();
    for (const std::string& entry : history) box->addItem(FromAnsi(entry));
    box->setCurrentIndex(0);
  }

  const Body body = BuildLogoBody(OperatorCode, LogoBits);
  if (send->SaveMode) {
    // The description shows in the phone's outbox as the message's address.
    send->DestAddress = DescriptionAddress(ToAnsi(c_.txtDesc->text()));
  }
  links_.phone->TransferMessage(send->Transfer(), body.header, body.hex, body.status);
  links_.phone->LogReady = true;
}

}  // namespace mp
