// The simulated phone's journal, decoded for the "Received by the simulated
// phone" window.
#include "dialogs/ReceivedModel.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "phone/ReplyMeaning.h"

namespace mp {

namespace {

QString StorageStatus(int stat) {
  switch (stat) {
    case 0: return "received unread";
    case 1: return "received read";
    case 2: return "stored unsent";
    case 3: return "stored sent";
    default: return QString("status %1").arg(stat);
  }
}

QString Indication(const QJsonObject& o) {
  const QString kind = o["kind"].toString();
  QString name = kind == "voice" ? "voice mail" : kind == "email" ? "e-mail" : kind;
  const int count = o["count"].toInt();
  QString text = count > 0 ? QString("%1: on (%2 waiting)").arg(name).arg(count) : name + ": off";
  if (o["store"].toBool()) text += ", message kept";
  return text;
}

bool HasToggles(const std::vector<TextRun>& runs) {
  for (const TextRun& r : runs) {
    if (r.blinking) return true;
  }
  return false;
}

QString MessageKind(const QJsonObject& d, const ReceivedEntry& e) {
  if (d.contains("logo")) return "operator logo";
  if (!e.indications.isEmpty()) return "indicator control";
  const bool class0 = d["class"].toInt(-1) == 0;
  if (e.hidden) return "hidden text";
  if (HasToggles(e.text)) return class0 ? "blinking class 0 text" : "blinking text";
  if (class0 && e.text.empty() && d["da"].toString().isEmpty()) return "class 0 template";
  return class0 ? "class 0 text" : "text";
}

}  // namespace

std::vector<TextRun> SplitBlinks(const QString& text, bool* hidden) {
  QString rest = text;
  if (hidden) *hidden = false;
  if (!rest.isEmpty() && rest[0] == QChar(0)) {
    if (hidden) *hidden = true;
    rest.remove(0, 1);
  }
  std::vector<TextRun> runs;
  bool blinking = false;
  QString current;
  for (QChar c : rest) {
    if (c == QChar(1)) {
      if (!current.isEmpty()) runs.push_back({current, blinking});
      current.clear();
      blinking = !blinking;
    } else {
      current += c;
    }
  }
  if (!current.isEmpty()) runs.push_back({current, blinking});
  return runs;
}

QString ReceivedEntry::MarkedText() const {
  QString out;
  for (const TextRun& r : text) out += r.blinking ? "[" + r.text + "]" : r.text;
  return out;
}

QString ReceivedEntry::MarkedHtml() const {
  QString out;
  for (const TextRun& r : text) {
    const QString escaped = r.text.toHtmlEscaped().replace("\n", "<br>");
    out += r.blinking ? "<span style=\"color:#ff0000; text-decoration:underline\">" + escaped + "</span>"
                      : escaped;
  }
  return out;
}

QImage ReceivedEntry::LogoImage(int scale) const {
  if (logoRows.isEmpty() || scale < 1) return {};
  int width = 0;
  for (const QString& row : logoRows) width = std::max(width, int(row.size()));
  QImage image(width * scale, int(logoRows.size()) * scale, QImage::Format_RGB32);
  image.fill(QColor(0xc8, 0xd8, 0xb0));  // the light green of a phone display
  for (int y = 0; y < logoRows.size(); ++y) {
    for (int x = 0; x < logoRows[y].size(); ++x) {
      if (logoRows[y][x] != '#') continue;
      for (int dy = 0; dy < scale; ++dy)
        for (int dx = 0; dx < scale; ++dx) image.setPixel(x * scale + dx, y * scale + dy, qRgb(0x20, 0x28, 0x20));
    }
  }
  return image;
}

bool ParseJournalLine(const QByteArray& line, ReceivedEntry& entry) {
  QJsonParseError error{};
  const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
  if (error.error != QJsonParseError::NoError || !doc.isObject()) return false;
  const QJsonObject o = doc.object();
  const QString command = o["command"].toString();
  if (command.isEmpty()) return false;

  ReceivedEntry e;
  e.time = QDateTime::fromString(o["time"].toString(), Qt::ISODate).toLocalTime();
  e.command = "AT+" + command;
  const QString result = QString::fromStdString(WithMeaning(o["result"].toString().toStdString()));
  if (command == "CPBW") {
    e.status = QString("%1 location %2").arg(o["memory"].toString()).arg(o["index"].toInt());
    e.recipient = o["number"].toString();
    if (o["deleted"].toBool()) {
      e.kind = "phonebook entry deleted";
    } else {
      e.text = SplitBlinks(o["text"].toString(), &e.hidden);
      e.kind = HasToggles(e.text) ? "blinking phonebook entry" : "phonebook entry";
      // The stored name's octets, whatever character set wrote it.
      e.reading = pdu::ReadPhonebookEntry(o["text"].toString().toLatin1().toHex().toStdString(),
                                          e.recipient.toStdString());
    }
  } else {
    e.status = command == "CMGW" ? StorageStatus(o["stat"].toInt()) + ", " + result : result;
    e.reading = pdu::ReadTpdu(o["tpdu"].toString().toStdString());
    if (o.contains("decoded")) {
      const QJsonObject d = o["decoded"].toObject();
      e.recipient = d["da"].toString();
      e.text = SplitBlinks(d["text"].toString(), &e.hidden);
      for (const QJsonValue& v : d["indications"].toArray()) e.indications << Indication(v.toObject());
      if (d.contains("logo")) {
        const QJsonObject logo = d["logo"].toObject();
        for (const QJsonValue& row : logo["rows"].toArray()) e.logoRows << row.toString();
        e.operatorCode = QString("MCC %1, MNC %2").arg(logo["mcc"].toString(), logo["mnc"].toString());
      }
      e.kind = MessageKind(d, e);
    } else {
      e.error = o["error"].toString();
      e.kind = "not decoded";
    }
    if (e.recipient.isEmpty()) e.recipient = "none";
  }
  entry = e;
  return true;
}

ReceivedModel::ReceivedModel(QObject* parent) : QAbstractTableModel(parent) {}

bool ReceivedModel::Reload(const QString& path) {
  QByteArray content;
  QFile file(path);
  if (!path.isEmpty() && file.open(QIODevice::ReadOnly)) content = file.readAll();
  if (content == content_) return false;
  content_ = content;
  std::vector<ReceivedEntry> entries;
  for (const QByteArray& line : content.split('\n')) {
    ReceivedEntry e;
    if (ParseJournalLine(line, e)) entries.push_back(std::move(e));
  }
  beginResetModel();
  entries_ = std::move(entries);
  endResetModel();
  return true;
}

int ReceivedModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(entries_.size());
}

int ReceivedModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ColumnCount;
}

QVariant ReceivedModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= int(entries_.size())) return {};
  const ReceivedEntry& e = entries_[size_t(index.row())];
  if (role == Qt::DecorationRole && index.column() == Kind && !e.logoRows.isEmpty()) {
    return e.LogoImage(1);
  }
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
  switch (index.column()) {
    case Time: return e.time.isValid() ? e.time.toString("yyyy-MM-dd HH:mm:ss") : QString();
    case Command: return e.command;
    case Status: return e.status;
    case Recipient: return e.recipient;
    case Kind: return e.kind;
    case Text: {
      QString text = e.hidden ? "(hidden) " + e.MarkedText() : e.MarkedText();
      if (!e.indications.isEmpty()) text += (text.isEmpty() ? "" : "; ") + e.indications.join("; ");
      if (!e.error.isEmpty()) text = e.error;
      return text;
    }
    default: return {};
  }
}

QVariant ReceivedModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal) return {};
  if (role == Qt::ToolTipRole && section == Text) return QString("Blinking parts are shown between [ and ].");
  if (role != Qt::DisplayRole) return {};
  static const char* const kNames[] = {"Time", "Command", "Status", "Recipient", "Kind", "Text"};
  return section >= 0 && section < ColumnCount ? QString(kNames[section]) : QVariant();
}

}  // namespace mp
