// The Ports dialog's gateways: a table the user edits (name, kind, where,
// smstools' text_is_pdu_key, Kannel's user, password and smsc-id), kept in
// the settings file (mode 0600, so the password stays the user's).
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

#include "dialogs/Ports.h"
#include "gateway/Gateway.h"

namespace {
enum Column { kName, kKind, kWhere, kPduKey, kUser, kPassword, kSmsc, kColumns };

// A password cell: the table draws (and a screen reader reads) "****"; only
// the editor and the dialog's own code see the password (its edit role).
class PasswordItem : public QTableWidgetItem {
 public:
  PasswordItem() : QTableWidgetItem(UserType) {}
  QVariant data(int role) const override {
    const QString password = QTableWidgetItem::data(Qt::EditRole).toString();
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole || role == Qt::ToolTipRole)
      return password.isEmpty() ? QString() : QString(mp::gateway::kPasswordMask);
    return QTableWidgetItem::data(role);
  }
  QTableWidgetItem* clone() const override { return new PasswordItem(*this); }
};

// Edits a password without showing it.
class PasswordDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
      line->setEchoMode(QLineEdit::Password);
      line->setAccessibleName("Password");
    }
    return editor;
  }
};

}  // namespace

void TPortsWin::SetupGateways() {
  auto* layout = qobject_cast<QVBoxLayout*>(this->layout());
  layout->addWidget(new QLabel(
      "SMS gateways, offered in the port box after the serial ports: an smstools spool folder or a Kannel "
      "sendsms address.",
      this));
  GatewayTable = new QTableWidget(0, kColumns, this);
  GatewayTable->setObjectName("GatewayTable");
  GatewayTable->setAccessibleName("Gateways");
  GatewayTable->setHorizontalHeaderLabels(
      {"Name", "Kind", "Spool folder or sendsms address", "text_is_pdu_key", "User", "Password", "smsc-id"});
  GatewayTable->horizontalHeader()->setSectionResizeMode(kWhere, QHeaderView::Stretch);
  GatewayTable->verticalHeader()->hide();
  GatewayTable->setMinimumHeight(110);
  GatewayTable->setItemDelegateForColumn(kPassword, new PasswordDelegate(GatewayTable));
  layout->addWidget(GatewayTable);
  auto* row = new QHBoxLayout;
  auto* add = new QPushButton("&Add Gateway", this);
  add->setObjectName("AddGateway");
  auto* remove = new QPushButton("&Remove Gateway", this);
  remove->setObjectName("RemoveGateway");
  connect(add, &QPushButton::clicked, this, [this] {
    // The new row is where the user goes on: its name, ready to be typed.
    AddGatewayRow();
    const int r = GatewayTable->rowCount() - 1;
    GatewayTable->setFocus(Qt::OtherFocusReason);
    GatewayTable->setCurrentCell(r, kName);
    GatewayTable->scrollToItem(GatewayTable->item(r, kName));
    GatewayTable->editItem(GatewayTable->item(r, kName));
  });
  connect(remove, &QPushButton::clicked, this, [this] {
    if (GatewayTable->currentRow() >= 0) GatewayTable->removeRow(GatewayTable->currentRow());
  });
  row->addWidget(add);
  row->addWidget(remove);
  row->addStretch();
  layout->addLayout(row);
}

void TPortsWin::AddGatewayRow() {
  const int r = GatewayTable->rowCount();
  GatewayTable->insertRow(r);
  auto* kind = new QComboBox(GatewayTable);
  kind->addItems({"smstools", "Kannel"});
  GatewayTable->setCellWidget(r, kKind, kind);
  for (int c : {kName, kWhere, kPduKey, kUser, kSmsc}) GatewayTable->setItem(r, c, new QTableWidgetItem);
  GatewayTable->setItem(r, kPassword, new PasswordItem);
}

void TPortsWin::LoadGateways() {
  GatewayTable->setRowCount(0);
  for (const mp::gateway::Config& g : mp::gateway::LoadGateways()) {
    AddGatewayRow();
    const int r = GatewayTable->rowCount() - 1;
    auto set = [&](int c, const std::string& v) { GatewayTable->item(r, c)->setText(QString::fromStdString(v)); };
    set(kName, g.name);
    qobject_cast<QComboBox*>(GatewayTable->cellWidget(r, kKind))
        ->setCurrentIndex(g.kind == mp::gateway::Kind::Smstools ? 0 : 1);
    set(kWhere, g.Address());
    set(kPduKey, g.pduKey);
    set(kUser, g.user);
    set(kPassword, g.password);
    set(kSmsc, g.smscId);
  }
}

void TPortsWin::SaveGateways() {
  std::vector<mp::gateway::Config> gateways;
  for (int r = 0; r < GatewayTable->rowCount(); ++r) {
    auto text = [&](int c) {
      const QTableWidgetItem* item = GatewayTable->item(r, c);
      return item ? item->text().trimmed().toStdString() : std::string();
    };
    mp::gateway::Config g;
    g.name = text(kName);
    const std::string where = text(kWhere);
    // A row without a name or a place is not a gateway yet.
    if (g.name.empty() || where.empty()) continue;
    g.kind = qobject_cast<QComboBox*>(GatewayTable->cellWidget(r, kKind))->currentIndex() == 0
                 ? mp::gateway::Kind::Smstools
                 : mp::gateway::Kind::Kannel;
    (g.kind == mp::gateway::Kind::Smstools ? g.spool : g.url) = where;
    g.pduKey = text(kPduKey);
    g.user = text(kUser);
    const QTableWidgetItem* password = GatewayTable->item(r, kPassword);
    g.password = password ? password->data(Qt::EditRole).toString().toStdString() : "";
    g.smscId = text(kSmsc);
    // A "user:password@" in the address goes to the User and Password
    // columns, where sendsms takes them from and the password stays masked.
    gateways.push_back(mp::gateway::WithCredentialsApart(std::move(g)));
  }
  const auto before = mp::gateway::LoadGateways();
  bool same = before.size() == gateways.size();
  for (std::size_t i = 0; same && i < gateways.size(); ++i) {
    const auto &a = before[i], &b = gateways[i];
    same = a.name == b.name && a.kind == b.kind && a.Address() == b.Address() && a.pduKey == b.pduKey &&
           a.user == b.user && a.password == b.password && a.smscId == b.smscId;
  }
  if (!same) mp::gateway::SaveGateways(gateways);
}
