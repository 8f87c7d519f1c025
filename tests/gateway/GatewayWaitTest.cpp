// A gateway's wait tells its host how long it has waited and how long it may
// still wait, from its start and at the interval asked for, until its bound.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <chrono>
#include <utility>
#include <vector>

#include "gateway/GatewayLink.h"

namespace mp::gateway {
namespace {

using std::chrono::milliseconds;

struct ProgressHost : PhoneHost {
  int PortIndex() const override { return -1; }
  void ShowStatus(const std::string&) override {}
  void Beep(BeepKind) override {}
  void SetWaitCursor(bool) override {}
  void SetDialogue(bool running) override { inDialogue = running; }
  void WaitProgress(milliseconds waited, milliseconds left) override {
    progress.emplace_back(waited, left);
    duringDialogue = duringDialogue && inDialogue;
  }
  bool inDialogue = false;
  bool duringDialogue = true;
  std::vector<std::pair<milliseconds, milliseconds>> progress;
};

TEST(GatewayWait, TellsTheTimeWaitedAndLeftUntilItsBound) {
  QTemporaryDir dir;
  for (const char* sub : {"outgoing", "sent", "failed"}) QDir(dir.path()).mkdir(sub);
  Config c;
  c.name = "office";
  c.spool = dir.path().toStdString();
  c.pduKey = "1234567";
  TransferSettings s;
  s.DestAddress = "0C91534810325476";
  ProgressHost host;
  const milliseconds bound(300);
  GatewayLink link(host, c, bound);
  link.SetProgressEvery(milliseconds(50));
  // No smsd takes the file: the wait runs to its bound.
  EXPECT_EQ(link.Send(s, false, "0000A905E8329BFD06").outcome, Outcome::Queued);
  ASSERT_GE(host.progress.size(), 2u);
  // From the start, not only once the bound has run out (writing the file
  // may itself take a few milliseconds on a busy disk).
  EXPECT_LT(host.progress.front().first, bound / 2);
  for (std::size_t i = 0; i < host.progress.size(); ++i) {
    const auto& [waited, left] = host.progress[i];
    EXPECT_EQ(waited + left, bound) << i;
    EXPECT_GE(left.count(), 0) << i;
    if (i > 0) {
      EXPECT_GT(waited / 50, host.progress[i - 1].first / 50) << "once an interval at most";
    }
  }
  EXPECT_TRUE(host.duringDialogue) << "the wait runs inside the host's dialogue state";
  EXPECT_FALSE(host.inDialogue);
}

}  // namespace
}  // namespace mp::gateway
