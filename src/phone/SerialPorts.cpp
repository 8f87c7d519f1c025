// Serial devices from sysfs, and the port box's view of COM 1 .. COM 9.
#include "phone/SerialPorts.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "phone/Serial.h"

namespace mp {

namespace {

std::string ReadLine(const std::string& path) {
  std::string text;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return text;
  char buf[256];
  ssize_t n = ::read(fd, buf, sizeof buf);
  if (n > 0) text.assign(buf, static_cast<size_t>(n));
  ::close(fd);
  const size_t end = text.find_first_of("\r\n");
  if (end != std::string::npos) text.resize(end);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

bool Exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

std::string RealPath(const std::string& path) {
  std::string out;
  if (char* real = ::realpath(path.c_str(), nullptr)) {
    out = real;
    std::free(real);
  }
  return out;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The tty's name in sysfs: the device file's own name, links followed.
std::string TtyName(const std::string& device) {
  const std::string real = RealPath(device);
  return BaseName(real.empty() ? device : real);
}

// What the hardware behind <sysRoot>/class/tty/<name> is.
std::string DescribeTty(const std::string& name, const PortPaths& paths) {
  const std::string tty = paths.sysRoot + "/class/tty/" + name;
  std::string dir = RealPath(tty + "/device");
  if (dir.empty()) {
    if (name.rfind("rfcomm", 0) == 0) return "Bluetooth serial port";
    return {};
  }
  // A USB serial adapter or modem: the USB device a few levels up names
  // its product and maker.
  for (int up = 0; up < 4 && dir.size() > paths.sysRoot.size(); ++up) {
    if (Exists(dir + "/idVendor")) {
      std::string product = ReadLine(dir + "/product");
      const std::string maker = ReadLine(dir + "/manufacturer");
      if (product.empty()) {
        product = "USB device " + ReadLine(dir + "/idVendor") + ":" + ReadLine(dir + "/idProduct");
      }
      return maker.empty() ? product : product + " (" + maker + ")";
    }
    dir = dir.substr(0, dir.rfind('/'));
  }
  const std::string driver = BaseName(RealPath(tty + "/device/driver"));
  if (driver == "serial8250" || name.rfind("ttyS", 0) == 0) return "built-in serial port";
  if (name.rfind("rfcomm", 0) == 0) return "Bluetooth serial port";
  return driver.empty() ? "serial port" : "serial port (" + driver + ")";
}

}  // namespace

std::vector<SerialDevice> ListSerialDevices(const PortPaths& paths) {
  std::vector<SerialDevice> out;
  const std::string classDir = paths.sysRoot + "/class/tty";
  DIR* dir = ::opendir(classDir.c_str());
  if (!dir) return out;
  while (dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name.empty() || name[0] == '.') continue;
    const std::string tty = classDir + "/" + name;
    // Virtual consoles and the like have no hardware behind them.
    if (!Exists(tty + "/device")) continue;
    // The kernel keeps a ttyS<n> for every possible UART; only those with a
    // port type other than 0 (unknown) have one.
    if (name.rfind("ttyS", 0) == 0) {
      const std::string type = ReadLine(tty + "/type");
      if (type.empty() || type == "0") continue;
    }
    out.push_back({"/dev/" + name, DescribeTty(name, paths)});
  }
  ::closedir(dir);
  std::sort(out.begin(), out.end(),
            [](const SerialDevice& a, const SerialDevice& b) { return a.path < b.path; });
  return out;
}

std::string DescribeDevice(const std::string& device, const PortPaths& paths) {
  if (device.empty()) return {};
  const std::string real = RealPath(device);
  if ((real.empty() ? device : real).rfind("/dev/pts/", 0) == 0) return "pseudo-terminal";
  return DescribeTty(TtyName(device), paths);
}

std::string ComPortInfo::Text() const {
  if (device.empty()) return "no device";
  if (!present) return device + ", not present";
  return description.empty() ? device : device + ", " + description;
}

std::vector<ComPortInfo> DescribeComPorts(const PortPaths& paths) {
  std::vector<ComPortInfo> out;
  for (int n = 1; n <= 9; ++n) {
    ComPortInfo info;
    info.number = n;
    info.device = ResolvePortDevice("COM" + std::to_string(n) + ":");
    const char* env = std::getenv(("MIRAPOST_COM" + std::to_string(n)).c_str());
    info.fromEnvironment = env != nullptr && *env != '\0';
    info.present = !info.device.empty() && Exists(info.device);
    if (info.present) info.description = DescribeDevice(info.device, paths);
    out.push_back(info);
  }
  return out;
}

}  // namespace mp
