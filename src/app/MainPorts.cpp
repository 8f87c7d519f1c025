// The main window's ports: the port box names the device behind each
// "COM n" (refreshed each time it opens), Phone > Ports... maps them, and a
// simulated phone in use is shown in the status bar at all times with a
// window of what it received.
#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTreeView>

#include <functional>
#include "record/Record.h"

#include "app/App.h"
#include "app/Main.h"
#include "dialogs/Ports.h"
#include "dialogs/Received.h"
#include "phone/SerialPorts.h"
#include "app/MainForm.h"

namespace {

// Runs `act` each time the watched widget gets an event of the given type
// (shown, clicked).
class EventWatcher : public QObject {
 public:
  EventWatcher(QObject* parent, QEvent::Type type, std::function<void()> act)
      : QObject(parent), type_(type), act_(std::move(act)) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == type_) act_();
    return QObject::eventFilter(watched, event);
  }

 private:
  QEvent::Type type_;
  std::function<void()> act_;
};

}  // namespace

void TWin::SetupPorts() {
  // The stored gateways are entries of the box from the start: the stored
  // port may be one of them.
  ListGateways();
  SetupGateways();

  auto* menu = new QMenu("Ph&one", this);
  menu->setObjectName("PhoneMenu");
  ui->MainMenu1->insertMenu(ui->MainMenu1->actions().value(1), menu);
  Ports1 = menu->addAction("&Ports...");
  Ports1->setObjectName("Ports1");
  Ports1->setStatusTip("Choose the device for each COM port.");
  Received1 = menu->addAction("&Received by the Simulated Phone...");
  Received1->setObjectName("Received1");
  Received1->setEnabled(false);
  CheckReports1 = menu->addAction("Check &delivery reports");
  CheckReports1->setObjectName("CheckReports1");
  CheckReports1->setStatusTip("Read the delivery reports the phone keeps into the record of sent messages.");
  connect(CheckReports1, &QAction::triggered, this, &TWin::CheckReports1Click);
  connect(Ports1, &QAction::triggered, this, &TWin::Ports1Click);
  connect(Received1, &QAction::triggered, this, &TWin::Received1Click);
}

void TWin::CheckReports1Click() {
  if (Phone.InDialogue()) return;
  if (SentRecorder && mp::record::Enabled()) SentRecorder->EnsureOpen();
  // Asked for: every report is said, the last one stays on the status bar.
  sayEveryReport_ = true;
  const int read = Phone.ReadKeptReports();
  sayEveryReport_ = false;
  // A failed connection has said why.
  if (read == 0) ShowStatus("The phone keeps no delivery reports.");
}

void TWin::SetupPortList() {
  if (portListSet_) return;
  portListSet_ = true;
  // The box keeps "COM 1" .. "COM 9"; its open list shows each one's device
  // in a second column.
  auto* view = new QTreeView;
  view->setObjectName("ComPortList");
  view->setHeaderHidden(true);
  view->setRootIsDecorated(false);
  view->setItemsExpandable(false);
  view->setAllColumnsShowFocus(true);
  view->setUniformRowHeights(true);
  view->setMinimumWidth(380);
  ui->ComPort->setView(view);
  if (auto* model = qobject_cast<QStandardItemModel*>(ui->ComPort->model())) model->setColumnCount(2);
  view->header()->setStretchLastSection(true);
  view->installEventFilter(new EventWatcher(this, QEvent::Show, [this] { RefreshPortList(); }));
  RefreshPortList();
}

void TWin::RefreshPortList() {
  auto* model = qobject_cast<QStandardItemModel*>(ui->ComPort->model());
  if (!model) return;
  const auto ports = mp::DescribeComPorts();
  const QString simulated = SimulatedPhoneLabel ? SimulatedPhoneLabel->property("device").toString() : QString();
  for (int row = 0; row < model->rowCount() && row < int(ports.size()); ++row) {
    const mp::ComPortInfo& info = ports[size_t(row)];
    QString text = QString::fromStdString(info.Text());
    if (!simulated.isEmpty() && QString::fromStdString(info.device) == simulated) {
      text = QString::fromStdString(info.device) + ", simulated phone";
    }
    auto* item = model->item(row, 1);
    if (!item) {
      item = new QStandardItem;
      model->setItem(row, 1, item);
    }
    item->setText(text);
    item->setToolTip(text);
    if (QStandardItem* name = model->item(row, 0)) name->setToolTip(text);
  }
  ListGateways();
  if (auto* view = qobject_cast<QTreeView*>(ui->ComPort->view())) view->resizeColumnToContents(0);
}

void TWin::Ports1Click() {
  TPortsWin dialog(this);
  if (mp::ShowModal(&dialog) == QDialog::Accepted) RefreshPortList();
}

void TWin::Received1Click() {
  if (!ReceivedWin) return;
  ReceivedWin->show();
  ReceivedWin->raise();
  ReceivedWin->activateWindow();
}

void TWin::UseSimulatedPhone(int com, const QString& device, const QString& journal) {
  if (!SimulatedPhoneLabel) {
    SimulatedPhoneLabel = new QLabel(ui->StatusBar);
    SimulatedPhoneLabel->setObjectName("SimulatedPhoneLabel");
    SimulatedPhoneLabel->setTextFormat(Qt::PlainText);
    SimulatedPhoneLabel->setCursor(Qt::PointingHandCursor);
    // A click shows what it received, as the menu item does.
    SimulatedPhoneLabel->installEventFilter(
        new EventWatcher(this, QEvent::MouseButtonRelease, [this] { Received1Click(); }));
    ui->StatusBar->addPermanentWidget(SimulatedPhoneLabel);
    connect(ui->ComPort, &QComboBox::currentIndexChanged, this, [this] { UpdateSimulatedPhoneLabel(); });
  }
  SimulatedPhoneLabel->setProperty("com", com);
  SimulatedPhoneLabel->setProperty("device", device);
  UpdateSimulatedPhoneLabel();
  SimulatedPhoneLabel->show();
  if (!ReceivedWin) ReceivedWin = new TReceivedWin(this);
  ReceivedWin->SetJournal(journal);
  Received1->setEnabled(true);
  // With no port chosen the simulated phone's own is the one meant.
  if (ui->ComPort->currentIndex() < 0 && com >= 1 && com <= 9) ui->ComPort->setCurrentIndex(com - 1);
  RefreshPortList();
}

void TWin::UpdateSimulatedPhoneLabel() {
  if (!SimulatedPhoneLabel) return;
  // The label names the port that messages go to: the simulated phone's, or
  // the other one chosen since, so that nobody takes a real send for a test.
  const int com = SimulatedPhoneLabel->property("com").toInt();
  const QString device = SimulatedPhoneLabel->property("device").toString();
  const QString name = QString("Simulated phone on COM %1").arg(com);
  const int index = ui->ComPort->currentIndex();
  if (index == com - 1) {
    SimulatedPhoneLabel->setText(name);
    SimulatedPhoneLabel->setToolTip(name + ": nothing leaves this computer.\nDevice: " + device +
                                    "\nClick here, or Phone > Received by the Simulated Phone, for what it received.");
    return;
  }
  const QString chosen = index < 0 ? QString("No port") : ui->ComPort->itemText(index);
  SimulatedPhoneLabel->setText(QString("%1 in use (simulated phone on COM %2)").arg(chosen).arg(com));
  SimulatedPhoneLabel->setToolTip(QString("Messages go to %1, not to the simulated phone on COM %2 (%3): they may "
                                          "reach a real phone.\nChoose COM %2 in the port box to use the simulated "
                                          "phone again.")
                                      .arg(chosen)
                                      .arg(com)
                                      .arg(device));
}
