#pragma once
// The main window: a fixed frame with six tab pages, the port choice, the
// status bar and the menus. Handlers carry the names of their controls and
// events. Each page keeps its state and handlers in an object of its own
// (src/app/pages: TextPage, IndicatorPage, VoidPages, PhonebookPage,
// LogoPage, and the Editors that the text and phonebook pages share); the
// window hands each its controls and forwards its handlers (MainPages.cpp).
// The frame lives in Main.cpp, the file commands in MainFiles.cpp.
#include <QBuffer>
#include <QImage>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <memory>
#include <string>
#include <vector>

#include "app/pages/Editors.h"
#include "app/pages/IndicatorPage.h"
#include "app/pages/LogoPage.h"
#include "app/pages/PageLinks.h"
#include "app/pages/PhonebookPage.h"
#include "app/pages/TextPage.h"
#include "app/pages/VoidPages.h"
#include "widgets/StatusLabel.h"
#include "builders/Messages.h"
#include "gateway/Gateway.h"
#include "pdu/Reading.h"
#include "phone/PhoneHost.h"
#include "phone/PhoneLink.h"
#include "record/Record.h"

class QAbstractButton;
class QLabel;
class QMenu;
class QPushButton;
class QTextEdit;
class QTimer;
class QFontDialog;
class ReceivingPhone;
class TSentWin;
class TReceivedWin;
class QFileDialog;
class TDropFile;

namespace Ui {
class TWin;
}

class TWin : public QMainWindow, public mp::PhoneHost {
  Q_OBJECT

  // The pages' own objects (src/app/pages): each keeps its page's state and
  // handlers; the window hands each its controls and forwards its handlers.
  // Declared first, so that the names below can refer to their state.
  mp::Editors editors_;
  mp::TextPage textPage_;
  mp::IndicatorPage indicatorPage_;
  mp::VoidPages voidPages_;
  mp::PhonebookPage phonebookPage_;
  mp::LogoPage logoPage_;

 public:
  // The pages not shown at start (all but the text page) are built with the
  // window, or just after its first paint (the program's start); a page
  // switched to, a file opened or a command that needs them builds them at
  // once. Built either way, the window is the same.
  enum class Pages { AtOnce, AfterFirstPaint };
  explicit TWin(QWidget* parent = nullptr, Pages pages = Pages::AtOnce);
  ~TWin() override;  // FormDestroy
  // Builds the pages not built yet (nothing when they are).
  void BuildPages();
  bool PagesBuilt() const { return pagesBuilt_; }

  // Form notes: every control of the form is a child of the window with its
  // name (findChild<QComboBox*>("ComPort")); the form itself (ui) is private.
  // `Class` is a QGroupBox holding the radio buttons ClassNormal, ClassClass0
  // and ClassHidden, joined in the QButtonGroup ClassButtons with the ids 0,
  // 1, 2 (use ClassIndex()). The action button of the void page is BitBtn1.
  // The status bar's one text is the label StatusPanel.

  // ---- frame ----
  QMenu* PopupMenu1 = nullptr;      // edit pop-up menu of Message and EntryName
  QAction* Undo1 = nullptr;         // its "&Undo" and "&Redo" items
  QAction* Redo1 = nullptr;
  mp::StatusLabel* StatusPanel = nullptr;  // the status bar's one text panel
  QString StatusText() const;       // what the status bar shows (whole, never shortened)
  int ClassIndex() const;           // 0 Normal, 1 Class 0, 2 Hidden, -1 none
  void SetClassIndex(int index);
  // The page's default button (Enter presses it while the page is shown).
  QPushButton* DefaultButton() const;

  // ---- PhoneHost ----
  int PortIndex() const override;
  void ShowStatus(const std::string& text) override;
  void Beep(mp::BeepKind kind) override;
  void SetWaitCursor(bool on) override;
  void Transferred(const mp::TransferReport& report) override;  // kept in SentRecord
  // Matched and kept in SentRecord; this session's messages are said on the status bar.
  bool StatusReportRead(const mp::PhoneStatusReport& report) override;
  bool AwaitsReports() override;
  // While a dialogue runs (MainDialogue.cpp): the pages and menus are
  // disabled, the Cancel button shows in the status bar, and the event
  // slices between the link's waits deliver paint and other window events
  // but no input except Escape and Cancel.
  void SetDialogue(bool running) override;
  bool ServiceEvents() override;
  // The link's waits run a local event loop (as a modal dialog does) that
  // ends when the line is ready, at the time given, or on Cancel: armed
  // here, run by the next ServiceEvents.
  void ArmLineWait(int fd, bool forWrite, int milliseconds) override;
  // A gateway's wait: "12 s waited, 48 s left" in WaitLabel until it ends.
  void WaitProgress(std::chrono::milliseconds waited, std::chrono::milliseconds left) override;
  QPushButton* CancelButton = nullptr;  // in the status bar, during a dialogue only
  QLabel* WaitLabel = nullptr;          // beside it, during a gateway's wait only

  mp::PhoneLink Phone;  // the one phone link of the application

  // ---- shared editor machinery (pages/Editors.h) ----
  QTextEdit*& CurrentEditor = editors_.CurrentEditor;
  QAbstractButton*& CurrentBlinkButton = editors_.CurrentBlinkButton;
  QBuffer& ScratchStream = editors_.ScratchStream;  // the scratch stream of CopyRichText
  QFont MessageFont;  // the font dialog's font, given to Message

  // The editors' own (pages/Editors.h), under the window's names.
  int RichToBlinkText(QTextEdit* editor, std::string* out, bool& toggles);
  void CopyRichText(QTextEdit* source, QTextEdit* target, bool joinPrevious = false);

  // ---- logo page state (pages/LogoPage.h) ----
  std::string& OperatorCode = logoPage_.OperatorCode;
  std::string& LogoBits = logoPage_.LogoBits;
  QImage& LogoPreview = logoPage_.LogoPreview;
  void BitmapToLogo(const QImage* picture);

  // ---- phonebook page state (pages/PhonebookPage.h) ----
  std::string& EntryNumber = phonebookPage_.EntryNumber;
  int& EntryType = phonebookPage_.EntryType;

  // ---- files ----
  TDropFile* DropFile1 = nullptr;
  QString SaveFileName;  // the save dialog's proposed name
  // The open dialog's filter (Qt name filter form, entries joined by ";;")
  // and default extension ("RTF" or "BMP"), set by PageControlChange.
  QString OpenFilter;
  QString OpenDefaultExt;
  void OpenMessageOrLogo(const QString& fileWithPath);  // DropFile1DropFile's work
  // Shows the page of this object name ("TabSheet1" .. "TabSheet6").
  void ShowPage(const QString& sheet);
  // Asks before changed work in Message is dropped (not for an empty
  // message); true when it may go: saved, discarded or unchanged.
  bool MayDiscardMessage();
  // Every way out of the program asks here (MainClose.cpp): false while a
  // dialogue with the phone or a gateway runs (the status bar then says
  // kCloseRefused) or while the unsaved-work question is open; otherwise
  // MayDiscardMessage.
  bool MayClose();
  static const char* const kCloseRefused;
  // A dialogue with the phone or a gateway runs (SetDialogue).
  bool InDialogue() const;
  // Save As; true when the message was written.
  bool SaveMessageAs();

  // ---- receiving phone panel and the record of sent messages (MainPreview.cpp) ----
  ReceivingPhone* Preview = nullptr;  // the panel beside the form
  QAction* ReceivingPhone1 = nullptr;  // View menu: panel shown
  QAction* SentMessages1 = nullptr;    // View menu: the "Sent messages" window
  QAction* KeepRecord1 = nullptr;      // View menu: record sends (a setting)
  QAction* LongText1 = nullptr;        // View menu: "Long and Unicode messages" (a setting, off at first)
  TSentWin* SentWin = nullptr;
  std::unique_ptr<mp::record::Record> SentRecord;
  std::unique_ptr<mp::record::Recorder> SentRecorder;
  static constexpr int kRecordBusyMs = 20;  // the longest the window waits for the record's lock
  // A problem with the record: the status bar and a non-modal notice.
  void TellAboutRecord(const QString& text);
  // What the shown page would send now, read as the receiving phone will.
  struct PagePreview {
    mp::pdu::Reading reading;
    std::vector<mp::pdu::CharChange> changes;  // of the text the user wrote
    std::string tpdu;
    std::string parts;  // a long text: how many messages and where each ends (UTF-8)
  };
  PagePreview CurrentPreview();
  PagePreview LongTextPreview(const mp::TransferSettings& settings);
  void RefreshPreview();  // at once
  void PreviewChanged();  // soon: several changes in a row cost one refresh
  // ---- ports and the simulated phone (MainPorts.cpp) ----
  QAction* Ports1 = nullptr;     // Phone > Ports...
  QAction* CheckReports1 = nullptr;  // Phone > Check delivery reports
  bool sayEveryReport_ = false;      // Check delivery reports runs: each report is said
  QAction* Received1 = nullptr;  // Phone > Received by the Simulated Phone...
  QLabel* SimulatedPhoneLabel = nullptr;  // in the status bar while it is in use
  TReceivedWin* ReceivedWin = nullptr;
  // The simulated phone answers on COM `com` for this run: the window says so
  // at all times and offers what it received.
  void UseSimulatedPhone(int com, const QString& device, const QString& journal);
  // Its label names the port in use: the simulated phone's or another one.
  void UpdateSimulatedPhoneLabel();
  // Names each entry of the port box after its device, as things are now,
  // and lists the stored gateways after the serial ports.
  void RefreshPortList();
  // ---- gateways in the port box (MainGateway.cpp) ----
  // Messages for a chosen gateway go through it.
  void SetupGateways();
  // The stored gateways as entries of the port box after the nine ports.
  void ListGateways();
  // The gateway chosen in the port box, null for a serial port.
  const mp::gateway::Config* ChosenGateway() const;
  // Pages and buttons that need the phone itself are off while a gateway is chosen.
  void UpdatePhoneOnly();
  std::vector<mp::gateway::Config> Gateways;

 public slots:
  // frame (Main.cpp)
  void PageControlChange();
  void Font1Click();
  void Exit1Click();
  void AboutMiraPost1Click();
  void MIRAPOSTWebSite1Click();
  void HelpContents1Click();  // F1: the local help page
  void Debug1Click();
  void PopupMenu1Popup();
  void Cut1Click();
  void Copy1Click();
  void Paste1Click();
  void Delete1Click();
  void SelectAll1Click();
  void Undo1Click();
  void Redo1Click();

  // text page (pages/TextPage.h, pages/Editors.h)
  void MessageChange();
  void ClassClick();
  void BlinkFontClick();
  void MessageSelectionChange();
  void SaveBlinkClick();

  // files (MainFiles.cpp)
  void New1Click();
  void Open1Click();
  void SaveAs1Click();
  void DropFile1DropFile(QObject* Sender, QString FileWithPath, QString FileName, QString Extension);

  // indicator page (pages/IndicatorPage.h)
  void VoiceOnClick();
  void VoiceOffClick();
  void FaxOnClick();
  void FaxOffClick();
  void EmailOnClick();
  void EmailOffClick();
  void UpdateIndicatorState();
  // The indicator page's choices as the builder takes them.
  mp::Indicators IndicatorChoice() const;
  void SaveIndClick();

  // void and template pages (pages/VoidPages.h)
  void SaveVoidClick();
  void SaveTempClick();

  // logo page (pages/LogoPage.h)
  void cmdPasteLogoClick();
  void cmbOperatorChange();
  void cmbOperatorClick();
  void cmdSaveLogoClick();

  // phonebook page (pages/PhonebookPage.h)
  void EntryNoChange();
  void SaveEntryClick();

  // receiving phone and sent messages (MainPreview.cpp)
  void ReceivingPhone1Click();
  void SentMessages1Click();
  void KeepRecord1Click();
  void LongText1Click();
  // ports (MainPorts.cpp)
  void Ports1Click();
  void CheckReports1Click();
  void Received1Click();

  // a dialogue with the phone (MainDialogue.cpp): Escape or the Cancel button
  void CancelClick();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;  // MessageKeyPress and friends
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  Ui::TWin* ui = nullptr;  // every control of the form, by its name
  // What the pages need from the window (MainPages.cpp).
  mp::PageLinks Links();
  // Each page gets its controls (called from the constructor, in this order).
  void SetupTextPage();
  void SetupFiles();
  void SetupIndicatorPage();
  void SetupVoidPages();
  void SetupLogoPage();
  void SetupPhonebookPage();
  void SetupPreview();
  void PlaceReceivingPhone();  // shows or hides the panel as its menu item says
  void ConnectPagePreviews();  // the preview follows the other pages' controls
  void SetTabOrder();          // of the controls built so far
  void ConnectPopupMenu(QTextEdit* editor);
  QWidget* rows_ = nullptr;  // the tab rows, which stand for the hidden tab bar
  bool pagesBuilt_ = false;
  bool constructed_ = false;
  QStringList storedOperators_;  // the operators read at start, kept until the logo page is built
  QTimer* previewTimer_ = nullptr;
  QString countHint_, countLabelHint_;  // the own hints of Count and CountLabel
  void SetupPorts();
  // The port box's open list with each port's device: needed first when the
  // list opens, so made with the pages.
  void SetupPortList();
  bool portListSet_ = false;
  void SetupDialogue();
  void SetupClose();
  // While the returned object lives, close requests for the window and
  // quits are refused before the toolkit sees them; null when already held.
  std::unique_ptr<QObject> HoldLeave();
  QObject* leaveGuard_ = nullptr;
  int agreedRevision_ = -1;  // the message's revision a logout agreed to leave
  bool dialogueRunning_ = false;
  void OpenForUser(const std::string& target, const std::string& what);
  // Key handling of Message and EntryName (Ctrl+B, Ctrl+V); true when consumed.
  bool MessageKeyPress(QTextEdit* editor, class QKeyEvent* key);
  void FormCreate();
  void FormDestroy();
  void SetupKeyboard();
  bool dropCancelled_ = false;  // the user cancelled the drop being handled

  QObject* DialogueGuard = nullptr;  // the application's input filter during a dialogue
  QPointer<QWidget> DialogueFocus;   // the focus before a dialogue, given back after it
  bool CancelRequested = false;
  class QEventLoop* WaitLoop = nullptr;  // the link's wait under way, ended by Cancel
  struct LineWait {
    int fd = -1;
    bool forWrite = false;
    int milliseconds = 0;
    bool armed = false;
  } lineWait_;
  void RunLineWait(const LineWait& wait);
  // The control to hold the focus when the window has none to give back: the
  // shown page's first control that takes it.
  QWidget* PageFirstControl() const;
  // After a page switch from the keyboard: the focus goes into the page
  // shown, never left in the port box (MainDialogue.cpp).
  void FocusPage();
};

// The four windows, created once in this order and destroyed in reverse.
class TAboutWin;
class TSendWin;
class TCodingWin;
extern TWin* Win;
extern TAboutWin* AboutWin;
extern TSendWin* SendWin;
extern TCodingWin* CodingWin;
