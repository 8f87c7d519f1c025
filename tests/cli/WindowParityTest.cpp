// For every kind, the command sends exactly what the window sends for the
// same input: both go to the same simulated phone, and its journal must hold
// the same command, storage status, centre address and TPDU (or phonebook
// entry). The window is driven offscreen with its real widgets; its dialogs
// answer through scripted questions.
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTextCursor>
#include <QTextEdit>
#include <functional>

#include "CliRun.h"
#include "app/App.h"
#include "app/Main.h"
#include "widgets/Questions.h"
#include "app/ScriptedQuestions.h"
#include "dialogs/Coding.h"
#include "dialogs/Send.h"
#include "platform/Rtf.h"
#include "support/FormControl.h"
#include "ui_Coding.h"
#include "app/MainForm.h"
#include "ui_Send.h"

namespace {

// How the Send/Save and data coding dialogs are answered.
struct Answers {
  bool dialog = true;     // the page shows the Send/Save dialog
  QString recipient{};    // empty: save to the SIM
  QString centre{};
  bool reports = true;
  int model = -1;  // the data coding dialog: 0 7-bit, 1 16-bit; -1 not shown
};

void Script(ScriptedQuestions& q, const Answers& a) {
  if (!a.dialog) return;
  q.OnModal([a](QWidget*) {
    Ui::TSendWin* ui = SendWin->ui;
    if (!a.recipient.isEmpty()) {
      ui->Recipient->lineEdit()->selectAll();
      QTest::keyClicks(ui->Recipient->lineEdit(), a.recipient);
    }
    if (!a.centre.isEmpty()) {
      ui->Centre->lineEdit()->selectAll();
      QTest::keyClicks(ui->Centre->lineEdit(), a.centre);
    }
    ui->Reports->setChecked(a.reports);
    ui->SaveSend->click();
  });
  if (a.model < 0) return;
  q.OnModal([a](QWidget*) {
    (a.model == 0 ? CodingWin->ui->Model0 : CodingWin->ui->Model1)->click();
    CodingWin->ui->BitBtn1->click();
  });
}

// Marked text for an editor: pieces, red ones blink.
struct Piece {
  QString text;
  bool red;
};

void Fill(QTextEdit* editor, const std::vector<Piece>& pieces) {
  editor->clear();
  QTextCursor c(editor->document());
  for (const Piece& p : pieces) {
    QTextCharFormat f;
    f.setForeground(p.red ? QColor(255, 0, 0) : editor->palette().color(QPalette::Text));
    c.insertText(p.text, f);
  }
}

struct Case {
  const char* name;
  Answers answers;
  std::function<void(TWin*, const QString& dir)> window;  // prepares the page and presses its button
  QStringList cli;                                       // the same input for the command
};

void TextPage(TWin* w, const std::vector<Piece>& pieces, int type) {
  UI_IN(w, PageControl)->setCurrentWidget(UI_IN(w, TabSheet1));
  w->SetClassIndex(0);
  w->ClassClick();
  Fill(UI_IN(w, Message), pieces);
  w->SetClassIndex(type);
  w->ClassClick();
  ASSERT_TRUE(UI_IN(w, SaveBlink)->isEnabled());
  UI_IN(w, SaveBlink)->click();
}

void Indicators(TWin* w, std::initializer_list<QCheckBox*> boxes, bool forward) {
  UI_IN(w, PageControl)->setCurrentWidget(UI_IN(w, TabSheet3));
  for (QCheckBox* b : {UI_IN(w, VoiceOn), UI_IN(w, VoiceOff), UI_IN(w, FaxOn), UI_IN(w, FaxOff), UI_IN(w, EmailOn), UI_IN(w, EmailOff)})
    if (b->isChecked()) b->click();
  for (QCheckBox* b : boxes) b->click();
  if (UI_IN(w, Forward)->isChecked() != forward) UI_IN(w, Forward)->click();
  UI_IN(w, SaveInd)->click();
}

void Logo(TWin* w, const QString& dir, const QString& op, const QString& description) {
  UI_IN(w, PageControl)->setCurrentWidget(UI_IN(w, TabSheet6));
  w->OpenMessageOrLogo(dir + "/logo.bmp");
  UI_IN(w, cmbOperator)->lineEdit()->selectAll();
  QTest::keyClicks(UI_IN(w, cmbOperator)->lineEdit(), op);
  UI_IN(w, txtDesc)->setText(description);
  ASSERT_TRUE(UI_IN(w, cmdSaveLogo)->isEnabled());
  UI_IN(w, cmdSaveLogo)->click();
}

const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      {"text", {.recipient = "+12345"}, [](TWin* w, const QString&) { TextPage(w, {{"hello", false}}, 0); },
       {"--to", "+12345", "text", "hello"}},
      {"class0 with letters outside GSM", {.recipient = "040 123", .centre = "+358405202000", .reports = false},
       [](TWin* w, const QString&) { TextPage(w, {{"Flash ÄÖ€ {x} ~ ёж", false}}, 1); },
       {"--to", "040 123", "--centre", "+358405202000", "--no-report", "class0", "Flash ÄÖ€ {x} ~ ёж"}},
      {"hidden", {.recipient = "12345"}, [](TWin* w, const QString&) { TextPage(w, {{"hi\nthere", false}}, 2); },
       {"--to", "12345", "hidden", "hi\nthere"}},
      {"blink", {.recipient = "+358401234567"},
       [](TWin* w, const QString&) { TextPage(w, {{"Go ", false}, {"now", true}, {"\nok!", false}}, 0); },
       {"--to", "+358401234567", "blink", "Go {blink}now{/blink}\nok!"}},
      {"blinking class 0 from a file", {.recipient = "12345"},
       [](TWin* w, const QString& dir) {
         UI_IN(w, PageControl)->setCurrentWidget(UI_IN(w, TabSheet1));
         w->SetClassIndex(0);
         w->ClassClick();
         w->OpenMessageOrLogo(dir + "/red.rtf");
         w->SetClassIndex(1);
         w->ClassClick();
         UI_IN(w, SaveBlink)->click();
       },
       {"--to", "12345", "class0", "--file", "DIR/red.rtf"}},
      {"saved text", {}, [](TWin* w, const QString&) { TextPage(w, {{"saved for later", false}}, 0); },
       {"--save", "text", "saved for later"}},
      {"indicator sent", {.recipient = "+12345"},
       [](TWin* w, const QString&) { Indicators(w, {UI_IN(w, VoiceOn), UI_IN(w, FaxOff)}, false); },
       {"--to", "+12345", "indicator", "--voice", "on", "--fax", "off"}},
      {"indicator saved in 7-bit", {.model = 0},
       [](TWin* w, const QString&) { Indicators(w, {UI_IN(w, VoiceOn), UI_IN(w, EmailOn)}, false); },
       {"--save", "--coding", "7bit", "indicator", "--voice", "on", "--email", "on"}},
      {"indicator saved in 16-bit", {.model = 1},
       [](TWin* w, const QString&) { Indicators(w, {UI_IN(w, FaxOn)}, false); },
       {"--save", "--coding", "16bit", "indicator", "--fax", "on"}},
      {"indicator to forward", {},
       [](TWin* w, const QString&) { Indicators(w, {UI_IN(w, VoiceOff), UI_IN(w, FaxOff), UI_IN(w, EmailOff)}, true); },
       {"--save", "--forward", "indicator", "--voice", "off", "--fax", "off", "--email", "off"}},
      {"void", {.recipient = "12345", .centre = "+44 7700 900123"},
       [](TWin* w, const QString&) {
         UI_IN(w, PageControl)->setCurrentWidget(UI_IN(w, TabSheet4));
         UI_IN(w, BitBtn1)->click();
       },
       {"--to", "12345", "--centre", "+44 7700 900123", "void"}},
      {"template", {.dialog = false},
       [](TWin* w, const QString&) {
         UI_IN(w, PageControl)->setCurrentWidget(UI_IN(w, TabSheet2));
         UI_IN(w, SaveTemp)->click();
       },
       {"template"}},
      {"logo sent", {.recipient = "+12345"}, [](TWin* w, const QString& dir) { Logo(w, dir, "244-05 Radiolinja", "Hi"); },
       {"--to", "+12345", "logo", "--operator", "244-05 Radiolinja", "--picture", "DIR/logo.bmp"}},
      {"logo saved with a description", {},
       [](TWin* w, const QString& dir) { Logo(w, dir, "310-26", "Hello World"); },
       {"--save", "logo", "--operator", "310-26", "--picture", "DIR/logo.bmp", "--description", "Hello World"}},
      {"phonebook entry", {.dialog = false},
       [](TWin* w, const QString&) {
         UI_IN(w, PageControl)->setCurrentWidget(UI_IN(w, TabSheet5));
         Fill(UI_IN(w, EntryName), {{"Z", true}, {"oe ", false}, {"zz", true}});
         UI_IN(w, EntryNo)->setText("+358 40-123 45");
         ASSERT_TRUE(UI_IN(w, SaveEntry)->isEnabled());
         UI_IN(w, SaveEntry)->click();
       },
       {"phonebook", "--name", "{blink}Z{/blink}oe {blink}zz{/blink}", "--number", "+358 40-123 45"}},
  };
  return cases;
}

class WindowParity : public CliFixture, public ::testing::WithParamInterface<std::size_t> {
 protected:
  void SetUp() override {
    CliFixture::SetUp();
    ASSERT_TRUE(StartPhone());
    ::setenv("MIRAPOST_COM4", sim_.SlavePath().c_str(), 1);
    // The files both read: a picture (a dark diagonal band on white, as a
    // Windows bitmap) and a message file with red text.
    QImage picture(144, 28, QImage::Format_RGB32);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.setPen(QPen(Qt::black, 6));
    painter.drawLine(0, 0, 143, 27);
    painter.end();
    ASSERT_TRUE(picture.save(Path("logo.bmp"), "BMP"));
    mp::RtfText text;
    mp::RtfFormat red;
    red.hasColor = true;
    red.color = qRgb(255, 0, 0);
    text.runs = {{"Flash ", {}}, {"now", red}, {"\nthen", {}}};
    QFile f(Path("red.rtf"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(mp::WriteRtf(text, "Arial", 24));
    f.close();
    mp::SetQuestions(&questions_);
    mp::CreateWindows();
  }
  void TearDown() override {
    mp::DestroyWindows();
    mp::SetQuestions(nullptr);
    ::unsetenv("MIRAPOST_COM4");
    CliFixture::TearDown();
  }
  ScriptedQuestions questions_;
};

TEST_P(WindowParity, TheCommandSendsWhatTheWindowSends) {
  const Case& c = Cases()[GetParam()];
  Script(questions_, c.answers);
  c.window(Win, dir_.path());
  EXPECT_TRUE(questions_.AllUsed());
  auto journal = Journal();
  ASSERT_EQ(journal.size(), 1u) << "the window sent nothing: " << Win->StatusText().toStdString();
  const QJsonObject fromWindow = journal[0];

  QStringList args = c.cli;
  args.replaceInStrings("DIR", dir_.path());
  const CliResult r = RunCli(QStringList{"--port", "COM4"} + args);
  ASSERT_EQ(r.code, 0) << r.err;
  journal = Journal();
  ASSERT_EQ(journal.size(), 2u);
  const QJsonObject fromCli = journal[1];

  for (const char* key : {"command", "stat", "sca", "tpdu", "number", "type", "name"})
    EXPECT_EQ(fromCli[key], fromWindow[key]) << key;
  EXPECT_EQ(fromCli["decoded"], fromWindow["decoded"]);
}

INSTANTIATE_TEST_SUITE_P(EveryKind, WindowParity, ::testing::Range<std::size_t>(0, 15),
                         [](const ::testing::TestParamInfo<std::size_t>& info) {
                           std::string name;
                           for (char ch : std::string(Cases()[info.param].name))
                             if (std::isalnum(static_cast<unsigned char>(ch))) name += ch;
                           return name;
                         });

}  // namespace
