#include "dialogs/Send.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSignalBlocker>
#include <utility>

#include "builders/Gsm.h"
#include "platform/Ansi.h"
#include "platform/Settings.h"
#include "ui_Send.h"
#include "widgets/Look.h"

const char* const TSendWin::kSavePlaceholder = "(Save to SIM for later forwarding.)";
const char* const TSendWin::kCentrePlaceholder = "(Use phone default setting.)";

namespace {

constexpr int kTypedChars = 32;

// Hex text as the dialog writes it: upper-case digit pairs, length and type
// octets at least, at most the ten octets of an address value after them.
bool IsAddressHex(const std::string& s) {
  if (s.size() < 4 || s.size() > 24 || s.size() % 2 != 0) return false;
  for (char c : s) {
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  }
  return true;
}

}  // namespace

TSendWin::TSendWin(QWidget* parent) : QDialog(parent), ui(new Ui::TSendWin) {
  QFont font = mp::FormFont();
  font.setPointSize(8);  // "MS Sans Serif" at 8 points
  setFont(font);
  ui->setupUi(this);
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(337, 193);
  ui->Find->setIcon(mp::ActionIcon(mp::ActionPicture::Find));
  ui->SaveSend->setIcon(mp::ActionIcon(mp::ActionPicture::Sim));
  ui->BitBtn1->setIcon(mp::ActionIcon(mp::ActionPicture::Cancel));
  // No inline completion: the history is picked from the list.
  ui->Recipient->setCompleter(nullptr);
  ui->Centre->setCompleter(nullptr);
  ui->Centre->lineEdit()->setMaxLength(kTypedChars);

  // Typed edits run the change handlers; texts put in by the handlers do not.
  connect(ui->Recipient->lineEdit(), &QLineEdit::textEdited, this, [this] {
    QLineEdit* edit = ui->Recipient->lineEdit();
    if (!SaveMode && edit->text().size() > kTypedChars) {
      const int pos = std::min<int>(edit->cursorPosition(), kTypedChars);
      SetRecipientText(edit->text().left(kTypedChars), false);
      edit->setCursorPosition(pos);
    }
    RecipientChange();
  });
  // A pick from the list: the click handler first, then the change handler.
  connect(ui->Recipient, &QComboBox::activated, this, [this] {
    RecipientClick();
    RecipientChange();
  });
  connect(ui->Centre->lineEdit(), &QLineEdit::textEdited, this, &TSendWin::CentreChange);
  connect(ui->Centre, &QComboBox::activated, this, &TSendWin::CentreChange);
  connect(ui->Find, &QPushButton::clicked, this, &TSendWin::FindClick);
  connect(ui->SaveSend, &QPushButton::clicked, this, &QDialog::accept);
  connect(ui->BitBtn1, &QPushButton::clicked, this, &QDialog::reject);
  // Grey is only the stored state 2; the user's clicks move between ticked
  // and clear.
  connect(ui->Reports, &QCheckBox::stateChanged, this, [this](int state) {
    if (state != Qt::PartiallyChecked) ui->Reports->setTristate(false);
  });
  mp::SetHintHidePause(this);
  FormCreate();
}

TSendWin::~TSendWin() {
  FormDestroy();
  delete ui;
}

mp::TransferSettings TSendWin::Transfer() const {
  mp::TransferSettings t;
  t.DestAddress = DestAddress;
  t.SaveMode = SaveMode;
  t.CentreAddress = CentreAddress;
  t.Reports = ui->Reports->checkState() != Qt::Unchecked;
  return t;
}

QString TSendWin::SaveSendCaption() const { return ui->SaveSend->text(); }

void TSendWin::SetRecipientText(const QString& text, bool selectWhenFocused) {
  QSignalBlocker block(ui->Recipient);
  QSignalBlocker blockEdit(ui->Recipient->lineEdit());
  ui->Recipient->setEditText(text);
  if (selectWhenFocused && ui->Recipient->hasFocus()) ui->Recipient->lineEdit()->selectAll();
}

void TSendWin::SetCentreText(const QString& text, bool selectWhenFocused) {
  QSignalBlocker block(ui->Centre);
  QSignalBlocker blockEdit(ui->Centre->lineEdit());
  ui->Centre->setEditText(text);
  if (selectWhenFocused && ui->Centre->hasFocus()) ui->Centre->lineEdit()->selectAll();
}

void TSendWin::RecipientChange() {
  const QString t = ui->Recipient->currentText();
  if ((!t.isEmpty() && !SaveMode) || t.size() == 1) {
    ui->SaveSend->setText("Send");
    ui->SaveSend->setIcon(mp::ActionIcon(mp::ActionPicture::Send));
    SaveMode = false;
    ui->Centre->setEnabled(true);
    ui->CentreLabel->setEnabled(true);
    const bool valid = mp::EncodeNumber(DestAddress, mp::ToAnsi(t), mp::FormatDestination) != 0;
    ui->SaveSend->setEnabled(valid);
    ui->Find->setEnabled(!valid);
    for (const RecipientEntry& e : Recipients) {
      if (e.Text.compare(t, Qt::CaseInsensitive) == 0) {
        DestAddress = e.Address;
        ui->SaveSend->setEnabled(true);
        break;
      }
    }
    UpdateDefaultButton();
  } else {
    SetRecipientText(kSavePlaceholder, true);
    SaveMode = true;
    DestAddress = "0081";
    ui->SaveSend->setEnabled(true);
    ui->SaveSend->setText("Save");
    ui->SaveSend->setIcon(mp::ActionIcon(mp::ActionPicture::Sim));
    ui->Find->setEnabled(false);
    ui->Centre->setEnabled(false);
    ui->CentreLabel->setEnabled(false);
    SetCentreText(QString(), false);
    CentreChange();
    UpdateDefaultButton();
  }
}

void TSendWin::RecipientClick() { SaveMode = false; }

void TSendWin::UpdateDefaultButton() {
  // Enter presses SaveSend whenever it is enabled: on opening that is "Save"
  // (the message goes to the SIM, where it stays for forwarding: nothing is
  // lost), and once a number is typed or a recipient picked it is "Send".
  // Find takes Enter only for a name that is neither a number nor in the
  // history, where nothing else could go. Down picks the most recent
  // recipient at every opening (FormShow), so the habit "Down, Enter" sends
  // to it rather than storing. The default button's caption is bold, so that
  // the user sees what Enter will do before pressing it.
  const bool find = ui->Find->isEnabled() && !ui->SaveSend->isEnabled();
  for (QPushButton* b : {ui->Find, ui->SaveSend}) {
    const bool isDefault = (b == ui->Find) == find;
    b->setDefault(isDefault);
    QFont f = b->font();
    f.setBold(isDefault);
    b->setFont(f);
  }
}

void TSendWin::CentreChange() {
  CentreDefault =
      mp::EncodeNumber(CentreAddress, mp::ToAnsi(ui->Centre->currentText()), mp::FormatCentre) == 0;
  if (CentreDefault) {
    SetCentreText(kCentrePlaceholder, true);
    CentreAddress = "00";
  }
}

void TSendWin::SetPhonebookSearch(PhonebookSearch search) { search_ = std::move(search); }

void TSendWin::FindClick() {
  if (!search_) return;
  std::string name = mp::ToAnsi(ui->Recipient->currentText());
  std::string address;
  if (!search_(name, address)) return;
  DestAddress = address;
  ui->Recipient->setFocus();
  SetRecipientText(mp::FromAnsi(name), false);
  ui->Recipient->lineEdit()->selectAll();
  ui->SaveSend->setEnabled(true);
  ui->Find->setEnabled(false);
  UpdateDefaultButton();
}

void TSendWin::FormShow() {
  // The boxes' list positions go back to the top with their texts: Down then
  // picks the most recent entry, not the one after the last picked.
  for (QComboBox* box : {ui->Recipient, ui->Centre}) {
    const QSignalBlocker block(box);
    const QSignalBlocker blockEdit(box->lineEdit());
    box->setCurrentIndex(-1);
  }
  SetRecipientText(QString(), false);
  RecipientChange();
  SetCentreText(QString(), false);
  CentreChange();
  ui->Recipient->setFocus();
  ui->Recipient->lineEdit()->selectAll();
}

void TSendWin::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  FormShow();
}

void TSendWin::done(int result) {
  if (result == QDialog::Accepted) FormHide();
  QDialog::done(result);
}

void TSendWin::FormHide() {
  if (!CentreDefault) {
    const QString text = ui->Centre->currentText();
    auto it = std::find_if(Centres.begin(), Centres.end(), [&](const QString& c) {
      return c.compare(text, Qt::CaseInsensitive) == 0;
    });
    if (it != Centres.end()) {
      QString kept = *it;
      Centres.erase(it);
      Centres.insert(Centres.begin(), kept);
    } else {
      Centres.insert(Centres.begin(), text);
      if (Centres.size() > kHistory) Centres.erase(Centres.begin() + kHistory);
    }
    LoadCentreList();
  }
  if (SaveMode) return;
  const QString text = ui->Recipient->currentText();
  auto it = std::find_if(Recipients.begin(), Recipients.end(), [&](const RecipientEntry& e) {
    return e.Text.compare(text, Qt::CaseInsensitive) == 0;
  });
  if (it != Recipients.end()) {
    RecipientEntry kept{it->Text, DestAddress};
    Recipients.erase(it);
    Recipients.insert(Recipients.begin(), kept);
  } else {
    Recipients.insert(Recipients.begin(), RecipientEntry{text, DestAddress});
    if (Recipients.size() > kHistory) Recipients.erase(Recipients.begin() + kHistory);
  }
  LoadRecipientList();
}

void TSendWin::LoadRecipientList() {
  QSignalBlocker block(ui->Recipient);
  QSignalBlocker blockEdit(ui->Recipient->lineEdit());
  const QString text = ui->Recipient->currentText();
  ui->Recipient->clear();
  for (const RecipientEntry& e : Recipients) ui->Recipient->addItem(e.Text);
  ui->Recipient->setCurrentIndex(-1);
  ui->Recipient->setEditText(text);
}

void TSendWin::LoadCentreList() {
  QSignalBlocker block(ui->Centre);
  QSignalBlocker blockEdit(ui->Centre->lineEdit());
  const QString text = ui->Centre->currentText();
  ui->Centre->clear();
  for (const QString& c : Centres) ui->Centre->addItem(c);
  ui->Centre->setCurrentIndex(-1);
  ui->Centre->setEditText(text);
}

void TSendWin::FormCreate() {
  mp::SettingsKey key;
  if (key.Open(false)) {
    for (int i = 0; i < kHistory; ++i) {
      const std::string n = std::to_string(i);
      auto recipient = key.ReadString("Recipient" + n);
      auto address = key.ReadString("Address" + n);
      // A damaged address would go into a message as it is: it ends loading.
      if (!recipient || !address || !IsAddressHex(*address)) break;
      Recipients.push_back(RecipientEntry{QString::fromStdString(*recipient), *address});
    }
    for (int i = 0; i < kHistory; ++i) {
      auto centre = key.ReadString("Centre" + std::to_string(i));
      if (!centre) break;
      Centres.push_back(QString::fromStdString(*centre));
    }
    if (auto reports = key.ReadInteger("Reports")) {
      if (*reports == 0) ui->Reports->setCheckState(Qt::Unchecked);
      if (*reports == 1) ui->Reports->setCheckState(Qt::Checked);
      if (*reports == 2) {
        ui->Reports->setTristate(true);
        ui->Reports->setCheckState(Qt::PartiallyChecked);
      }
    }
  }
  LoadRecipientList();
  LoadCentreList();
}

void TSendWin::FormDestroy() {
  mp::SettingsKey key;
  if (!key.Open(true)) return;
  for (std::size_t i = 0; i < Recipients.size(); ++i) {
    const std::string n = std::to_string(i);
    key.WriteString("Recipient" + n, Recipients[i].Text.toStdString());
    key.WriteString("Address" + n, Recipients[i].Address);
  }
  for (std::size_t i = 0; i < Centres.size(); ++i) {
    key.WriteString("Centre" + std::to_string(i), Centres[i].toStdString());
  }
  const Qt::CheckState state = ui->Reports->checkState();
  key.WriteInteger("Reports", state == Qt::Unchecked ? 0 : state == Qt::Checked ? 1 : 2);
  key.Close();
}
