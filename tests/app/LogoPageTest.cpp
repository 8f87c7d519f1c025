// Operator logo page: pictures pasted into the logo, the network code and its
// placeholder, the history of networks, and the bodies that reach the
// simulated phone.
#include <QAbstractItemView>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyleHints>

#include "PageTest.h"

namespace {

constexpr const char* kPlaceholder = "000-00 (Removes logo of any operator.)";
const std::string kBlankBits(252, '0');

class LogoTest : public PageTest {
 protected:
  void SetUp() override {
    PageTest::SetUp();
    QGuiApplication::clipboard()->clear();
  }

  void Open(const std::vector<std::string>& history = {}) {
    if (!history.empty()) {
      WriteSettings([&](mp::SettingsKey& key) {
        for (std::size_t i = 0; i < history.size(); ++i) {
          key.WriteString("Operator" + std::to_string(i), history[i]);
        }
      });
    }
    Create();
    UI(PageControl)->setCurrentWidget(UI(TabSheet6));
  }

  QComboBox* Box() { return UI(cmbOperator); }
  std::string Text() { return Box()->currentText().toStdString(); }
  std::vector<std::string> History() {
    std::vector<std::string> items;
    for (int i = 0; i < Box()->count(); ++i) items.push_back(Box()->itemText(i).toStdString());
    return items;
  }

  void Paste(const QImage& picture) {
    QGuiApplication::clipboard()->setImage(picture);
    UI(cmdPasteLogo)->click();
  }

  // Confirms the Send/Save dialog for the network typed into the box.
  void SendFor(const QString& network, bool save = true) {
    TypeOperator(network);
    ASSERT_TRUE(UI(cmdSaveLogo)->isEnabled()) << network.toStdString();
    if (save) {
      WhenModal([](QWidget* w) { ConfirmSave(w); });
    } else {
      WhenModal([](QWidget* w) { ConfirmSend(w, "12345"); });
    }
    UI(cmdSaveLogo)->click();
  }
};

QImage Filled(int w, int h, QColor colour) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(colour);
  return image;
}

// Octets of the logo alternate dark and light, shifted by one on every
// second logo row; drawn at `scale` logo pixels per picture pixel (2: a
// 36 x 7 picture) or picture pixels per logo pixel (-2: 144 x 28).
QImage Checkers(int scale) {
  const int w = scale > 0 ? 72 / scale : 72 * -scale;
  const int h = scale > 0 ? 14 / scale : 14 * -scale;
  QImage image = Filled(w, h, Qt::white);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      // The logo pixel this picture pixel covers (its top-left one).
      const int lx = scale > 0 ? x * scale : x / -scale;
      const int ly = scale > 0 ? y * scale : y / -scale;
      const int row = scale > 0 ? ly / scale : ly;
      if ((lx / 8 + row) % 2 == 0) image.setPixel(x, y, qRgb(0, 0, 0));
    }
  }
  return image;
}

// LogoBits of Checkers(scale): logo row r belongs to picture row r / rowsPer.
std::string CheckerBits(int rowsPer) {
  std::string bits;
  for (int r = 0; r < 14; ++r) {
    for (int k = 0; k < 9; ++k) bits += (k + r / rowsPer) % 2 == 0 ? "FF" : "00";
  }
  return bits;
}

// ---- pictures ---------------------------------------------------------------

struct PictureCase {
  const char* name;
  QImage picture;
  std::string bits;
};
void PrintTo(const PictureCase& c, std::ostream* os) { *os << c.name; }

class LogoPictures : public LogoTest, public ::testing::WithParamInterface<PictureCase> {};

TEST_P(LogoPictures, Paste) {
  Open();
  Paste(GetParam().picture);
  EXPECT_EQ(Win->LogoBits, GetParam().bits);
  // The preview shows the two colours that will be sent, stretched.
  const QImage preview = UI(imgPreview)->pixmap().toImage();
  ASSERT_EQ(preview.size(), QSize(216, 50));
  const bool firstDark = GetParam().bits[0] == 'F';
  EXPECT_EQ(QColor(preview.pixel(0, 0)), firstDark ? QColor(0, 0, 0) : QColor(224, 255, 192));
  int other = 0;
  for (int y = 0; y < preview.height(); ++y) {
    for (int x = 0; x < preview.width(); ++x) {
      const QRgb px = preview.pixel(x, y) & 0xFFFFFF;
      if (px != 0x000000 && px != 0xE0FFC0) ++other;
    }
  }
  EXPECT_EQ(other, 0) << "pixels of neither colour";
}

INSTANTIATE_TEST_SUITE_P(
    Logo, LogoPictures,
    ::testing::Values(PictureCase{"White", Filled(72, 14, Qt::white), kBlankBits},
                      PictureCase{"Black", Filled(72, 14, Qt::black), std::string(252, 'F')},
                      PictureCase{"Sum383IsDark", Filled(72, 14, QColor(128, 128, 127)), std::string(252, 'F')},
                      PictureCase{"Sum384IsLight", Filled(72, 14, QColor(128, 128, 128)), kBlankBits},
                      PictureCase{"Large144x28ScaledDown", Checkers(-2), CheckerBits(1)},
                      PictureCase{"Small36x7ScaledUp", Checkers(2), CheckerBits(2)},
                      PictureCase{"WideStretched", Filled(300, 3, Qt::black), std::string(252, 'F')}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LogoTest, StartsBlank) {
  Open();
  EXPECT_EQ(Win->LogoBits, kBlankBits);
  const QImage preview = UI(imgPreview)->pixmap().toImage();
  ASSERT_EQ(preview.size(), QSize(216, 50));
  EXPECT_EQ(QColor(preview.pixel(100, 25)), QColor(224, 255, 192));
}

TEST_F(LogoTest, PasteWithoutPictureKeepsLogo) {
  Open();
  Paste(Filled(72, 14, Qt::black));
  mp::TakeRecordedBeeps();
  QGuiApplication::clipboard()->setText("not a picture");
  UI(cmdPasteLogo)->click();
  EXPECT_EQ(Win->StatusText(), "Clipboard does not contain a bitmap.");
  EXPECT_EQ(mp::TakeRecordedBeeps(), std::vector<mp::BeepKind>{mp::BeepKind::Exclamation});
  EXPECT_EQ(Win->LogoBits, std::string(252, 'F'));
  // An empty clipboard is the same.
  QGuiApplication::clipboard()->clear();
  UI(cmdPasteLogo)->click();
  EXPECT_EQ(Win->StatusText(), "Clipboard does not contain a bitmap.");
  EXPECT_EQ(Win->LogoBits, std::string(252, 'F'));
}

// ---- network code -----------------------------------------------------------

struct CodeCase {
  const char* name;
  const char* typed;
  const char* text;  // box text afterwards
  const char* code;  // OperatorCode
  bool valid;
};
void PrintTo(const CodeCase& c, std::ostream* os) { *os << c.name; }

class LogoCodes : public LogoTest, public ::testing::WithParamInterface<CodeCase> {};

TEST_P(LogoCodes, Typed) {
  Open();
  const CodeCase& c = GetParam();
  TypeOperator(QString::fromLatin1(c.typed));
  EXPECT_EQ(Text(), c.text);
  EXPECT_EQ(Win->OperatorCode, c.code);
  EXPECT_EQ(UI(cmdSaveLogo)->isEnabled(), c.valid);
}

INSTANTIATE_TEST_SUITE_P(
    Logo, LogoCodes,
    ::testing::Values(CodeCase{"WithName", "244-05 Radiolinja", "244-05 Radiolinja", "244-05", true},
                      CodeCase{"CodeAlone", "244-05", "244-05", "244-05", true},
                      CodeCase{"LeadingBlanks", "  244-91 Sonera", "  244-91 Sonera", "244-91", true},
                      CodeCase{"LetterAfterCode", "310-26x", "310-26x", "310-26", true},
                      CodeCase{"NoDash", "24405", "24405", "24405", false},
                      CodeCase{"OneDigitMnc", "244-5", "244-5", "244-5", false},
                      CodeCase{"ThreeDigitMnc", "244-055", "244-055", "244-055", false},
                      CodeCase{"OneCharacter", "2", "2", "2", false},
                      CodeCase{"LoneZero", "0", "0", "0", false},
                      // A second character after a leading "0" brings the placeholder back.
                      CodeCase{"LeadingZero", "01", kPlaceholder, "000-00", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LogoTest, PlaceholderComesBack) {
  Open();
  EXPECT_EQ(Text(), kPlaceholder);
  EXPECT_EQ(Win->OperatorCode, "000-00");
  EXPECT_TRUE(UI(cmdSaveLogo)->isEnabled());
  // Editing the placeholder other than by typing over all of it restores it.
  QLineEdit* edit = Box()->lineEdit();
  edit->end(false);
  Key(edit, Qt::Key_Backspace);
  EXPECT_EQ(Text(), kPlaceholder);
  edit->setCursorPosition(3);
  Type(edit, "7");
  EXPECT_EQ(Text(), kPlaceholder);
  // Emptying the box brings it back too.
  TypeOperator("2");
  Key(edit, Qt::Key_Backspace);
  EXPECT_EQ(Text(), kPlaceholder);
  EXPECT_EQ(Win->OperatorCode, "000-00");
  // At most 32 characters can be typed.
  TypeOperator("244-05 " + QString(40, 'a'));
  EXPECT_EQ(Text(), "244-05 " + std::string(25, 'a'));
}

// ---- bodies -----------------------------------------------------------------

class LogoSendTest : public LogoTest {
 protected:
  void SetUp() override {
    LogoTest::SetUp();
    ASSERT_TRUE(StartPhone());
    Open();
  }
};

TEST_F(LogoSendTest, SavedWithoutDescription) {
  SendFor("244-05 Radiolinja");
  EXPECT_TRUE(Win->Phone.LogReady);
  const auto sent = Messages();
  ASSERT_EQ(sent.size(), 1u);
  const auto& m = sent[0];
  EXPECT_EQ(m.command, "CMGW");
  EXPECT_EQ(m.stat, 2);
  EXPECT_EQ(m.Destination(), "00D0");
  EXPECT_EQ(m.Body(), "00F5FF8C0605041582158242F45000480E01" + kBlankBits);
  EXPECT_TRUE(m.FirstOctet() & 0x40) << "TP-UDHI";
  const QJsonObject logo = m.decoded.value("logo").toObject();
  EXPECT_EQ(logo.value("mcc").toString(), "244");
  EXPECT_EQ(logo.value("mnc").toString(), "05");
  EXPECT_EQ(logo.value("rows").toArray().size(), 14);
}

TEST_F(LogoSendTest, DescriptionBecomesAddressWhenSaved) {
  UI(txtDesc)->setText("Hello");
  SendFor("244-05");
  // Sending leaves the recipient as typed; the description is not used.
  SendFor("244-05", false);
  const auto sent = Messages();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].Destination(), "09D0C8329BFD06");
  EXPECT_EQ(sent[1].command, "CMGS");
  EXPECT_EQ(sent[1].Destination(), "05812143F5");
  EXPECT_EQ(sent[0].Body(), sent[1].Body());
}

TEST_F(LogoSendTest, LongestDescriptionFillsTheAddress) {
  UI(txtDesc)->setText("Corvistan Oy Radiolinja");  // cut to 11 characters by the box
  EXPECT_EQ(UI(txtDesc)->text(), "Corvistan O");
  SendFor("244-05");
  const auto sent = Messages();
  ASSERT_EQ(sent.size(), 1u);
  // 11 characters: 20 semi-octets, 10 octets of packed text.
  EXPECT_EQ(sent[0].Destination().substr(0, 4), "14D0");
  EXPECT_EQ(sent[0].Destination().size(), 24u);
}

TEST_F(LogoSendTest, RemovalCodeAndPicture) {
  Paste(Checkers(-2));
  // The placeholder is there from the start: the removal code.
  WhenModal([](QWidget* w) { ConfirmSave(w); });
  UI(cmdSaveLogo)->click();
  const auto sent = Messages();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].Body(), "00F5FF8C0605041582158200F00000480E01" + CheckerBits(1));
  const QJsonArray rows = sent[0].decoded.value("logo").toObject().value("rows").toArray();
  ASSERT_EQ(rows.size(), 14);
  const std::string row0 = rows[0].toString().toStdString(), row1 = rows[1].toString().toStdString();
  ASSERT_EQ(row0.size(), 72u);
  EXPECT_NE(row0[0], row0[8]);
  EXPECT_EQ(row0[0], row1[8]);
  EXPECT_EQ(row0[7], row0[0]);
  EXPECT_TRUE(History().empty()) << "the removal code is not remembered";
}

TEST_F(LogoSendTest, CancelKeepsHistoryAndPhone) {
  TypeOperator("244-05 Radiolinja");
  WhenModal([](QWidget* w) { Cancel(w); });
  UI(cmdSaveLogo)->click();
  EXPECT_TRUE(History().empty());
  EXPECT_TRUE(Journal().empty());
  EXPECT_FALSE(Win->Phone.LogReady);
}

// ---- history ----------------------------------------------------------------

TEST_F(LogoSendTest, SameNetworkKeepsNewerEntry) {
  SendFor("244-91 Sonera");
  SendFor("244-05 Radiolinja");
  SendFor("  244-05 Elisa");
  EXPECT_EQ(History(), (std::vector<std::string>{"244-05 Elisa", "244-91 Sonera"}));
  // The newest entry is chosen; its text has lost the leading blanks.
  EXPECT_EQ(Box()->currentIndex(), 0);
  EXPECT_EQ(Text(), "244-05 Elisa");
  EXPECT_EQ(Win->OperatorCode, "244-05");
  EXPECT_EQ(Messages().size(), 3u);
}

TEST_F(LogoSendTest, ElevenNetworksKeepTen) {
  for (int i = 0; i < 11; ++i) SendFor(QString("%1-%2 Net").arg(300 + i).arg(10 + i));
  const auto history = History();
  ASSERT_EQ(history.size(), 10u);
  EXPECT_EQ(history.front(), "310-20 Net");
  EXPECT_EQ(history.back(), "301-11 Net");
  // Written at exit, read at the next start; the box starts with the placeholder.
  Restart();
  EXPECT_EQ(History(), history);
  EXPECT_EQ(Text(), kPlaceholder);
  EXPECT_EQ(Win->OperatorCode, "000-00");
}

// ---- picks from the history list ----------------------------------------------

enum class Pick { Mouse, Return, DownKey };

struct PickCase {
  const char* name;
  Pick how;
  int row;
};
void PrintTo(const PickCase& c, std::ostream* os) { *os << c.name; }

class LogoPicks : public LogoTest, public ::testing::WithParamInterface<PickCase> {
 protected:
  void PickRow(Pick how, int row) {
    QAbstractItemView* view = Box()->view();
    if (how == Pick::DownKey) {
      for (int i = 0; i <= row; ++i) Key(Box()->lineEdit(), Qt::Key_Down);
      return;
    }
    Box()->showPopup();
    ASSERT_TRUE(view->isVisible());
    const QModelIndex index = view->model()->index(row, 0);
    view->setCurrentIndex(index);
    if (how == Pick::Return) {
      // The list takes Enter as a shortcut override, before any key press.
      QKeyEvent enter(QEvent::ShortcutOverride, Qt::Key_Return, Qt::NoModifier);
      QApplication::sendEvent(view, &enter);
    } else {
      // The list ignores a release within the double-click time of opening.
      QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 100);
      QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
    }
    QTest::qWait(20);
    EXPECT_FALSE(view->isVisible());
  }
};

TEST_P(LogoPicks, ReplacePlaceholder) {
  const std::vector<std::string> history{"244-05 Radiolinja", "244-91 Sonera", "310-26 T"};
  Open(history);
  Activate(Win);
  Box()->setFocus();
  ASSERT_EQ(Text(), kPlaceholder);
  PickRow(GetParam().how, GetParam().row);
  EXPECT_EQ(Text(), history[static_cast<std::size_t>(GetParam().row)]);
  EXPECT_EQ(Win->OperatorCode, history[static_cast<std::size_t>(GetParam().row)].substr(0, 6));
  EXPECT_TRUE(UI(cmdSaveLogo)->isEnabled());
  QTest::qWait(10);  // the check after a pick has run
  EXPECT_EQ(Text(), history[static_cast<std::size_t>(GetParam().row)]);
}

INSTANTIATE_TEST_SUITE_P(Logo, LogoPicks,
                         ::testing::Values(PickCase{"MouseFirst", Pick::Mouse, 0},
                                           PickCase{"MouseThird", Pick::Mouse, 2},
                                           PickCase{"ReturnSecond", Pick::Return, 1},
                                           PickCase{"DownKeyFirst", Pick::DownKey, 0},
                                           PickCase{"DownKeySecond", Pick::DownKey, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LogoPicks, ChosenEntryPickedAgainOverPlaceholder) {
  // The entry chosen after a send is still the box's current one when the
  // text is emptied to the placeholder; picking it again must show it.
  ASSERT_TRUE(StartPhone());
  Open({"244-91 Sonera"});
  Activate(Win);
  SendFor("244-05 Radiolinja");
  ASSERT_EQ(Box()->currentIndex(), 0);
  TypeOperator("2");
  Key(Box()->lineEdit(), Qt::Key_Backspace);
  ASSERT_EQ(Text(), kPlaceholder);
  PickRow(Pick::Mouse, 0);
  EXPECT_EQ(Text(), "244-05 Radiolinja");
  EXPECT_EQ(Win->OperatorCode, "244-05");
}

TEST_F(LogoPicks, ListOpenedAndClosedWithoutPick) {
  Open({"244-05 Radiolinja"});
  Activate(Win);
  TypeOperator("310-26 T");
  Box()->showPopup();
  Key(Box()->view(), Qt::Key_Escape);
  QTest::qWait(20);
  EXPECT_EQ(Text(), "310-26 T");
  EXPECT_EQ(Win->OperatorCode, "310-26");
  // Down at the last entry changes nothing, and leaves the code in place.
  Box()->setCurrentIndex(0);
  Key(Box()->lineEdit(), Qt::Key_Down);
  QTest::qWait(10);
  EXPECT_EQ(Win->OperatorCode, "244-05");
  EXPECT_TRUE(UI(cmdSaveLogo)->isEnabled());
}

}  // namespace
