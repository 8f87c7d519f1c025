// Void message and class 0 template pages: fixed messages, no user content.
#include <QDialog>
#include <QPushButton>

#include "app/App.h"
#include "app/Main.h"
#include "builders/Messages.h"
#include "dialogs/Send.h"
#include "ui_Main.h"

void TWin::SetupVoidPages() {
  connect(ui->BitBtn1, &QPushButton::clicked, this, &TWin::SaveVoidClick);
  connect(ui->SaveTemp, &QPushButton::clicked, this, &TWin::SaveTempClick);
}

void TWin::SaveVoidClick() {
  if (mp::ShowModal(SendWin) != QDialog::Accepted) return;
  const mp::Body body = mp::BuildVoidBody();
  Phone.TransferMessage(SendWin->Transfer(), body.header, body.hex, body.status);
}

// The template is always stored in the SIM without a recipient, whatever the
// dialog was last used for; the centre and the report choice stay as they are.
void TWin::SaveTempClick() {
  if (!SendWin) return;
  const mp::Body body = mp::BuildTemplateBody();
  SendWin->SaveMode = true;
  SendWin->DestAddress = mp::kTemplateDestination;
  Phone.TransferMessage(SendWin->Transfer(), body.header, body.hex, body.status);
}
