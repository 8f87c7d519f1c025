#pragma once
// The message font dialog: an installed face and a size from 8 to 24 points,
// nothing else (the style is always plain).
#include <QDialog>
#include <QFont>

class QFontComboBox;
class QListWidget;

class TFontDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kMinSize = 8;
  static constexpr int kMaxSize = 24;

  explicit TFontDialog(const QFont& initial, QWidget* parent = nullptr);

  // The chosen face at the chosen size, plain.
  QFont SelectedFont() const;

  QFontComboBox* Face = nullptr;  // "FontFace"
  QListWidget* Size = nullptr;    // "FontSize": 8 to 24
};
