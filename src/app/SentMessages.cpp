// The "Sent messages" window.
#include "app/SentMessages.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/App.h"
#include "app/Main.h"
#include "widgets/PhoneScreen.h"
#include "dialogs/Send.h"
#include "pdu/Reading.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QString LocalTime(const std::string& utc) {
  const QDateTime t = QDateTime::fromString(Q(utc), Qt::ISODateWithMs);
  return t.isValid() ? t.toLocalTime().toString("yyyy-MM-dd HH:mm:ss") : Q(utc);
}

mp::pdu::Reading ReadingOf(const mp::record::Entry& e) {
  if (e.command == "CPBW") return mp::pdu::ReadPhonebookEntry(e.nameHex, e.recipient);
  return mp::pdu::ReadTpdu(e.tpdu);
}

}  // namespace

bool SplitStoredTpdu(const std::string& tpdu, StoredSubmit& out) {
  std::vector<std::uint8_t> head;
  if (tpdu.size() < 8 || !mp::pdu::HexToOctets(std::string_view(tpdu).substr(0, 6), head)) return false;
  const int first = head[0];
  const int digits = head[2];
  const std::size_t daChars = 4 + 2 * static_cast<std::size_t>((digits + 1) / 2);
  if (tpdu.size() < 4 + daChars) return false;
  out.destination = tpdu.substr(4, daChars);
  out.body = tpdu.substr(4 + daChars);
  out.header = (first & 0x40) != 0;
  out.reports = (first & 0x20) != 0;
  return true;
}

TSentWin::TSentWin(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("SentWin");
  setWindowTitle("Sent messages");
  auto* top = new QHBoxLayout(this);
  auto* left = new QVBoxLayout;
  Table = new QTableWidget(0, 4, this);
  Table->setObjectName("SentTable");
  Table->setHorizontalHeaderLabels({"Time", "Kind", "Recipient", "Status"});
  Table->setSelectionBehavior(QAbstractItemView::SelectRows);
  Table->setSelectionMode(QAbstractItemView::SingleSelection);
  Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Table->verticalHeader()->hide();
  Table->horizontalHeader()->setStretchLastSection(true);
  left->addWidget(Table, 1);
  auto* buttons = new QHBoxLayout;
  auto button = [this, buttons](QPushButton*& b, const char* name, const char* caption) {
    b = new QPushButton(caption, this);
    b->setObjectName(name);
    buttons->addWidget(b);
  };
  button(CopyPdu, "CopyPdu", "&Copy PDU");
  button(Resend, "Resend", "&Resend");
  button(ResendTo, "ResendTo", "Resend &to...");
  button(Delete, "Delete", "&Delete");
  button(ClearAll, "ClearAll", "C&lear all");
  left->addLayout(buttons);
  top->addLayout(left, 1);
  auto* right = new QVBoxLayout;
  Screen = new PhoneScreen(this);
  right->addWidget(Screen);
  Details = new QLabel(this);
  Details->setObjectName("SentDetails");
  Details->setWordWrap(true);
  Details->setTextInteractionFlags(Qt::TextSelectableByMouse);
  Details->setMaximumWidth(Screen->sizeHint().width() + 40);
  right->addWidget(Details, 1);
  top->addLayout(right);
  resize(720, 320);

  connect(Table, &QTableWidget::itemSelectionChanged, this, &TSentWin::SelectionChange);
  connect(CopyPdu, &QPushButton::clicked, this, &TSentWin::CopyPduClick);
  connect(Resend, &QPushButton::clicked, this, &TSentWin::ResendClick);
  connect(ResendTo, &QPushButton::clicked, this, &TSentWin::ResendToClick);
  connect(Delete, &QPushButton::clicked, this, &TSentWin::DeleteClick);
  connect(ClearAll, &QPushButton::clicked, this, &TSentWin::ClearAllClick);
  SelectionChange();
}

mp::record::Record* TSentWin::Record() const {
  return Win && Win->SentRecord && Win->SentRecord->IsOpen() ? Win->SentRecord.get() : nullptr;
}

void TSentWin::Reload() {
  const mp::record::Entry* was = Selected();
  const std::int64_t keep = was ? was->id : 0;
  entries_ = Record() ? Record()->List() : std::vector<mp::record::Entry>{};
  const QSignalBlocker block(Table);
  Table->setRowCount(static_cast<int>(entries_.size()));
  int select = entries_.empty() ? -1 : 0;
  for (int i = 0; i < static_cast<int>(entries_.size()); ++i) {
    const mp::record::Entry& e = entries_[static_cast<std::size_t>(i)];
    const QString status = e.finished ? Q(e.statusText) : "(unfinished) " + Q(e.statusText);
    const QString cells[] = {LocalTime(e.time), Q(e.kind), Q(e.recipient), status};
    for (int c = 0; c < 4; ++c) Table->setItem(i, c, new QTableWidgetItem(cells[c]));
    if (e.id == keep) select = i;
  }
  Table->resizeColumnsToContents();
  Select(select);
}

void TSentWin::Select(int row) {
  {
    const QSignalBlocker block(Table);
    Table->clearSelection();
    if (row >= 0) Table->selectRow(row);
  }
  SelectionChange();
}

const mp::record::Entry* TSentWin::Selected() const {
  const auto rows = Table->selectionModel()->selectedRows();
  if (rows.isEmpty()) return nullptr;
  const int r = rows.first().row();
  return r >= 0 && r < static_cast<int>(entries_.size()) ? &entries_[static_cast<std::size_t>(r)] : nullptr;
}

void TSentWin::SelectionChange() {
  const mp::record::Entry* e = Selected();
  for (QPushButton* b : {CopyPdu, Resend, ResendTo, Delete}) b->setEnabled(e != nullptr);
  ClearAll->setEnabled(!entries_.empty());
  if (!e) {
    Screen->SetReading(mp::pdu::Reading{});
    Details->clear();
    return;
  }
  Screen->SetReading(ReadingOf(*e));
  QString details = QString("%1 on %2 (%3)\n%4\n").arg(Q(e->command), Q(e->port), Q(e->device), Q(e->statusText));
  if (e->command == "CPBW") {
    details += "Name: " + Q(e->nameHex);
  } else {
    details += "SCA: " + Q(e->sca) + "\nTPDU: " + Q(e->tpdu);
  }
  Details->setText(details);
}

void TSentWin::CopyPduClick() {
  const mp::record::Entry* e = Selected();
  if (!e) return;
  // The line as written after the prompt: centre address, then the TPDU.
  QApplication::clipboard()->setText(e->command == "CPBW" ? Q(e->nameHex) : Q(e->sca + e->tpdu));
}

void TSentWin::ResendClick() {
  const mp::record::Entry* found = Selected();
  if (!found || !Win) return;
  const mp::record::Entry e = *found;
  if (e.command == "CPBW") {
    Win->Phone.WritePhonebookEntry(e.nameHex, e.recipient, e.numberType);
  } else {
    StoredSubmit s;
    if (!SplitStoredTpdu(e.tpdu, s)) return;
    mp::TransferSettings t;
    t.DestAddress = s.destination;
    t.SaveMode = e.command == "CMGW";
    t.CentreAddress = e.sca;
    t.Reports = s.reports;
    Win->Phone.TransferMessage(t, s.header, s.body, e.status >= 0 ? e.status : 3);
  }
  Reload();
}

void TSentWin::ResendToClick() {
  const mp::record::Entry* found = Selected();
  if (!found || !Win) return;
  const mp::record::Entry e = *found;
  if (e.command == "CPBW") {
    // A phonebook entry has no recipient: it goes to the phone again.
    ResendClick();
    return;
  }
  StoredSubmit s;
  if (!SplitStoredTpdu(e.tpdu, s) || !SendWin) return;
  if (mp::ShowModal(SendWin) != QDialog::Accepted) return;
  Win->Phone.TransferMessage(SendWin->Transfer(), s.header, s.body, e.status >= 0 ? e.status : 3);
  Reload();
}

void TSentWin::DeleteClick() {
  const mp::record::Entry* e = Selected();
  if (!e || !Record()) return;
  const int row = Table->currentRow();
  Record()->Remove(e->id);
  Reload();
  Select(std::min(row, static_cast<int>(entries_.size()) - 1));
}

void TSentWin::ClearAllClick() {
  if (!Record()) return;
  QMessageBox ask(QMessageBox::Question, "Sent messages",
                  "Remove every message from the record of sent messages?",
                  QMessageBox::Yes | QMessageBox::No, this);
  ask.setObjectName("ClearAllQuestion");
  ask.setDefaultButton(QMessageBox::No);
  mp::ShowModal(&ask);
  if (ask.clickedButton() != ask.button(QMessageBox::Yes)) return;
  Record()->Clear();
  Reload();
}
