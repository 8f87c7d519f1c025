#include "dialogs/Ports.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdlib>
#include <unistd.h>

#include "phone/Serial.h"
#include "phone/SerialPorts.h"
#include "dialogs/AccessNames.h"
#include "platform/Settings.h"
#include <QCheckBox>

namespace {
const char* const kPacedHint =
    "Writes each message to the phone in small pieces with short pauses, for phones that lose "
    "bytes written at once (they answer +CMS ERROR: 304).";
}  // namespace

TPortsWin::TPortsWin(QWidget* parent) : QDialog(parent) {
  setObjectName("PortsWin");
  setWindowTitle("Ports");
  auto* layout = new QVBoxLayout(this);
  auto* intro = new QLabel(
      "Choose the device each port stands for. Leave a box empty for the usual device. "
      "Your user must be in the group that owns the device (dialout for most serial ports).",
      this);
  intro->setWordWrap(true);
  layout->addWidget(intro);
  auto* grid = new QGridLayout;
  auto* pacedHead = new QLabel("Paced writing", this);
  pacedHead->setToolTip(kPacedHint);
  grid->addWidget(pacedHead, 0, 3);
  for (int i = 0; i < 9; ++i) {
    auto* label = new QLabel(QString("COM &%1").arg(i + 1), this);
    Device[i] = new QComboBox(this);
    Device[i]->setObjectName(QString("Device%1").arg(i + 1));
    Device[i]->setEditable(true);
    Device[i]->setInsertPolicy(QComboBox::NoInsert);
    Device[i]->setMinimumWidth(200);
    Device[i]->lineEdit()->setPlaceholderText(QString::fromStdString(mp::DefaultPortDevice(i + 1)));
    label->setBuddy(Device[i]);
    What[i] = new QLabel(this);
    What[i]->setObjectName(QString("What%1").arg(i + 1));
    What[i]->setMinimumWidth(220);
    connect(Device[i], &QComboBox::currentTextChanged, this, [this, i] { UpdateWhat(i); });
    Paced[i] = new QCheckBox(this);
    Paced[i]->setObjectName(QString("Paced%1").arg(i + 1));
    Paced[i]->setToolTip(kPacedHint);
    Paced[i]->setAccessibleName(QString("Paced writing on COM %1").arg(i + 1));
    grid->addWidget(label, i + 1, 0);
    grid->addWidget(Device[i], i + 1, 1);
    grid->addWidget(What[i], i + 1, 2);
    grid->addWidget(Paced[i], i + 1, 3, Qt::AlignCenter);
  }
  layout->addLayout(grid);
  auto* presentLabel = new QLabel("Serial devices present:", this);
  layout->addWidget(presentLabel);
  Present = new QListWidget(this);
  Present->setObjectName("PresentList");
  presentLabel->setBuddy(Present);
  Present->setMaximumHeight(110);
  layout->addWidget(Present);
  SetupGateways();
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  // Access keys of their own: no other caption here starts with O or C.
  buttons->button(QDialogButtonBox::Ok)->setText("&OK");
  buttons->button(QDialogButtonBox::Cancel)->setText("&Cancel");
  connect(buttons, &QDialogButtonBox::accepted, this, &TPortsWin::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TPortsWin::reject);
  layout->addWidget(buttons);
  mp::NameControls(this);
  Load();
}

void TPortsWin::Load() {
  const auto devices = mp::ListSerialDevices();
  Present->clear();
  for (const mp::SerialDevice& d : devices) {
    Present->addItem(QString::fromStdString(d.description.empty() ? d.path : d.path + ", " + d.description));
  }
  if (devices.empty()) Present->addItem("(none)");
  LoadGateways();
  mp::SettingsKey key;
  const bool open = key.Open(false);
  for (int i = 0; i < 9; ++i) {
    const std::string com = "COM" + std::to_string(i + 1);
    QComboBox* box = Device[i];
    box->blockSignals(true);
    box->clear();
    for (const mp::SerialDevice& d : devices) box->addItem(QString::fromStdString(d.path));
    std::string stored;
    if (open) stored = key.ReadString(com).value_or("");
    box->setEditText(QString::fromStdString(stored));
    // Mapped for this run by the environment (the simulated phone, for
    // example): shown, not changeable here.
    const char* env = std::getenv(("MIRAPOST_" + com).c_str());
    box->setEnabled(!(env && *env));
    box->blockSignals(false);
    Paced[i]->setChecked(mp::PortPaced(i + 1));
    UpdateWhat(i);
  }
  adjustSize();
}

void TPortsWin::UpdateWhat(int i) {
  const char* env = std::getenv(QString("MIRAPOST_COM%1").arg(i + 1).toLocal8Bit().constData());
  std::string device = Device[i]->currentText().trimmed().toStdString();
  if (env && *env) device = env;
  if (device.empty()) device = mp::DefaultPortDevice(i + 1);
  mp::ComPortInfo info;
  info.device = device;
  info.present = ::access(device.c_str(), F_OK) == 0;
  if (info.present) info.description = mp::DescribeDevice(device);
  QString text = QString::fromStdString(info.Text());
  if (env && *env) text += " (set for this run)";
  What[i]->setText(text);
}

void TPortsWin::Save() {
  mp::SettingsKey key;
  if (!key.Open(true)) return;
  for (int i = 0; i < 9; ++i) {
    if (!Device[i]->isEnabled()) continue;
    const std::string com = "COM" + std::to_string(i + 1);
    const std::string device = Device[i]->currentText().trimmed().toStdString();
    // An empty value keeps the default table; it is written only to replace
    // a value stored before.
    if (device.empty() && !key.Exists(com)) continue;
    if (key.ReadString(com).value_or("") != device || !key.ReadString(com)) key.WriteString(com, device);
  }
  for (int i = 0; i < 9; ++i) {
    // Written only when it differs from what is stored (or its absence).
    const std::string name = "Pace" + std::to_string(i + 1);
    if (Paced[i]->isChecked() != mp::PortPaced(i + 1)) key.WriteInteger(name, Paced[i]->isChecked() ? 1 : 0);
  }
  key.Close();
}

void TPortsWin::accept() {
  Save();
  SaveGateways();
  QDialog::accept();
}
