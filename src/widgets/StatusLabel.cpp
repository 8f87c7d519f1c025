#include "widgets/StatusLabel.h"

#include <QFontMetrics>
#include <QResizeEvent>

namespace mp {

StatusLabel::StatusLabel(QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::PlainText);
  // The label may become narrower than its text; Elide() fits the text in.
  setMinimumWidth(1);
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void StatusLabel::SetFullText(const QString& text) {
  full_ = text;
  setToolTip(text);
  Elide();
}

void StatusLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  Elide();
}

void StatusLabel::Elide() {
  const int room = contentsRect().width() - 2 * margin() - 2;
  QLabel::setText(room > 0 ? fontMetrics().elidedText(full_, Qt::ElideMiddle, room) : full_);
}

}  // namespace mp
