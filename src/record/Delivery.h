#pragma once
// Delivery reports in the record: what each sent part's report said, and the
// matching of a report to the part it is about. Window-free and without I/O:
// Record::TakeReport feeds it the rows a report could be about.
//
// A report names its part by TP-MR and recipient only. TP-MR is one octet
// the phone counts on (it wraps at 256 and is shared by every recipient),
// some phones answer "+CMGS: 0" to everything, and the centre's clock and
// time zone need not agree with this computer's. So a report is put on a
// part only when exactly one part still waiting for its report fits it;
// otherwise it is left unmatched, and the reason says so.
#include <cstdint>
#include <string>
#include <vector>

#include "record/Backend.h"

namespace mp::record {

// Delivery states as the record, the window and the command line name them.
inline constexpr const char* kNoReport = "";
inline constexpr const char* kPending = "pending";
inline constexpr const char* kDelivered = "delivered";
inline constexpr const char* kStillTrying = "still-trying";
inline constexpr const char* kFailed = "failed";

// One sent part and what its report said.
struct PartReport {
  int mr = -1;                   // TP-MR from "+CMGS: n"; -1 when the phone gave none
  long long sentUtc = 0;         // when the phone confirmed it (seconds since 1970, UTC)
  std::string state = kPending;  // kPending, kDelivered, kStillTrying or kFailed
  long long reportUtc = 0;       // the centre's discharge time of the last report, 0 when none
  int status = -1;               // TP-ST of the last report, -1 when none
};

// The text of Entry::partReports: "mr,sent,state,report,status" per part,
// blank-separated. Unreadable text reads as no parts.
std::vector<PartReport> ParseParts(const std::string& text);
std::string FormatParts(const std::vector<PartReport>& parts);

// The message's delivery from its parts: failed when any part failed,
// delivered when all were, still-trying when any part is, else pending.
std::string SumUp(const std::vector<PartReport>& parts);

// UTC seconds as the record writes delivery times ("2026-12-08T11:03:00Z").
std::string IsoUtc(long long seconds);

// Numbers as a report and a send may write the same recipient: "+358401234567",
// "358401234567" (type of number unknown), "00358401234567" or the national
// "0401234567". Alphanumeric addresses compare as they are.
bool SameNumber(const std::string& a, const std::string& b);
// The last digits of a number, by which the record finds a report's rows.
std::string NumberKey(const std::string& number);

// What a report says, read from its PDU (or a gateway's report).
struct ReportFacts {
  int mr = -1;
  std::string recipient;
  long long centreUtc = -1;     // TP-SCTS: when the centre took the part; -1 when unreadable
  long long dischargeUtc = -1;  // TP-DT
  int status = 0;               // TP-ST
};

struct Match {
  enum class Kind {
    Matched,    // one part waits for this report: row and part name it
    Repeated,   // the part already has this very report
    Ambiguous,  // more than one waiting part fits: left unmatched
    NoSend,     // no part of the record fits
  };
  Kind kind = Kind::NoSend;
  std::int64_t row = 0;
  int part = 0;     // 0-based
  std::string why;  // for Ambiguous and NoSend: in words, for the status bar and the log
};

// How far the centre's time of taking a part may lie from the time this
// computer saw it confirmed: time zones written wrong and clocks set wrong.
inline constexpr long long kClockSlackSeconds = 26 * 3600;

// The part `report` is about among `rows` (the rows of its recipient that
// asked for a report, any order).
Match FindPart(const ReportFacts& report, const std::vector<Entry>& rows);

// Writes the report into the part and sums up the row. False when the row
// has no such part.
bool ApplyReport(Entry& row, int part, const ReportFacts& report);

}  // namespace mp::record
