#include "dialogs/Coding.h"

#include <QButtonGroup>
#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>

#include "platform/Settings.h"
#include "platform/Sound.h"
#include "ui_Coding.h"
#include "widgets/Look.h"

const char* const TCodingWin::kInfo7Bit =
    "With the 7-bit option the message in the outbox contains an information text, like "
    "\"Displays: o_o\", but you cannot forward the message with a Nokia 8210/8850 or similar.";
const char* const TCodingWin::kInfo16Bit =
    "With the 16-bit option the infomation text may be distorted or missing completely (making the "
    "message empty in the outbox). The message works as intended when forwarding.";

TCodingWin::TCodingWin(QWidget* parent) : QDialog(parent), ui(new Ui::TCodingWin) {
  setFont(mp::FormFont());
  ui->setupUi(this);
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(337, 271);
  ui->ModelButtons->setId(ui->Model0, 0);
  ui->ModelButtons->setId(ui->Model1, 1);
  ui->BitBtn1->setIcon(mp::ActionIcon(mp::ActionPicture::Ok));
  ui->BitBtn2->setIcon(mp::ActionIcon(mp::ActionPicture::Cancel));
  connect(ui->ModelButtons, &QButtonGroup::idClicked, this, &TCodingWin::ModelClick);
  connect(ui->BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
  connect(ui->BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
  mp::SetHintHidePause(this);
  FormCreate();
}

TCodingWin::~TCodingWin() {
  FormDestroy();
  delete ui;
}

int TCodingWin::ModelIndex() const { return ui->ModelButtons->checkedId(); }

void TCodingWin::SetModelIndex(int index) {
  // The radio group bounds the index to -1 .. 1.
  if (index < -1) index = -1;
  if (index > 1) index = 1;
  if (index < 0) {
    ui->ModelButtons->setExclusive(false);
    for (QAbstractButton* b : ui->ModelButtons->buttons()) b->setChecked(false);
    ui->ModelButtons->setExclusive(true);
  } else {
    ui->ModelButtons->button(index)->setChecked(true);
  }
}

void TCodingWin::ModelClick() {
  ui->Info->setText(ModelIndex() == 0 ? kInfo7Bit : kInfo16Bit);
}

void TCodingWin::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  ModelClick();
  mp::Beep(mp::BeepKind::Exclamation);
}

void TCodingWin::FormCreate() {
  mp::SettingsKey key;
  if (!key.Open(false)) return;
  if (auto model = key.ReadInteger("Model")) SetModelIndex(*model);
}

void TCodingWin::FormDestroy() {
  mp::SettingsKey key;
  if (!key.Open(true)) return;
  key.WriteInteger("Model", ModelIndex());
  key.Close();
}
