// The rows of the "Sent messages" window, a page at a time.
#include "app/SentModel.h"

#include "pdu/StatusReport.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>
#include <QFont>
#include <algorithm>
#include <utility>

#include "pdu/Reading.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QString LocalTime(const std::string& utc) {
  const QDateTime t = QDateTime::fromString(Q(utc), Qt::ISODateWithMs);
  return t.isValid() ? t.toLocalTime().toString("yyyy-MM-dd HH:mm:ss") : Q(utc);
}

// Each state its own look; red only for what surely did not go out.
struct Look {
  QString text;
  QColor colour;  // invalid: the table's own
  bool bold = false, italic = false;
};

const Look& LookOf(SentModel::RowState s) {
  using S = SentModel::RowState;
  static const QColor red(0xb0, 0x00, 0x00), amber(0x8a, 0x5a, 0x00), blue(0x1f, 0x4e, 0x9a), green(0x1e, 0x6e, 0x1e),
      grey(0x70, 0x70, 0x70);
  static const std::pair<S, Look> looks[] = {
      {S::Unfinished, {"unfinished", grey, false, true}},
      {S::Sent, {"sent", {}, false, false}},
      {S::Saved, {"saved", {}, false, false}},
      {S::Written, {"written", {}, false, false}},
      {S::Delivered, {"delivered", green, true, false}},
      {S::Refused, {"refused", red, false, false}},
      {S::Failed, {"failed", red, true, false}},
      {S::MaySent, {"may have been sent", amber, false, true}},
      {S::Queued, {"queued, outcome unknown", blue, false, true}},
      {S::PartlySent, {"partly sent", amber, true, true}},
      {S::Other, {"", grey, true, false}},
  };
  for (const auto& [state, look] : looks) {
    if (state == s) return look;
  }
  return looks[0].second;
}

}  // namespace

SentModel::SentModel(std::function<mp::record::Record*()> record, QObject* parent)
    : QAbstractTableModel(parent), record_(std::move(record)) {}

void SentModel::Reset() {
  beginResetModel();
  rows_.clear();
  atEnd_ = false;
  if (mp::record::Record* r = record_()) {
    rows_ = NextPage(*r);
    atEnd_ = static_cast<int>(rows_.size()) < kPageRows;
  } else {
    atEnd_ = true;
  }
  endResetModel();
}

bool SentModel::canFetchMore(const QModelIndex& parent) const { return !parent.isValid() && !atEnd_; }

void SentModel::fetchMore(const QModelIndex& parent) {
  if (parent.isValid() || atEnd_) return;
  mp::record::Record* r = record_();
  if (!r) {
    atEnd_ = true;
    return;
  }
  std::vector<mp::record::Entry> page = NextPage(*r);
  atEnd_ = static_cast<int>(page.size()) < kPageRows;
  if (page.empty()) return;
  const int first = static_cast<int>(rows_.size());
  beginInsertRows({}, first, first + static_cast<int>(page.size()) - 1);
  rows_.insert(rows_.end(), std::make_move_iterator(page.begin()), std::make_move_iterator(page.end()));
  endInsertRows();
}

std::vector<mp::record::Entry> SentModel::NextPage(mp::record::Record& r) const {
  const mp::record::Entry* last = rows_.empty() ? nullptr : &rows_.back();
  if (byDelivery_) return r.ByDelivery(last, descending_, kPageRows);
  return r.Page(last ? last->id : 0, kPageRows);
}

void SentModel::sort(int column, Qt::SortOrder order) {
  const bool byDelivery = column == Delivery;
  const bool descending = order == Qt::DescendingOrder;
  if (byDelivery == byDelivery_ && (!byDelivery || descending == descending_)) return;
  byDelivery_ = byDelivery;
  descending_ = descending;
  Reset();
}

int SentModel::RowOf(std::int64_t id) const {
  if (byDelivery_) {
    for (std::size_t i = 0; i < rows_.size(); ++i)
      if (rows_[i].id == id) return static_cast<int>(i);
    return -1;
  }
  // Ids descend down the rows.
  const auto it = std::lower_bound(rows_.begin(), rows_.end(), id,
                                   [](const mp::record::Entry& e, std::int64_t v) { return e.id > v; });
  return it != rows_.end() && it->id == id ? static_cast<int>(it - rows_.begin()) : -1;
}

void SentModel::RowChanged(std::int64_t id) {
  mp::record::Record* r = record_();
  if (!r || id <= 0) return;
  // A new row or a new delivery state may belong anywhere in that order.
  if (byDelivery_) {
    Reset();
    return;
  }
  if (rows_.empty() || id > rows_.front().id) {
    // New rows: everything newer than the top one (normally just this one).
    const std::int64_t top = rows_.empty() ? 0 : rows_.front().id;
    std::vector<mp::record::Entry> fresh = r->Newer(top, kPageRows);
    if (fresh.empty()) return;
    if (rows_.empty() && static_cast<int>(fresh.size()) == kPageRows) {
      Reset();
      return;
    }
    beginInsertRows({}, 0, static_cast<int>(fresh.size()) - 1);
    rows_.insert(rows_.begin(), std::make_move_iterator(fresh.begin()), std::make_move_iterator(fresh.end()));
    endInsertRows();
    return;
  }
  const int row = RowOf(id);
  if (row < 0) return;  // not read yet: it is read when scrolled to
  if (auto e = r->Get(id)) {
    rows_[static_cast<std::size_t>(row)] = *e;
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
  }
}

void SentModel::RemoveRowAt(int row) {
  if (row < 0 || row >= rowCount()) return;
  beginRemoveRows({}, row, row);
  rows_.erase(rows_.begin() + row);
  endRemoveRows();
}

const mp::record::Entry* SentModel::EntryAt(int row) const {
  return row >= 0 && row < rowCount() ? &rows_[static_cast<std::size_t>(row)] : nullptr;
}

SentModel::RowState SentModel::StateOf(const mp::record::Entry& e) {
  // The record's own name for the outcome; rows written before it kept one
  // have only finished and ok.
  static const std::pair<const char*, RowState> names[] = {
      {"pending", RowState::Unfinished},  {"sent", RowState::Sent},       {"saved", RowState::Saved},
      {"delivered", RowState::Delivered}, {"refused", RowState::Refused}, {"failed", RowState::Failed},
      {"unconfirmed", RowState::MaySent}, {"queued", RowState::Queued},
      // A long text of which only some parts went out.
      {"partly-sent", RowState::PartlySent},
  };
  // A state written by a newer version is never taken for a failure.
  RowState state = !e.state.empty() ? RowState::Other
                   : !e.finished    ? RowState::Unfinished
                   : e.ok           ? RowState::Sent
                                    : RowState::Failed;
  for (const auto& [name, value] : names) {
    if (e.state == name) state = value;
  }
  if (state == RowState::Sent && e.command == "CPBW") return RowState::Written;
  if (state == RowState::Sent && e.command == "CMGW") return RowState::Saved;
  return state;
}

bool SentModel::Failed(const mp::record::Entry& e) {
  const RowState s = StateOf(e);
  return s == RowState::Refused || s == RowState::Failed;
}

bool SentModel::MayBeDuplicate(const mp::record::Entry& e) {
  const RowState s = StateOf(e);
  return s == RowState::MaySent || s == RowState::Queued || s == RowState::PartlySent || s == RowState::Other;
}

bool SentModel::Simulated(const mp::record::Entry& e) { return e.via == mp::record::kViaSimulated; }

QString SentModel::StateText(const mp::record::Entry& e) {
  const RowState state = StateOf(e);
  // A save or a phonebook write that the phone never confirmed, as the
  // status bar says it.
  QString text = state == RowState::Other ? Q(e.state) : LookOf(state).text;
  if (state == RowState::MaySent && e.command != "CMGS") text = "may have been saved";
  return Simulated(e) ? text + " (simulated)" : text;
}

QString SentModel::KindText(const mp::record::Entry& e) {
  // The record keeps what the receiving phone shows ("text", "flash"); the
  // window's own names tell a blinking or class 0 message from a plain one.
  if (e.kind != "text" && e.kind != "flash") return Q(e.kind);
  const QString base = e.kind == "flash" ? "class 0" : "text";
  return mp::pdu::ReadTpdu(e.tpdu).Blinking() ? "blinking " + base : base;
}

int SentModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int SentModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant SentModel::data(const QModelIndex& index, int role) const {
  const mp::record::Entry* e = EntryAt(index.row());
  if (!e) return {};
  switch (role) {
    case Qt::DisplayRole:
      switch (index.column()) {
        case Time: return LocalTime(e->time);
        case Kind: return KindText(*e);
        case Recipient: return Q(e->recipient);
        case State: return StateText(*e);
        case Status: return Q(e->statusText);
        case Delivery: return DeliveryText(*e);
      }
      return {};
    case Qt::ToolTipRole: {
      if (index.column() == Delivery && !e->delivery.empty()) return DeliveryDetails(*e);
      // The whole PDU, which the column never has room for.
      QString tip = StateText(*e) + ": " + Q(e->statusText);
      if (e->command == "CPBW") return tip + "\nName: " + Q(e->nameHex);
      return tip + "\nPDU: " + Q(e->sca + e->tpdu);
    }
    case Qt::ForegroundRole: {
      const Look& look = LookOf(StateOf(*e));
      if (look.colour.isValid()) return QBrush(look.colour);
      return {};
    }
    case Qt::FontRole: {
      const Look& look = LookOf(StateOf(*e));
      if (!look.bold && !look.italic) return {};
      QFont font;
      font.setBold(look.bold);
      font.setItalic(look.italic);
      return font;
    }
    case Qt::AccessibleDescriptionRole:
      return StateText(*e);
  }
  return {};
}

QString SentModel::DeliveryText(const mp::record::Entry& e) {
  if (e.delivery.empty()) return {};
  QString word = Q(e.delivery);
  word.replace('-', ' ');
  if (e.delivery == mp::record::kPending || e.deliveryTime.empty()) return word;
  return word + " " + QDateTime::fromString(Q(e.deliveryTime), Qt::ISODate).toLocalTime().toString("HH:mm");
}

QString SentModel::DeliveryDetails(const mp::record::Entry& e) {
  QStringList lines;
  const auto parts = mp::record::ParseParts(e.partReports);
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const auto& p = parts[i];
    QString line = parts.size() > 1 ? QString("Part %1: ").arg(i + 1) : QString();
    if (p.status < 0) {
      line += "no report yet (reference " + QString::number(p.mr) + ")";
    } else {
      line += Q(mp::pdu::StatusMeaning(p.status));
      if (p.reportUtc > 0)
        line += " (" + QDateTime::fromSecsSinceEpoch(p.reportUtc).toLocalTime().toString("yyyy-MM-dd HH:mm") + ")";
    }
    lines << line;
  }
  return lines.join('\n');
}

QVariant SentModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const names[] = {"Time", "Kind", "Recipient", "State", "Status", "Delivery"};
  return section >= 0 && section < ColumnCount ? QString(names[section]) : QVariant();
}
