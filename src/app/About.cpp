#include "app/About.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QShowEvent>

#include "app/App.h"
#include "app/Main.h"
#include "platform/Desktop.h"
#include "platform/Version.h"
#include "ui_About.h"

TAboutWin::TAboutWin(QWidget* parent) : QDialog(parent), ui(new Ui::TAboutWin) {
  setFont(mp::FormFont());
  ui->setupUi(this);
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(337, 377);
  mp::PaintShape(this, QColor(255, 0, 0), 0);
  mp::PaintShape(ui->Shape2, Qt::white, 12);
  for (QLabel* label : {ui->Version, ui->Title, ui->OwnerLine, ui->Notice}) {
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(p);
  }
  ui->Shape2->lower();
  ui->Icon->setAccessibleName("Corvistan MIRAPOST icon");
  ui->Title->setFont(mp::TitleFont(37));
  QFont owner = font();
  owner.setPixelSize(13);
  ui->OwnerLine->setFont(owner);
  // The version goes on the owner line, whose wording is ours: the Version
  // label keeps its build date, which already fills its two short lines.
  ui->OwnerLine->setText(OwnerLineText());
  ui->Version->setToolTip(QString("Version %1").arg(MIRAPOST_VERSION));
  ui->Link->setText(kHomePage);
  ui->Link->setCursor(Qt::PointingHandCursor);
  SetLinkColour(QColor(0, 128, 0));

  // Mouse moves over the white panel, the notice and the OK button put the
  // link colour back; the other labels lie on the dialog, which has no handler.
  for (QWidget* w : {static_cast<QWidget*>(ui->Shape2), static_cast<QWidget*>(ui->Notice),
                     static_cast<QWidget*>(ui->OKButton), static_cast<QWidget*>(ui->Link)}) {
    w->setMouseTracking(true);
    w->setAttribute(Qt::WA_NoMousePropagation);
    w->installEventFilter(this);
  }
  // OK is both the default and the cancel button.
  connect(ui->OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

TAboutWin::~TAboutWin() { delete ui; }

QString TAboutWin::OwnerLineText() {
  return QString("Version %1 \u00b7 Copyright \u00a9 2002 Corvistan.").arg(MIRAPOST_VERSION);
}

QColor TAboutWin::LinkColour() const { return ui->Link->palette().color(QPalette::WindowText); }

void TAboutWin::SetLinkColour(const QColor& colour) {
  QPalette p = ui->Link->palette();
  p.setColor(QPalette::WindowText, colour);
  ui->Link->setPalette(p);
}

void TAboutWin::LinkClick() {
  if (Win) Win->SetWaitCursor(true);
  mp::OpenDesktopDocument(std::string("https://") + kHomePage);
  if (Win) Win->SetWaitCursor(false);
}

void TAboutWin::LinkMouseMove() { SetLinkColour(QColor(0, 255, 0)); }

void TAboutWin::Shape2MouseMove() { SetLinkColour(QColor(0, 128, 0)); }

bool TAboutWin::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseMove) {
    if (watched == ui->Link) {
      LinkMouseMove();
    } else {
      Shape2MouseMove();
    }
  } else if (watched == ui->Link && event->type() == QEvent::MouseButtonRelease) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::LeftButton && ui->Link->rect().contains(mouse->position().toPoint())) {
      LinkClick();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TAboutWin::FitLinkFont() {
  if (linkFitted_) return;
  linkFitted_ = true;
  QFont link = mp::TitleFont(19);
  link.setUnderline(true);
  // Narrow a wide substitute face until the address fits its label.
  for (int stretch = link.stretch(); stretch > 60; stretch -= 4) {
    link.setStretch(stretch);
    if (QFontMetrics(link).horizontalAdvance(kHomePage) <= ui->Link->width() - 2) break;
  }
  ui->Link->setFont(link);
}

void TAboutWin::showEvent(QShowEvent* event) {
  FitLinkFont();
  // Drawn when first shown: the icon is an SVG, not worth drawing at start-up.
  if (ui->Icon->pixmap().isNull()) ui->Icon->setPixmap(mp::LauncherIcon().pixmap(32, 32));
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}
