// Message files (New, Open, Save As on the first page), logo files (Open on
// the logo page) and files dropped on the tab area.
#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QSaveFile>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/Main.h"
#include "widgets/Questions.h"
#include "dropfile/DropFile.h"
#include "platform/Picture.h"
#include "platform/Rtf.h"
#include "platform/Sound.h"
#include "app/MainForm.h"

namespace {

// At most this much of a message file is read; the editor holds 320
// characters, and even a verbose writer needs far less for them.
constexpr qint64 kMaxMessageFile = 64LL << 20;

// Opens an existing regular file for reading. Anything else (a pipe, a
// device such as /dev/zero, a folder) is refused before it can block the
// window or pour out data without end.
bool OpenRegularFile(const QString& path, QFile& file) {
  const QByteArray name = QFile::encodeName(path);
  const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    ::close(fd);
    return false;
  }
  return true;
}

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

bool TWin::MayDiscardMessage() {
  QTextDocument* doc = ui->Message->document();
  if (!doc->isModified() || doc->isEmpty()) return true;
  // No close request or quit gets past the question or the save dialog after it.
  const auto hold = HoldLeave();
  switch (mp::Ask().AskUnsaved(this, "The message")) {
    case mp::UnsavedAnswer::Save:
      return SaveMessageAs();
    case mp::UnsavedAnswer::Discard:
      return true;
    case mp::UnsavedAnswer::Cancel:
      break;
  }
  return false;
}

void TWin::New1Click() {
  if (!MayDiscardMessage()) return;
  SaveFileName.clear();
  // Emptied as one undoable step (clear() would drop the undo history).
  QTextCursor all(ui->Message->document());
  all.select(QTextCursor::Document);
  all.removeSelectedText();
  editors_.NormaliseMessage(true);
  ui->Message->document()->setModified(false);
}

void TWin::Open1Click() {
  if (ui->PageControl->currentWidget() == ui->TabSheet1 && !MayDiscardMessage()) return;
  mp::FileChoice choice;
  choice.ObjectName = "OpenDialog1";
  choice.Filters = OpenFilter.split(";;");
  choice.DefaultSuffix = OpenDefaultExt;
  const QString path = mp::Ask().OpenFileName(this, choice);
  if (path.isEmpty()) return;
  OpenMessageOrLogo(path);
}

void TWin::SaveAs1Click() { SaveMessageAs(); }

bool TWin::SaveMessageAs() {
  mp::FileChoice choice;
  choice.ObjectName = "SaveDialog1";
  choice.Filters = QStringList{"Rich Text Format (*.rtf)"};
  choice.DefaultSuffix = "rtf";
  choice.Proposed = SaveFileName;
  QString path = mp::Ask().SaveFileName(this, choice);
  if (path.isEmpty()) return false;
  // A name typed without an extension gets the default one.
  if (QFileInfo(path).suffix().isEmpty() && !QFileInfo(path).isDir()) path += ".rtf";

  // Written to a temporary file and renamed over the old one only when
  // complete: a failed save never destroys the file that was there. A
  // read-only file is refused rather than replaced; any other existing file
  // is replaced only when the user says so.
  const QFileInfo info(path);
  if (info.exists() && (!info.isFile() || !info.isWritable())) {
    FileFailure(this, "Cannot create file " + path);
    return false;
  }
  if (info.exists() && !mp::Ask().ConfirmReplace(this, path)) return false;
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) {
    FileFailure(this, "Cannot create file " + path);
    return false;
  }
  const QByteArray rtf = mp::DocumentToRtf(*ui->Message->document(), ui->Message->palette().color(QPalette::Text));
  if (file.write(rtf) != rtf.size() || !file.commit()) {
    file.cancelWriting();
    FileFailure(this, "Failed to Save Stream");
    return false;
  }
  SaveFileName = path;
  ui->Message->document()->setModified(false);
  StatusPanel->setText("Message saved to '" + path + "'.");
  return true;
}

void TWin::DropFile1DropFile(QObject* Sender, QString FileWithPath, QString FileName, QString Extension) {
  Q_UNUSED(Sender);
  Q_UNUSED(FileName);
  Q_UNUSED(Extension);
  if (ui->PageControl->currentWidget() == ui->TabSheet1) {
    // One answer for the whole drop: Cancel stops the files after it too.
    if (dropCancelled_) return;
    if (!MayDiscardMessage()) {
      dropCancelled_ = true;
      QTimer::singleShot(0, this, [this] { dropCancelled_ = false; });
      return;
    }
  }
  OpenMessageOrLogo(FileWithPath);
}

void TWin::ShowPage(const QString& sheet) {
  if (QWidget* page = ui->PageControl->findChild<QWidget*>(sheet)) ui->PageControl->setCurrentWidget(page);
}

void TWin::OpenMessageOrLogo(const QString& fileWithPath) {
  QWidget* page = ui->PageControl->currentWidget();
  if (page != ui->TabSheet1 && page != ui->TabSheet6) return;
  if (page == ui->TabSheet6) BuildPages();
  QFile file;
  if (!OpenRegularFile(fileWithPath, file)) {
    FileFailure(this, "Cannot open file " + fileWithPath);
    return;
  }
  if (page == ui->TabSheet1) {
    // Only the bytes that the editor's characters need are read.
    bool ok = true;
    const mp::RtfText text = mp::ReadRtfFrom(file, editors_.MaxLength(ui->Message), kMaxMessageFile, &ok);
    file.close();
    if (!ok) {
      FileFailure(this, "Failed to Load Stream");
      return;
    }
    mp::PutRtfText(text, *ui->Message->document());
    SaveFileName = fileWithPath;
    editors_.NormaliseMessage(true);
    ui->Message->document()->setModified(false);
    StatusPanel->setText("Message '" + fileWithPath + "' opened.");
    return;
  }
  // Logo page: a Windows bitmap whatever the file's name says, else any
  // picture the toolkit reads; scaled while it is read.
  const QImage picture = mp::ReadPicture(file);
  file.close();
  if (picture.isNull()) {
    FileFailure(this, "Bitmap image is not valid");
    return;
  }
  BitmapToLogo(&picture);
  StatusPanel->setText("Logo '" + fileWithPath + "' opened.");
}
