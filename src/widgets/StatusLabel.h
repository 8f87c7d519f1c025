#pragma once
// The status bar's text panel: a text too long for the panel is shortened in
// the middle (a long device path keeps its start and its end), and the whole
// text is the panel's tooltip.
#include <QLabel>

namespace mp {

class StatusLabel : public QLabel {
  Q_OBJECT

 public:
  explicit StatusLabel(QWidget* parent = nullptr);

  void SetFullText(const QString& text);
  // Every text given through this type is elided as needed (hides QLabel's).
  void setText(const QString& text) { SetFullText(text); }
  // The whole text, as it was given.
  const QString& FullText() const { return full_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Elide();
  QString full_;
};

}  // namespace mp
