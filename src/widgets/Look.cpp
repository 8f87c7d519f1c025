#include "widgets/Look.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QFontDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QProxyStyle>
#include <QTimer>
#include <QWidget>
#include <cmath>

#include "widgets/Questions.h"

namespace mp {

QFont FormFont() {
  // The first installed of faces with about the widths of "MS Sans Serif";
  // DejaVu Sans, the common fallback, is wider and is taken condensed.
  static const QString face = [] {
    const QStringList wanted = {"MS Sans Serif", "Microsoft Sans Serif", "Liberation Sans", "Arial",
                                "Helvetica", "Nimbus Sans"};
    const QStringList installed = QFontDatabase::families();
    for (const QString& f : wanted) {
      if (installed.contains(f, Qt::CaseInsensitive)) return f;
    }
    return QString();
  }();
  QFont font(face.isEmpty() ? QStringLiteral("DejaVu Sans") : face);
  font.setStyleHint(QFont::SansSerif);
  if (face.isEmpty()) font.setStretch(82);
  font.setPixelSize(11);
  return font;
}

QFont TitleFont(int pixelHeight) {
  static const QString face = [] {
    const QStringList wanted = {"Arial Rounded MT Bold", "Varela Round", "Nunito", "M PLUS Rounded 1c",
                                "Comfortaa", "Quicksand", "DejaVu Sans", "Liberation Sans"};
    const QStringList installed = QFontDatabase::families();
    for (const QString& f : wanted) {
      if (installed.contains(f, Qt::CaseInsensitive)) return f;
    }
    return QStringLiteral("Sans Serif");
  }();
  QFont font(face);
  font.setStyleHint(QFont::SansSerif);
  // The usual fallback faces run wider than the rounded face: narrow them.
  if (face != "Arial Rounded MT Bold") font.setStretch(88);
  font.setPixelSize(pixelHeight);
  font.setBold(true);
  return font;
}

QFont DefaultMessageFont() {
  QFont font(QStringLiteral("System"));
  font.setPointSize(12);
  return font;
}

namespace {

QPixmap Canvas(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

// A line `width` wide with square ends, filled rather than stroked: a pen
// wider than a pixel goes through Qt's stroker, which takes angles and
// lengths from the maths library and maps its tables (about 200 KB) for
// the sake of a 16-pixel picture.
void FillLine(QPainter& p, const QColor& colour, QPointF from, QPointF to, double width) {
  const QPointF d = to - from;
  const double length = std::sqrt(QPointF::dotProduct(d, d));
  if (length <= 0) return;
  const QPointF along = d * (width / 2 / length);
  const QPointF across(-along.y(), along.x());
  p.save();
  p.setPen(Qt::NoPen);
  p.setBrush(colour);
  p.drawPolygon(QPolygonF({from - along + across, to + along + across, to + along - across, from - along - across}));
  p.restore();
}

}  // namespace

QIcon ActionIcon(ActionPicture picture) {
  QPixmap pixmap = Canvas(16);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(40, 40, 40), 1.0));  // the outline (wider lines: FillLine)
  switch (picture) {
    case ActionPicture::Send: {  // an envelope
      p.setBrush(QColor(255, 250, 220));
      p.drawRect(QRectF(1.5, 3.5, 13, 9));
      p.drawLine(QPointF(1.5, 3.5), QPointF(8, 9));
      p.drawLine(QPointF(14.5, 3.5), QPointF(8, 9));
      break;
    }
    case ActionPicture::Sim: {  // a SIM card with its chip
      QPainterPath card;
      card.moveTo(3.5, 1.5);
      card.lineTo(10.5, 1.5);
      card.lineTo(13.5, 4.5);
      card.lineTo(13.5, 14.5);
      card.lineTo(3.5, 14.5);
      card.closeSubpath();
      p.setBrush(QColor(70, 120, 200));
      p.drawPath(card);
      p.setBrush(QColor(230, 190, 60));
      p.drawRect(QRectF(5.5, 7.5, 6, 5));
      break;
    }
    case ActionPicture::Phone: {  // a handset with its display
      p.setBrush(QColor(60, 60, 60));
      p.drawRoundedRect(QRectF(4.5, 0.5, 8, 15), 2, 2);
      p.setBrush(QColor(160, 220, 140));
      p.drawRect(QRectF(6, 2.5, 5, 4));
      break;
    }
    case ActionPicture::Paste: {  // a clipboard
      p.setBrush(QColor(190, 140, 80));
      p.drawRect(QRectF(2.5, 2.5, 11, 13));
      p.setBrush(Qt::white);
      p.drawRect(QRectF(4.5, 5.5, 7, 8));
      p.setBrush(QColor(120, 120, 120));
      p.drawRect(QRectF(5.5, 1.5, 5, 3));
      break;
    }
    case ActionPicture::Find: {  // a magnifying glass
      p.setBrush(QColor(200, 230, 255));
      p.drawEllipse(QRectF(1.5, 1.5, 9, 9));
      FillLine(p, QColor(60, 40, 20), QPointF(9.5, 9.5), QPointF(14.5, 14.5), 2.5);  // the handle
      break;
    }
    case ActionPicture::Ok: {  // a green tick
      FillLine(p, QColor(0, 140, 0), QPointF(2, 8.5), QPointF(6, 12.5), 2.5);
      FillLine(p, QColor(0, 140, 0), QPointF(6, 12.5), QPointF(14, 3), 2.5);
      break;
    }
    case ActionPicture::Cancel: {  // a red cross
      FillLine(p, QColor(200, 0, 0), QPointF(3, 3), QPointF(13, 13), 2.5);
      FillLine(p, QColor(200, 0, 0), QPointF(13, 3), QPointF(3, 13), 2.5);
      break;
    }
    case ActionPicture::More: {  // two chevrons pointing right
      // Filled (see FillLine): every menu bar draws this picture before the
      // window's first paint. Lines 1.5 wide at 45 degrees are 1.5 * sqrt(2)
      // wide across.
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(40, 40, 40));
      constexpr double a = 1.06;
      for (double x : {4.0, 9.0}) {
        p.drawPolygon(QPolygonF({QPointF(x - a, 4), QPointF(x + a, 4), QPointF(x + 4 + a, 8), QPointF(x + a, 12),
                                 QPointF(x - a, 12), QPointF(x + 4 - a, 8)}));
      }
      break;
    }
  }
  p.end();
  return QIcon(pixmap);
}

namespace {

// Every menu bar asks its style for the picture of its overflow button when
// it is made. The common styles read that picture from a PNG, and reading a
// picture by name loads every image format plug-in there is: milliseconds
// before the first paint for a button that a menu bar of our width shows only
// with very large fonts. It is drawn instead; all else is the style's own.
class LookStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;
  QIcon standardIcon(StandardPixmap which, const QStyleOption* option, const QWidget* widget) const override {
    if (which == SP_ToolBarHorizontalExtensionButton) return ActionIcon(ActionPicture::More);
    return QProxyStyle::standardIcon(which, option, widget);
  }
};

}  // namespace

void UseLookStyle() {
  // The style in force (the desktop's, or the one given with -style) stays
  // underneath.
  QApplication::setStyle(new LookStyle(QApplication::style()->name()));
}

namespace {

class FirstPaintWatcher : public QObject {
 public:
  FirstPaintWatcher(QWidget* w, std::function<void()> then) : QObject(w), then_(std::move(then)) {
    w->installEventFilter(this);
  }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      watched->removeEventFilter(this);
      // Queued, so that the paint ends (and reaches the screen) first.
      QTimer::singleShot(0, watched, std::move(then_));
      deleteLater();
    }
    return false;
  }

 private:
  std::function<void()> then_;
};

}  // namespace

void AfterFirstPaint(QWidget* w, std::function<void()> then) {
  if (w && then) new FirstPaintWatcher(w, std::move(then));
}

void SetHintHidePause(QWidget* window) {
  if (!window) return;
  window->setToolTipDuration(10000);
  for (QWidget* w : window->findChildren<QWidget*>()) w->setToolTipDuration(10000);
}

namespace {

class ShapePainter : public QObject {
 public:
  ShapePainter(QWidget* w, const QColor& colour, int radius)
      : QObject(w), colour_(colour), radius_(radius) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Paint) return false;
    auto* w = static_cast<QWidget*>(watched);
    QPainter p(w);
    p.setPen(Qt::NoPen);
    p.setBrush(colour_);
    if (radius_ > 0) {
      p.setRenderHint(QPainter::Antialiasing);
      p.drawRoundedRect(QRectF(w->rect()), radius_, radius_);
    } else {
      p.drawRect(w->rect());
    }
    return true;
  }

 private:
  QColor colour_;
  int radius_;
};

}  // namespace

void PaintShape(QWidget* w, const QColor& colour, int radius) {
  if (!w) return;
  w->installEventFilter(new ShapePainter(w, colour, radius));
}

int ShowModal(QDialog* dialog) { return Ask().RunModal(dialog); }

}  // namespace mp
