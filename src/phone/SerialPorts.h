#pragma once
// Serial devices as a Linux user sees them: which are present and what they
// are (a USB adapter's product and maker, a built-in port, a Bluetooth port),
// read from sysfs; and what each "COM n" of the port box stands for.
#include <string>
#include <vector>

#include "phone/PortAccess.h"

namespace mp {

struct SerialDevice {
  std::string path;         // "/dev/ttyUSB0"
  std::string description;  // "FT232R USB UART (FTDI)"; empty when unknown
};

// The serial devices present: every tty under <sysRoot>/class/tty that has
// hardware behind it (a ttyS* only when a UART answers there), sorted by name.
std::vector<SerialDevice> ListSerialDevices(const PortPaths& paths = CurrentPortPaths());

// What `device` is, from sysfs: a USB device's product and maker, "built-in
// serial port", "Bluetooth serial port", "pseudo-terminal"; empty when unknown.
std::string DescribeDevice(const std::string& device, const PortPaths& paths = CurrentPortPaths());

// One entry of the port box.
struct ComPortInfo {
  int number = 0;            // 1..9
  std::string device;        // as ResolvePortDevice gives it
  bool present = false;      // the device exists
  std::string description;   // DescribeDevice, or what the caller knows better
  bool fromEnvironment = false;  // mapped by MIRAPOST_COM<n> for this run

  // "/dev/ttyUSB0, FT232R USB UART (FTDI)"; "/dev/ttyS2, not present".
  std::string Text() const;
};

// COM 1 .. COM 9 as they resolve now.
std::vector<ComPortInfo> DescribeComPorts(const PortPaths& paths = CurrentPortPaths());

}  // namespace mp
