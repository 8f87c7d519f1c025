// Serial devices read from a sysfs tree laid out as the kernel lays it out,
// and the port box's text for each COM n.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "Fakes.h"
#include "phone/Serial.h"
#include "phone/SerialPorts.h"

namespace mp::test {
namespace {

namespace fs = std::filesystem;

class FakeSysfs : public ::testing::Test {
 protected:
  void SetUp() override {
    paths.sysRoot = dir.path + "/sys";
    // A USB serial adapter: tty -> port -> interface -> USB device.
    Device("devices/pci0/usb1/1-1", {{"idVendor", "0403"}, {"idProduct", "6001"},
                                     {"product", "FT232R USB UART"}, {"manufacturer", "FTDI"}});
    Device("devices/pci0/usb1/1-1/1-1:1.0/ttyUSB0", {});
    Tty("ttyUSB0", "devices/pci0/usb1/1-1/1-1:1.0/ttyUSB0");
    // A USB modem (ACM) without a maker string: the interface is the tty's device.
    Device("devices/pci0/usb1/1-2", {{"idVendor", "22b8"}, {"idProduct", "2a64"}, {"product", "Phone Modem"}});
    Device("devices/pci0/usb1/1-2/1-2:1.0", {});
    Tty("ttyACM0", "devices/pci0/usb1/1-2/1-2:1.0");
    // A USB device that names nothing.
    Device("devices/pci0/usb1/1-3", {{"idVendor", "1234"}, {"idProduct", "abcd"}});
    Device("devices/pci0/usb1/1-3/1-3:1.0/ttyUSB1", {});
    Tty("ttyUSB1", "devices/pci0/usb1/1-3/1-3:1.0/ttyUSB1");
    // Built-in UARTs: one that answers (type 4), one the kernel only reserves.
    Device("devices/pnp0/00:01", {});
    Device("bus/pnp/drivers/serial8250", {});
    fs::create_directory_symlink(paths.sysRoot + "/bus/pnp/drivers/serial8250",
                                 paths.sysRoot + "/devices/pnp0/00:01/driver");
    Tty("ttyS0", "devices/pnp0/00:01", "4");
    Device("devices/platform/serial8250", {});
    Tty("ttyS1", "devices/platform/serial8250", "0");
    // A virtual console: no hardware.
    fs::create_directories(paths.sysRoot + "/class/tty/tty1");
  }
  void Device(const std::string& rel, std::vector<std::pair<std::string, std::string>> files) {
    fs::create_directories(paths.sysRoot + "/" + rel);
    for (const auto& [name, text] : files) std::ofstream(paths.sysRoot + "/" + rel + "/" + name) << text << "\n";
  }
  void Tty(const std::string& name, const std::string& device, const std::string& type = "") {
    const std::string tty = paths.sysRoot + "/class/tty/" + name;
    fs::create_directories(tty);
    fs::create_directory_symlink("../../../" + device, tty + "/device");
    if (!type.empty()) std::ofstream(tty + "/type") << type << "\n";
  }
  TempDir dir;
  PortPaths paths;
};

TEST_F(FakeSysfs, ListsThePresentDevicesAndWhatTheyAre) {
  const auto list = ListSerialDevices(paths);
  std::vector<std::pair<std::string, std::string>> got;
  for (const auto& d : list) got.push_back({d.path, d.description});
  EXPECT_EQ(got, (std::vector<std::pair<std::string, std::string>>{
                     {"/dev/ttyACM0", "Phone Modem"},
                     {"/dev/ttyS0", "built-in serial port"},
                     {"/dev/ttyUSB0", "FT232R USB UART (FTDI)"},
                     {"/dev/ttyUSB1", "USB device 1234:abcd"}}));
  PortPaths nothing;
  nothing.sysRoot = dir.path + "/no-sys";
  EXPECT_TRUE(ListSerialDevices(nothing).empty());
}

TEST_F(FakeSysfs, DescribesADeviceByItsNameLinksFollowed) {
  // A stable name such as /dev/serial/by-id/... is a link to the tty.
  const std::string dev = dir.path + "/dev";
  fs::create_directories(dev);
  std::ofstream(dev + "/ttyUSB0") << "";
  fs::create_symlink(dev + "/ttyUSB0", dev + "/usb-FTDI-if00");
  EXPECT_EQ(DescribeDevice(dev + "/usb-FTDI-if00", paths), "FT232R USB UART (FTDI)");
  EXPECT_EQ(DescribeDevice("/dev/rfcomm0", paths), "Bluetooth serial port");
  EXPECT_EQ(DescribeDevice("/dev/ttyXYZ", paths), "");
  int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  EXPECT_EQ(DescribeDevice(::ptsname(master), paths), "pseudo-terminal");
  ::close(master);
}

TEST_F(FakeSysfs, EachComPortNamesItsDeviceAndWhetherItIsPresent) {
  int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  const std::string pts = ::ptsname(master);
  ::setenv("MIRAPOST_COM2", pts.c_str(), 1);
  ::setenv("MIRAPOST_COM3", (dir.path + "/gone").c_str(), 1);
  const auto ports = DescribeComPorts(paths);
  ::unsetenv("MIRAPOST_COM2");
  ::unsetenv("MIRAPOST_COM3");
  ::close(master);
  ASSERT_EQ(ports.size(), 9u);
  EXPECT_EQ(ports[1].Text(), pts + ", pseudo-terminal");
  EXPECT_TRUE(ports[1].fromEnvironment);
  EXPECT_EQ(ports[2].Text(), dir.path + "/gone, not present");
  EXPECT_FALSE(ports[3].fromEnvironment);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(ports[size_t(i)].number, i + 1);
  EXPECT_EQ(ports[6].device, "/dev/rfcomm0");
  EXPECT_EQ((ComPortInfo{4, "/dev/ttyUSB0", true, "FT232R USB UART (FTDI)", false}.Text()),
            "/dev/ttyUSB0, FT232R USB UART (FTDI)");
  EXPECT_EQ((ComPortInfo{4, "/dev/ttyUSB0", true, "", false}.Text()), "/dev/ttyUSB0");
  EXPECT_EQ((ComPortInfo{}.Text()), "no device");
}

}  // namespace
}  // namespace mp::test
