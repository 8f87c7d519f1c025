// The bounds of the phonebook probe against the simulated phone over a real
// pseudo-terminal, on the scaled clock.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "Fakes.h"
#include "support/CaseName.h"
#include "SimProcess.h"
#include "phone/PhoneLink.h"

namespace mp::test {
namespace {

struct FullCase {
  std::vector<std::string> args;
  unsigned last;  // the last location probed
};

class SimProbe : public ::testing::TestWithParam<FullCase> {
 protected:
  void TearDown() override {
    sim.Stop();
    ::unsetenv("MIRAPOST_COM4");
  }
  phonesim::SimProcess sim;
  RecordingHost host;
  PhoneLink link{host};
};

TEST_P(SimProbe, PhoneWithEveryLocationTakenIsFull) {
  std::vector<std::string> args = GetParam().args;
  args.insert(args.end(), {"--fault", "full", "--no-echo"});
  ASSERT_TRUE(sim.Start(MP_PHONESIM, args)) << sim.Error();
  ::setenv("MIRAPOST_COM4", sim.SlavePath().c_str(), 1);
  link.SetTimings(LinkTimings::Scaled(20));
  EXPECT_FALSE(link.WritePhonebookEntry("41", "5551234", 129));
  EXPECT_EQ(host.statuses, (std::vector<std::string>{"Establishing connection to ME...",
                                                     "Saving entry to ME memory...",
                                                     "Failed, ME phonebook is full."}));
  EXPECT_EQ(host.beeps, (std::vector<BeepKind>{BeepKind::Asterisk}));
  const std::string& log = link.TrafficLog();
  const std::string last = "+CPBR: " + std::to_string(GetParam().last) + ",";
  const size_t at = log.rfind("+CPBR: ");
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(log.compare(at, last.size(), last), 0) << log.substr(at, 40);
  EXPECT_EQ(log.find("+CPBR: " + std::to_string(GetParam().last + 1) + ","), std::string::npos);
  EXPECT_FALSE(link.IsOpen());
}

INSTANTIATE_TEST_SUITE_P(Bounds, SimProbe,
                         ::testing::Values(FullCase{{}, 250},  // the range the phone tells
                                           FullCase{{"--fault", "no-range"}, 1000}),
    [](const auto& info) {
                           std::string args;
                           for (const std::string& a : info.param.args) args += a + " ";
                           return CaseName((args.empty() ? std::string("range told ") : args) + "last " +
                                           std::to_string(info.param.last));
                         });

}  // namespace
}  // namespace mp::test
