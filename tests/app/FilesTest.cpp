// Message and logo files: Save As and Open, New, files dropped on the tab
// area (in turn, refused on other pages, on the editor itself), plain text,
// bitmaps under the .i61 name, failures, and documents of other writers.
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QMimeData>
#include <QPointer>
#include <QSignalSpy>
#include <QTextEdit>
#include <QUrl>
#include <unistd.h>

#include "AppFixture.h"
#include "platform/Picture.h"
#include "dropfile/DropFile.h"

QString MarkedEditorText(QTextEdit* editor);  // TextPageTest.cpp

namespace {

using mp::BeepKind;

class FilesTest : public AppFixture {
 protected:
  QTextEdit* Message() const { return UI(Message); }
  QString Path(const QString& name) const { return dir_.filePath(name); }
  static void Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
  }
  static QByteArray Read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  // Drags the files over `w` and drops them there; returns whether the drag was accepted.
  static bool Drop(QWidget* w, const QStringList& files) {
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& f : files) urls << QUrl::fromLocalFile(f);
    mime.setUrls(urls);
    mime.setText(files.join('\n'));  // file managers offer the paths as text too
    const QPoint at(5, 5);
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &enter);
    const bool accepted = enter.isAccepted();
    QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    if (accepted) QApplication::sendEvent(w, &drop);
    return accepted;
  }
  void Compose(const QString& text, int redFrom, int redTo) {
    Message()->setPlainText(text);
    QTextCursor c(Message()->document());
    c.setPosition(redFrom);
    c.setPosition(redTo, QTextCursor::KeepAnchor);
    Message()->setTextCursor(c);
    UI(BlinkFont)->setChecked(true);
    Win->BlinkFontClick();
  }
  // Chooses `path` in the save dialog.
  static void SaveDialogChooses(const QString& path) { Asked().SaveAnswers(path); }
};

TEST_F(FilesTest, SaveAndReopenKeepsTheBlinkingParts) {
  Create();
  Compose("steady blink end", 7, 12);
  ASSERT_EQ(MarkedEditorText(Message()), "steady [blink] end");
  SaveDialogChooses(Path("msg"));  // typed without extension
  UI(SaveAs1)->trigger();
  const QString file = Path("msg.rtf");
  EXPECT_EQ(Win->StatusText(), "Message saved to '" + file + "'.");
  EXPECT_EQ(Win->SaveFileName, file);
  const QByteArray rtf = Read(file);
  EXPECT_TRUE(rtf.startsWith("{\\rtf1\\ansi\\ansicpg1252")) << rtf.toStdString();
  EXPECT_TRUE(rtf.contains("\\cf1 blink\\cf0 ")) << rtf.toStdString();

  UI(New1)->trigger();
  EXPECT_EQ(Message()->toPlainText(), "");
  EXPECT_EQ(Win->SaveFileName, "");
  EXPECT_EQ(UI(Count)->text(), "160");

  Asked().OpenAnswers(file);
  UI(Open1)->trigger();
  ASSERT_EQ(Asked().fileChoices.size(), 2u);
  EXPECT_EQ(Asked().fileChoices[0].ObjectName, "SaveDialog1");
  EXPECT_EQ(Asked().fileChoices[1].ObjectName, "OpenDialog1");
  EXPECT_EQ(Asked().fileChoices[1].Proposed, "");
  EXPECT_EQ(MarkedEditorText(Message()), "steady [blink] end");
  EXPECT_EQ(Win->StatusText(), "Message '" + file + "' opened.");
  EXPECT_EQ(Win->SaveFileName, file);
  EXPECT_EQ(UI(Count)->text(), "52");  // 18 characters with two toggles of 70
}

TEST_F(FilesTest, FailedSaveLeavesTheOldFile) {
  Create();
  Compose("new text", 0, 3);
  // A file below a plain file cannot be created: the failure text and the information beep.
  Write(Path("plain"), "old");
  mp::TakeRecordedBeeps();
  SaveDialogChooses(Path("plain/x.rtf"));
  UI(SaveAs1)->trigger();
  EXPECT_EQ(Win->StatusText(), "Cannot create file " + Path("plain/x.rtf") + ".");
  EXPECT_EQ(mp::TakeRecordedBeeps(), std::vector<BeepKind>{BeepKind::Asterisk});
  EXPECT_EQ(Read(Path("plain")), "old");
  EXPECT_EQ(Win->SaveFileName, "");

  // Replacing an existing file asks first: No keeps it untouched, Yes puts
  // the whole new document there.
  Write(Path("old.rtf"), "old");
  SaveDialogChooses(Path("old.rtf"));
  Asked().ReplaceAnswers(false);
  UI(SaveAs1)->trigger();
  EXPECT_EQ(Read(Path("old.rtf")), "old");
  SaveDialogChooses(Path("old.rtf"));
  Asked().ReplaceAnswers(true);
  UI(SaveAs1)->trigger();
  EXPECT_EQ(Asked().replaceAsked, (std::vector<QString>{Path("old.rtf"), Path("old.rtf")}));
  EXPECT_TRUE(Read(Path("old.rtf")).startsWith("{\\rtf1"));
  EXPECT_EQ(Win->StatusText(), "Message saved to '" + Path("old.rtf") + "'.");
  // No temporary files are left behind.
  EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files).size(), 2) << QDir(dir_.path()).entryList().join(' ').toStdString();
}

TEST_F(FilesTest, ReadOnlyFileIsRefusedWithoutAsking) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may write any file; this runs in the unprivileged pass";
  Create();
  Compose("new text", 0, 3);
  Write(Path("locked.rtf"), "old");
  ASSERT_TRUE(QFile::setPermissions(Path("locked.rtf"), QFile::ReadOwner));
  SaveDialogChooses(Path("locked.rtf"));
  UI(SaveAs1)->trigger();
  EXPECT_TRUE(Asked().replaceAsked.empty());
  EXPECT_EQ(Win->StatusText(), "Cannot create file " + Path("locked.rtf") + ".");
  EXPECT_EQ(Read(Path("locked.rtf")), "old");
}

// The dialogs the user really sees: built as the application builds them,
// checked, and closed without being run.
TEST_F(FilesTest, RealFileDialogs) {
  Create();
  struct Case {
    QWidget* page;
    bool save;
    const char* action;
    const char* name;
    QStringList filters;
    const char* suffix;
  };
  const Case cases[] = {
      {UI(TabSheet1), false, "Open1", "OpenDialog1", {"Rich Text Format (*.rtf)", "All Files (*)"}, "RTF"},
      {UI(TabSheet1), true, "SaveAs1", "SaveDialog1", {"Rich Text Format (*.rtf)"}, "rtf"},
      {UI(TabSheet6), false, "Open1", "OpenDialog1", mp::LogoPictureFilters(), "BMP"},
  };
  for (const Case& c : cases) {
    UI(PageControl)->setCurrentWidget(c.page);
    if (c.save) {
      SaveDialogChooses(QString());
    } else {
      Asked().OpenAnswers(QString());
    }
    Win->findChild<QAction*>(c.action)->trigger();  // answered with Cancel
    ASSERT_FALSE(Asked().fileChoices.empty());
    const mp::FileChoice choice = Asked().fileChoices.back();
    const auto dialog = mp::MakeFileDialog(Win, choice, c.save);
    SCOPED_TRACE(c.name);
    EXPECT_EQ(dialog->objectName(), c.name);
    EXPECT_EQ(dialog->nameFilters(), c.filters);
    EXPECT_EQ(dialog->defaultSuffix(), c.suffix);
    EXPECT_EQ(dialog->acceptMode(), c.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    EXPECT_EQ(dialog->fileMode(), c.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_FALSE(dialog->isVisible());
  }
}

// The logo page takes PNG pictures: its open dialog shows them (and the
// bitmaps) without the user changing the filter.
TEST_F(FilesTest, TheLogoPagesOpenDialogShowsPicturesOfEveryKindAtFirst) {
  Create();
  ASSERT_TRUE(QDir().mkpath(Path("pictures")));
  for (const char* name : {"logo.png", "logo.bmp", "old.i61", "note.txt"}) Write(Path("pictures/") + name, "x");
  UI(PageControl)->setCurrentWidget(UI(TabSheet6));
  Asked().OpenAnswers(QString());
  UI(Open1)->trigger();
  ASSERT_FALSE(Asked().fileChoices.empty());
  const auto dialog = mp::MakeFileDialog(Win, Asked().fileChoices.back(), false);
  const QString shown = dialog->selectedNameFilter();
  const QString patterns = shown.section('(', 1).section(')', 0, 0);
  const QStringList seen =
      QDir(Path("pictures")).entryList(patterns.split(' ', Qt::SkipEmptyParts), QDir::Files, QDir::Name);
  EXPECT_EQ(seen, QStringList({"logo.bmp", "logo.png", "old.i61"})) << shown.toStdString();
  EXPECT_TRUE(dialog->nameFilters().contains("Bitmap Image (*.bmp *.i61)"));
  EXPECT_TRUE(dialog->nameFilters().contains("All Files (*)"));
}

TEST_F(FilesTest, ThreeFilesDroppedInTurn) {
  Create();
  QStringList files;
  for (int i = 1; i <= 3; ++i) {
    files << Path(QString("m%1.rtf").arg(i));
    Write(files.back(), QString("{\\rtf1{\\colortbl ;\\red255\\green0\\blue0;}text %1 \\cf1 red}").arg(i).toLatin1());
  }
  QSignalSpy spy(Win->DropFile1, &TDropFile::OnDropFile);
  ASSERT_TRUE(Drop(UI(PageControl), files));
  ASSERT_EQ(spy.count(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(spy[i][0].value<QObject*>(), Win->DropFile1);
    EXPECT_EQ(spy[i][1].toString(), files[i]);
    EXPECT_EQ(spy[i][2].toString(), QString("m%1.rtf").arg(i + 1));
    EXPECT_EQ(spy[i][3].toString(), "rtf");
  }
  EXPECT_EQ(MarkedEditorText(Message()), "text 3 [red]");
  EXPECT_EQ(Win->SaveFileName, files[2]);
  EXPECT_EQ(Win->StatusText(), "Message '" + files[2] + "' opened.");

  // Dropped on the editor itself: opened, not inserted as text.
  Message()->clear();
  ASSERT_TRUE(Drop(Message()->viewport(), {files[0]}));
  EXPECT_EQ(MarkedEditorText(Message()), "text 1 [red]");
  EXPECT_EQ(Win->StatusText(), "Message '" + files[0] + "' opened.");
}

TEST_F(FilesTest, DropsRefusedOnTheOtherPages) {
  Create();
  const QString file = Path("x.rtf");
  Write(file, "{\\rtf1 dropped}");
  QSignalSpy spy(Win->DropFile1, &TDropFile::OnDropFile);
  for (QWidget* page : {UI(TabSheet3), UI(TabSheet4), UI(TabSheet2), UI(TabSheet5)}) {
    UI(PageControl)->setCurrentWidget(page);
    EXPECT_FALSE(Win->DropFile1->EnableDrop());
    EXPECT_FALSE(Drop(UI(PageControl), {file})) << page->objectName().toStdString();
    // Nor does the phonebook name editor take the path as text.
    EXPECT_FALSE(Drop(UI(EntryName)->viewport(), {file}));
  }
  EXPECT_EQ(spy.count(), 0);
  EXPECT_EQ(Message()->toPlainText(), "");
  EXPECT_EQ(UI(EntryName)->toPlainText(), "");
  UI(PageControl)->setCurrentWidget(UI(TabSheet6));
  EXPECT_TRUE(Win->DropFile1->EnableDrop());
}

TEST_F(FilesTest, PlainTextFileIsCutTo320) {
  Create();
  const QString file = Path("long.txt");
  Write(file, QByteArray("caf\xe9 ") + QByteArray(400, 'z'));
  Win->OpenMessageOrLogo(file);
  EXPECT_EQ(Message()->toPlainText(), QString::fromUtf8("café ") + QString(315, 'z'));
  EXPECT_EQ(UI(Count)->text(), "-160");  // 320 of 160: Send/Save disabled
  EXPECT_FALSE(UI(SaveBlink)->isEnabled());
  EXPECT_EQ(Win->StatusText(), "Message '" + file + "' opened.");
}

TEST_F(FilesTest, LogoFiles) {
  Create();
  UI(PageControl)->setCurrentWidget(UI(TabSheet6));
  QImage picture(72, 14, QImage::Format_RGB32);
  picture.fill(Qt::white);
  for (int x = 0; x < 72; ++x) picture.setPixel(x, 7, qRgb(0, 0, 0));
  const QString i61 = Path("logo.i61");
  ASSERT_TRUE(picture.save(i61, "BMP"));
  mp::TakeRecordedBeeps();
  ASSERT_TRUE(Drop(UI(PageControl), {i61}));
  EXPECT_EQ(Win->StatusText(), "Logo '" + i61 + "' opened.");
  EXPECT_TRUE(mp::TakeRecordedBeeps().empty());
  const std::string bits = Win->LogoBits;

  // A file under a bitmap's name that holds something else.
  const QString fake = Path("fake.bmp");
  Write(fake, "GIF89a not a bitmap");
  Win->OpenMessageOrLogo(fake);
  EXPECT_EQ(Win->StatusText(), "Bitmap image is not valid.");
  EXPECT_EQ(mp::TakeRecordedBeeps(), std::vector<BeepKind>{BeepKind::Asterisk});
  EXPECT_EQ(Win->LogoBits, bits);  // the previous logo stays
  // Any other picture the toolkit reads is taken too, whatever its name.
  const QString png = Path("real.bmp");
  ASSERT_TRUE(picture.save(png, "PNG"));
  Win->OpenMessageOrLogo(png);
  EXPECT_EQ(Win->StatusText(), "Logo '" + png + "' opened.");
  EXPECT_EQ(Win->LogoBits, bits);
  // The message page was not touched.
  EXPECT_EQ(Win->SaveFileName, "");
}

TEST_F(FilesTest, FailureTexts) {
  Create();
  mp::TakeRecordedBeeps();
  const QString missing = Path("missing.rtf");
  Win->OpenMessageOrLogo(missing);
  EXPECT_EQ(Win->StatusText(), "Cannot open file " + missing + ".");
  // Binary data is neither rich text nor plain text.
  const QString binary = Path("binary.rtf");
  Write(binary, QByteArray("\x00\x01\x02\x03", 4));
  Message()->setPlainText("kept");
  Win->OpenMessageOrLogo(binary);
  EXPECT_EQ(Win->StatusText(), "Failed to Load Stream.");
  EXPECT_EQ(Message()->toPlainText(), "kept");
  EXPECT_EQ(mp::TakeRecordedBeeps(), (std::vector<BeepKind>{BeepKind::Asterisk, BeepKind::Asterisk}));
}

TEST_F(FilesTest, PathSplitting) {
  struct Row {
    QString path, name, ext;
  };
  const QString longDir = "/tmp/" + QString(130, 'd');
  const Row rows[] = {
      {"/data/a.b/readme", "readme", ""},
      {"/data/report.final.rtf", "report.final.rtf", "rtf"},
      {"/data/UPPER.RTF", "UPPER.RTF", "RTF"},
      {"/data/.hidden", ".hidden", "hidden"},
      {"/data/dir/", "", ""},
      {"noslash.txt", "", ""},
      {longDir + "/m.rtf", "m.rtf", "rtf"},
  };
  for (const Row& r : rows) {
    QString name, ext;
    TDropFile::SplitPath(r.path, name, ext);
    EXPECT_EQ(name, r.name) << r.path.toStdString();
    EXPECT_EQ(ext, r.ext) << r.path.toStdString();
  }
  // Through a real drop: a folder with a full stop and a path over 127 characters.
  Create();
  ASSERT_TRUE(QDir(dir_.path()).mkpath("a.b/" + QString(140, 'p')));
  const QString plain = Path("a.b/readme");
  const QString deep = Path("a.b/" + QString(140, 'p') + "/deep.message.rtf");
  Write(plain, "hello");
  Write(deep, "{\\rtf1 deep}");
  ASSERT_GT(deep.size(), 127);
  QSignalSpy spy(Win->DropFile1, &TDropFile::OnDropFile);
  ASSERT_TRUE(Drop(UI(PageControl), {plain, deep}));
  ASSERT_EQ(spy.count(), 2);
  EXPECT_EQ(spy[0][2].toString(), "readme");
  EXPECT_EQ(spy[0][3].toString(), "");
  EXPECT_EQ(spy[1][1].toString(), deep);
  EXPECT_EQ(spy[1][2].toString(), "deep.message.rtf");
  EXPECT_EQ(spy[1][3].toString(), "rtf");
  EXPECT_EQ(Message()->toPlainText(), "deep");
  EXPECT_EQ(Win->StatusText(), "Message '" + deep + "' opened.");
}

TEST_F(FilesTest, DocumentsOfOtherWriters) {
  Create();
  Win->OpenMessageOrLogo(MP_TEST_DATA "/rtf/libreoffice-colours.rtf");
  // Red and dark red (red component 128) blink; blue does not; bold is gone.
  EXPECT_EQ(MarkedEditorText(Message()),
            QString::fromUtf8("Steady [blink] then [dark red], blue and bold.\n"
                              "Second line: café €5 € Ωmega \U0001F600 {brace} back\\slash"));
  Win->OpenMessageOrLogo(MP_TEST_DATA "/rtf/pandoc.rtf");
  EXPECT_TRUE(Message()->toPlainText().startsWith("Title here\nHello bold and italic world;"));
  EXPECT_EQ(Win->StatusText(), "Message '" MP_TEST_DATA "/rtf/pandoc.rtf' opened.");
  Win->OpenMessageOrLogo(MP_TEST_DATA "/rtf/wordpad.rtf");
  EXPECT_EQ(MarkedEditorText(Message()), QString::fromUtf8("Hello [blink] world\nLine été two"));
}

TEST_F(FilesTest, DropTargetProperties) {
  QWidget owner;
  QWidget* inner = new QWidget(&owner);
  TDropFile drop(&owner);
  EXPECT_TRUE(drop.EnableDrop());
  EXPECT_EQ(drop.TargetWindow(), &owner);
  EXPECT_TRUE(owner.acceptDrops());
  drop.SetDropTarget(inner);
  EXPECT_FALSE(owner.acceptDrops());
  EXPECT_TRUE(inner->acceptDrops());
  drop.SetEnableDrop(false);
  EXPECT_FALSE(inner->acceptDrops());
  drop.SetEnableDrop(true);
  // A widget added later inside the target is watched as well.
  QWidget* later = new QWidget(inner);
  later->setAcceptDrops(true);
  QSignalSpy spy(&drop, &TDropFile::OnDropFile);
  const QString file = dir_.filePath("f.txt");
  Write(file, "x");
  EXPECT_TRUE(Drop(later, {file}));
  EXPECT_EQ(spy.count(), 1);
  drop.DetachTarget();
  EXPECT_EQ(drop.TargetWindow(), nullptr);
  EXPECT_FALSE(inner->acceptDrops());
}

}  // namespace
