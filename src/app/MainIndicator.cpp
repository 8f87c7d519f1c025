// Indicator control page: six check boxes that switch the receiving phone's
// voice mail, fax and e-mail indicators on or off, and the forward option.
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include "app/App.h"
#include "app/Indicators.h"
#include "app/Main.h"
#include "builders/Messages.h"
#include "dialogs/Coding.h"
#include "dialogs/Send.h"
#include "ui_Main.h"

void TWin::SetupIndicatorPage() {
  connect(ui->VoiceOn, &QCheckBox::clicked, this, &TWin::VoiceOnClick);
  connect(ui->VoiceOff, &QCheckBox::clicked, this, &TWin::VoiceOffClick);
  connect(ui->FaxOn, &QCheckBox::clicked, this, &TWin::FaxOnClick);
  connect(ui->FaxOff, &QCheckBox::clicked, this, &TWin::FaxOffClick);
  connect(ui->EmailOn, &QCheckBox::clicked, this, &TWin::EmailOnClick);
  connect(ui->EmailOff, &QCheckBox::clicked, this, &TWin::EmailOffClick);
  connect(ui->SaveInd, &QPushButton::clicked, this, &TWin::SaveIndClick);

  // The symbols are drawn stretched to the size of their labels (57 x 25).
  ui->imgVoice->setScaledContents(true);
  ui->imgFax->setScaledContents(true);
  ui->imgEmail->setScaledContents(true);
  ui->imgVoice->setPixmap(QPixmap::fromImage(VoiceMailPicture()));
  ui->imgFax->setPixmap(QPixmap::fromImage(FaxPicture()));
  ui->imgEmail->setPixmap(QPixmap::fromImage(EmailPicture()));

  UpdateIndicatorState();
}

// A ticked box unticks its partner of the same group; an unticked box
// changes nothing else.
void TWin::VoiceOnClick() {
  if (ui->VoiceOn->isChecked()) ui->VoiceOff->setChecked(false);
  UpdateIndicatorState();
}

void TWin::VoiceOffClick() {
  if (ui->VoiceOff->isChecked()) ui->VoiceOn->setChecked(false);
  UpdateIndicatorState();
}

void TWin::FaxOnClick() {
  if (ui->FaxOn->isChecked()) ui->FaxOff->setChecked(false);
  UpdateIndicatorState();
}

void TWin::FaxOffClick() {
  if (ui->FaxOff->isChecked()) ui->FaxOn->setChecked(false);
  UpdateIndicatorState();
}

void TWin::EmailOnClick() {
  if (ui->EmailOn->isChecked()) ui->EmailOff->setChecked(false);
  UpdateIndicatorState();
}

void TWin::EmailOffClick() {
  if (ui->EmailOff->isChecked()) ui->EmailOn->setChecked(false);
  UpdateIndicatorState();
}

void TWin::UpdateIndicatorState() {
  const bool anyOn = ui->VoiceOn->isChecked() || ui->FaxOn->isChecked() || ui->EmailOn->isChecked();
  const bool anyOff = ui->VoiceOff->isChecked() || ui->FaxOff->isChecked() || ui->EmailOff->isChecked();
  ui->SaveInd->setEnabled(anyOn || anyOff);
  // A forwardable message only removes indicators.
  ui->Forward->setEnabled(!anyOn);
  if (anyOn) ui->Forward->setChecked(false);
}

mp::Indicators TWin::IndicatorChoice() const {
  mp::Indicators ind;
  ind.voiceOn = ui->VoiceOn->isChecked();
  ind.voiceOff = ui->VoiceOff->isChecked();
  ind.faxOn = ui->FaxOn->isChecked();
  ind.faxOff = ui->FaxOff->isChecked();
  ind.emailOn = ui->EmailOn->isChecked();
  ind.emailOff = ui->EmailOff->isChecked();
  ind.forward = ui->Forward->isChecked();
  return ind;
}

void TWin::SaveIndClick() {
  if (mp::ShowModal(SendWin) != QDialog::Accepted) return;

  const mp::Indicators ind = IndicatorChoice();

  // Stored for later forwarding without the forward option: some phones show
  // 16-bit text distorted, so the user chooses the coding of the info text.
  bool sevenBit = false;
  if (mp::IndicatorAsksCoding(SendWin->SaveSendCaption() == QStringLiteral("Save"), ind.forward)) {
    if (mp::ShowModal(CodingWin) != QDialog::Accepted) return;
    sevenBit = CodingWin->ModelIndex() == 0;
  }

  const mp::Body body = mp::BuildIndicatorBody(ind, sevenBit);
  Phone.TransferMessage(SendWin->Transfer(), body.header, body.hex, body.status);
}
