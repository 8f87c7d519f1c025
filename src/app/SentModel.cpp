// The rows of the "Sent messages" window, a page at a time.
#include "app/SentModel.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>
#include <algorithm>

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QString LocalTime(const std::string& utc) {
  const QDateTime t = QDateTime::fromString(Q(utc), Qt::ISODateWithMs);
  return t.isValid() ? t.toLocalTime().toString("yyyy-MM-dd HH:mm:ss") : Q(utc);
}

}  // namespace

SentModel::SentModel(std::function<mp::record::Record*()> record, QObject* parent)
    : QAbstractTableModel(parent), record_(std::move(record)) {}

void SentModel::Reset() {
  beginResetModel();
  rows_.clear();
  atEnd_ = false;
  if (mp::record::Record* r = record_()) {
    rows_ = r->Page(0, kPageRows);
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
  const std::int64_t before = rows_.empty() ? 0 : rows_.back().id;
  std::vector<mp::record::Entry> page = r->Page(before, kPageRows);
  atEnd_ = static_cast<int>(page.size()) < kPageRows;
  if (page.empty()) return;
  const int first = static_cast<int>(rows_.size());
  beginInsertRows({}, first, first + static_cast<int>(page.size()) - 1);
  rows_.insert(rows_.end(), std::make_move_iterator(page.begin()), std::make_move_iterator(page.end()));
  endInsertRows();
}

int SentModel::RowOf(std::int64_t id) const {
  // Ids descend down the rows.
  const auto it = std::lower_bound(rows_.begin(), rows_.end(), id,
                                   [](const mp::record::Entry& e, std::int64_t v) { return e.id > v; });
  return it != rows_.end() && it->id == id ? static_cast<int>(it - rows_.begin()) : -1;
}

void SentModel::RowChanged(std::int64_t id) {
  mp::record::Record* r = record_();
  if (!r || id <= 0) return;
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

bool SentModel::Failed(const mp::record::Entry& e) { return e.finished && !e.ok; }

bool SentModel::Simulated(const mp::record::Entry& e) { return e.via == mp::record::kViaSimulated; }

QString SentModel::StateText(const mp::record::Entry& e) {
  QString state;
  if (!e.finished) {
    state = "unfinished";
  } else if (!e.ok) {
    state = "failed";
  } else if (e.command == "CPBW") {
    state = "written";
  } else {
    state = e.command == "CMGW" ? "saved" : "sent";
  }
  return Simulated(e) ? state + " (simulated)" : state;
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
        case Kind: return Q(e->kind);
        case Recipient: return Q(e->recipient);
        case State: return StateText(*e);
        case Status: return Q(e->statusText);
      }
      return {};
    case Qt::ToolTipRole: {
      // The whole PDU, which the column never has room for.
      QString tip = StateText(*e) + ": " + Q(e->statusText);
      if (e->command == "CPBW") return tip + "\nName: " + Q(e->nameHex);
      return tip + "\nPDU: " + Q(e->sca + e->tpdu);
    }
    case Qt::ForegroundRole:
      if (Failed(*e)) return QBrush(QColor(0xb0, 0x00, 0x00));
      return {};
    case Qt::AccessibleDescriptionRole:
      return StateText(*e);
  }
  return {};
}

QVariant SentModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const names[] = {"Time", "Kind", "Recipient", "State", "Status"};
  return section >= 0 && section < ColumnCount ? QString(names[section]) : QVariant();
}
