// The main window's frame: start-up and shut-down settings, page changes,
// menus, the edit pop-up menu, the font command and the phone link's view of
// the window (port choice, status bar, beep, wait pointer).
#include "app/Main.h"

#include <QAction>
#include <QApplication>
#include <QTimer>
#include <QButtonGroup>
#include <QClipboard>
#include <QComboBox>
#include <QAbstractItemView>
#include <QCloseEvent>
#include <QFontDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QStatusBar>
#include <QTextCursor>
#include <QTextEdit>
#include <QToolTip>
#include <QPainter>
#include <QStyleOptionTab>
#include <QTabBar>
#include <QHelpEvent>
#include <QShortcut>
#include <QTextDocument>
#include <cstdio>
#include <algorithm>

#include "app/About.h"
#include "app/Accessible.h"
#include "dialogs/AccessNames.h"
#include "app/App.h"
#include "widgets/MessageEdit.h"
#include "widgets/TabRows.h"
#include "widgets/Questions.h"
#include "dialogs/FontDialog.h"
#include "widgets/StatusLabel.h"
#include "dropfile/DropFile.h"
#include "platform/Ansi.h"
#include "platform/Desktop.h"
#include "platform/Picture.h"
#include "platform/Help.h"
#include "platform/Settings.h"
#include "platform/Sound.h"
#include "app/MainForm.h"


namespace {

// The address the Help menu's web site command opens.
constexpr const char* kDownloadPage = "https://www.mirapost.example/download";

constexpr int kClientWidth = 432;
constexpr int kClientHeight = 393;  // frame plus the status bar
constexpr int kStatusHeight = 19;
constexpr int kFontNameChars = 31;

}  // namespace

TWin* Win = nullptr;

TWin::TWin(QWidget* parent, Pages pages)
    : QMainWindow(parent), Phone(*this, mp::HostedSerialFactory(*this)), ui(new Ui::TWin()) {
  Phone.SetKeepReports(true);
  // Fonts: the form's font is "MS Sans Serif" 11 pixels (set before the
  // controls exist, so that they are made with it), the title a rounded bold face.
  setFont(mp::FormFont());
  // Before any control exists: with a screen reader running, each one's
  // accessible interface is made as soon as it is.
  mp::InstallAccessibleFactory();
  ui->setupUi(this);
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);

  // Each kind plays its own theme sound; the X bell where none can play.
  mp::SetBeepSound(mp::ThemeSound([] { QApplication::beep(); }));

  ui->Title->setFont(mp::TitleFont(37));
  mp::PaintShape(ui->Background, QColor(255, 0, 0), 0);
  mp::PaintShape(ui->Panel, Qt::white, 12);
  ui->Panel->lower();
  ui->Background->lower();
  QPalette black = ui->Title->palette();
  black.setColor(QPalette::WindowText, Qt::black);
  ui->Title->setPalette(black);
  ui->PortLabel->setPalette(black);

  // Tab captions wrap to several rows.
  {
    QTabWidget* pc = ui->PageControl;
    pc->tabBar()->hide();
    auto* rows = new TabRows(pc, ui->centralwidget);
    const QRect g = pc->geometry();
    const int h = rows->Arrange(g.width());
    rows->setGeometry(g.x(), g.y(), g.width(), h);
    pc->setGeometry(g.x(), g.y() + h, g.width(), g.height() - h);
    rows->show();
    // The hidden bar and the page control itself never take the focus (the
    // bar is the control's focus proxy): the painted rows stand for them.
    pc->tabBar()->setFocusPolicy(Qt::NoFocus);
    pc->setFocusProxy(nullptr);
    pc->setFocusPolicy(Qt::NoFocus);
    rows_ = rows;
    SetTabOrder();
    // The scratch buffer of the rich-text copies is no control: it never
    // takes the focus and, kept outside the window, no screen reader meets it.
    const QFont formFont = ui->rtfBuf->font();
    ui->rtfBuf->setParent(nullptr);
    ui->rtfBuf->setFont(formFont);
    ui->rtfBuf->setFocusPolicy(Qt::NoFocus);
    // For assistive technology the rows stand for the hidden bar.
    pc->setProperty(mp::kFilterChildren, true);
    pc->tabBar()->setProperty(mp::kNoAccess, true);
    connect(pc, &QTabWidget::currentChanged, rows, [rows] { mp::NotifyPageShown(rows); });
  }

  // Status bar: one text panel across the whole width, no size grip.
  StatusPanel = new mp::StatusLabel(ui->StatusBar);
  StatusPanel->setObjectName("StatusPanel");
  ui->StatusBar->addWidget(StatusPanel, 1);
  ui->StatusBar->setSizeGripEnabled(false);
  ui->StatusBar->setFixedHeight(kStatusHeight);

  // Fixed size: the client area below the menu bar is 432 x 393.
  ui->centralwidget->setFixedSize(kClientWidth, kClientHeight - kStatusHeight);
  const int menuHeight = ui->MainMenu1->sizeHint().height();
  setFixedSize(kClientWidth, menuHeight + kClientHeight);

  // The hidden maintenance command works through its shortcut only.
  addAction(ui->Debug1);
  ui->Debug1->setShortcutContext(Qt::WindowShortcut);

  // Edit pop-up menu shared by Message and EntryName.
  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName("PopupMenu1");
  Undo1 = new QAction("&Undo", this);
  Undo1->setObjectName("Undo1");
  Redo1 = new QAction("&Redo", this);
  Redo1->setObjectName("Redo1");
  PopupMenu1->addAction(Undo1);
  PopupMenu1->addAction(Redo1);
  PopupMenu1->addSeparator();
  PopupMenu1->addAction(ui->Cut1);
  PopupMenu1->addAction(ui->Copy1);
  PopupMenu1->addAction(ui->Paste1);
  PopupMenu1->addAction(ui->Delete1);
  PopupMenu1->addSeparator();
  PopupMenu1->addAction(ui->SelectAll1);
  connect(PopupMenu1, &QMenu::aboutToShow, this, &TWin::PopupMenu1Popup);
  ConnectPopupMenu(ui->Message);

  ui->ClassButtons->setId(ui->ClassNormal, 0);
  ui->ClassButtons->setId(ui->ClassClass0, 1);
  ui->ClassButtons->setId(ui->ClassHidden, 2);

  // Action buttons carry a small picture left of the caption.
  ui->SaveBlink->setIcon(mp::ActionIcon(mp::ActionPicture::Send));
  // The icon is an SVG: drawn once the window is on the screen.
  mp::AfterFirstPaint(this, [this] { setWindowIcon(mp::LauncherIcon()); });

  // Frame signals. A page switched to before the pages are built builds
  // them first.
  connect(ui->PageControl, &QTabWidget::currentChanged, this, &TWin::BuildPages);
  connect(ui->PageControl, &QTabWidget::currentChanged, this, &TWin::PageControlChange);
  // A page chosen from the keyboard (Ctrl+Tab) lands in its text editor, where
  // the user will type, not on the Blink button above it.
  connect(ui->PageControl, &QTabWidget::currentChanged, this, [this] {
    QWidget* page = ui->PageControl->currentWidget();
    QWidget* editor = page == ui->TabSheet1 ? static_cast<QWidget*>(ui->Message)
                      : page == ui->TabSheet5 ? static_cast<QWidget*>(ui->EntryName)
                                              : nullptr;
    if (!editor) return;
    QTimer::singleShot(0, editor, [this, page, editor] {
      QWidget* focus = QApplication::focusWidget();
      if (ui->PageControl->currentWidget() == page && focus && ui->PageControl->isAncestorOf(focus) &&
          focus != editor && !editor->isAncestorOf(focus) && focus->objectName().startsWith("Blink"))
        editor->setFocus(Qt::TabFocusReason);
    });
  });
  connect(ui->Font1, &QAction::triggered, this, &TWin::Font1Click);
  connect(ui->Exit1, &QAction::triggered, this, &TWin::Exit1Click);
  connect(ui->AboutMiraPost1, &QAction::triggered, this, &TWin::AboutMiraPost1Click);
  connect(ui->MIRAPOSTWebSite1, &QAction::triggered, this, &TWin::MIRAPOSTWebSite1Click);
  connect(ui->HelpContents1, &QAction::triggered, this, &TWin::HelpContents1Click);
  connect(ui->Debug1, &QAction::triggered, this, &TWin::Debug1Click);
  connect(ui->Cut1, &QAction::triggered, this, &TWin::Cut1Click);
  connect(ui->Copy1, &QAction::triggered, this, &TWin::Copy1Click);
  connect(ui->Paste1, &QAction::triggered, this, &TWin::Paste1Click);
  connect(ui->Delete1, &QAction::triggered, this, &TWin::Delete1Click);
  connect(ui->SelectAll1, &QAction::triggered, this, &TWin::SelectAll1Click);
  connect(Undo1, &QAction::triggered, this, &TWin::Undo1Click);
  connect(Redo1, &QAction::triggered, this, &TWin::Redo1Click);

  // Enter presses the shown page's default button: watch every control of the pages.
  for (QWidget* child : ui->TabSheet1->findChildren<QWidget*>()) child->installEventFilter(this);
  ui->ComPort->installEventFilter(this);
  ui->PageControl->tabBar()->installEventFilter(this);

  SetupTextPage();
  SetupFiles();
  SetupPreview();
  SetupKeyboard();
  SetupPorts();
  SetupDialogue();
  SetupClose();

  // Hints stay ten seconds.
  mp::SetHintHidePause(this);

  FormCreate();
  // The port list first: the pages' build names every control for screen
  // readers, the list's too.
  if (pages == Pages::AtOnce) {
    SetupPortList();
    BuildPages();
  } else {
    mp::AfterFirstPaint(this, [this] {
      SetupPortList();
      BuildPages();
    });
  }
  constructed_ = true;
}

TWin::~TWin() {
  FormDestroy();
  // Helper objects of the pages (event filters, the drop target) go before
  // the controls they watch, so that none of them sees a half-destroyed control.
  DropFile1 = nullptr;
  const QObjectList helpers = children();
  for (QObject* o : helpers) {
    if (o->isWidgetType() || qobject_cast<QAction*>(o) || qobject_cast<QLayout*>(o) ||
        qobject_cast<QButtonGroup*>(o)) {
      continue;
    }
    delete o;
  }
  delete ui->rtfBuf;  // outside the window (see the constructor)
  delete ui;
  ui = nullptr;
}

void TWin::FormCreate() {
  MessageFont = mp::DefaultMessageFont();
  ui->ComPort->setCurrentIndex(3);
  {
    mp::SettingsKey key;
    if (key.Open(false)) {
      if (auto port = key.ReadInteger("ComPort")) {
        const int index = *port - 1;
        ui->ComPort->setCurrentIndex(index >= 0 && index < ui->ComPort->count() ? index : -1);
      }
      for (int i = 0; i < 10; ++i) {
        auto name = key.ReadString("Operator" + std::to_string(i));
        if (!name) break;
        storedOperators_.append(QString::fromStdString(*name));
      }
      if (auto face = key.ReadString("FontName")) {
        MessageFont.setFamily(QString::fromStdString(*face).left(kFontNameChars));
      }
      if (auto size = key.ReadInteger("FontSize")) {
        // Used unchanged; the toolkit cannot hold a size below one point.
        if (*size > 0) MessageFont.setPointSize(*size);
      }
    }
  }
  ScratchStream.open(QIODevice::ReadWrite);
  QToolTip::hideText();
  PageControlChange();
  ui->Message->setFont(MessageFont);
  ui->Message->document()->setDefaultFont(MessageFont);
  editors_.NormaliseFormatting();
  // Start-up is no step the user could take back; the empty message is
  // unchanged (and so is the phonebook's name, when its page is built).
  ui->Message->document()->clearUndoRedoStacks();
  ui->Message->document()->setModified(false);
  // A settings file the user made read-only is left alone: say so now, as
  // nothing can be said once the window is gone.
  if (const std::string ro = mp::SettingsKey::ReadOnlyWarning(); !ro.empty()) {
    StatusPanel->setText(QString::fromStdString(ro));
  }
}

void TWin::FormDestroy() {
  ScratchStream.close();
  mp::SettingsKey key;
  if (!key.Open(true)) return;
  key.WriteInteger("ComPort", ui->ComPort->currentIndex() + 1);
  // The logo page's operators, or those read at start when it was never built.
  QStringList operators = storedOperators_;
  if (pagesBuilt_) {
    for (int i = 0; i < ui->cmbOperator->count(); ++i) operators.append(ui->cmbOperator->itemText(i));
  }
  for (int i = 0; i < operators.size(); ++i) {
    key.WriteString("Operator" + std::to_string(i), operators[i].toStdString());
  }
  key.WriteString("FontName", MessageFont.family().toStdString());
  key.WriteInteger("FontSize", MessageFont.pointSize());
  if (!key.Close()) {
    if (const std::string ro = mp::SettingsKey::ReadOnlyNotice(); !ro.empty())
      std::fprintf(stderr, "%s\n", ro.c_str());
  }
}

void TWin::PageControlChange() {
  ui->Font1->setEnabled(false);
  ui->SaveAs1->setEnabled(false);
  ui->Open1->setEnabled(false);
  ui->New1->setEnabled(false);
  bool drop = false;
  CurrentEditor = ui->EntryName;
  CurrentBlinkButton = ui->BlinkEntry;
  QWidget* page = ui->PageControl->currentWidget();
  if (page == ui->TabSheet1) {
    ui->Font1->setEnabled(true);
    ui->SaveAs1->setEnabled(true);
    ui->Open1->setEnabled(true);
    ui->New1->setEnabled(true);
    drop = true;
    OpenDefaultExt = "RTF";
    OpenFilter = "Rich Text Format (*.rtf);;All Files (*)";
    CurrentEditor = ui->Message;
    CurrentBlinkButton = ui->BlinkFont;
  } else if (page == ui->TabSheet6) {
    ui->Open1->setEnabled(true);
    drop = true;
    OpenDefaultExt = "BMP";
    OpenFilter = mp::LogoPictureFilters().join(";;");
  }
  if (DropFile1) DropFile1->SetEnableDrop(drop);
}

void TWin::Font1Click() {
  // A face and a size from 8 to 24 points; the style is always plain.
  TFontDialog dialog(MessageFont, this);
  if (mp::ShowModal(&dialog) != QDialog::Accepted) return;
  MessageFont = dialog.SelectedFont();
  ui->Message->setFont(MessageFont);
  ui->Message->document()->setDefaultFont(MessageFont);
  editors_.NormaliseMessage();
}

void TWin::Exit1Click() { close(); }

void TWin::AboutMiraPost1Click() {
  mp::CreateDialogs();
  if (AboutWin) mp::ShowModal(AboutWin);
}

// Hands `target` to the desktop; when no program takes it, the status bar
// gives the address to open by hand.
void TWin::OpenForUser(const std::string& target, const std::string& what) {
  SetWaitCursor(true);
  const bool opened = mp::OpenDesktopDocument(target);
  SetWaitCursor(false);
  if (opened) return;
  ShowStatus("Cannot open " + what + " (no program on this desktop takes it): open " + target + " by hand.");
  Beep(mp::BeepKind::Asterisk);
}

void TWin::MIRAPOSTWebSite1Click() { OpenForUser(kDownloadPage, "the web site"); }

void TWin::HelpContents1Click() {
  const QString page = mp::FindHelpPage();
  if (page.isEmpty()) {
    ShowStatus("Cannot find the help page (" + std::string(mp::kHelpPageFromProgram) + ").");
    Beep(mp::BeepKind::Asterisk);
    return;
  }
  OpenForUser(page.toStdString(), "the help page");
}

void TWin::Debug1Click() {
  BuildPages();
  ui->Forward->setEnabled(true);
  Phone.SaveTrafficLog();
}

void TWin::PopupMenu1Popup() {
  const QTextDocument* doc = CurrentEditor ? CurrentEditor->document() : nullptr;
  Undo1->setEnabled(doc && doc->isUndoAvailable());
  Redo1->setEnabled(doc && doc->isRedoAvailable());
  const bool selection = CurrentEditor && CurrentEditor->textCursor().hasSelection();
  ui->Cut1->setEnabled(selection);
  ui->Copy1->setEnabled(selection);
  ui->Delete1->setEnabled(selection);
  const QMimeData* data = QApplication::clipboard()->mimeData();
  ui->Paste1->setEnabled(data && data->hasText());
}

void TWin::Cut1Click() {
  if (CurrentEditor) CurrentEditor->cut();
}

void TWin::Copy1Click() {
  if (CurrentEditor) CurrentEditor->copy();
}

void TWin::Paste1Click() {
  if (!CurrentEditor) return;
  const QMimeData* data = QApplication::clipboard()->mimeData();
  if (!data || !data->hasText()) return;
  editors_.PasteInto(CurrentEditor);
}

void TWin::Undo1Click() {
  if (CurrentEditor) CurrentEditor->undo();
}

void TWin::Redo1Click() {
  if (CurrentEditor) CurrentEditor->redo();
}

void TWin::Delete1Click() {
  if (!CurrentEditor) return;
  QTextCursor cursor = CurrentEditor->textCursor();
  cursor.removeSelectedText();
  CurrentEditor->setTextCursor(cursor);
}

void TWin::SelectAll1Click() {
  if (CurrentEditor) CurrentEditor->selectAll();
}

QString TWin::StatusText() const { return StatusPanel ? StatusPanel->FullText() : QString(); }

QPushButton* TWin::DefaultButton() const {
  QWidget* page = ui->PageControl->currentWidget();
  if (page == ui->TabSheet1) return ui->SaveBlink;
  if (page == ui->TabSheet3) return ui->SaveInd;
  if (page == ui->TabSheet4) return ui->BitBtn1;
  if (page == ui->TabSheet2) return ui->SaveTemp;
  if (page == ui->TabSheet5) return ui->SaveEntry;
  if (page == ui->TabSheet6) return ui->cmdSaveLogo;
  return nullptr;
}

bool TWin::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Shortcut && ui) {
    // The access key of an indicator group goes to the first box of the group
    // its caption names, not to the box of the group that had the focus last.
    const std::pair<QObject*, QWidget*> groups[] = {
        {ui->VoiceGroup, ui->VoiceOn}, {ui->FaxGroup, ui->FaxOn}, {ui->EmailGroup, ui->EmailOn}};
    for (const auto& [group, box] : groups) {
      if (watched == group) {
        box->setFocus(Qt::ShortcutFocusReason);
        return true;
      }
    }
  }
  if (event->type() == QEvent::KeyPress && ui) {
    auto* key = static_cast<QKeyEvent*>(event);
    QTextEdit* editor = nullptr;
    if (watched == ui->Message || watched == ui->Message->viewport()) editor = ui->Message;
    if (ui->EntryName && (watched == ui->EntryName || watched == ui->EntryName->viewport())) editor = ui->EntryName;
    if (editor && MessageKeyPress(editor, key)) return true;
    if (watched == ui->ComPort && !ui->ComPort->view()->isVisible()) {
      // No type-ahead in the closed port box: a word typed into it by
      // mistake ("Carl") would choose another port for the next send.
      const QString text = key->text();
      if (!text.isEmpty() && text.at(0).isPrint() && text != " ") return true;
    }
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (enter && plain && editor != ui->Message) {
      // A focused push button takes Enter itself, as the default does on the desktop.
      if (auto* button = qobject_cast<QPushButton*>(watched)) {
        if (button->isEnabled()) button->click();
        return true;
      }
      if (auto* combo = qobject_cast<QComboBox*>(watched); combo && combo->view()->isVisible()) {
        return false;
      }
      QPushButton* button = DefaultButton();
      if (button && button->isEnabled() && button->isVisible()) {
        button->click();
        return true;
      }
      // Enter never breaks the one-line name.
      if (editor && editor == ui->EntryName) return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void TWin::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  // The editor of the page shown has the focus from the start.
  if (!event->spontaneous() && !focusWidget() && CurrentEditor) CurrentEditor->setFocus();
}

void TWin::SetupKeyboard() {
  // Ctrl+Tab, Ctrl+PgDn: next page; Ctrl+Shift+Tab, Ctrl+PgUp: the one before;
  // from any control of the window, the editors included.
  const struct {
    QKeySequence keys;
    int step;
  } switches[] = {
      {QKeySequence(Qt::CTRL | Qt::Key_Tab), 1},
      {QKeySequence(Qt::CTRL | Qt::Key_PageDown), 1},
      {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), -1},
      {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), -1},
      {QKeySequence(Qt::CTRL | Qt::Key_PageUp), -1},
  };
  for (const auto& sw : switches) {
    auto* shortcut = new QShortcut(sw.keys, this);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, [this, step = sw.step] {
      QTabWidget* pc = ui->PageControl;
      pc->setCurrentIndex((pc->currentIndex() + step + pc->count()) % pc->count());
      FocusPage();
    });
  }
}

// ---- PhoneHost ----

int TWin::PortIndex() const { return ui->ComPort->currentIndex(); }

void TWin::ShowStatus(const std::string& text) {
  StatusPanel->SetFullText(mp::FromAnsi(text));
  StatusPanel->repaint();
}

void TWin::Beep(mp::BeepKind kind) { mp::Beep(kind); }

void TWin::SetWaitCursor(bool on) {
  if (on) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}
