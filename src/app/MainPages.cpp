// The main window's pages: each page's controls are handed to its object in
// src/app/pages, and the window's handlers of the page forward to it.
#include <QKeyEvent>
#include <functional>

#include "app/Main.h"
#include "app/MainForm.h"

mp::PageLinks TWin::Links() {
  mp::PageLinks links;
  links.phone = &Phone;
  links.sendDialog = [] { return SendWin; };
  links.codingDialog = [] { return CodingWin; };
  links.previewChanged = [this] { PreviewChanged(); };
  links.status = [this](const std::string& text) { ShowStatus(text); };
  links.beep = [this](mp::BeepKind kind) { Beep(kind); };
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
