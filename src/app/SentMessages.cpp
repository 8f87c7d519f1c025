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
#include <QKeySequence>
#include <QPlainTextEdit>
#include <QScreen>
#include <QShortcut>
#include <QTableView>
#include <QVBoxLayout>

#include "app/App.h"
#include "app/Main.h"
#include "app/SentModel.h"
#include "builders/LongText.h"
#include "widgets/PhoneScreen.h"
#include "dialogs/Send.h"
#include "pdu/Reading.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

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

// Every part of a stored message, as bodies for the phone link; `first`
// holds what the first part's TPDU says of them all.
static bool StoredParts(const mp::record::Entry& e, StoredSubmit& first, std::vector<mp::Body>& parts) {
  parts.clear();
  const int status = e.status >= 0 ? e.status : 3;
  std::vector<std::string> tpdus{e.tpdu};
  for (const QString& t : Q(e.moreTpdus).split(' ', Qt::SkipEmptyParts)) tpdus.push_back(t.toStdString());
  for (std::size_t i = 0; i < tpdus.size(); ++i) {
    StoredSubmit s;
    if (!SplitStoredTpdu(tpdus[i], s)) return false;
    if (i == 0) first = s;
    parts.push_back(mp::Body{s.body, s.header, status});
  }
  return true;
}

TSentWin::TSentWin(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("SentWin");
  setWindowTitle("Sent messages");
  auto* top = new QHBoxLayout(this);
  auto* left = new QVBoxLayout;
  Model = new SentModel([this] { return Record(); }, this);
  Table = new QTableView(this);
  Table->setObjectName("SentTable");
  Table->setModel(Model);
  Table->setSelectionBehavior(QAbstractItemView::SelectRows);
  Table->setSelectionMode(QAbstractItemView::SingleSelection);
  Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Table->setWordWrap(false);
  Table->verticalHeader()->hide();
  // Rows of one height and columns of fixed widths: nothing is measured
  // over all rows, however many there are.
  Table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  Table->horizontalHeader()->setStretchLastSection(true);
  const int digit = Table->fontMetrics().horizontalAdvance('0');
  const int widths[] = {20 * digit, 10 * digit, 16 * digit, 18 * digit};
  for (int c = 0; c < 4; ++c) Table->setColumnWidth(c, widths[c]);
  // The Delivery column's header sorts by it (either way); the Time column's
  // shows the rows newest first, as do the others, which do not sort.
  QHeaderView* header = Table->horizontalHeader();
  header->setSortIndicator(SentModel::Time, Qt::DescendingOrder);
  connect(header, &QHeaderView::sortIndicatorChanged, this, [header](int column, Qt::SortOrder order) {
    if (column != SentModel::Delivery && (column != SentModel::Time || order != Qt::DescendingOrder))
      header->setSortIndicator(SentModel::Time, Qt::DescendingOrder);
  });
  Table->setSortingEnabled(true);
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
  // The whole PDU, wrapped anywhere: hex text has no blanks to wrap at.
  Details = new QPlainTextEdit(this);
  Details->setObjectName("SentDetails");
  Details->setReadOnly(true);
  Details->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  Details->setMaximumWidth(Screen->sizeHint().width() + 40);
  right->addWidget(Details, 1);
  top->addLayout(right);
  resize(860, 360);

  for (const QKeySequence& key : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
    auto* close = new QShortcut(key, this);
    close->setContext(Qt::WindowShortcut);
    connect(close, &QShortcut::activated, this, &QWidget::close);
  }
  connect(Table->selectionModel(), &QItemSelectionModel::selectionChanged, this, &TSentWin::SelectionChange);
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

void TSentWin::PlaceBesideMainWindow() {
  if (placed_ || !Win) return;
  placed_ = true;
  const QRect main = Win->frameGeometry();
  const QScreen* screen = Win->screen();
  const QRect room = screen ? screen->availableGeometry() : QRect();
  const QSize size = frameGeometry().size().expandedTo(sizeHint());
  const int gap = 8;
  QPoint at(main.right() + 1 + gap, main.top());  // right of it
  if (room.isValid()) {
    if (at.x() + size.width() > room.right() + 1) {
      if (main.left() - gap - size.width() >= room.left()) {
        at = {main.left() - gap - size.width(), main.top()};  // left of it
      } else {
        at = {main.left(), std::min(main.bottom() + 1 + gap, room.bottom() + 1 - size.height())};  // below
      }
    }
    at.setX(std::clamp(at.x(), room.left(), std::max(room.left(), room.right() + 1 - size.width())));
    at.setY(std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() + 1 - size.height())));
  }
  move(at);
}

void TSentWin::Reload() {
  const mp::record::Entry* was = Selected();
  const std::int64_t keep = was ? was->id : 0;
  {
    const QSignalBlocker block(Table->selectionModel());
    Model->Reset();
  }
  const int row = keep ? Model->RowOf(keep) : -1;
  Select(row >= 0 ? row : (Model->rowCount() > 0 ? 0 : -1));
}

void TSentWin::RowChanged(std::int64_t id) {
  const mp::record::Entry* was = Selected();
  const std::int64_t keep = was ? was->id : 0;
  Model->RowChanged(id);
  const mp::record::Entry* now = Selected();
  if (keep && now && now->id == keep) {
    // The selection moved along with its row: only when that row itself
    // changed is the phone's view of it drawn again.
    if (keep == id) SelectionChange();
    return;
  }
  const int row = keep ? Model->RowOf(keep) : -1;
  // A new row at the top is selected when nothing was.
  Select(row >= 0 ? row : (Model->rowCount() > 0 ? 0 : -1));
}

void TSentWin::Select(int row) {
  {
    const QSignalBlocker block(Table->selectionModel());
    Table->clearSelection();
    if (row >= 0) {
      Table->selectRow(row);
      Table->setCurrentIndex(Model->index(row, 0));
    }
  }
  SelectionChange();
}

int TSentWin::RowCount() const { return Model->rowCount(); }

const mp::record::Entry* TSentWin::EntryAt(int row) const { return Model->EntryAt(row); }

const mp::record::Entry* TSentWin::Selected() const {
  const auto rows = Table->selectionModel()->selectedRows();
  if (rows.isEmpty()) return nullptr;
  return Model->EntryAt(rows.first().row());
}

void TSentWin::SelectionChange() {
  const mp::record::Entry* e = Selected();
  for (QPushButton* b : {CopyPdu, Resend, ResendTo, Delete}) b->setEnabled(e != nullptr);
  ClearAll->setEnabled(Model->rowCount() > 0);
  if (!e) {
    Screen->SetReading(mp::pdu::Reading{});
    Details->clear();
    return;
  }
  Screen->SetReading(ReadingOf(*e));
  QString details = QString("%1 on %2 (%3)\n%4: %5\n")
                        .arg(Q(e->command), Q(e->port), Q(e->device), SentModel::StateText(*e), Q(e->statusText));
  if (SentModel::Simulated(*e)) details += "Went to the simulated phone: it left no computer.\n";
  if (e->command == "CPBW") {
    details += "Name: " + Q(e->nameHex);
  } else {
    details += "SCA: " + Q(e->sca) + "\nTPDU: " + Q(e->tpdu);
    // A long text: its other parts, and how many went.
    if (e->parts > 1)
      details += QString("\nParts: %1, %2 sent, reference %3\nOther parts: %4")
                     .arg(e->parts)
                     .arg(e->partsSent)
                     .arg(e->reference)
                     .arg(Q(e->moreTpdus));
  }
  Details->setPlainText(details);
}
void TSentWin::CopyPduClick() {
  const mp::record::Entry* e = Selected();
  if (!e) return;
  // The line as written after the prompt: centre address, then the TPDU.
  QApplication::clipboard()->setText(e->command == "CPBW" ? Q(e->nameHex) : Q(e->sca + e->tpdu));
}

bool TSentWin::ConfirmResend(const mp::record::Entry& e) {
  // A message that may already be on its way: another send may reach the
  // recipient twice, so the user decides, and No is the default.
  if (!SentModel::MayBeDuplicate(e)) return true;
  const bool send = e.command == "CMGS";
  QString text = "Its state is \"" + SentModel::StateText(e) + "\": " +
                 (send ? "the recipient may already have it, or get it later, so sending it again may deliver "
                         "it twice.\n\nSend it again?"
                       : "the phone may already hold it, so saving it again may store it twice.\n\nSave it "
                         "again?");
  const bool partly = SentModel::StateOf(e) == SentModel::RowState::PartlySent && e.parts > 1;
  if (partly) {
    // Only the parts that did not go are sent, and joined to the others.
    const QString form =
        "Its state is \"%1\": %2 of %3 parts went out. Only the missing parts (%4 to %3) go again, with the same "
        "reference, so that the receiving phone joins them to the others; a part whose outcome was unknown may "
        "arrive twice.\n\n%5 the missing parts?";
    text = form.arg(SentModel::StateText(e))
               .arg(e.partsSent)
               .arg(e.parts)
               .arg(e.partsSent + 1)
               .arg(send ? "Send" : "Save");
  }
  QMessageBox ask(QMessageBox::Warning, "Sent messages", text, QMessageBox::Yes | QMessageBox::No, this);
  ask.setObjectName("ResendQuestion");
  QString yes = send ? "&Send again" : "&Save again";
  if (partly) yes = send ? "&Send the missing parts" : "&Save the missing parts";
  ask.button(QMessageBox::Yes)->setText(yes);
  ask.button(QMessageBox::No)->setText(send ? "&Do not send" : "&Do not save");
  ask.setDefaultButton(QMessageBox::No);
  mp::ShowModal(&ask);
  return ask.clickedButton() == ask.button(QMessageBox::Yes);
}

void TSentWin::ResendClick() {
  const mp::record::Entry* found = Selected();
  if (!found || !Win) return;
  const mp::record::Entry e = *found;
  if (!ConfirmResend(e)) return;
  if (e.command == "CPBW") {
    Win->Phone.WritePhonebookEntry(e.nameHex, e.recipient, e.numberType);
  } else {
    StoredSubmit s;
    std::vector<mp::Body> parts;
    if (!StoredParts(e, s, parts)) return;
    mp::TransferSettings t;
    t.DestAddress = s.destination;
    t.SaveMode = e.command == "CMGW";
    t.CentreAddress = e.sca;
    t.Reports = s.reports;
    if (parts.size() == 1) {
      Win->Phone.TransferMessage(t, s.header, s.body, parts[0].status);
    } else {
      // A long text goes whole, as stored, with its own reference; of one
      // that went out partly only the parts that did not go, and its row
      // says how the message stands afterwards.
      mp::Continuation resume;
      if (SentModel::StateOf(e) == SentModel::RowState::PartlySent) resume = {e.partsSent, e.id};
      Win->Phone.TransferParts(t, parts, e.reference, resume);
    }
  }
  // The row arrives through the main window's report (RowChanged).
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
  std::vector<mp::Body> parts;
  mp::CreateDialogs();
  if (!StoredParts(e, s, parts) || !SendWin) return;
  if (mp::ShowModal(SendWin) != QDialog::Accepted) return;
  const mp::TransferSettings t = SendWin->Transfer();
  // Another recipient gets it once; the same one may get it twice.
  if (t.DestAddress == s.destination && !t.SaveMode && !ConfirmResend(e)) return;
  if (parts.size() == 1) {
    Win->Phone.TransferMessage(t, s.header, s.body, parts[0].status);
    return;
  }
  // A long text goes whole to another recipient, with that one's own
  // reference; the same one gets what Resend would send it.
  int reference = e.reference;
  mp::Continuation resume;
  if (t.DestAddress != s.destination) {
    reference = Win->SentRecord ? Win->SentRecord->NextReference(t.DestAddress) : 0;
    mp::SetReference(parts, reference);
  } else if (!t.SaveMode && SentModel::StateOf(e) == SentModel::RowState::PartlySent) {
    resume = {e.partsSent, e.id};
  }
  Win->Phone.TransferParts(t, parts, reference, resume);
}

void TSentWin::DeleteClick() {
  const mp::record::Entry* e = Selected();
  if (!e || !Record()) return;
  const int row = Model->RowOf(e->id);
  if (!Record()->Remove(e->id)) {
    if (!Record()->Error().empty())
      Win->TellAboutRecord("Cannot delete the row from the record of sent messages (" +
                           QString::fromStdString(Record()->Path()) + "): " + Q(Record()->Error()));
    return;
  }
  Model->RemoveRowAt(row);
  Select(std::min(row, Model->rowCount() - 1));
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
  if (!Record()->Clear())
    Win->TellAboutRecord("Cannot clear the record of sent messages (" + QString::fromStdString(Record()->Path()) +
                         "): " + Q(Record()->Error()));
  Reload();
}
