// The "Receiving phone" panel and the record of sent messages in the windows:
// what each page shows, the characters that change, the panel's place and
// setting, and the "Sent messages" window working on the record.
#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QTableView>
#include <QTest>
#include <QTextCursor>

#include "PageTest.h"
#include "dialogs/Received.h"
#include "dialogs/ReceivedModel.h"
#include "widgets/PhoneScreen.h"
#include "app/SentMessages.h"
#include "app/SentModel.h"

namespace {

using mp::pdu::Kind;

class PreviewTest : public PageTest {
 protected:
  // Types `text` into Message; characters marked 'r' in `red` blink.
  void Compose(const QString& text, const QString& red = QString()) {
    QTextEdit* m = UI(Message);
    m->setFocus();
    m->clear();
    m->setCurrentCharFormat(QTextCharFormat());
    // The test library types ASCII keys only; other characters are put in
    // as an input method would.
    for (const QChar c : text) {
      if (c.unicode() < 0x80) {
        Type(m, QString(c));
      } else {
        m->insertPlainText(QString(c));
      }
    }
    for (int i = 0; i < red.size(); ++i) {
      if (red[i] != 'r') continue;
      QTextCursor c(m->document());
      c.setPosition(i);
      c.setPosition(i + 1, QTextCursor::KeepAnchor);
      m->setTextCursor(c);
      if (!UI(BlinkFont)->isChecked()) UI(BlinkFont)->click();
    }
    Settle();
  }
  static void Settle() { QCoreApplication::processEvents(); }
  const mp::pdu::Reading& Shown() const { return Win->Preview->Screen->Reading(); }
  static std::string Utf8(const std::u32string& s) { return mp::pdu::ToUtf8(s); }
};

TEST_F(PreviewTest, PanelBesideTheFormOpenFirstThenAsLeft) {
  Create();
  ASSERT_NE(Win->Preview, nullptr);
  EXPECT_TRUE(Win->ReceivingPhone1->isChecked());
  EXPECT_TRUE(Win->Preview->isVisibleTo(Win));
  EXPECT_EQ(StoredInteger("ReceivingPhone"), std::nullopt);  // a start writes nothing
  // The form keeps its place and size; the window grows to the right.
  EXPECT_EQ(UI(centralwidget)->x(), 0);
  EXPECT_EQ(UI(centralwidget)->size(), QSize(432, 374));
  EXPECT_EQ(Win->Preview->x(), 432);
  EXPECT_EQ(Win->width(), 432 + Win->Preview->width());
  Win->ReceivingPhone1->trigger();
  EXPECT_FALSE(Win->Preview->isVisibleTo(Win));
  EXPECT_EQ(Win->width(), 432);
  Restart();
  EXPECT_FALSE(Win->ReceivingPhone1->isChecked());
  EXPECT_EQ(Win->width(), 432);
  EXPECT_EQ(StoredInteger("ReceivingPhone"), 0);
}

TEST_F(PreviewTest, EuroInSevenBitPreviewsAsEAndIsNamed) {
  Create();
  const QPalette normal = UI(Count)->palette();
  const QString hint = UI(Count)->toolTip();
  Compose(QString::fromUtf8("a€b"));
  EXPECT_EQ(Shown().kind, Kind::Text);
  EXPECT_EQ(Utf8(Shown().Text()), "aeb");
  EXPECT_EQ(Win->Preview->Changes->text().toStdString(), "Will change: € → e");
  EXPECT_TRUE(UI(Count)->toolTip().contains(QString::fromUtf8("€ → e")));
  EXPECT_EQ(UI(CountLabel)->toolTip(), UI(Count)->toolTip());
  EXPECT_NE(UI(Count)->palette().color(QPalette::WindowText), normal.color(QPalette::WindowText));
  EXPECT_EQ(UI(Count)->text(), "157");
  // The warning goes with the last changed character, the panel closed or not.
  Win->ReceivingPhone1->trigger();
  Compose("abc");
  EXPECT_EQ(UI(Count)->toolTip(), hint);
  EXPECT_EQ(UI(Count)->palette().color(QPalette::WindowText), normal.color(QPalette::WindowText));
}

TEST_F(PreviewTest, EveryPageShowsWhatItWouldSend) {
  Create();
  struct Row {
    const char* name;
    std::function<void()> set;
    Kind kind;
    std::string text;
    std::string line;  // a line the screen draws
  };
  const Row rows[] = {
      {"blinking", [this] { Compose("Hi you", "...rrr"); }, Kind::Text, "Hi you", "New message"},
      {"flash", [this] { Compose("Now"); UI(ClassClass0)->click(); },
       Kind::Flash, "Now", "Flash message"},
      {"hidden", [this] { Compose("psst"); UI(ClassHidden)->click(); },
       Kind::Hidden, "psst", "(hidden)"},
      {"indicators", [] {
         UI(ClassNormal)->click();
         UI(PageControl)->setCurrentWidget(UI(TabSheet3));
         UI(VoiceOn)->click();
       }, Kind::Indicators, "", "voice set, count 1"},
      {"void", [] { UI(PageControl)->setCurrentWidget(UI(TabSheet4)); },
       Kind::Void, "", "(tone only, no message)"},
      {"template", [] { UI(PageControl)->setCurrentWidget(UI(TabSheet2)); },
       Kind::Template, "", "Template"},
      {"logo", [this] {
         UI(PageControl)->setCurrentWidget(UI(TabSheet6));
         TypeOperator("244-05 Somewhere");
       }, Kind::Logo, "", "Operator 244-05"},
      {"phonebook", [] {
         UI(PageControl)->setCurrentWidget(UI(TabSheet5));
         UI(EntryName)->setPlainText("Alice");
         UI(EntryNo)->setText("+358401234567");
       }, Kind::Phonebook, "Alice", "+358401234567"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    r.set();
    Settle();
    EXPECT_EQ(Shown().kind, r.kind) << mp::pdu::KindName(Shown().kind) << " " << Shown().error;
    EXPECT_EQ(Utf8(Shown().Text()).substr(0, r.text.size()), r.text);
    EXPECT_TRUE(Win->Preview->Screen->ShownLines().contains(QString::fromStdString(r.line)))
        << Win->Preview->Screen->ShownLines().join('|').toStdString();
  }
  EXPECT_EQ(Win->CurrentPreview().reading.logo ? 14 : 0, 0);  // the phonebook page has no logo
}

TEST(ReceivedReading, PhonebookEntryFromTheStoredName) {
  mp::ReceivedEntry e;
  ASSERT_TRUE(mp::ParseJournalLine(R"({"command":"CPBW","memory":"ME","charset":"8859-1","index":2,)"
                                   R"("number":"+3584012345","type":145,"name":"x","text":"\u0001A\u0001n\u00e9"})",
                                   e));
  EXPECT_EQ(e.reading.kind, Kind::Phonebook);
  ASSERT_EQ(e.reading.segments.size(), 2u);
  EXPECT_TRUE(e.reading.segments[0].blink);
  EXPECT_EQ(mp::pdu::ToUtf8(e.reading.Text()), "Ané");
  EXPECT_EQ(e.reading.recipient, "+3584012345");
}

TEST_F(PreviewTest, SendsAreRecordedAndTheWindowWorksOnThem) {
  ASSERT_TRUE(StartPhone());
  Create();
  EXPECT_FALSE(Win->SentRecord->IsOpen()) << "the record opens at the first send, not before";
  Compose(QString::fromUtf8("a€b"));
  WhenModal([](QWidget* w) { ConfirmSend(w, "12345"); });
  UI(SaveBlink)->click();
  ASSERT_EQ(Win->StatusText(), "Message successfully sent.");
  const auto sent = Messages();
  ASSERT_EQ(sent.size(), 1u);
  ASSERT_TRUE(Win->SentRecord->IsOpen()) << Win->SentRecord->Error();
  // The panel decoded the very TPDU that the phone received.
  EXPECT_EQ(Win->CurrentPreview().tpdu, sent[0].tpdu);
  auto rows = Win->SentRecord->List();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].tpdu, sent[0].tpdu);
  EXPECT_EQ(rows[0].sca, sent[0].sca);
  EXPECT_EQ(rows[0].recipient, "12345");
  EXPECT_EQ(rows[0].kind, "text");
  EXPECT_EQ(rows[0].port, "COM4:");
  EXPECT_EQ(rows[0].device, sim_.SlavePath());
  EXPECT_TRUE(rows[0].finished && rows[0].ok);
  EXPECT_EQ(rows[0].statusText, "Message successfully sent.");

  // The simulated phone's window shows the same reading of what it received.
  mp::ReceivedEntry entry;
  ASSERT_TRUE(mp::ParseJournalLine(QByteArray::fromStdString(Journal().back()), entry));
  const std::unique_ptr<QWidget> view(mp::MakeReceivedEntryView(entry, nullptr));
  const auto* screen = view->findChild<PhoneScreen*>("ReceivedPhoneScreen");
  ASSERT_NE(screen, nullptr);
  EXPECT_EQ(screen->Reading().kind, Kind::Text);
  EXPECT_EQ(Utf8(screen->Reading().Text()), "aeb");

  Win->SentMessages1->trigger();
  TSentWin* w = Win->SentWin;
  ASSERT_NE(w, nullptr);
  ASSERT_EQ(w->RowCount(), 1);
  ASSERT_NE(w->Selected(), nullptr);
  EXPECT_EQ(Utf8(w->Screen->Reading().Text()), "aeb");
  w->CopyPdu->click();
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), sent[0].sca + sent[0].tpdu);

  // Again to the same recipient, then through the dialog to another one.
  w->Resend->click();
  WhenModal([](QWidget* d) { ConfirmSend(d, "+3584012345"); });
  w->ResendTo->click();
  const auto again = Messages();
  ASSERT_EQ(again.size(), 3u);
  EXPECT_EQ(again[1].tpdu, sent[0].tpdu);
  EXPECT_NE(again[2].Destination(), sent[0].Destination());
  EXPECT_EQ(again[2].Body(), sent[0].Body());
  ASSERT_EQ(w->RowCount(), 3);
  EXPECT_EQ(w->EntryAt(0)->recipient, "+3584012345");  // newest first

  w->Select(0);
  w->Delete->click();
  EXPECT_EQ(Win->SentRecord->List().size(), 2u);
  // Clearing asks first: No keeps the rows, Yes removes them all.
  for (auto answer : {QMessageBox::No, QMessageBox::Yes}) {
    WhenModal([answer](QWidget* d) { static_cast<QMessageBox*>(d)->button(answer)->click(); });
    w->ClearAll->click();
    EXPECT_EQ(Win->SentRecord->List().size(), answer == QMessageBox::No ? 2u : 0u);
  }
  EXPECT_EQ(w->RowCount(), 0);

  // It opens beside the main window, not over its corner, and Esc and
  // Ctrl+W close it.
  EXPECT_NE(w->frameGeometry().topLeft(), Win->frameGeometry().topLeft());
  struct {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
  } closers[] = {{Qt::Key_Escape, Qt::NoModifier}, {Qt::Key_W, Qt::ControlModifier}};
  for (const auto& c : closers) {
    Win->SentMessages1->trigger();
    QApplication::setActiveWindow(w);
    (void)QTest::qWaitForWindowActive(w, 1000);
    ASSERT_TRUE(w->isVisible());
    QTest::keyClick(w->Table, c.key, c.modifiers);
    EXPECT_FALSE(w->isVisible()) << c.key;
  }

  // Turned off, a send leaves no row.
  Win->KeepRecord1->trigger();
  EXPECT_FALSE(Win->KeepRecord1->isChecked());
  w->hide();
  WhenModal([](QWidget* d) { ConfirmSend(d, "12345"); });
  UI(SaveBlink)->click();
  EXPECT_EQ(Messages().size(), 4u);
  EXPECT_TRUE(Win->SentRecord->List().empty());
}

// A row that may have gone out already is sent again only after the user
// heard that the recipient may get it twice; No is the default.
TEST_F(PreviewTest, ResendOfAnUncertainRowAsksFirst) {
  ASSERT_TRUE(StartPhone());
  Create();
  Compose("hello");
  WhenModal([](QWidget* w) { ConfirmSend(w, "12345"); });
  UI(SaveBlink)->click();
  ASSERT_EQ(Messages().size(), 1u);
  Win->SentMessages1->trigger();
  TSentWin* w = Win->SentWin;
  ASSERT_NE(w, nullptr);
  struct Case {
    const char* state;
    const char* shown;
  } cases[] = {{"unconfirmed", "may have been sent"}, {"queued", "queued, outcome unknown"}};
  std::size_t sends = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.state);
    auto rows = Win->SentRecord->List(1);
    ASSERT_EQ(rows.size(), 1u);
    rows[0].state = c.state;
    rows[0].ok = false;
    ASSERT_TRUE(Win->SentRecord->Update(rows[0]));
    w->Reload();
    w->Select(0);
    EXPECT_EQ(w->Model->data(w->Model->index(0, SentModel::State)).toString().toStdString(), c.shown);
    QString asked;
    for (auto answer : {QMessageBox::No, QMessageBox::Yes}) {
      WhenModal([answer, &asked](QWidget* d) {
        auto* box = static_cast<QMessageBox*>(d);
        asked = box->text();
        EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
        box->button(answer)->click();
      });
      w->Resend->click();
      if (answer == QMessageBox::Yes) ++sends;
      EXPECT_EQ(Messages().size(), sends);
    }
    EXPECT_EQ(Asked().shown.back(), "ResendQuestion");
    EXPECT_TRUE(asked.contains(c.shown)) << asked.toStdString();
    EXPECT_TRUE(asked.contains("twice")) << asked.toStdString();
  }
  // The new row was sent: sending it again asks nothing.
  w->Select(0);
  EXPECT_EQ(w->Selected()->state, "sent");
  w->Resend->click();
  EXPECT_EQ(Messages().size(), sends + 1);
}

}  // namespace
