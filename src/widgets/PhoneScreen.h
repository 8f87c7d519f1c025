#pragma once
// A small phone screen that shows a reading as the receiving phone will:
// blinking runs blink, a flash message pops up framed, hidden text is greyed,
// indicator icons are lit or dark, an operator logo is drawn 72 x 14 at twice
// its size. ReceivingPhone puts it in the panel beside the main window with
// the list of characters that change on the way.
#include <QImage>
#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "pdu/Reading.h"

class PhoneScreen : public QWidget {
  Q_OBJECT

 public:
  explicit PhoneScreen(QWidget* parent = nullptr);

  void SetReading(const mp::pdu::Reading& reading);
  const mp::pdu::Reading& Reading() const { return reading_; }
  // Blinking runs are drawn in this phase only (they alternate every 500 ms).
  bool BlinkVisible() const { return blinkOn_; }
  // The lines of text drawn in the current blink phase (for tests and hints).
  QStringList ShownLines() const;
  // Everything the screen says, blinking runs included, one line a row: what
  // a screen reader reads.
  QString ScreenText() const;
  QSize sizeHint() const override { return QSize(168, 150); }

  // The receiving phone's indicator symbols ("voice", "fax", "email"), given
  // by the application; without them the screen writes the kind's name.
  static std::function<QImage(const std::string& kind)> IndicatorIcon;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString Caption() const;
  QString BodyText(bool withBlinking) const;
  QStringList Lines(bool withBlinking) const;

  mp::pdu::Reading reading_;
  QTimer blink_;
  bool blinkOn_ = true;
};

// The "Receiving phone" panel: the screen, then the characters that change.
class ReceivingPhone : public QWidget {
  Q_OBJECT

 public:
  explicit ReceivingPhone(QWidget* parent = nullptr);
  void Show(const mp::pdu::Reading& reading, const std::vector<mp::pdu::CharChange>& changes);
  // A long text: how many messages it takes and where each ends; empty for one.
  void SetParts(const QString& text);

  PhoneScreen* Screen = nullptr;
  QLabel* Changes = nullptr;  // "Will change: € → e, ç → c" or empty
  QLabel* Parts = nullptr;    // "3 messages; part 1 after "…", 2 after "…"." or empty
};

// "€ → e, ç → c" of a list of changes.
QString ChangeList(const std::vector<mp::pdu::CharChange>& changes);
