// The main window and its ports: reasons in the status bar, shortened in the
// middle; the simulated phone named at all times and what it received; the
// port box naming each device; the Ports dialog mapping COM n to a device.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollArea>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTreeView>

#include "AppFixture.h"
#include "dialogs/Ports.h"
#include "dialogs/Received.h"
#include "dialogs/ReceivedModel.h"
#include "phone/Serial.h"
#include "phone/SimulatedPhone.h"

namespace {

const mp::TransferSettings kExample{"05912143F5", false, "00", true};
const char* const kHello = "0000A905E8329BFD06";

class PortsTest : public AppFixture {
 protected:
  QString PortText(int row) const {
    return UI(ComPort)->model()->index(row, 1).data().toString();
  }
};

TEST_F(PortsTest, LongStatusIsShortenedInTheMiddleAndWholeInItsTooltip) {
  Create();
  Win->show();  // laid out: the panel has its width
  const std::string path = "/dev/serial/by-id/usb-Very_Long_Maker_Name_Of_A_Serial_Adapter_0123456789-if00-port0";
  const std::string full = "Cannot open communications port. " + path + ": does not exist.";
  Win->ShowStatus(full);
  EXPECT_EQ(Win->StatusText().toStdString(), full);
  EXPECT_EQ(Win->StatusPanel->toolTip().toStdString(), full);
  const QString shown = Win->StatusPanel->text();
  EXPECT_LT(shown.size(), int(full.size()));
  EXPECT_TRUE(shown.startsWith("Cannot open")) << shown.toStdString();
  EXPECT_TRUE(shown.endsWith("does not exist.")) << shown.toStdString();
  EXPECT_TRUE(shown.contains(QChar(0x2026)));
  Win->ShowStatus("Message successfully sent.");
  EXPECT_EQ(Win->StatusPanel->text(), "Message successfully sent.");
}

TEST_F(PortsTest, WithoutTheSimulatedPhoneAMissingDeviceIsReportedAndNothingStandsIn) {
  const std::string missing = dir_.filePath("ttyUSB0").toStdString();
  ::setenv("MIRAPOST_COM4", missing.c_str(), 1);
  Create();
  Win->Phone.TransferMessage(kExample, false, kHello, 2);
  EXPECT_EQ(Win->StatusText().toStdString(),
            "Cannot open communications port. " + missing + ": does not exist.");
  EXPECT_EQ(Win->SimulatedPhoneLabel, nullptr);
  EXPECT_FALSE(Win->Received1->isEnabled());
  EXPECT_FALSE(Win->findChild<QLabel*>("SimulatedPhoneLabel"));
}

TEST_F(PortsTest, TheSimulatedPhoneIsNamedAndShowsWhatItReceived) {
  // Its journal goes to the runtime folder: this test's own.
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
  ::setenv("XDG_RUNTIME_DIR", dir_.path().toLocal8Bit().constData(), 1);
  mp::SimulatedPhone phone;
  std::string error;
  ASSERT_TRUE(phone.Start(4, &error)) << error;
  Create();
  Win->UseSimulatedPhone(4, phone.Device(), phone.Journal());
  ASSERT_NE(Win->SimulatedPhoneLabel, nullptr);
  EXPECT_TRUE(Win->SimulatedPhoneLabel->text().startsWith("Simulated phone on COM 4"));
  EXPECT_TRUE(Win->SimulatedPhoneLabel->toolTip().contains("nothing leaves this computer"));
  EXPECT_EQ(PortText(3), phone.Device() + ", simulated phone");
  // It stays while other texts come and go.
  Win->Phone.SetTimings(mp::LinkTimings::Scaled(10));
  Win->Phone.TransferMessage(kExample, false, kHello, 2);
  EXPECT_EQ(Win->StatusText(), "Message successfully sent.");
  EXPECT_TRUE(Win->SimulatedPhoneLabel->isVisibleTo(Win));
  // Twice in a row through the same pseudo-terminal.
  Win->Phone.TransferMessage(kExample, false, kHello, 2);
  EXPECT_EQ(Win->StatusText(), "Message successfully sent.");

  ASSERT_TRUE(Win->Received1->isEnabled());
  ASSERT_NE(Win->ReceivedWin, nullptr);
  QTest::mouseClick(Win->SimulatedPhoneLabel, Qt::LeftButton);  // the label opens it too
  EXPECT_TRUE(Win->ReceivedWin->isVisible());
  Win->ReceivedWin->hide();
  Win->Received1->trigger();
  EXPECT_TRUE(Win->ReceivedWin->isVisible());
  EXPECT_EQ(Win->ReceivedWin->windowTitle(), "Received by the simulated phone");
  const mp::ReceivedModel* model = Win->ReceivedWin->Model();
  ASSERT_EQ(model->rowCount(), 2);
  EXPECT_EQ(model->data(model->index(1, mp::ReceivedModel::Recipient)).toString(), "+12345");
  EXPECT_EQ(model->data(model->index(1, mp::ReceivedModel::Text)).toString(), "hello");
  EXPECT_EQ(model->data(model->index(1, mp::ReceivedModel::Status)).toString(), "+CMGS: 2");
  EXPECT_FALSE(model->data(model->index(1, mp::ReceivedModel::Time)).toString().isEmpty());
  // The newest entry is shown in full.
  QWidget* view = Win->ReceivedWin->Detail->widget();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->objectName(), "ReceivedEntryView");
  bool hello = false;
  for (QLabel* l : view->findChildren<QLabel*>()) hello = hello || l->text().contains("hello");
  EXPECT_TRUE(hello);
  Win->ReceivedWin->close();
  Destroy();
  const QString journal = phone.Journal();
  phone.Stop();
  EXPECT_TRUE(journal.startsWith(dir_.path())) << journal.toStdString();
  EXPECT_FALSE(QFileInfo::exists(journal)) << "removed when the simulated phone ends";
  if (runtime.isNull()) {
    ::unsetenv("XDG_RUNTIME_DIR");
  } else {
    ::setenv("XDG_RUNTIME_DIR", runtime.constData(), 1);
  }
}

TEST_F(PortsTest, PortBoxNamesEachDeviceAndLooksAgainWhenOpened) {
  int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  const QString pts = ::ptsname(master);
  const std::string gone = dir_.filePath("ttyGone").toStdString();
  ::setenv("MIRAPOST_COM2", pts.toLocal8Bit().constData(), 1);
  ::setenv("MIRAPOST_COM3", gone.c_str(), 1);
  Create();
  EXPECT_EQ(UI(ComPort)->itemText(1), "COM 2");  // the entries keep their names
  EXPECT_EQ(PortText(1), pts + ", pseudo-terminal");
  EXPECT_EQ(PortText(2).toStdString(), gone + ", not present");
  // The device appears; the list says so the next time the box opens.
  ::close(::open(gone.c_str(), O_CREAT | O_WRONLY, 0600));
  ::unsetenv("MIRAPOST_COM2");
  Win->show();
  UI(ComPort)->showPopup();
  EXPECT_EQ(PortText(2).toStdString(), gone);
  EXPECT_EQ(PortText(1), "/dev/ttyS1" + QString(::access("/dev/ttyS1", F_OK) == 0 ? "" : ", not present"))
      << PortText(1).toStdString();
  UI(ComPort)->hidePopup();
  ::unsetenv("MIRAPOST_COM3");
  ::close(master);
}

TEST_F(PortsTest, PortsDialogMapsAnyComPortToAnyDevice) {
  Create();
  ::setenv("MIRAPOST_COM4", "/dev/pts/99", 1);
  {
    TPortsWin ports(Win);
    EXPECT_EQ(ports.Device[2]->lineEdit()->placeholderText(), "/dev/ttyACM0");
    EXPECT_FALSE(ports.Device[3]->isEnabled());  // set for this run
    EXPECT_TRUE(ports.What[3]->text().endsWith("(set for this run)"));
    EXPECT_GE(ports.Present->count(), 1);
    ports.Device[2]->setEditText("/dev/ttyFromDialog");
    ports.Device[8]->setEditText("  /dev/rfcomm1 ");
    EXPECT_EQ(ports.What[2]->text(), "/dev/ttyFromDialog, not present");
    ports.accept();
  }
  EXPECT_EQ(mp::ResolvePortDevice("COM3:"), "/dev/ttyFromDialog");
  EXPECT_EQ(mp::ResolvePortDevice("COM9:"), "/dev/rfcomm1");
  EXPECT_EQ(StoredString("COM4"), std::nullopt);  // nothing written for a port set for this run
  {
    TPortsWin ports(Win);
    EXPECT_EQ(ports.Device[2]->currentText(), "/dev/ttyFromDialog");
    ports.Device[2]->setEditText("");  // back to the usual device
    ports.Save();
  }
  EXPECT_EQ(mp::ResolvePortDevice("COM3:"), "/dev/ttyACM0");
  EXPECT_EQ(StoredInteger("ComPort"), std::nullopt);  // the dword is the window's, untouched
  ::unsetenv("MIRAPOST_COM4");
}

}  // namespace
