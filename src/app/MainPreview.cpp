// The "Receiving phone" panel beside the form and the record of what was sent.
// The panel shows what the shown page would send now, decoded from the very
// TPDU that the phone link would write; the "Characters left" label warns
// when characters will change on the way.
#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "app/Indicators.h"
#include "app/Main.h"
#include "widgets/PhoneScreen.h"
#include "app/SentMessages.h"
#include "builders/Messages.h"
#include "dialogs/Coding.h"
#include "dialogs/Send.h"
#include "platform/Ansi.h"
#include "platform/Settings.h"
#include "app/MainForm.h"

namespace {

constexpr int kPanelWidth = 190;
const QColor kWarning(0xC0, 0x50, 0x00);

// The editor's text as the blink text reads it: paragraph and line
// separators as line breaks, embedded objects left out.
std::u32string TypedText(const QTextEdit* editor) {
  std::u32string out;
  const QTextDocument* d = editor->document();
  for (QTextBlock b = d->begin(); b.isValid(); b = b.next()) {
    if (b != d->begin()) out += U'\n';
    for (char32_t c : b.text().toUcs4()) {
      if (c == QChar::LineSeparator || c == QChar::ParagraphSeparator) {
        out += U'\n';
      } else if (c != QChar::ObjectReplacementCharacter) {
        out += c;
      }
    }
  }
  return out;
}

bool SettingOn(const char* name, bool otherwise) {
  mp::SettingsKey key;
  if (!key.Open(false)) return otherwise;
  const auto v = key.ReadInteger(name);
  return v ? *v != 0 : otherwise;
}

void WriteSetting(const char* name, bool on) {
  mp::SettingsKey key;
  if (!key.Open(true)) return;
  key.WriteInteger(name, on ? 1 : 0);
  key.Close();
}

}  // namespace

void TWin::SetupPreview() {
  // A View menu between File and Help (made here unless the form has one).
  QMenu* view = ui->MainMenu1->findChild<QMenu*>("View1");
  if (!view) {
    view = new QMenu("V&iew", ui->MainMenu1);
    view->setObjectName("View1");
    ui->MainMenu1->insertMenu(ui->Help1->menuAction(), view);
  }
  ReceivingPhone1 = view->addAction("&Receiving phone");
  ReceivingPhone1->setObjectName("ReceivingPhone1");
  ReceivingPhone1->setCheckable(true);
  SentMessages1 = view->addAction("&Sent messages...");
  SentMessages1->setObjectName("SentMessages1");
  KeepRecord1 = view->addAction("&Keep a record of sent messages");
  KeepRecord1->setObjectName("KeepRecord1");
  KeepRecord1->setCheckable(true);
  KeepRecord1->setChecked(mp::record::Enabled());
  connect(ReceivingPhone1, &QAction::triggered, this, &TWin::ReceivingPhone1Click);
  connect(SentMessages1, &QAction::triggered, this, &TWin::SentMessages1Click);
  connect(KeepRecord1, &QAction::triggered, this, &TWin::KeepRecord1Click);
  // Text beyond one message and any character: off unless the user turned it on.
  LongText1 = view->addAction("&Long and Unicode messages");
  LongText1->setObjectName("LongText1");
  LongText1->setCheckable(true);
  LongText1->setChecked(SettingOn("LongMessages", false));
  textPage_.SetLongText(LongText1->isChecked());
  connect(LongText1, &QAction::triggered, this, &TWin::LongText1Click);

  PhoneScreen::IndicatorIcon = [](const std::string& kind) {
    if (kind == "voice") return VoiceMailPicture();
    if (kind == "fax") return FaxPicture();
    return kind == "email" ? EmailPicture() : QImage();
  };
  // The panel sits right of the form, from the menu bar down to the status bar.
  Preview = new ReceivingPhone(this);
  const int menuHeight = ui->MainMenu1->sizeHint().height();
  Preview->setGeometry(ui->centralwidget->width(), menuHeight, kPanelWidth,
                       ui->centralwidget->height());
  countHint_ = ui->Count->toolTip();
  countLabelHint_ = ui->CountLabel->toolTip();

  previewTimer_ = new QTimer(this);
  previewTimer_->setSingleShot(true);
  previewTimer_->setInterval(0);
  connect(previewTimer_, &QTimer::timeout, this, &TWin::RefreshPreview);
  // Everything that changes what a page would send.
  connect(ui->Message, &QTextEdit::textChanged, this, &TWin::PreviewChanged);
  connect(ui->ClassButtons, &QButtonGroup::idClicked, this, &TWin::PreviewChanged);
  connect(ui->PageControl, &QTabWidget::currentChanged, this, &TWin::PreviewChanged);

  // Open on the first start; afterwards as the user left it. Only the
  // user's choice is written, not what a start read.
  ReceivingPhone1->setChecked(SettingOn("ReceivingPhone", true));
  PlaceReceivingPhone();

  // The record opens at the first send or when its window opens, never
  // before the first paint. Another program's write lock costs the window a
  // moment at most: the write is queued and tried again.
  SentRecord = std::make_unique<mp::record::Record>();
  SentRecord->SetBusyTimeout(kRecordBusyMs);
  SentRecorder = std::make_unique<mp::record::Recorder>(*SentRecord);
  SentRecorder->tell = [this](const std::string& text) { TellAboutRecord(QString::fromStdString(text)); };
  SentRecorder->retry = [this](int ms) {
    QTimer::singleShot(ms, this, [this] {
      SentRecorder->RetryNow();
      if (SentWin && SentWin->isVisible()) SentWin->Reload();
    });
  };
}

void TWin::ConnectPagePreviews() {
  connect(ui->EntryName, &QTextEdit::textChanged, this, &TWin::PreviewChanged);
  connect(ui->EntryNo, &QLineEdit::textChanged, this, &TWin::PreviewChanged);
  connect(ui->cmbOperator, &QComboBox::editTextChanged, this, &TWin::PreviewChanged);
  for (QCheckBox* box : {ui->VoiceOn, ui->VoiceOff, ui->FaxOn, ui->FaxOff, ui->EmailOn,
                         ui->EmailOff, ui->Forward}) {
    connect(box, &QCheckBox::toggled, this, &TWin::PreviewChanged);
  }
}

void TWin::TellAboutRecord(const QString& text) {
  // Once in the status bar and in a notice that waits for nobody; sending
  // goes on, and "Keep a record" stays as the user set it.
  StatusPanel->SetFullText(text);
  auto* notice = new QMessageBox(QMessageBox::Warning, "Sent messages", text, QMessageBox::Ok, this);
  notice->setObjectName("RecordNotice");
  notice->setAttribute(Qt::WA_DeleteOnClose);
  notice->setModal(false);
  notice->show();
}

void TWin::ReceivingPhone1Click() {
  PlaceReceivingPhone();
  WriteSetting("ReceivingPhone", ReceivingPhone1->isChecked());
}

void TWin::PlaceReceivingPhone() {
  const bool on = ReceivingPhone1->isChecked();
  Preview->setVisible(on);
  // The form keeps its place and size; the window grows to the right.
  const int width = ui->centralwidget->width() + (on ? kPanelWidth : 0);
  setFixedSize(width, height());
  if (on) RefreshPreview();
}

void TWin::KeepRecord1Click() { mp::record::SetEnabled(KeepRecord1->isChecked()); }

void TWin::LongText1Click() {
  textPage_.SetLongText(LongText1->isChecked());
  WriteSetting("LongMessages", LongText1->isChecked());
  PreviewChanged();
}

void TWin::SentMessages1Click() {
  if (SentRecorder) SentRecorder->EnsureOpen();  // opened here or at the first send
  if (!SentWin) SentWin = new TSentWin(this);
  SentWin->Reload();
  SentWin->PlaceBesideMainWindow();
  SentWin->show();
  SentWin->raise();
  SentWin->activateWindow();
}

void TWin::Transferred(const mp::TransferReport& given) {
  mp::TransferReport report = given;
  // What went to the simulated phone is recorded so.
  const QString simulated = SimulatedPhoneLabel ? SimulatedPhoneLabel->property("device").toString() : QString();
  if (report.via.empty() && !simulated.isEmpty() && QString::fromStdString(report.device) == simulated)
    report.via = mp::record::kViaSimulated;
  if (SentRecorder) SentRecorder->Report(report);
  // The one row that changed, not the whole list.
  if (SentWin && SentWin->isVisible() && SentRecorder && SentRecorder->ChangedId())
    SentWin->RowChanged(SentRecorder->ChangedId());
}

namespace {
// When this run of the program began: its rows are newer.
const std::string kSessionStart = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toStdString();
}  // namespace

bool TWin::StatusReportRead(const mp::PhoneStatusReport& report) {
  if (!SentRecord) return false;
  const mp::record::PhoneReportTaken t = mp::record::TakePhoneReport(*SentRecord, report);
  const bool ours = t.taken.row && t.taken.row->time >= kSessionStart;
  // A report of an earlier run's message goes into the record silently; one
  // that fits no message (or none for sure) is said.
  // The record holds UTF-8, the status bar takes the window's code page.
  const QString said = QString::fromStdString(t.said);
  if (sayEveryReport_) {
    ShowStatus(mp::ToAnsi(said));
  } else if (ours || !t.taken.written) {
    // Read on the way of another dialogue: its own sentence stays first.
    const QString now = StatusText();
    ShowStatus(mp::ToAnsi(now.isEmpty() ? said : now.endsWith(said) ? now : now + " " + said));
  }
  if (t.taken.written && SentWin && SentWin->isVisible()) SentWin->RowChanged(t.taken.match.row);
  return t.taken.written;
}

bool TWin::AwaitsReports() {
  // Asked as a connection opens (never at a start alone); the record is
  // opened for it when it is on.
  return SentRecorder && mp::record::Enabled() && SentRecorder->EnsureOpen() && SentRecord->AwaitsReports();
}

void TWin::PreviewChanged() {
  if (previewTimer_) previewTimer_->start();
}

TWin::PagePreview TWin::CurrentPreview() {
  PagePreview out;
  QWidget* page = ui->PageControl->currentWidget();
  if (page == ui->TabSheet5) {
    // A phonebook entry goes out as its name in hex, no message.
    std::string name;
    bool toggles = false;
    const int n = RichToBlinkText(ui->EntryName, &name, toggles);
    if (n >= 0) name.resize(static_cast<std::size_t>(n));
    std::string number;
    mp::CheckEntryNumber(mp::ToAnsi(ui->EntryNo->text()), number);
    out.reading = mp::pdu::ReadPhonebookEntry(mp::HexName(name), number);
    out.changes = mp::pdu::ChangedCharacters(TypedText(ui->EntryName), out.reading.Text());
    return out;
  }
  mp::TransferSettings settings = SendWin ? SendWin->Transfer() : mp::TransferSettings{};
  // Before the Send/Save dialog was ever confirmed there is no recipient yet.
  if (settings.DestAddress.empty()) settings.DestAddress = mp::kTemplateDestination;
  mp::Body body;
  bool userText = false;
  if (page == ui->TabSheet1 && textPage_.LongTextOn()) return LongTextPreview(settings);
  if (page == ui->TabSheet1) {
    std::string text;
    bool toggles = false;
    const int n = RichToBlinkText(ui->Message, &text, toggles);
    const int type = std::max(ClassIndex(), 0);
    if (n < 0) {
      out.reading.error = "The message is too long.";
      return out;
    }
    // Over the limit the page sends nothing: the preview says so instead of
    // showing a message that would never go.
    if (const int limit = mp::TextLimit(type, toggles); n > limit) {
      out.reading.error = QString("Too long to send: %1 characters, at most %2 fit.")
                              .arg(n)
                              .arg(limit)
                              .toStdString();
      return out;
    }
    body = mp::BuildTextBody(type, text, toggles);
    userText = true;
  } else if (page == ui->TabSheet3) {
    const mp::Indicators ind = IndicatorChoice();
    if (!ind.any()) {
      out.reading.error = "No indicator is chosen.";
      return out;
    }
    // The coding last chosen when the dialog would ask, else 16-bit.
    const bool asks = SendWin && mp::IndicatorAsksCoding(
                                     SendWin->SaveSendCaption() == QStringLiteral("Save"), ind.forward);
    body = mp::BuildIndicatorBody(ind, asks && CodingWin && CodingWin->ModelIndex() == 0);
  } else if (page == ui->TabSheet4) {
    body = mp::BuildVoidBody();
  } else if (page == ui->TabSheet2) {
    body = mp::BuildTemplateBody();
    settings.SaveMode = true;
    settings.DestAddress = mp::kTemplateDestination;
  } else if (page == ui->TabSheet6) {
    body = mp::BuildLogoBody(OperatorCode, LogoBits);
  } else {
    return out;
  }
  out.tpdu = mp::SubmitTpdu(settings, body.header, body.hex);
  out.reading = mp::pdu::ReadTpdu(out.tpdu);
  if (userText) out.changes = mp::pdu::ChangedCharacters(TypedText(ui->Message), out.reading.Text());
  return out;
}

TWin::PagePreview TWin::LongTextPreview(const mp::TransferSettings& settings) {
  PagePreview out;
  const std::vector<mp::TextChar> chars = mp::TextChars(editors_.Runs(ui->Message));
  const mp::LongText t =
      mp::BuildLongText(std::max(ClassIndex(), 0), chars, mp::TextCoding::Auto, mp::kWindowMaxParts, 0);
  if (t.needed == 0) {
    out.reading.error = "The message is empty.";
    return out;
  }
  if (!t.Fits()) {
    out.reading.error =
        QString("Too long to send: %1 messages, at most %2.").arg(t.needed).arg(mp::kWindowMaxParts).toStdString();
    return out;
  }
  // The whole text as the receiving phone joins it, and where each part ends.
  const std::u32string typed = TypedText(ui->Message);
  std::string ends;
  for (std::size_t i = 0; i < t.parts.size(); ++i) {
    const mp::Body& b = t.parts[i].body;
    const std::string tpdu = mp::SubmitTpdu(settings, b.header, b.hex);
    const mp::pdu::Reading part = mp::pdu::ReadTpdu(tpdu);
    if (i == 0) {
      out.tpdu = tpdu;
      out.reading = part;
    } else {
      out.reading.segments.insert(out.reading.segments.end(), part.segments.begin(), part.segments.end());
    }
    if (t.parts.size() > 1 && i + 1 < t.parts.size()) {
      // The last few characters before the cut.
      const std::size_t end = t.parts[i].end;
      const std::size_t from = end > 8 ? end - 8 : 0;
      QString tail;
      for (std::size_t k = from; k < end; ++k) {
        const char32_t cp = chars[k].cp == U'\n' ? U' ' : chars[k].cp;
        tail += QString::fromUcs4(&cp, 1);
      }
      ends += (ends.empty() ? "" : ", ") + QString("%1 after \"\u2026%2\"").arg(i + 1).arg(tail).toStdString();
    }
  }
  if (t.parts.size() > 1) out.parts = std::to_string(t.parts.size()) + " messages; part " + ends + ".";
  out.changes = mp::pdu::ChangedCharacters(typed, out.reading.Text());
  return out;
}

void TWin::RefreshPreview() {
  if (!Preview) return;
  const bool textPage = ui->PageControl->currentWidget() == ui->TabSheet1;
  const bool shown = Preview->isVisibleTo(this);
  // The Count label's warning is wanted with the panel closed too.
  if (!shown && !textPage) return;
  const PagePreview now = CurrentPreview();
  if (shown) {
    Preview->Show(now.reading, now.changes);
    Preview->SetParts(QString::fromStdString(now.parts));
  }
  if (!textPage) return;
  // "Characters left:" and its count: a warning colour, the changes in the hint.
  const QString changed = "These characters will change: " + ChangeList(now.changes);
  for (QLabel* label : {ui->CountLabel, ui->Count}) {
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, now.changes.empty() ? palette().color(QPalette::WindowText) : kWarning);
    label->setPalette(pal);
    label->setToolTip(now.changes.empty() ? (label == ui->Count ? countHint_ : countLabelHint_) : changed);
  }
}
