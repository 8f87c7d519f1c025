// The gateways a user defined are all there at the next start: every one of
// the sixteen kept, the last one included, and nothing beyond them.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "gateway/Gateway.h"

namespace mp::gateway {
namespace {

TEST(StoredGateways, EverySixteenthOneComesBackAtStart) {
  QTemporaryDir dir;
  qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
  for (int count : {kMaxGateways - 1, kMaxGateways, kMaxGateways + 1}) {
    std::vector<Config> defined;
    for (int n = 1; n <= count; ++n) {
      Config c;
      c.name = "office " + std::to_string(n);
      c.spool = "/var/spool/sms" + std::to_string(n);
      defined.push_back(c);
    }
    ASSERT_TRUE(SaveGateways(defined));
    const std::vector<Config> back = LoadGateways();
    const int kept = std::min(count, kMaxGateways);
    ASSERT_EQ(back.size(), static_cast<std::size_t>(kept)) << count << " defined";
    EXPECT_EQ(back.back().name, "office " + std::to_string(kept));
    EXPECT_EQ(back.back().spool, "/var/spool/sms" + std::to_string(kept));
  }
  qunsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace mp::gateway
