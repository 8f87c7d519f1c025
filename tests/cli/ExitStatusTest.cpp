// mirapost-send's exit status, the one thing a script reads: every outcome
// alone, and mixed across recipients, gives the status its manual promises.
// A message that may have gone out (4, 5) is never reported as a failure that
// is safe to retry (1), whatever else happened in the same run.
#include <gtest/gtest.h>

#include "cli/Send.h"
#include "support/CaseName.h"

namespace mp::cli {
namespace {

LinkResult Ended(Outcome o, Cause c = Cause::None) {
  LinkResult r;
  r.outcome = o;
  r.cause = c;
  return r;
}

const LinkResult kSent = Ended(Outcome::Confirmed);
const LinkResult kDelivered = Ended(Outcome::Delivered);
const LinkResult kRefused = Ended(Outcome::Refused, Cause::ErrorResult);
const LinkResult kGatewayFailed = Ended(Outcome::NotSent, Cause::Gateway);
const LinkResult kNoAnswer = Ended(Outcome::NotSent, Cause::NoAnswer);
const LinkResult kNoPortOpen = Ended(Outcome::NotSent, Cause::Port);
const LinkResult kUnconfirmedSilence = Ended(Outcome::Unconfirmed, Cause::Silence);
const LinkResult kQueued = Ended(Outcome::Queued, Cause::Gateway);
const LinkResult kPartly = Ended(Outcome::PartlySent, Cause::ErrorResult);

struct ExitCase {
  const char* what;
  std::vector<LinkResult> results;  // one a recipient, in the order sent
  int status;
};

void PrintTo(const ExitCase& c, std::ostream* os) { *os << c.what; }

class ExitStatusOf : public ::testing::TestWithParam<ExitCase> {};

TEST_P(ExitStatusOf, TheRunIsTheDocumentedStatus) { EXPECT_EQ(ExitStatus(GetParam().results), GetParam().status); }

INSTANTIATE_TEST_SUITE_P(Alone, ExitStatusOf,
                         ::testing::Values(ExitCase{"sent", {kSent}, kAllSent},
                                           ExitCase{"delivered", {kDelivered}, kAllSent},
                                           ExitCase{"refused", {kRefused}, kPhoneFailed},
                                           ExitCase{"failed in the gateway", {kGatewayFailed}, kPhoneFailed},
                                           ExitCase{"no answer before the PDU", {kNoAnswer}, kPhoneFailed},
                                           ExitCase{"no port", {kNoPortOpen}, kNoPort},
                                           ExitCase{"unconfirmed", {kUnconfirmedSilence}, kUnconfirmed},
                                           ExitCase{"queued", {kQueued}, kQueuedUnknown},
                                           ExitCase{"partly sent", {kPartly}, kPartlySent}),
                         test::NamedBy(&ExitCase::what));

INSTANTIATE_TEST_SUITE_P(
    Mixed, ExitStatusOf,
    ::testing::Values(ExitCase{"sent and delivered", {kSent, kDelivered}, kAllSent},
                      ExitCase{"sent then refused", {kSent, kRefused}, kPhoneFailed},
                      ExitCase{"refused then sent", {kRefused, kSent}, kPhoneFailed},
                      ExitCase{"refused then unconfirmed", {kRefused, kUnconfirmedSilence}, kUnconfirmed},
                      ExitCase{"unconfirmed then refused", {kUnconfirmedSilence, kRefused}, kUnconfirmed},
                      ExitCase{
                          "unconfirmed then no port", {kUnconfirmedSilence, kNoPortOpen, kNoPortOpen}, kUnconfirmed},
                      ExitCase{"refused then no port", {kRefused, kNoPortOpen}, kNoPort},
                      ExitCase{"failed then queued", {kGatewayFailed, kQueued}, kQueuedUnknown},
                      ExitCase{"queued then failed", {kQueued, kGatewayFailed}, kQueuedUnknown},
                      ExitCase{"queued then unconfirmed", {kQueued, kUnconfirmedSilence}, kUnconfirmed},
                      ExitCase{"unconfirmed then queued", {kUnconfirmedSilence, kQueued}, kUnconfirmed},
                      ExitCase{"delivered queued and failed", {kDelivered, kQueued, kGatewayFailed}, kQueuedUnknown},
                      ExitCase{"queued then partly sent", {kQueued, kPartly}, kPartlySent},
                      ExitCase{"partly sent then refused", {kPartly, kRefused}, kPartlySent},
                      ExitCase{"partly sent then unconfirmed", {kPartly, kUnconfirmedSilence}, kUnconfirmed}),
    test::NamedBy(&ExitCase::what));

}  // namespace
}  // namespace mp::cli
