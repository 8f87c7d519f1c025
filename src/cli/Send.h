#pragma once
// mirapost-send: every special message from the command line, through the
// same builders and the same phone link as the window. Status texts go to
// standard error as they happen; standard output holds only the results
// (the dry run's reading, or one JSON object per message with --json).
#include <QStringList>
#include <iosfwd>
#include <vector>

#include "phone/Outcome.h"

namespace mp::cli {

// Exit codes.
// kUnconfirmed: the phone never confirmed a message whose PDU went out; it
// may have been sent, so a script must not simply send it again.
// kQueuedUnknown: a gateway holds it and its outcome was not known in time.
// kPartlySent: the first parts of a long text went out and a later one did
// not; sending it again would send those parts twice.
enum Exit {
  kAllSent = 0,
  kPhoneFailed = 1,
  kBadInput = 2,
  kNoPort = 3,
  kUnconfirmed = 4,
  kQueuedUnknown = 5,
  kPartlySent = 6,
  // With --wait-report: a delivery report said the message was not
  // delivered (kReportFailed), or not every report came in time (kNoReport).
  kReportFailed = 7,
  kNoReport = 8
};

struct Io {
  std::istream& in;
  std::ostream& out;
  std::ostream& err;
};

// Runs the command; `arguments` starts with the program name. Needs a
// QCoreApplication (the simulated phone and picture reading use it).
int Run(const QStringList& arguments, Io io);

// The exit status of a run whose messages ended so, one result a message: 0
// when every one was sent, saved or delivered; else the status that matters
// most, in the order 4, 6, 5, 3, 1. A message that may have gone out outranks
// every failure, so that a script that retries on failure never sends one
// twice.
int ExitStatus(const std::vector<LinkResult>& results);

// The --help text.
const char* HelpText();

}  // namespace mp::cli
