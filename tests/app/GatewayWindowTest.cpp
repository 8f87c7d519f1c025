// The window with a gateway: listed after the serial ports, defined in the
// Ports dialog, a message through it, and the phone-only controls off.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>

#include "AppFixture.h"
#include "dialogs/Ports.h"
#include "gateway/Gateway.h"

namespace {

class GatewayWindowTest : public AppFixture {};

TEST_F(GatewayWindowTest, ChosenGatewaySendsAndTurnsPhoneOnlyControlsOff) {
  const QString spool = dir_.filePath("spool");
  for (const char* sub : {"outgoing", "sent", "failed"}) QDir().mkpath(spool + "/" + sub);
  mp::gateway::Config office;
  office.name = "office";
  office.spool = spool.toStdString();
  office.pduKey = "1234567";
  ASSERT_TRUE(mp::gateway::SaveGateways({office}));
  Create();
  QComboBox* box = UI(ComPort);
  ASSERT_EQ(box->count(), 10);
  EXPECT_EQ(box->itemText(9), "office");
  EXPECT_TRUE(UI(SaveTemp)->isEnabled());

  box->setCurrentIndex(9);
  EXPECT_FALSE(UI(SaveTemp)->isEnabled());
  EXPECT_FALSE(UI(TabSheet5)->isEnabled());
  EXPECT_EQ(UI(SaveTemp)->toolTip(), mp::gateway::kPhoneOnlyTip);
  EXPECT_EQ(UI(PageControl)->tabToolTip(UI(PageControl)->indexOf(UI(TabSheet5))),
            mp::gateway::kPhoneOnlyTip);

  // Plays smsd: the queued file moves to sent/ with smsd's "Sent:" line.
  QString queued;
  QTimer smsd;
  QObject::connect(&smsd, &QTimer::timeout, [&] {
    for (const QString& f : QDir(spool + "/outgoing").entryList(QDir::Files)) {
      QFile in(spool + "/outgoing/" + f);
      if (in.open(QIODevice::ReadOnly)) queued = QString::fromLatin1(in.readAll());
      in.remove();
      QFile out(spool + "/sent/" + f);
      if (out.open(QIODevice::WriteOnly))
        out.write(QString(queued).replace("\n\n", "\nSent: 26-12-08 09:23:27\n\n").toLatin1());
    }
  });
  smsd.start(10);
  Win->Phone.TransferMessage({"05912143F5", false, "00", true}, false, "0000A905E8329BFD06", 2);
  EXPECT_EQ(Win->StatusText().toStdString(), "Message successfully sent through smstools.");
  EXPECT_EQ(queued.toStdString(), "To: 1234567\nText_is_pdu: yes\n\n0031FF05912143F50000A905E8329BFD06\n");

  box->setCurrentIndex(3);
  EXPECT_TRUE(UI(SaveTemp)->isEnabled());
  EXPECT_TRUE(UI(TabSheet5)->isEnabled());
}

TEST_F(GatewayWindowTest, PortsDialogDefinesGateways) {
  Create();
  {
    TPortsWin dialog(Win);
    dialog.AddGatewayRow();
    dialog.GatewayTable->item(0, 0)->setText("operator");
    qobject_cast<QComboBox*>(dialog.GatewayTable->cellWidget(0, 1))->setCurrentIndex(1);
    dialog.GatewayTable->item(0, 2)->setText("http://127.0.0.1:13013/cgi-bin/sendsms");
    dialog.GatewayTable->item(0, 5)->setText("secret");
    dialog.AddGatewayRow();  // left empty: not a gateway
    dialog.accept();
  }
  const auto stored = mp::gateway::LoadGateways();
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].kind, mp::gateway::Kind::Kannel);
  EXPECT_EQ(stored[0].password, "secret");
  Win->RefreshPortList();
  EXPECT_EQ(UI(ComPort)->itemText(9), "operator");
}

}  // namespace
