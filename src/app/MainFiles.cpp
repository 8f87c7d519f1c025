// Message files (New, Open, Save As on the first page), logo files (Open on
// the logo page) and files dropped on the tab area.
#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QSaveFile>
#include <QTextEdit>

#include "app/Main.h"
#include "app/Questions.h"
#include "dropfile/DropFile.h"
#include "platform/Rtf.h"
#include "platform/Sound.h"
#include "ui_Main.h"

namespace {

// Message files larger than this are not message files; the editor holds 320
// characters, and even a verbose writer needs far less for them.
constexpr qint64 kMaxMessageFile = 64LL << 20;

}  // namespace

void TWin::SetupFiles() {
  DropFile1 = new TDropFile(this);
  DropFile1->setObjectName("DropFile1");
  DropFile1->SetDropTarget(ui->PageControl);
  connect(DropFile1, &TDropFile::OnDropFile, this, &TWin::DropFile1DropFile);
  connect(ui->New1, &QAction::triggered, this, &TWin::New1Click);
  connect(ui->Open1, &QAction::triggered, this, &TWin::Open1Click);
  connect(ui->SaveAs1, &QAction::triggered, this, &TWin::SaveAs1Click);
}

namespace {

// A file command's failure: its text and "." on the status bar, the information beep.
void FileFailure(TWin* win, const QString& text) {
  win->StatusPanel->setText(text + ".");
  win->Beep(mp::BeepKind::Asterisk);
}

}  // namespace

void TWin::New1Click() {
  SaveFileName.clear();
  ui->Message->clear();
  NormaliseFormatting();
}

void TWin::Open1Click() {
  mp::FileChoice choice;
  choice.ObjectName = "OpenDialog1";
  choice.Filters = OpenFilter.split(";;");
  choice.DefaultSuffix = OpenDefaultExt;
  const QString path = mp::Ask().OpenFileName(this, choice);
  if (path.isEmpty()) return;
  OpenMessageOrLogo(path);
}

void TWin::SaveAs1Click() {
  mp::FileChoice choice;
  choice.ObjectName = "SaveDialog1";
  choice.Filters = QStringList{"Rich Text Format (*.rtf)"};
  choice.DefaultSuffix = "rtf";
  choice.Proposed = SaveFileName;
  QString path = mp::Ask().SaveFileName(this, choice);
  if (path.isEmpty()) return;
  // A name typed without an extension gets the default one.
  if (QFileInfo(path).suffix().isEmpty() && !QFileInfo(path).isDir()) path += ".rtf";

  // Written to a temporary file and renamed over the old one only when
  // complete: a failed save never destroys the file that was there. A
  // read-only file is refused rather than replaced; any other existing file
  // is replaced only when the user says so.
  const QFileInfo info(path);
  if (info.exists() && (!info.isFile() || !info.isWritable())) {
    FileFailure(this, "Cannot create file " + path);
    return;
  }
  if (info.exists() && !mp::Ask().ConfirmReplace(this, path)) return;
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) {
    FileFailure(this, "Cannot create file " + path);
    return;
  }
  const QByteArray rtf = mp::DocumentToRtf(*ui->Message->document(), ui->Message->palette().color(QPalette::Text));
  if (file.write(rtf) != rtf.size() || !file.commit()) {
    file.cancelWriting();
    FileFailure(this, "Failed to Save Stream");
    return;
  }
  SaveFileName = path;
  StatusPanel->setText("Message saved to '" + path + "'.");
}

void TWin::DropFile1DropFile(QObject* Sender, QString FileWithPath, QString FileName, QString Extension) {
  Q_UNUSED(Sender);
  Q_UNUSED(FileName);
  Q_UNUSED(Extension);
  OpenMessageOrLogo(FileWithPath);
}

void TWin::OpenMessageOrLogo(const QString& fileWithPath) {
  QWidget* page = ui->PageControl->currentWidget();
  if (page != ui->TabSheet1 && page != ui->TabSheet6) return;
  QFile file(fileWithPath);
  if (QFileInfo(fileWithPath).isDir() || !file.open(QIODevice::ReadOnly)) {
    FileFailure(this, "Cannot open file " + fileWithPath);
    return;
  }
  if (page == ui->TabSheet1) {
    if (file.size() > kMaxMessageFile) {
      FileFailure(this, "Failed to Load Stream");
      return;
    }
    const QByteArray data = file.readAll();
    file.close();
    if (!mp::RtfToDocument(data, *ui->Message->document(), MaxLength(ui->Message))) {
      FileFailure(this, "Failed to Load Stream");
      return;
    }
    SaveFileName = fileWithPath;
    NormaliseMessage();
    StatusPanel->setText("Message '" + fileWithPath + "' opened.");
    return;
  }
  // Logo page: a Windows bitmap whatever the file's name says.
  QImageReader reader(&file, "BMP");
  reader.setDecideFormatFromContent(false);
  const QImage picture = reader.read();
  file.close();
  if (picture.isNull()) {
    FileFailure(this, "Bitmap image is not valid");
    return;
  }
  BitmapToLogo(&picture);
  StatusPanel->setText("Logo '" + fileWithPath + "' opened.");
}
