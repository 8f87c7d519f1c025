// The Send/Save dialog: save and send modes, histories, settings, Find.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QCheckBox>

#include "AppFixture.h"
#include "ui_Send.h"

class SendTest : public AppFixture {
 protected:
  // Shows the dialog without a nested loop, as FormShow sees it.
  void Open() {
    Activate(SendWin);
  }
  QLineEdit* RecipientEdit() { return SendWin->ui->Recipient->lineEdit(); }
  QString RecipientText() { return SendWin->ui->Recipient->currentText(); }
  QString CentreText() { return SendWin->ui->Centre->currentText(); }
  // Replaces the recipient box's text as typing over a selection would.
  void TypeRecipient(const QString& text) {
    RecipientEdit()->selectAll();
    Type(RecipientEdit(), text);
  }
  void Confirm() { SendWin->ui->SaveSend->click(); }
  void Cancel() { SendWin->ui->BitBtn1->click(); }
};

TEST_F(SendTest, OpensInSaveModeAndSavesAtOnce) {
  Create();
  Open();
  auto* ui = SendWin->ui;
  EXPECT_EQ(RecipientText(), TSendWin::kSavePlaceholder);
  EXPECT_EQ(RecipientEdit()->selectedText(), TSendWin::kSavePlaceholder);
  EXPECT_EQ(CentreText(), TSendWin::kCentrePlaceholder);
  EXPECT_FALSE(ui->Centre->isEnabled());
  EXPECT_FALSE(ui->CentreLabel->isEnabled());
  EXPECT_FALSE(ui->Find->isEnabled());
  EXPECT_TRUE(ui->SaveSend->isEnabled());
  EXPECT_EQ(SendWin->SaveSendCaption(), "Save");
  Confirm();
  EXPECT_EQ(SendWin->result(), QDialog::Accepted);
  EXPECT_TRUE(SendWin->SaveMode);
  EXPECT_EQ(SendWin->DestAddress, "0081");
  EXPECT_EQ(SendWin->CentreAddress, "00");
  EXPECT_TRUE(SendWin->CentreDefault);
  EXPECT_TRUE(SendWin->Recipients.empty());
  EXPECT_TRUE(SendWin->Centres.empty());
  const mp::TransferSettings t = SendWin->Transfer();
  EXPECT_EQ(t.DestAddress, "0081");
  EXPECT_TRUE(t.SaveMode);
  EXPECT_TRUE(t.Reports);
}

TEST_F(SendTest, ModalRunDrivenFromTimer) {
  Create();
  WhenModal([](QWidget* w) {
    ASSERT_EQ(w, SendWin);
    Type(SendWin->ui->Recipient->lineEdit(), "5");
    Type(SendWin->ui->Recipient->lineEdit(), "55");
    SendWin->ui->SaveSend->click();
  });
  ASSERT_EQ(mp::ShowModal(SendWin), QDialog::Accepted);
  EXPECT_FALSE(SendWin->SaveMode);
  EXPECT_EQ(SendWin->DestAddress, "038155F5");
  ASSERT_EQ(SendWin->Recipients.size(), 1u);
  EXPECT_EQ(SendWin->Recipients[0].Text, "555");
}

TEST_F(SendTest, OneDigitGivesSend) {
  Create();
  Open();
  auto* ui = SendWin->ui;
  Type(RecipientEdit(), "7");  // over the selected placeholder
  EXPECT_EQ(RecipientText(), "7");
  EXPECT_FALSE(SendWin->SaveMode);
  EXPECT_EQ(SendWin->SaveSendCaption(), "Send");
  EXPECT_TRUE(ui->Centre->isEnabled());
  EXPECT_TRUE(ui->CentreLabel->isEnabled());
  EXPECT_EQ(CentreText(), TSendWin::kCentrePlaceholder);
  EXPECT_TRUE(ui->SaveSend->isEnabled());
  EXPECT_FALSE(ui->Find->isEnabled());
}

TEST_F(SendTest, PlaceholderCannotBeEdited) {
  Create();
  Open();
  RecipientEdit()->end(false);
  Key(RecipientEdit(), Qt::Key_Backspace);
  EXPECT_EQ(RecipientText(), TSendWin::kSavePlaceholder);
  EXPECT_TRUE(SendWin->SaveMode);
  RecipientEdit()->setCursorPosition(3);
  Type(RecipientEdit(), "x");
  EXPECT_EQ(RecipientText(), TSendWin::kSavePlaceholder);
  // Emptying the box in send mode goes back to save mode.
  TypeRecipient("1");
  EXPECT_FALSE(SendWin->SaveMode);
  Key(RecipientEdit(), Qt::Key_Backspace);
  EXPECT_TRUE(SendWin->SaveMode);
  EXPECT_EQ(RecipientText(), TSendWin::kSavePlaceholder);
  EXPECT_EQ(SendWin->DestAddress, "0081");
}

TEST_F(SendTest, RecipientNumbers) {
  struct Case {
    const char* typed;
    bool valid;
    const char* address;
  };
  const Case cases[] = {
      {"+358 40-1234567", true, "0C91534810325476"},
      {"12345", true, "05812143F5"},
      {"123456789012345678901", false, nullptr},  // 21 digits
      {"Alice", false, nullptr},
      {"12a", false, nullptr},
  };
  Create();
  Open();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    TypeRecipient(QString(c.typed).left(1));
    Type(RecipientEdit(), QString(c.typed).mid(1));
    EXPECT_EQ(RecipientText(), c.typed);
    EXPECT_EQ(SendWin->ui->SaveSend->isEnabled(), c.valid);
    EXPECT_EQ(SendWin->ui->Find->isEnabled(), !c.valid);
    if (c.address) {
      EXPECT_EQ(SendWin->DestAddress, c.address);
    }
  }
}

TEST_F(SendTest, RecipientTypedAtMost32Characters) {
  Create();
  Open();
  TypeRecipient("1");
  Type(RecipientEdit(), QString(40, 'a'));
  EXPECT_EQ(RecipientText().size(), 32);
}

TEST_F(SendTest, NameFoundInHistoryInAnyCase) {
  WriteSettings([](mp::SettingsKey& k) {
    k.WriteString("Recipient0", "Alice");
    k.WriteString("Address0", "0C91534810325476");
  });
  Create();
  Open();
  TypeRecipient("a");
  Type(RecipientEdit(), "LICE");
  EXPECT_TRUE(SendWin->ui->SaveSend->isEnabled());
  EXPECT_TRUE(SendWin->ui->Find->isEnabled());  // the name does not encode
  EXPECT_EQ(SendWin->DestAddress, "0C91534810325476");
  Confirm();
  ASSERT_EQ(SendWin->Recipients.size(), 1u);
  EXPECT_EQ(SendWin->Recipients[0].Text, "Alice");  // the stored letter case stays
}

TEST_F(SendTest, PickFromListTakesStoredAddress) {
  WriteSettings([](mp::SettingsKey& k) {
    k.WriteString("Recipient0", "Bob");
    k.WriteString("Address0", "0B915348041032547F");
    k.WriteString("Recipient1", "555");
    k.WriteString("Address1", "03815555F5");
  });
  Create();
  Open();
  ASSERT_TRUE(SendWin->SaveMode);
  SendWin->ui->Recipient->setCurrentIndex(0);
  emit SendWin->ui->Recipient->activated(0);
  EXPECT_FALSE(SendWin->SaveMode);
  EXPECT_EQ(RecipientText(), "Bob");
  EXPECT_EQ(SendWin->DestAddress, "0B915348041032547F");
  EXPECT_TRUE(SendWin->ui->SaveSend->isEnabled());
  EXPECT_EQ(SendWin->SaveSendCaption(), "Send");
}

TEST_F(SendTest, HistoryOfTenMostRecentFirst) {
  Create();
  for (int i = 0; i < 11; ++i) {
    Open();
    TypeRecipient(QString::number(100 + i));
    Confirm();
  }
  ASSERT_EQ(SendWin->Recipients.size(), 10u);
  EXPECT_EQ(SendWin->Recipients.front().Text, "110");
  EXPECT_EQ(SendWin->Recipients.back().Text, "101");  // "100" pushed out
  // Confirming an existing one moves it to the top.
  Open();
  TypeRecipient("105");
  Confirm();
  EXPECT_EQ(SendWin->Recipients.size(), 10u);
  EXPECT_EQ(SendWin->Recipients.front().Text, "105");
  EXPECT_EQ(SendWin->ui->Recipient->itemText(0), "105");
  EXPECT_EQ(SendWin->Recipients[1].Text, "110");
  Destroy();
  EXPECT_EQ(StoredString("Recipient0"), "105");
  EXPECT_EQ(StoredString("Address0"), "038101F5");
  EXPECT_EQ(StoredString("Recipient9"), "101");
}

TEST_F(SendTest, CentreHistoryAndDefault) {
  Create();
  Open();
  TypeRecipient("1");
  auto* centre = SendWin->ui->Centre->lineEdit();
  centre->selectAll();
  Type(centre, "+358405202000");
  EXPECT_FALSE(SendWin->CentreDefault);
  EXPECT_EQ(SendWin->CentreAddress, "0791534850020200");
  Confirm();
  ASSERT_EQ(SendWin->Centres.size(), 1u);
  EXPECT_EQ(SendWin->Centres[0], "+358405202000");
  // Letters fall back to the phone's default.
  Open();
  TypeRecipient("1");
  centre->selectAll();
  Type(centre, "x");
  EXPECT_TRUE(SendWin->CentreDefault);
  EXPECT_EQ(SendWin->CentreAddress, "00");
  EXPECT_EQ(SendWin->ui->Centre->currentText(), TSendWin::kCentrePlaceholder);
}

TEST_F(SendTest, CancelChangesNoHistory) {
  Create();
  Open();
  TypeRecipient("123");
  SendWin->ui->Centre->lineEdit()->selectAll();
  Type(SendWin->ui->Centre->lineEdit(), "+3584");
  Cancel();
  EXPECT_EQ(SendWin->result(), QDialog::Rejected);
  EXPECT_TRUE(SendWin->Recipients.empty());
  EXPECT_TRUE(SendWin->Centres.empty());
}

TEST_F(SendTest, SettingsLoadingStops) {
  struct Case {
    const char* name;
    std::function<void(mp::SettingsKey&)> write;
    size_t recipients;
    size_t centres;
  };
  auto three = [](mp::SettingsKey& k) {
    for (int i = 0; i < 5; ++i) {
      k.WriteString("Recipient" + std::to_string(i), "r" + std::to_string(i));
      if (i != 3) k.WriteString("Address" + std::to_string(i), "03815555F5");
    }
  };
  const std::vector<Case> cases = {
      {"address 3 missing", three, 3, 0},
      {"address 1 not hex", [](mp::SettingsKey& k) {
         k.WriteString("Recipient0", "a");
         k.WriteString("Address0", "0381");
         k.WriteString("Recipient1", "b");
         k.WriteString("Address1", "03\"; AT+CPBW");
         k.WriteString("Recipient2", "c");
         k.WriteString("Address2", "0381");
       }, 1, 0},
      {"recipient 0 integer", [](mp::SettingsKey& k) {
         k.WriteInteger("Recipient0", 5);
         k.WriteString("Address0", "0381");
         k.WriteString("Centre0", "+1");
         k.WriteInteger("Centre1", 7);
         k.WriteString("Centre2", "+3");
       }, 0, 1},
      {"twelve centres", [](mp::SettingsKey& k) {
         for (int i = 0; i < 12; ++i) k.WriteString("Centre" + std::to_string(i), "+1");
       }, 0, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir fresh;
    ::setenv("XDG_CONFIG_HOME", fresh.path().toLocal8Bit().constData(), 1);
    WriteSettings(c.write);
    Create();
    EXPECT_EQ(SendWin->Recipients.size(), c.recipients);
    EXPECT_EQ(SendWin->Centres.size(), c.centres);
    EXPECT_EQ(SendWin->ui->Recipient->count(), static_cast<int>(c.recipients));
    Destroy();
  }
}

TEST_F(SendTest, ReportsSetting) {
  struct Case {
    std::optional<int> stored;
    Qt::CheckState state;
    bool reports;
    int written;
  };
  const Case cases[] = {{std::nullopt, Qt::Checked, true, 1},
                        {0, Qt::Unchecked, false, 0},
                        {1, Qt::Checked, true, 1},
                        {2, Qt::PartiallyChecked, true, 2}};
  for (const Case& c : cases) {
    QTemporaryDir fresh;
    ::setenv("XDG_CONFIG_HOME", fresh.path().toLocal8Bit().constData(), 1);
    if (c.stored) WriteSettings([&](mp::SettingsKey& k) { k.WriteInteger("Reports", *c.stored); });
    Create();
    EXPECT_EQ(SendWin->ui->Reports->checkState(), c.state);
    EXPECT_EQ(SendWin->Transfer().Reports, c.reports);
    Destroy();
    EXPECT_EQ(StoredInteger("Reports"), c.written);
  }
}

TEST_F(SendTest, FindAgainstSimulatedPhone) {
  ASSERT_TRUE(StartPhone({"--phonebook", PhonebookFile({"1,+358401234567,145,Alice Example", "2,555,129,Bob"})}));
  Create();
  UI(ComPort)->setCurrentIndex(3);
  Open();
  TypeRecipient("A");
  Type(RecipientEdit(), "lice");
  ASSERT_TRUE(SendWin->ui->Find->isEnabled());
  SendWin->ui->Find->click();
  EXPECT_EQ(RecipientText(), "Alice Example") << Win->StatusText().toStdString();
  EXPECT_EQ(RecipientEdit()->selectedText(), "Alice Example");
  EXPECT_EQ(SendWin->DestAddress, "0C91534810325476");
  EXPECT_TRUE(SendWin->ui->SaveSend->isEnabled());
  EXPECT_FALSE(SendWin->ui->Find->isEnabled());

  // A name the phone does not have leaves the dialog as it was.
  TypeRecipient("Z");
  Type(RecipientEdit(), "orro");
  SendWin->ui->Find->click();
  EXPECT_EQ(RecipientText(), "Zorro");
  EXPECT_FALSE(SendWin->ui->SaveSend->isEnabled());
  EXPECT_TRUE(SendWin->ui->Find->isEnabled());
}

// Find asks whatever search the dialog was handed, with the typed name, and
// takes the name and address it gives back; a failed search changes nothing.
TEST_F(SendTest, FindUsesTheSearchHandedIn) {
  Create();
  std::vector<std::string> asked;
  bool found = true;
  SendWin->SetPhonebookSearch([&](std::string& name, std::string& address) {
    asked.push_back(name);
    if (!found) return false;
    name = "Alice Example";
    address = "0C91534810325476";
    return true;
  });
  Open();
  TypeRecipient("Alice");
  SendWin->ui->Find->click();
  EXPECT_EQ(RecipientText(), "Alice Example");
  EXPECT_EQ(SendWin->DestAddress, "0C91534810325476");
  found = false;
  TypeRecipient("Zorro");
  SendWin->ui->Find->click();
  EXPECT_EQ(RecipientText(), "Zorro");
  EXPECT_EQ(asked, (std::vector<std::string>{"Alice", "Zorro"}));
}
