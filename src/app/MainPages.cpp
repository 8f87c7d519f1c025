// The main window's pages: each page's controls are handed to its object in
// src/app/pages, and the window's handlers of the page forward to it.
#include <functional>

#include "app/Main.h"
#include "ui_Main.h"

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
