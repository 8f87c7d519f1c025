#include "dialogs/FontDialog.h"
#include "dialogs/AccessNames.h"

#include <QDialogButtonBox>
#include <QFontComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <algorithm>

TFontDialog::TFontDialog(const QFont& initial, QWidget* parent) : QDialog(parent) {
  setObjectName("FontDialog1");
  setWindowTitle("Font");
  Face = new QFontComboBox(this);
  Face->setObjectName("FontFace");
  // Faces that write the Western European (code page 1252) letters.
  Face->setWritingSystem(QFontDatabase::Latin);
  Face->setCurrentFont(initial);
  Size = new QListWidget(this);
  Size->setObjectName("FontSize");
  for (int s = kMinSize; s <= kMaxSize; ++s) Size->addItem(QString::number(s));
  const int size = std::clamp(initial.pointSize(), kMinSize, kMaxSize);
  Size->setCurrentRow(size - kMinSize);
  auto* faceLabel = new QLabel("&Font:", this);
  faceLabel->setBuddy(Face);
  auto* sizeLabel = new QLabel("&Size:", this);
  sizeLabel->setBuddy(Size);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(Size, &QListWidget::itemActivated, this, &QDialog::accept);
  auto* grid = new QGridLayout(this);
  grid->addWidget(faceLabel, 0, 0);
  grid->addWidget(sizeLabel, 0, 1);
  grid->addWidget(Face, 1, 0, Qt::AlignTop);
  grid->addWidget(Size, 1, 1);
  grid->addWidget(buttons, 2, 0, 1, 2);
  Size->setFixedWidth(Size->fontMetrics().horizontalAdvance("0000") + 40);
  mp::NameControls(this);
}

QFont TFontDialog::SelectedFont() const {
  QFont font(Face->currentFont().family());
  const int row = std::max(Size->currentRow(), 0);
  font.setPointSize(kMinSize + row);
  return font;
}
