// The receiving phone's screen drawn from a reading.
#include "widgets/PhoneScreen.h"

#include <QTextOption>

#include <QPainter>
#include <QVBoxLayout>

std::function<QImage(const std::string& kind)> PhoneScreen::IndicatorIcon;

namespace {

constexpr int kBlinkMs = 500;
constexpr int kLogoScale = 2;
constexpr int kIconWidth = 40, kIconHeight = 20;
const QColor kDisplay = QColor::fromRgb(0xFF9CC45A);  // the green display
const QColor kInk = QColor::fromRgb(0xFF1E2E14);
const QColor kGrey(0x5E, 0x72, 0x4A);

QString FromU32(const std::u32string& s) {
  return QString::fromUcs4(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

PhoneScreen::PhoneScreen(QWidget* parent) : QWidget(parent) {
  setObjectName("PhoneScreen");
  setMinimumSize(sizeHint());
  blink_.setInterval(kBlinkMs);
  connect(&blink_, &QTimer::timeout, this, [this] {
    blinkOn_ = !blinkOn_;
    update();
  });
}

void PhoneScreen::SetReading(const mp::pdu::Reading& reading) {
  reading_ = reading;
  if (reading_.Blinking()) {
    if (!blink_.isActive()) blink_.start();
  } else {
    blink_.stop();
    blinkOn_ = true;
  }
  setToolTip(QString::fromStdString(mp::pdu::RenderText(reading_)).trimmed());
  update();
}

QString PhoneScreen::Caption() const {
  using mp::pdu::Kind;
  switch (reading_.kind) {
    case Kind::Invalid: return "Nothing to show";
    case Kind::Text: return "New message";
    case Kind::Flash: return "Flash message";
    case Kind::Hidden: return "(hidden)";
    case Kind::Indicators: return "Indicators";
    case Kind::Void: return "(tone only, no message)";
    case Kind::Template: return "Template";
    case Kind::Logo: return "Operator " + QString::fromStdString(reading_.operatorCode);
    case Kind::Phonebook: return "Phonebook entry";
  }
  return {};
}

QString PhoneScreen::BodyText(bool withBlinking) const {
  using mp::pdu::Kind;
  if (reading_.kind == Kind::Invalid) return QString::fromStdString(reading_.error);
  if (reading_.kind == Kind::Template) return "Empty flash message, kept in the SIM";
  QString text;
  for (const mp::pdu::Segment& s : reading_.segments) {
    const QString part = FromU32(s.text);
    text += (!s.blink || withBlinking) ? part : QString(part.size(), QChar(' '));
  }
  if (reading_.kind == Kind::Phonebook)
    text += "\n" + QString::fromStdString(reading_.recipient);
  return text;
}

QStringList PhoneScreen::ShownLines() const { return Lines(blinkOn_); }

QString PhoneScreen::ScreenText() const { return Lines(true).join('\n'); }

QStringList PhoneScreen::Lines(bool withBlinking) const {
  QStringList lines{Caption()};
  for (const mp::pdu::IndicatorChange& i : reading_.indicators) {
    lines << QString("%1 %2, count %3%4")
                 .arg(QString::fromStdString(i.kind), i.on ? "set" : "cleared")
                 .arg(i.count)
                 .arg(i.store ? ", kept" : "");
  }
  const QString body = BodyText(withBlinking);
  if (!body.isEmpty()) lines << body.split('\n');
  return lines;
}

void PhoneScreen::paintEvent(QPaintEvent*) {
  using mp::pdu::Kind;
  QPainter p(this);
  // The handset around the display.
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(QColor(0x30, 0x30, 0x38));
  p.setPen(Qt::NoPen);
  p.drawRoundedRect(rect(), 14, 14);
  const QRect screen = rect().adjusted(10, 10, -10, -10);
  p.setBrush(kDisplay);
  p.drawRoundedRect(screen, 4, 4);
  p.setRenderHint(QPainter::Antialiasing, false);

  QRect area = screen.adjusted(5, 4, -5, -4);
  QFont small = font();
  small.setPixelSize(11);
  p.setFont(small);
  const int line = QFontMetrics(small).height();

  // Caption line: the kind of message, ruled off from what follows as a
  // phone's header is (in the same face as the text: a bold face of its own
  // would cost the first paint a font of its own).
  const QColor captionInk = reading_.kind == Kind::Hidden ? kGrey : kInk;
  p.setPen(captionInk);
  p.drawText(area.left(), area.top(), area.width(), line, Qt::AlignLeft | Qt::AlignVCenter, Caption());
  p.fillRect(area.left(), area.top() + line, area.width(), 1, captionInk);
  area.setTop(area.top() + line + 3);

  if (reading_.kind == Kind::Flash) {
    // A flash message pops up over whatever the phone showed: framed, two
    // pixels wide (filled: a wide pen would go through Qt's stroker).
    const QRect f = area;
    p.fillRect(f.left(), f.top(), f.width(), 2, kInk);
    p.fillRect(f.left(), f.bottom() - 1, f.width(), 2, kInk);
    p.fillRect(f.left(), f.top(), 2, f.height(), kInk);
    p.fillRect(f.right() - 1, f.top(), 2, f.height(), kInk);
    area = area.adjusted(5, 4, -5, -4);
  }

  for (const mp::pdu::IndicatorChange& i : reading_.indicators) {
    const QImage icon = IndicatorIcon ? IndicatorIcon(i.kind) : QImage();
    const QRect at(area.left(), area.top(), kIconWidth, kIconHeight);
    p.setOpacity(i.on ? 1.0 : 0.25);
    if (icon.isNull()) {
      p.setPen(kInk);
      p.drawText(at, Qt::AlignCenter, QString::fromStdString(i.kind));
    } else {
      p.drawImage(at, icon);
    }
    p.setOpacity(1.0);
    p.setPen(kInk);
    p.drawText(at.right() + 6, at.top(), area.width() - kIconWidth - 6, kIconHeight,
               Qt::AlignLeft | Qt::AlignVCenter,
               QString("%1 %2%3").arg(i.on ? "on" : "off").arg(i.count).arg(i.store ? " kept" : ""));
    area.setTop(area.top() + kIconHeight + 2);
  }

  if (reading_.logo) {
    const auto& rows = reading_.logo->rows;
    const int w = 72 * kLogoScale, h = 14 * kLogoScale;
    const int x0 = area.left() + std::max(0, (area.width() - w) / 2);
    const int y0 = area.top() + 4;
    for (int y = 0; y < static_cast<int>(rows.size()); ++y) {
      for (int x = 0; x < static_cast<int>(rows[y].size()); ++x) {
        if (rows[y][x] == '#') p.fillRect(x0 + x * kLogoScale, y0 + y * kLogoScale, kLogoScale, kLogoScale, kInk);
      }
    }
    area.setTop(y0 + h + 4);
  }

  if (reading_.kind == Kind::Void || reading_.kind == Kind::Logo) return;
  p.setPen(reading_.kind == Kind::Hidden ? kGrey : kInk);
  if (reading_.kind == Kind::Hidden) {
    QFont italic = small;
    italic.setItalic(true);
    p.setFont(italic);
  }
  // Lines break between words; only a word longer than the line is split.
  QTextOption wrap(Qt::AlignLeft | Qt::AlignTop);
  wrap.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  p.drawText(QRectF(area), BodyText(blinkOn_), wrap);
}

QString ChangeList(const std::vector<mp::pdu::CharChange>& changes) {
  QStringList parts;
  for (const auto& c : changes) parts << QString::fromStdString(mp::pdu::ChangeLabel(c));
  return parts.join(", ");
}

ReceivingPhone::ReceivingPhone(QWidget* parent) : QWidget(parent) {
  setObjectName("ReceivingPhone");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  auto* title = new QLabel("Receiving phone", this);
  title->setObjectName("ReceivingPhoneTitle");
  layout->addWidget(title);
  Screen = new PhoneScreen(this);
  layout->addWidget(Screen, 1);
  Changes = new QLabel(this);
  Changes->setObjectName("ReceivingPhoneChanges");
  Changes->setWordWrap(true);
  Changes->setTextFormat(Qt::PlainText);
  layout->addWidget(Changes);
  Parts = new QLabel(this);
  Parts->setObjectName("ReceivingPhoneParts");
  Parts->setAccessibleName("Parts of the message");
  Parts->setWordWrap(true);
  Parts->setTextFormat(Qt::PlainText);
  Parts->hide();
  layout->addWidget(Parts);
}

void ReceivingPhone::SetParts(const QString& text) {
  Parts->setText(text);
  Parts->setVisible(!text.isEmpty());
}

void ReceivingPhone::Show(const mp::pdu::Reading& reading,
                          const std::vector<mp::pdu::CharChange>& changes) {
  Screen->SetReading(reading);
  Changes->setText(changes.empty() ? QString() : "Will change: " + ChangeList(changes));
  QPalette pal = Changes->palette();
  pal.setColor(QPalette::WindowText, QColor(0xB0, 0x40, 0x00));
  Changes->setPalette(pal);
}
