// The main window's pages: the pages not shown at start are built here (at
// once or after the first paint), each page's controls are handed to its
// object in src/app/pages, and the window's handlers of the page forward to it.
#include <QKeyEvent>
#include <QMenu>
#include <QTabWidget>
#include <QTextDocument>
#include <QTextEdit>
#include <functional>
#include <utility>

#include "dialogs/AccessNames.h"
#include "dropfile/DropFile.h"
#include "widgets/Look.h"

#include "app/App.h"
#include "app/Main.h"
#include "app/MainForm.h"

// ---- the pages built after the first paint ----

void TWin::ConnectPopupMenu(QTextEdit* editor) {
  connect(editor, &QWidget::customContextMenuRequested, this, [this, editor](const QPoint& pos) {
    PopupMenu1->popup(editor->viewport()->mapToGlobal(pos));
  });
}

void TWin::SetTabOrder() {
  // Tab and Shift+Tab go round every control in the order the eye reads
  // them: the rows, the shown page's controls, the port box.
  QWidget* const order[] = {rows_,
                            ui->BlinkFont, ui->Message, ui->ClassNormal, ui->ClassClass0,
                            ui->ClassHidden, ui->SaveBlink,
                            ui->VoiceOn, ui->VoiceOff, ui->FaxOn, ui->FaxOff, ui->EmailOn,
                            ui->EmailOff, ui->Forward, ui->SaveInd,
                            ui->BitBtn1,
                            ui->SaveTemp,
                            ui->BlinkEntry, ui->EntryName, ui->EntryNo, ui->SaveEntry,
                            ui->cmdPasteLogo, ui->txtDesc, ui->cmbOperator, ui->cmdSaveLogo,
                            ui->ComPort};
  QWidget* previous = nullptr;
  for (QWidget* w : order) {
    if (!w) continue;  // a page not built yet
    if (previous) QWidget::setTabOrder(previous, w);
    previous = w;
  }
}

void TWin::BuildPages() {
  if (pagesBuilt_ || !ui) return;
  pagesBuilt_ = true;
  ui->setupPages();
  // A page switched to before the build is on the screen already: its new
  // controls show at once (those of a hidden page show with it).
  if (QWidget* shown = ui->PageControl->currentWidget(); shown && shown->isVisible()) {
    for (QWidget* child : shown->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      if (!child->testAttribute(Qt::WA_WState_ExplicitShowHide)) child->show();
    }
  }
  mp::PaintShape(ui->Shape2, QColor(224, 255, 192), 0);  // behind the logo's preview
  ui->SaveInd->setIcon(mp::ActionIcon(mp::ActionPicture::Send));
  ui->BitBtn1->setIcon(mp::ActionIcon(mp::ActionPicture::Send));
  ui->cmdSaveLogo->setIcon(mp::ActionIcon(mp::ActionPicture::Send));
  ui->SaveTemp->setIcon(mp::ActionIcon(mp::ActionPicture::Sim));
  ui->SaveEntry->setIcon(mp::ActionIcon(mp::ActionPicture::Phone));
  ui->cmdPasteLogo->setIcon(mp::ActionIcon(mp::ActionPicture::Paste));
  ConnectPopupMenu(ui->EntryName);
  for (QWidget* page : {ui->TabSheet2, ui->TabSheet3, ui->TabSheet4, ui->TabSheet5, ui->TabSheet6}) {
    for (QWidget* child : page->findChildren<QWidget*>()) child->installEventFilter(this);
  }
  // Files dropped on the new controls reach the drop target too.
  DropFile1->SetDropTarget(ui->PageControl);
  editors_.SetupEntry(ui->EntryName, ui->BlinkEntry);
  SetupIndicatorPage();
  SetupVoidPages();
  SetupLogoPage();
  SetupPhonebookPage();
  ConnectPagePreviews();
  SetTabOrder();
  mp::SetHintHidePause(this);

  // What the form's start gives these pages.
  for (const QString& name : std::as_const(storedOperators_)) ui->cmbOperator->addItem(name);
  storedOperators_.clear();
  ui->EntryName->document()->clearUndoRedoStacks();
  ui->EntryName->document()->setModified(false);
  BitmapToLogo(nullptr);
  cmbOperatorChange();
  UpdatePhoneOnly();
  // Built after the windows were named for screen readers: name these too.
  if (constructed_) mp::NameControls(this);
}

mp::PageLinks TWin::Links() {
  mp::PageLinks links;
  links.phone = &Phone;
  links.sendDialog = [] {
    mp::CreateDialogs();
    return SendWin;
  };
  links.codingDialog = [] {
    mp::CreateDialogs();
    return CodingWin;
  };
  links.previewChanged = [this] { PreviewChanged(); };
  links.status = [this](const std::string& text) { ShowStatus(text); };
  links.beep = [this](mp::BeepKind kind) { Beep(kind); };
  links.reference = [this](const std::string& destination) {
    // The record is opened for it (when it is on), so that its rows lead.
    if (SentRecorder && mp::record::Enabled()) SentRecorder->EnsureOpen();
    return SentRecord ? SentRecord->NextReference(destination) : 0;
  };
  return links;
}

// ---- indicator page ----

void TWin::SetupIndicatorPage() {
  indicatorPage_.Setup({ui->VoiceOn, ui->VoiceOff, ui->FaxOn, ui->FaxOff, ui->EmailOn, ui->EmailOff, ui->Forward,
                        ui->SaveInd, ui->imgVoice, ui->imgFax, ui->imgEmail},
                       Links());
}

void TWin::VoiceOnClick() { indicatorPage_.VoiceOnClick(); }
void TWin::VoiceOffClick() { indicatorPage_.VoiceOffClick(); }
void TWin::FaxOnClick() { indicatorPage_.FaxOnClick(); }
void TWin::FaxOffClick() { indicatorPage_.FaxOffClick(); }
void TWin::EmailOnClick() { indicatorPage_.EmailOnClick(); }
void TWin::EmailOffClick() { indicatorPage_.EmailOffClick(); }
void TWin::UpdateIndicatorState() { indicatorPage_.UpdateIndicatorState(); }
mp::Indicators TWin::IndicatorChoice() const { return indicatorPage_.IndicatorChoice(); }
void TWin::SaveIndClick() { indicatorPage_.SaveIndClick(); }

// ---- shared editor machinery and the text page ----

void TWin::SetupTextPage() {
  textPage_.Setup({ui->Message, ui->Count, ui->SaveBlink, ui->BlinkFont, ui->ClassButtons}, editors_, Links());
  editors_.Setup({ui->Message, nullptr, ui->BlinkFont, nullptr, ui->rtfBuf});
}

int TWin::RichToBlinkText(QTextEdit* editor, std::string* out, bool& toggles) {
  return editors_.RichToBlinkText(editor, out, toggles);
}
void TWin::CopyRichText(QTextEdit* source, QTextEdit* target, bool joinPrevious) {
  editors_.CopyRichText(source, target, joinPrevious);
}
bool TWin::MessageKeyPress(QTextEdit* editor, QKeyEvent* key) { return editors_.MessageKeyPress(editor, key); }
void TWin::BlinkFontClick() { editors_.BlinkFontClick(); }
void TWin::MessageSelectionChange() { editors_.MessageSelectionChange(); }

int TWin::ClassIndex() const { return textPage_.ClassIndex(); }
void TWin::SetClassIndex(int index) { textPage_.SetClassIndex(index); }
void TWin::MessageChange() { textPage_.MessageChange(); }
void TWin::ClassClick() { textPage_.ClassClick(); }
void TWin::SaveBlinkClick() { textPage_.SaveBlinkClick(); }

// ---- void and template pages ----

void TWin::SetupVoidPages() { voidPages_.Setup({ui->BitBtn1, ui->SaveTemp}, Links()); }

void TWin::SaveVoidClick() { voidPages_.SaveVoidClick(); }
void TWin::SaveTempClick() { voidPages_.SaveTempClick(); }

// ---- logo page ----

void TWin::SetupLogoPage() {
  logoPage_.Setup({ui->cmbOperator, ui->txtDesc, ui->imgPreview, ui->cmdPasteLogo, ui->cmdSaveLogo}, Links());
}

void TWin::BitmapToLogo(const QImage* picture) { logoPage_.BitmapToLogo(picture); }
void TWin::cmdPasteLogoClick() { logoPage_.cmdPasteLogoClick(); }
void TWin::cmbOperatorChange() { logoPage_.cmbOperatorChange(); }
void TWin::cmbOperatorClick() { logoPage_.cmbOperatorClick(); }
void TWin::cmdSaveLogoClick() { logoPage_.cmdSaveLogoClick(); }

// ---- phonebook page ----

void TWin::SetupPhonebookPage() {
  phonebookPage_.Setup({ui->EntryName, ui->EntryNo, ui->SaveEntry}, editors_, Links());
}

void TWin::EntryNoChange() { phonebookPage_.EntryNoChange(); }
void TWin::SaveEntryClick() { phonebookPage_.SaveEntryClick(); }
