// A long text through a gateway, against a stand-in sendsms on loopback: its
// parts one by one, one row for the whole message (opened once, ended once)
// and one outcome over the parts, a refused or cancelled part ending it.
#include <gtest/gtest.h>

#include "gateway/GatewayParts.h"
#include "support/KannelStandIn.h"

namespace mp::gateway {
namespace {

using test::StandIn;

struct Host : PhoneHost {
  int PortIndex() const override { return -1; }
  void ShowStatus(const std::string& t) override {
    statuses.push_back(t);
    // The user cancels as the part `cancelAt` is handed over.
    if (t.rfind("Handing the message", 0) == 0 && ++handed == cancelAt) cancel = true;
  }
  void Beep(BeepKind b) override { beeps.push_back(b); }
  void SetWaitCursor(bool) override {}
  void Transferred(const TransferReport& r) override { reports.push_back(r); }
  bool ServiceEvents() override { return cancel; }
  std::vector<std::string> statuses;
  std::vector<BeepKind> beeps;
  std::vector<TransferReport> reports;
  bool cancel = false;
  int handed = 0, cancelAt = 0;
};

std::vector<Body> ThreeParts() {
  std::vector<Body> parts;
  for (int i = 1; i <= 3; ++i) parts.push_back({"0000A90A0500033F030" + std::to_string(i) + "C2E170", true, 3});
  return parts;
}

TEST(GatewayParts, OneMessageOneRowOneOutcome) {
  struct Case {
    const char* what;
    int from;
    int refuseAfter;       // requests Kannel takes before it refuses
    int cancelAt;          // the part the user cancels as it is handed over (0: none)
    std::size_t requests;  // at most
    Outcome outcome;
    int partsSent;
    const char* status;  // the last one's start
  } cases[] = {
      {"every part", 0, -1, 0, 3, Outcome::Confirmed, 3, "Message successfully sent through Kannel."},
      {"the first refused", 0, 0, 0, 1, Outcome::Refused, 0, "Failed, Kannel"},
      {"the second refused", 0, 1, 0, 2, Outcome::PartlySent, 1, "1 of 3 parts sent; part 2: Failed, Kannel"},
      {"cancelled in the second", 0, -1, 2, 2, Outcome::PartlySent, 1, "1 of 3 parts sent; part 2: Cancelled"},
      {"the rest of a partly sent one", 2, -1, 0, 1, Outcome::Confirmed, 3, "Message successfully sent"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    StandIn kannel(StandIn::AcceptAndReport);
    kannel.refuseAfter = c.refuseAfter;
    Host host;
    host.cancelAt = c.cancelAt;
    Config config;
    config.kind = Kind::Kannel;
    config.name = "kannel";
    config.url = kannel.Url();
    TransferSettings settings;
    settings.DestAddress = "05912143F5";
    std::string ids;
    const LinkResult r = SendParts(host, config, std::chrono::milliseconds(1000), settings, ThreeParts(), 0x3F,
                                   {c.from, c.from ? 9 : 0}, &ids);
    // (A cancelled request may or may not have reached Kannel.)
    if (c.cancelAt) {
      EXPECT_LE(kannel.requests.size(), c.requests);
    } else {
      EXPECT_EQ(kannel.requests.size(), c.requests);
    }
    EXPECT_EQ(r.outcome, c.outcome) << host.statuses.back();
    EXPECT_EQ(r.partsSent, c.partsSent);
    EXPECT_EQ(host.statuses.back().rfind(c.status, 0), 0u) << host.statuses.back();
    EXPECT_EQ(host.beeps, std::vector<BeepKind>{r.Ok() ? BeepKind::Ok : BeepKind::Exclamation});
    // The row opens once and ends once, for the whole message.
    int opened = 0, ended = 0;
    for (const TransferReport& report : host.reports) {
      opened += !report.finished && report.result.outcome == Outcome::Pending;
      ended += report.finished;
      EXPECT_EQ(report.parts, 3);
      EXPECT_EQ(report.moreTpdus.size(), 2u);
      EXPECT_EQ(report.from, c.from);
      EXPECT_EQ(report.row, c.from ? 9 : 0);
    }
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(ended, 1);
    const TransferReport& last = host.reports.back();
    EXPECT_TRUE(last.finished);
    EXPECT_EQ(last.result.partsSent, c.partsSent);
    EXPECT_EQ(last.gatewayId, ids);
  }
}

}  // namespace
}  // namespace mp::gateway
