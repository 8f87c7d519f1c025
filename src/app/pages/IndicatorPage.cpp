#include "app/pages/IndicatorPage.h"

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include "app/Indicators.h"
#include "dialogs/Coding.h"
#include "dialogs/Send.h"
#include "phone/PhoneLink.h"
#include "widgets/Look.h"

namespace mp {

void IndicatorPage::Setup(const Controls& controls, PageLinks links) {
  c_ = controls;
  links_ = std::move(links);
  connect(c_.VoiceOn, &QCheckBox::clicked, this, &IndicatorPage::VoiceOnClick);
  connect(c_.VoiceOff, &QCheckBox::clicked, this, &IndicatorPage::VoiceOffClick);
  connect(c_.FaxOn, &QCheckBox::clicked, this, &IndicatorPage::FaxOnClick);
  connect(c_.FaxOff, &QCheckBox::clicked, this, &IndicatorPage::FaxOffClick);
  connect(c_.EmailOn, &QCheckBox::clicked, this, &IndicatorPage::EmailOnClick);
  connect(c_.EmailOff, &QCheckBox::clicked, this, &IndicatorPage::EmailOffClick);
  connect(c_.SaveInd, &QPushButton::clicked, this, &IndicatorPage::SaveIndClick);

  // The symbols are drawn stretched to the size of their labels (57 x 25).
  for (QLabel* symbol : {c_.imgVoice, c_.imgFax, c_.imgEmail}) {
    if (symbol) symbol->setScaledContents(true);
  }
  if (c_.imgVoice) c_.imgVoice->setPixmap(QPixmap::fromImage(VoiceMailPicture()));
  if (c_.imgFax) c_.imgFax->setPixmap(QPixmap::fromImage(FaxPicture()));
  if (c_.imgEmail) c_.imgEmail->setPixmap(QPixmap::fromImage(EmailPicture()));

  UpdateIndicatorState();
}

// A ticked box unticks its partner of the same group; an unticked box
// changes nothing else.
void IndicatorPage::Pair(QCheckBox* box, QCheckBox* partner) {
  if (box->isChecked()) partner->setChecked(false);
  UpdateIndicatorState();
}

void IndicatorPage::VoiceOnClick() { Pair(c_.VoiceOn, c_.VoiceOff); }
void IndicatorPage::VoiceOffClick() { Pair(c_.VoiceOff, c_.VoiceOn); }
void IndicatorPage::FaxOnClick() { Pair(c_.FaxOn, c_.FaxOff); }
void IndicatorPage::FaxOffClick() { Pair(c_.FaxOff, c_.FaxOn); }
void IndicatorPage::EmailOnClick() { Pair(c_.EmailOn, c_.EmailOff); }
void IndicatorPage::EmailOffClick() { Pair(c_.EmailOff, c_.EmailOn); }

void IndicatorPage::UpdateIndicatorState() {
  const bool anyOn = c_.VoiceOn->isChecked() || c_.FaxOn->isChecked() || c_.EmailOn->isChecked();
  const bool anyOff = c_.VoiceOff->isChecked() || c_.FaxOff->isChecked() || c_.EmailOff->isChecked();
  c_.SaveInd->setEnabled(anyOn || anyOff);
  // A forwardable message only removes indicators.
  c_.Forward->setEnabled(!anyOn);
  if (anyOn) c_.Forward->setChecked(false);
}

Indicators IndicatorPage::IndicatorChoice() const {
  Indicators ind;
  ind.voiceOn = c_.VoiceOn->isChecked();
  ind.voiceOff = c_.VoiceOff->isChecked();
  ind.faxOn = c_.FaxOn->isChecked();
  ind.faxOff = c_.FaxOff->isChecked();
  ind.emailOn = c_.EmailOn->isChecked();
  ind.emailOff = c_.EmailOff->isChecked();
  ind.forward = c_.Forward->isChecked();
  return ind;
}

void IndicatorPage::SaveIndClick() {
  TSendWin* send = links_.SendDialog();
  if (ShowModal(send) != QDialog::Accepted) return;

  const Indicators ind = IndicatorChoice();

  // Stored for later forwarding without the forward option: some phones show
  // 16-bit text distorted, so the user chooses the coding of the info text.
  bool sevenBit = false;
  if (IndicatorAsksCoding(send->SaveSendCaption() == QStringLiteral("Save"), ind.forward)) {
    TCodingWin* coding = links_.CodingDialog();
    if (ShowModal(coding) != QDialog::Accepted) return;
    sevenBit = coding->ModelIndex() == 0;
  }

  const Body body = BuildIndicatorBody(ind, sevenBit);
  links_.phone->TransferMessage(send->Transfer(), body.header, body.hex, body.status);
}

}  // namespace mp
