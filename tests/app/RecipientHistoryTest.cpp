// The Send/Save dialog's recipient history driven by the keys a user presses
// in it (typing, Down, Up, Enter), checked by what
// reaches the simulated phone: a send ("+CMGS") to the recipient meant, or a
// save ("+CMGW") only where the dialog said "Save".
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "AppFixture.h"
#include "ui_Send.h"

namespace {

class RecipientHistoryTest : public AppFixture {};

struct Round {
  const char* keys;       // typed text, or D (Down) and U (Up)
  const char* enterSays;  // the caption of the default button before Enter
  const char* command;    // what the phone receives
  const char* address;    // TP-DA in the TPDU, empty for a save
};

TEST_F(RecipientHistoryTest, DownAndUpWalkTheHistoryFromTheTopAtEveryOpening) {
  Create();
  ASSERT_TRUE(StartPhone());
  Activate(Win);
  Type(UI(Message), "hi");
  const Round rounds[] = {
      {"12345", "Send", "CMGS", "05812143F5"},
      {"D", "Send", "CMGS", "05812143F5"},  // the most recent one...
      {"D", "Send", "CMGS", "05812143F5"},  // ...every time, not the one after it
      {"777", "Send", "CMGS", "038177F7"},
      {"D", "Send", "CMGS", "038177F7"},
      {"DD", "Send", "CMGS", "05812143F5"},   // the second: now back on top
      {"DDU", "Send", "CMGS", "05812143F5"},  // down to 777 and up again
      {"", "Save", "CMGW", ""},               // Enter at once: the prescribed save, as the button says
  };
  std::size_t before = 0;
  for (const Round& r : rounds) {
    SCOPED_TRACE(r.keys);
    QString shown;
    WhenModal([&](QWidget*) {
      QComboBox* box = SendWin->ui->Recipient;
      const QString keys = r.keys;
      if (!keys.isEmpty() && keys[0].isDigit()) {
        Type(box->lineEdit(), keys);
      } else {
        for (QChar k : keys) Key(box, k == 'D' ? Qt::Key_Down : Qt::Key_Up);
      }
      // The default button is the one marked.
      for (QPushButton* b : {SendWin->ui->Find, SendWin->ui->SaveSend}) {
        EXPECT_EQ(b->font().bold(), b->isDefault()) << b->objectName().toStdString();
        if (b->isDefault()) shown = b->text();
      }
      Key(box, Qt::Key_Return);
    });
    ASSERT_TRUE(UI(SaveBlink)->isEnabled());
    UI(SaveBlink)->click();
    EXPECT_EQ(shown, r.enterSays);
    const auto lines = Journal();
    ASSERT_EQ(lines.size(), before + 1);
    before = lines.size();
    EXPECT_NE(lines.back().find(std::string("\"command\":\"") + r.command + "\""), std::string::npos) << lines.back();
    if (*r.address) {
      EXPECT_NE(lines.back().find(r.address), std::string::npos) << lines.back();
    }
  }
}

TEST_F(RecipientHistoryTest, EnterTakesFindOnlyForANameNeitherANumberNorInTheHistory) {
  WriteSettings([](mp::SettingsKey& k) {
    k.WriteString("Recipient0", "Alice");
    k.WriteString("Address0", "0C91534810325476");
  });
  Create();
  Activate(SendWin);
  QComboBox* box = SendWin->ui->Recipient;
  const struct {
    const char* typed;
    const char* enterPresses;
  } rows[] = {{"Bob", "Find"}, {"alice", "SaveSend"}, {"555", "SaveSend"}};
  for (const auto& row : rows) {
    box->lineEdit()->selectAll();
    Type(box->lineEdit(), row.typed);
    EXPECT_TRUE(SendWin->findChild<QPushButton*>(row.enterPresses)->isDefault()) << row.typed;
  }
  SendWin->hide();
}

}  // namespace
