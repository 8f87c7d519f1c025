#include "cli/PortChoice.h"

#include "platform/Settings.h"

namespace mp::cli {

int ComNumber(const QString& port) {
  QString p = port.trimmed().toUpper();
  if (!p.startsWith("COM")) return 0;
  p = p.mid(3).trimmed();
  if (p.endsWith(':')) p.chop(1);
  return p.size() == 1 && p[0] >= u'1' && p[0] <= u'9' ? p[0].unicode() - '0' : -1;
}

int StoredPortIndex() {
  SettingsKey key;
  if (key.Open(false)) {
    if (auto port = key.ReadInteger("ComPort")) return *port >= 1 && *port <= 9 ? *port - 1 : -1;
  }
  return 3;  // COM 4, the window's default
}

bool StoredSevenBit() {
  SettingsKey key;
  if (key.Open(false)) {
    if (auto model = key.ReadInteger("Model")) return *model == 0;
  }
  return true;  // the data coding dialog starts with the 7-bit workaround
}

}  // namespace mp::cli
