// The state a row of the record keeps for each way a message ends, as the
// phone link and the gateways report it and as it is read back: a message
// stored in the SIM reads "saved", one sent reads "sent", and only those and
// a delivered one count as good.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdlib>

#include "record/Record.h"
#include "support/CaseName.h"

namespace mp::record {
namespace {

struct StateCase {
  const char* what;
  const char* command;  // CMGS sends, CMGW stores in the SIM
  Outcome outcome;
  const char* state;
  bool ok;
};

void PrintTo(const StateCase& c, std::ostream* os) { *os << c.what; }

class RecordState : public ::testing::TestWithParam<StateCase> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    ::setenv("XDG_CONFIG_HOME", dir.filePath("config").toLocal8Bit().constData(), 1);
    ::setenv("XDG_DATA_HOME", dir.filePath("data").toLocal8Bit().constData(), 1);
  }
  QTemporaryDir dir;
};

TEST_P(RecordState, TheRowReadsAsTheMessageEnded) {
  const StateCase& c = GetParam();
  Record record;
  ASSERT_TRUE(record.Open()) << record.Error();
  Recorder recorder(record);
  TransferReport r;
  r.command = c.command;
  r.port = "COM4:";
  r.sca = "00";
  r.tpdu = "31FF05912143F50000A905E8329BFD06";
  recorder.Report(r);  // the row written before the PDU goes out
  ASSERT_EQ(record.List().size(), 1u);
  EXPECT_EQ(record.List().front().state, "pending");

  r.finished = true;
  r.result.outcome = c.outcome;
  r.ok = r.result.Ok();
  recorder.Report(r);
  const std::vector<Entry> rows = record.List();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows.front().state, c.state);
  EXPECT_EQ(rows.front().ok, c.ok);
}

INSTANTIATE_TEST_SUITE_P(Ends, RecordState,
                         ::testing::Values(StateCase{"sent", "CMGS", Outcome::Confirmed, "sent", true},
                                           StateCase{"saved in the SIM", "CMGW", Outcome::Confirmed, "saved", true},
                                           StateCase{"delivered", "CMGS", Outcome::Delivered, "delivered", true},
                                           StateCase{"refused", "CMGS", Outcome::Refused, "refused", false},
                                           StateCase{"refused saving", "CMGW", Outcome::Refused, "refused", false},
                                           StateCase{"not sent", "CMGS", Outcome::NotSent, "failed", false},
                                           StateCase{"unconfirmed", "CMGS", Outcome::Unconfirmed, "unconfirmed", false},
                                           StateCase{"queued in a gateway", "CMGS", Outcome::Queued, "queued", false}),
                         test::NamedBy(&StateCase::what));

}  // namespace
}  // namespace mp::record
