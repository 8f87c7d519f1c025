#include "app/pages/VoidPages.h"

#include <QDialog>
#include <QPushButton>

#include "builders/Messages.h"
#include "dialogs/Send.h"
#include "phone/PhoneLink.h"
#include "widgets/Look.h"

namespace mp {

void VoidPages::Setup(const Controls& controls, PageLinks links) {
  links_ = std::move(links);
  connect(controls.BitBtn1, &QPushButton::clicked, this, &VoidPages::SaveVoidClick);
  connect(controls.SaveTemp, &QPushButton::clicked, this, &VoidPages::SaveTempClick);
}

void VoidPages::SaveVoidClick() {
  TSendWin* send = links_.SendDialog();
  if (ShowModal(send) != QDialog::Accepted) return;
  const Body body = BuildVoidBody();
  links_.phone->TransferMessage(send->Transfer(), body.header, body.hex, body.status);
}

// Whatever the dialog was last used for; the centre and the report choice
// stay as they are.
void VoidPages::SaveTempClick() {
  TSendWin* send = links_.SendDialog();
  if (!send) return;
  const Body body = BuildTemplateBody();
  send->SaveMode = true;
  send->DestAddress = kTemplateDestination;
  links_.phone->TransferMessage(send->Transfer(), body.header, body.hex, body.status);
}

}  // namespace mp
