#pragma once
// What the simulated phone received, read from its journal (one JSON object
// a line) and decoded for people: a table of messages and phonebook entries.
#include <QAbstractTableModel>
#include <QDateTime>
#include <QImage>
#include <QString>
#include <QStringList>
#include <vector>

#include "pdu/Reading.h"

namespace mp {

// One run of text, blinking or steady.
struct TextRun {
  QString text;
  bool blinking = false;
};

struct ReceivedEntry {
  QDateTime time;        // invalid when the journal gives none
  QString command;       // "AT+CMGS", "AT+CMGW", "AT+CPBW"
  QString status;        // storage status, location, the phone's result
  QString recipient;     // destination address or phonebook number
  QString kind;          // "text", "blinking text", "operator logo", ...
  std::vector<TextRun> text;  // the text, split at the blink toggles
  bool hidden = false;   // a leading U+0000 hides the text on some phones
  QStringList indications;    // "voice mail: on (1 waiting)", ...
  QStringList logoRows;       // "#" dark, "." light; empty without a logo
  QString operatorCode;       // "MCC 244, MNC 05" with a logo
  QString error;              // why the message did not decode
  pdu::Reading reading;       // what the receiving phone shows of it

  // The text with its blinking parts between "[" and "]".
  QString MarkedText() const;
  // The text as HTML, blinking parts red and underlined.
  QString MarkedHtml() const;
  // The logo as a picture, each point `scale` pixels; null without a logo.
  QImage LogoImage(int scale = 1) const;
};

// Parses one journal line; false (and `entry` untouched) for anything that is
// no journal entry.
bool ParseJournalLine(const QByteArray& line, ReceivedEntry& entry);

// Splits a received text at its blink toggles (U+0001); a leading U+0000 is
// taken off and reported in `hidden`.
std::vector<TextRun> SplitBlinks(const QString& text, bool* hidden = nullptr);

class ReceivedModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { Time, Command, Status, Recipient, Kind, Text, ColumnCount };

  explicit ReceivedModel(QObject* parent = nullptr);

  // Reads the journal again when it has grown or changed; true when the
  // entries changed. A missing journal gives no entries.
  bool Reload(const QString& path);
  const std::vector<ReceivedEntry>& Entries() const { return entries_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

 private:
  std::vector<ReceivedEntry> entries_;
  QByteArray content_;  // the journal as last read
};

}  // namespace mp
