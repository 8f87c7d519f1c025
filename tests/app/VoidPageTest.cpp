// Void message and class 0 template pages, through the real buttons and the
// simulated phone.
#include <QPushButton>

#include "PageTest.h"

namespace {

const std::string kVoidText = "This \"void message\" signals for a new message and disappears.    ";

class VoidTest : public PageTest {
 protected:
  void SetUp() override {
    PageTest::SetUp();
    Create();
    ASSERT_TRUE(StartPhone());
  }
};

TEST_F(VoidTest, SavedAndSentWithTheSameBody) {
  const std::string body = "001BA98B080102020101020200" + Ucs2Hex(kVoidText);
  ASSERT_EQ(body.size(), 286u);

  WhenModal([](QWidget* w) { ConfirmSave(w); });
  UI(BitBtn1)->click();
  EXPECT_EQ(Win->StatusText(), "Message successfully saved in SM.");
  WhenModal([](QWidget* w) { ConfirmSend(w, "12345"); });
  UI(BitBtn1)->click();
  EXPECT_EQ(Win->StatusText(), "Message successfully sent.");

  const auto sent = Messages();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].command, "CMGW");
  EXPECT_EQ(sent[0].stat, 3);
  EXPECT_EQ(sent[0].Destination(), "0081");
  EXPECT_EQ(sent[1].command, "CMGS");
  EXPECT_EQ(sent[1].Destination(), "05812143F5");
  for (const auto& m : sent) {
    EXPECT_EQ(m.Body(), body);
    EXPECT_TRUE(m.FirstOctet() & 0x40) << "TP-UDHI";
    EXPECT_EQ(m.decoded.value("text").toString().toStdString(), kVoidText);
    const QJsonArray udh = m.decoded.value("udh").toArray();
    ASSERT_EQ(udh.size(), 2);
    EXPECT_EQ(udh[0].toObject().value("data").toString(), "0201");
    EXPECT_EQ(udh[1].toObject().value("data").toString(), "0200");
  }
}

TEST_F(VoidTest, CancelSendsNothing) {
  WhenModal([](QWidget* w) { Cancel(w); });
  UI(BitBtn1)->click();
  EXPECT_TRUE(Journal().empty());
}

TEST_F(VoidTest, TemplateWithoutTheDialog) {
  // Never used the dialog: no centre chosen yet, so the phone's default "00".
  ShowCounter send(SendWin, false);
  UI(SaveTemp)->click();
  EXPECT_EQ(send.shows, 0);

  const auto sent = Messages();
  ASSERT_EQ(sent.size(), 1u);
  const auto& m = sent[0];
  EXPECT_EQ(m.command, "CMGW");
  EXPECT_EQ(m.stat, 3);
  EXPECT_EQ(m.sca, "00");
  EXPECT_EQ(m.Destination(), "0081");
  EXPECT_EQ(m.Body(), "00F0FF00");
  EXPECT_FALSE(m.FirstOctet() & 0x40) << "no TP-UDHI";
  EXPECT_EQ(m.decoded.value("class").toInt(), 0);
  EXPECT_EQ(Win->StatusText(), "Message successfully saved in SM.");
}

TEST_F(VoidTest, TemplateStoredAfterASend) {
  // A send with a centre and no delivery report, then the template: stored in
  // the SIM without recipient, with the same centre and report choice.
  WhenModal([](QWidget* w) { ConfirmSend(w, "+358401234567", "+358405202000", false); });
  UI(BitBtn1)->click();
  ShowCounter send(SendWin, false);
  UI(SaveTemp)->click();
  EXPECT_EQ(send.shows, 0);
  EXPECT_TRUE(SendWin->SaveMode);
  EXPECT_EQ(SendWin->DestAddress, "0081");

  const auto sent = Messages();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].command, "CMGS");
  EXPECT_EQ(sent[1].command, "CMGW");
  EXPECT_EQ(sent[1].stat, 3);
  EXPECT_EQ(sent[1].Destination(), "0081");
  EXPECT_EQ(sent[1].Body(), "00F0FF00");
  EXPECT_EQ(sent[1].sca, sent[0].sca);
  EXPECT_NE(sent[1].sca, "00");
  EXPECT_FALSE(sent[0].FirstOctet() & 0x20);
  EXPECT_FALSE(sent[1].FirstOctet() & 0x20) << "report choice kept";
}

}  // namespace
