// The main window's gateways: the stored ones follow the serial ports in the
// port box; a message sent while one is chosen goes through it (with the
// window as its host: status bar, beep, record), and what needs the phone
// itself is off meanwhile, with a tool tip that says why.
#include <QComboBox>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTabWidget>
#include <chrono>
#include <optional>

#include "app/Main.h"
#include "gateway/GatewayLink.h"
#include "gateway/GatewayParts.h"
#include "app/MainForm.h"

namespace {
constexpr int kSerialPorts = 9;  // "COM 1" .. "COM 9" come first
}

void TWin::SetupGateways() {
  Phone.SetDivert([this](const mp::TransferSettings& settings, const std::vector<mp::Body>& parts, int reference,
                         const mp::Continuation& resume) -> std::optional<mp::LinkResult> {
    const mp::gateway::Config* gateway = ChosenGateway();
    if (!gateway || parts.empty()) return std::nullopt;
    const std::chrono::seconds wait(mp::gateway::StoredWaitSeconds());
    if (parts.size() == 1 && resume.from == 0) {
      mp::gateway::GatewayLink link(*this, *gateway, wait);
      return link.Send(settings, parts[0].header, parts[0].hex);
    }
    // A long text: one message, and one row in the record, however many parts.
    return mp::gateway::SendParts(*this, *gateway, wait, settings, parts, reference, resume);
  });
  connect(ui->ComPort, &QComboBox::currentIndexChanged, this, [this] { UpdatePhoneOnly(); });
  UpdatePhoneOnly();
}

void TWin::ListGateways() {
  auto* model = qobject_cast<QStandardItemModel*>(ui->ComPort->model());
  if (!model) return;
  std::vector<mp::gateway::Config> stored = mp::gateway::LoadGateways();
  auto describe = [](const mp::gateway::Config& g) {
    // The password never shows: the address carries it as "****".
    return QString::fromStdString(g.KindName() + ", " + mp::gateway::MaskedAddress(g));
  };
  bool same = model->rowCount() == kSerialPorts + int(stored.size());
  for (std::size_t i = 0; same && i < stored.size(); ++i) {
    const int row = kSerialPorts + int(i);
    same = model->item(row, 0)->text().toStdString() == stored[i].name && model->item(row, 1) &&
           model->item(row, 1)->text() == describe(stored[i]);
  }
  Gateways = std::move(stored);
  if (same) return;
  const int current = ui->ComPort->currentIndex();
  const QString chosen = current >= kSerialPorts ? ui->ComPort->itemText(current) : QString();
  const QSignalBlocker quiet(ui->ComPort);
  while (model->rowCount() > kSerialPorts) model->removeRow(kSerialPorts);
  for (const mp::gateway::Config& g : Gateways) {
    const QString what = describe(g);
    auto* name = new QStandardItem(QString::fromStdString(g.name));
    name->setToolTip(what);
    auto* where = new QStandardItem(what);
    where->setToolTip(what);
    model->appendRow({name, where});
  }
  if (!chosen.isEmpty()) ui->ComPort->setCurrentIndex(ui->ComPort->findText(chosen));
  UpdatePhoneOnly();
}

const mp::gateway::Config* TWin::ChosenGateway() const {
  const int i = ui->ComPort->currentIndex() - kSerialPorts;
  return i >= 0 && i < int(Gateways.size()) ? &Gateways[std::size_t(i)] : nullptr;
}

void TWin::UpdatePhoneOnly() {
  const bool gateway = ChosenGateway() != nullptr;
  const QString tip = gateway ? QString(mp::gateway::kPhoneOnlyTip) : QString();
  // The template is stored in the SIM and the phonebook entry written into
  // the phone: no gateway can do either.
  for (QWidget* w : {static_cast<QWidget*>(ui->SaveTemp), static_cast<QWidget*>(ui->TabSheet5)}) {
    if (!w) continue;  // the template page is not built yet: BuildPages comes back here
    if (!w->property("phoneTip").isValid()) w->setProperty("phoneTip", w->toolTip());
    w->setEnabled(!gateway);
    w->setToolTip(gateway ? tip : w->property("phoneTip").toString());
  }
  const int tab = ui->PageControl->indexOf(ui->TabSheet5);
  if (!ui->TabSheet5->property("phoneTabTip").isValid())
    ui->TabSheet5->setProperty("phoneTabTip", ui->PageControl->tabToolTip(tab));
  ui->PageControl->setTabToolTip(tab, gateway ? tip : ui->TabSheet5->property("phoneTabTip").toString());
}
