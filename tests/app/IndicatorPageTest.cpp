// Indicator control page: the enabling rules of its boxes, and the bodies that
// reach the simulated phone for each choice in the Send/Save and data coding
// dialogs.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include "PageTest.h"

namespace {

class IndicatorTest : public PageTest {
 protected:
  void SetUp() override {
    PageTest::SetUp();
    Create();
    UI(PageControl)->setCurrentWidget(UI(TabSheet3));
  }

  QCheckBox* Box(const std::string& name) {
    auto* box = Win->findChild<QCheckBox*>(QString::fromStdString(name));
    EXPECT_NE(box, nullptr) << name;
    return box;
  }

  // The ticked boxes among the six, in table order, joined by ",".
  std::string Ticked() {
    std::string out;
    for (const char* name : {"VoiceOn", "VoiceOff", "FaxOn", "FaxOff", "EmailOn", "EmailOff"}) {
      if (Box(name)->isChecked()) out += (out.empty() ? "" : ",") + std::string(name);
    }
    return out;
  }
};

// ---- enabling rules ------------------------------------------------------

struct ClickCase {
  const char* name;
  std::vector<std::string> clicks;  // "Forward" and "Debug" included
  const char* ticked;
  bool saveEnabled;
  bool forwardEnabled;
  bool forwardTicked;
};
void PrintTo(const ClickCase& c, std::ostream* os) { *os << c.name; }

class IndicatorRules : public IndicatorTest, public ::testing::WithParamInterface<ClickCase> {};

TEST_P(IndicatorRules, AfterClicks) {
  const ClickCase& c = GetParam();
  for (const std::string& click : c.clicks) {
    if (click == "Debug") {
      UI(Debug1)->trigger();
    } else {
      Box(click)->click();
    }
  }
  EXPECT_EQ(Ticked(), c.ticked);
  EXPECT_EQ(UI(SaveInd)->isEnabled(), c.saveEnabled);
  EXPECT_EQ(UI(Forward)->isEnabled(), c.forwardEnabled);
  EXPECT_EQ(UI(Forward)->isChecked(), c.forwardTicked);
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, IndicatorRules,
    ::testing::Values(
        ClickCase{"Start", {}, "", false, true, false},
        ClickCase{"OnDisablesForward", {"VoiceOn"}, "VoiceOn", true, false, false},
        ClickCase{"OffKeepsForward", {"FaxOff", "Forward"}, "FaxOff", true, true, true},
        ClickCase{"OnUnticksForward", {"Forward", "EmailOn"}, "EmailOn", true, false, false},
        ClickCase{"LastOnUntickedEnablesForward", {"Forward", "VoiceOn", "VoiceOn"}, "", false, true, false},
        ClickCase{"OneOnOfTwoLeft", {"VoiceOn", "FaxOn", "VoiceOn"}, "FaxOn", true, false, false},
        ClickCase{"OffUnticksOn", {"VoiceOn", "VoiceOff"}, "VoiceOff", true, true, false},
        ClickCase{"OnUnticksOff", {"FaxOff", "EmailOff", "FaxOn"}, "FaxOn,EmailOff", true, false, false},
        ClickCase{"UntickingOnlyBoxDisables", {"EmailOff", "EmailOff"}, "", false, true, false},
        ClickCase{"PartnersOfOtherGroupsStay", {"VoiceOn", "FaxOff", "EmailOn", "EmailOff"},
                  "VoiceOn,FaxOff,EmailOff", true, false, false},
        ClickCase{"DebugEnablesForward", {"VoiceOn", "Debug"}, "VoiceOn", true, true, false},
        ClickCase{"DebugForwardTickable", {"VoiceOn", "Debug", "Forward"}, "VoiceOn", true, true, true},
        ClickCase{"NextClickAppliesRuleAgain", {"VoiceOn", "Debug", "Forward", "FaxOff"},
                  "VoiceOn,FaxOff", true, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(IndicatorTest, PicturesShown) {
  for (QLabel* label : {UI(imgVoice), UI(imgFax), UI(imgEmail)}) {
    const QPixmap pixmap = label->pixmap();
    ASSERT_FALSE(pixmap.isNull()) << label->objectName().toStdString();
    EXPECT_EQ(pixmap.size(), QSize(40, 20));
    EXPECT_TRUE(label->hasScaledContents());
    EXPECT_EQ(label->size(), QSize(57, 25));
  }
}

// ---- bodies ----------------------------------------------------------------

enum class Action { Send, Save };

constexpr const char* kVoiceOnInfo16 =  // "Displays:\no_o \n"
    "0044006900730070006C00610079007300"
    "3A000A006F005F006F0020000A";

std::string Spaces16(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += "0020";
  return s;
}

struct BodyCase {
  const char* name;
  std::vector<std::string> clicks;
  bool forward;
  Action action;
  bool codingAsked;
  Coding coding;
  std::string body;      // the whole body, or
  std::string prefix;    // its beginning and
  const char* text;      // the text the receiving phone reads
  int udl;
};
void PrintTo(const BodyCase& c, std::ostream* os) { *os << c.name; }

class IndicatorBodies : public IndicatorTest, public ::testing::WithParamInterface<BodyCase> {};

TEST_P(IndicatorBodies, ReachPhone) {
  const BodyCase& c = GetParam();
  ASSERT_TRUE(StartPhone());
  for (const std::string& click : c.clicks) Box(click)->click();
  if (c.forward) UI(Forward)->click();
  ASSERT_EQ(UI(Forward)->isChecked(), c.forward);

  auto* coding = new ShowCounter(CodingWin, c.codingAsked);
  const Coding answer = c.coding;
  const Action action = c.action;
  const bool asked = c.codingAsked;
  WhenModal([action, answer, asked](QWidget* w) {
    if (action == Action::Save) {
      if (asked) WhenModal([answer](QWidget* d) { AnswerCoding(d, answer); }, w);
      ConfirmSave(w);
    } else {
      ConfirmSend(w, "+358401234567");
    }
  });
  UI(SaveInd)->click();
  EXPECT_EQ(coding->shows, c.codingAsked ? 1 : 0);
  delete coding;

  const auto sent = Messages();
  ASSERT_EQ(sent.size(), 1u);
  const auto& m = sent[0];
  EXPECT_EQ(m.command, action == Action::Save ? "CMGW" : "CMGS");
  if (action == Action::Save) {
    EXPECT_EQ(m.stat, 3);
  }
  EXPECT_TRUE(m.FirstOctet() & 0x40) << "TP-UDHI";
  if (!c.body.empty()) {
    EXPECT_EQ(m.Body(), c.body);
  } else {
    EXPECT_EQ(m.Body().substr(0, c.prefix.size()), c.prefix);
  }
  EXPECT_EQ(m.decoded.value("udl").toInt(), c.udl);
  EXPECT_EQ(m.decoded.value("text").toString().toStdString().substr(0, std::strlen(c.text)), c.text);
  EXPECT_EQ(Win->StatusText(), action == Action::Save ? "Message successfully saved in SM."
                                                       : "Message successfully sent.");
}

const std::string kVoiceOn16 = "001BA98B04" "01020001" + std::string(kVoiceOnInfo16) + Spaces16(52);

INSTANTIATE_TEST_SUITE_P(
    Dialogs, IndicatorBodies,
    ::testing::Values(
        // Sent to a recipient: no coding question, 16-bit text filled to 67.
        BodyCase{"VoiceOnSent", {"VoiceOn"}, false, Action::Send, false, Coding::SevenBit, kVoiceOn16,
                 "", "Displays:\no_o \n", 139},
        BodyCase{"VoiceOnSaved7Bit", {"VoiceOn"}, false, Action::Save, true, Coding::SevenBit,
                 "00F3A915040102000110D373383B9C9FEB14EFC81BA400", "", "Displays:\no_o \n", 21},
        BodyCase{"VoiceOnSaved16Bit", {"VoiceOn"}, false, Action::Save, true, Coding::SixteenBit,
                 kVoiceOn16, "", "Displays:\no_o \n", 139},
        BodyCase{"VoiceOnSavedNoChoice", {"VoiceOn"}, false, Action::Save, true, Coding::NoChoice,
                 kVoiceOn16, "", "Displays:\no_o \n", 139},
        BodyCase{"VoiceOnFaxOff7Bit", {"VoiceOn", "FaxOff"}, false, Action::Save, true, Coding::SevenBit,
                 "", "00F3A928080102000101020100", "Displays:\no_o \nRemoves:\nFAX \n", 40},
        BodyCase{"VoiceOnFaxOff16Bit", {"VoiceOn", "FaxOff"}, false, Action::Send, false,
                 Coding::SevenBit, "",
                 "001BA98B080102000101020100" "0044006900730070006C006100790073003A000A",
                 "Displays:\no_o \nRemoves:\nFAX \n", 139},
        // Forwardable: stored by the recipient (bit 7), no coding question.
        BodyCase{"AllOffForwardSaved", {"VoiceOff", "FaxOff", "EmailOff"}, true, Action::Save, false,
                 Coding::SevenBit, "", "001BA98B0C010280000102810001028200" "00520065006D006F",
                 "Removes:\no_o FAX e \n\nMIRAPOST; ", 139},
        BodyCase{"EmailOnSaved7Bit", {"EmailOn"}, false, Action::Save, true, Coding::SevenBit, "",
                 "00F3A9", "Displays:\ne \n", 6 + 13}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(IndicatorTest, SixteenBitBodiesFillTheMessage) {
  // Whatever is ticked, a 16-bit body is 143 octets.
  ASSERT_TRUE(StartPhone());
  for (const char* name : {"VoiceOn", "FaxOn", "EmailOff"}) Box(name)->click();
  WhenModal([](QWidget* w) { ConfirmSend(w, "12345"); });
  UI(SaveInd)->click();
  const auto sent = Messages();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].Body().size(), 286u);
  EXPECT_EQ(sent[0].Body().substr(0, 34), "001BA98B0C010200010102010101020200");
}

TEST_F(IndicatorTest, CancelTouchesNoPhone) {
  ASSERT_TRUE(StartPhone());
  Box("VoiceOn")->click();
  // Send/Save dialog cancelled.
  auto* coding = new ShowCounter(CodingWin, false);
  WhenModal([](QWidget* w) { Cancel(w); });
  UI(SaveInd)->click();
  EXPECT_EQ(coding->shows, 0);
  delete coding;
  // Data coding dialog cancelled.
  WhenModal([](QWidget* w) {
    WhenModal([](QWidget* d) { AnswerCoding(d, Coding::Cancelled); }, w);
    ConfirmSave(w);
  });
  UI(SaveInd)->click();
  EXPECT_TRUE(Journal().empty());
  // The boxes keep their states.
  EXPECT_EQ(Ticked(), "VoiceOn");
  EXPECT_TRUE(UI(SaveInd)->isEnabled());
}

}  // namespace
