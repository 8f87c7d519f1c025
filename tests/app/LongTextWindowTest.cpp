// The option "Long and Unicode messages": off at first with today's counts
// and a word in the status bar at the limit; on, any character, the count of
// messages, the preview's parts, and every part sent on one connection.
#include <QAction>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>

#include "PageTest.h"
#include "app/SentMessages.h"
#include "app/SentModel.h"
#include "widgets/PhoneScreen.h"

namespace {

class LongTextWindow : public PageTest {
 protected:
  QTextEdit* Message() const { return UI(Message); }
  QAction* Option() const { return Win->findChild<QAction*>("LongText1"); }
};

TEST_F(LongTextWindow, OffAtFirstAndTheLimitNamesTheOptionOnce) {
  Create();
  ASSERT_NE(Option(), nullptr);
  EXPECT_FALSE(Option()->isChecked());
  Message()->setPlainText(QString(159, 'x'));
  EXPECT_EQ(UI(Count)->text(), "1");
  EXPECT_EQ(Win->StatusText(), "");
  Message()->setPlainText(QString(160, 'x'));
  EXPECT_EQ(UI(Count)->text(), "0");
  EXPECT_EQ(Win->StatusText(), "Longer and Unicode texts are possible with View > Long and Unicode messages.");
  Win->ShowStatus("something else");
  Message()->setPlainText(QString(161, 'x'));
  EXPECT_EQ(Win->StatusText(), "something else");  // said once
  EXPECT_FALSE(UI(SaveBlink)->isEnabled());
}

TEST_F(LongTextWindow, OnTheTextTakesPartsAndArrivesWhole) {
  ASSERT_TRUE(StartPhone());
  Create();
  Option()->trigger();
  EXPECT_EQ(StoredInteger("LongMessages"), 1);
  struct Case {
    QString text;
    QString count;
  };
  const QString cyrillic = QString("Съешь же ещё этих мягких булок, да выпей чаю. ").repeated(9);  // 414
  const Case cases[] = {
      {"hello €", "152"},  // the extension table: two septets for the euro sign
      {QString(161, 'x'), "145 (2 messages)"},
      {cyrillic, "55 (7 messages)"},
  };
  for (const Case& c : cases) {
    Message()->setPlainText(c.text);
    EXPECT_EQ(UI(Count)->text(), c.count) << c.text.left(10).toStdString();
    EXPECT_TRUE(UI(SaveBlink)->isEnabled());
  }
  // The preview says where each part ends.
  Win->ReceivingPhone1->setChecked(true);
  Win->RefreshPreview();
  EXPECT_TRUE(Win->Preview->Parts->text().startsWith("7 messages; part 1 after \"…"))
      << Win->Preview->Parts->text().toStdString();
  EXPECT_EQ(Win->CurrentPreview().reading.Text(), cyrillic.toStdU32String());
  // Every part on one connection, saved in the SIM at the first use.
  WhenModal([](QWidget* w) { Click(w, "SaveSend"); });
  UI(SaveBlink)->click();
  EXPECT_EQ(Win->StatusText(), "Message successfully saved in SM.");
  int parts = 0;
  std::string whole;
  for (const std::string& line : Journal()) {
    if (line.find("\"command\":\"CMGW\"") != std::string::npos) ++parts;
    if (line.find("\"concatenated\"") != std::string::npos) whole = line;
  }
  EXPECT_EQ(parts, 7);
  EXPECT_NE(whole.find("\"parts\":7,\"text\":\"" + cyrillic.toStdString() + "\""), std::string::npos) << whole;
  // Off again: today's count comes back.
  Option()->trigger();
  EXPECT_EQ(StoredInteger("LongMessages"), 0);
  Message()->setPlainText("hello");
  EXPECT_EQ(UI(Count)->text(), "155");
}

// A message file keeps what code page 1252 lacks (RTF \\uN with a fallback
// character) and gives it back exactly, beyond the 320 characters of the
// option off.
TEST_F(LongTextWindow, MessageFilesKeepEveryCharacter) {
  Create();
  Option()->trigger();
  const QString text = QString::fromUtf8("Привет, мир! 😀 🇫🇮 e\u0301 € [x] 中文 ").repeated(20);
  Message()->setPlainText(text);
  QTemporaryDir dir;
  const QString file = dir.filePath("long.rtf");
  Asked().SaveAnswers(file);
  UI(SaveAs1)->trigger();
  EXPECT_EQ(Win->StatusText(), "Message saved to '" + file + "'.");
  UI(New1)->trigger();
  ASSERT_EQ(Message()->toPlainText(), "");
  Asked().OpenAnswers(file);
  UI(Open1)->trigger();
  EXPECT_EQ(Message()->toPlainText(), text);
}

// Resend of a text that went out partly sends only its missing parts, with
// its reference, on one connection, and its own row says how it stands then:
// sent when they went, partly sent again when one still failed.
TEST_F(LongTextWindow, ResendOfAPartlySentTextSendsOnlyTheMissingParts) {
  struct Case {
    const char* fault;
    const char* state;  // the row after the Resend
    int partsSent;
    const char* status;  // the status bar's start
    bool joined;         // the phone joined the whole text
  } cases[] = {
      {"refuse-third", "sent", 3, "Message successfully sent.", true},
      {"refuse-later", "partly-sent", 2, "2 of 3 parts sent; part 3: Failed, ME responded: +CMS ERROR: 500", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    QFile::remove(dir_.filePath("journal.jsonl"));  // this case's messages only
    ASSERT_TRUE(StartPhone({"--fault", c.fault}));
    Create();
    if (!Option()->isChecked()) Option()->trigger();          // kept on from the case before
    const QString text = QString("abcdefghij").repeated(40);  // 400 characters: 3 parts
    Message()->setPlainText(text);
    ASSERT_EQ(UI(Count)->text(), "59 (3 messages)");
    WhenModal([](QWidget* w) { ConfirmSend(w, "12345"); });
    UI(SaveBlink)->click();
    EXPECT_TRUE(Win->StatusText().startsWith("2 of 3 parts sent; part 3: ")) << Win->StatusText().toStdString();
    const auto before = Win->SentRecord->List();
    ASSERT_EQ(before.size(), 1u);
    EXPECT_EQ(before[0].state, "partly-sent");
    EXPECT_EQ(before[0].partsSent, 2);
    const std::string third = before[0].moreTpdus.substr(before[0].moreTpdus.rfind(' ') + 1);
    const std::size_t journalled = Messages().size();
    ASSERT_EQ(journalled, 3u);

    Win->SentMessages1->trigger();
    TSentWin* w = Win->SentWin;
    ASSERT_NE(w, nullptr);
    w->Select(0);
    EXPECT_TRUE(w->Details->toPlainText().contains("Parts: 3, 2 sent, reference "))
        << w->Details->toPlainText().toStdString();
    QString asked;
    WhenModal([&asked](QWidget* d) {
      auto* box = static_cast<QMessageBox*>(d);
      asked = box->text();
      box->button(QMessageBox::Yes)->click();
    });
    w->Resend->click();
    EXPECT_TRUE(asked.contains("2 of 3 parts went out")) << asked.toStdString();
    EXPECT_TRUE(Win->StatusText().startsWith(c.status)) << Win->StatusText().toStdString();
    // Exactly the third part, as stored: its reference and place are the same.
    const auto sent = Messages();
    ASSERT_EQ(sent.size(), journalled + 1);
    EXPECT_EQ(sent.back().tpdu, third);
    bool joined = false;
    for (const QJsonObject& o : JournalObjects()) {
      const QJsonObject whole = o.value("concatenated").toObject();
      if (!whole.isEmpty()) {
        joined = true;
        EXPECT_EQ(whole.value("parts").toInt(), 3);
        EXPECT_EQ(whole.value("reference").toInt(), before[0].reference);
        EXPECT_EQ(whole.value("text").toString(), text);
      }
    }
    EXPECT_EQ(joined, c.joined);
    // The message's own row, not a new one.
    const auto after = Win->SentRecord->List();
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].id, before[0].id);
    EXPECT_EQ(after[0].state, c.state);
    EXPECT_EQ(after[0].partsSent, c.partsSent);
    EXPECT_EQ(w->Model->data(w->Model->index(0, SentModel::State)).toString(),
              c.partsSent == 3 ? "sent" : "partly sent");
    if (c.joined) {
      // To another recipient the whole text goes, with that one's own reference.
      WhenModal([](QWidget* d) { ConfirmSend(d, "67890"); });
      w->ResendTo->click();
      EXPECT_EQ(Messages().size(), journalled + 4);
      int wholes = 0;
      for (const QJsonObject& o : JournalObjects()) wholes += o.contains("concatenated");
      EXPECT_EQ(wholes, 2);
      EXPECT_EQ(Win->SentRecord->List().size(), 2u);
      EXPECT_EQ(Win->SentRecord->List()[0].recipient, "67890");
    }
    Win->SentRecord->Clear();
    Destroy();
    StopPhone();
  }
}

}  // namespace
