// The option "Long and Unicode messages": off at first with today's counts
// and a word in the status bar at the limit; on, any character, the count of
// messages, the preview's parts, and every part sent on one connection.
#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>

#include "AppFixture.h"
#include "widgets/PhoneScreen.h"

namespace {

class LongTextWindow : public AppFixture {
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

}  // namespace
