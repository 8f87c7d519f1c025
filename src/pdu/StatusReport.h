#pragma once
// Decoder of the SMS-STATUS-REPORT TPDU (3GPP TS 23.040 9.2.2.3) that a phone
// hands over as "+CDS: <length>" and its PDU line, or lists with AT+CMGL=4 /
// AT+CMGR from its status-report memory. The centre sends one for each sent
// part that asked for it (TP-SRR); it names the part by TP-MR and recipient.
//
//   auto r = mp::pdu::DecodeStatusReportLine("0006D60B91...");  // centre first
//   if (r.ok && r.report.Delivery() == mp::pdu::ReportClass::Delivered) ...
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mp::pdu {

// A service-centre time stamp (TP-SCTS, TP-DT): local time of the centre and
// its offset from UTC.
struct CentreTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  int offsetMinutes = 0;  // east of UTC
  // Seconds since 1970-01-01 UTC; -1 when a field is out of range.
  long long UtcSeconds() const;
  // "2011-01-11T17:59:15+01:00"
  std::string Iso() const;
};

// What a TP-ST value says about the message.
enum class ReportClass {
  Delivered,    // 0x00-0x1F: the transaction completed
  StillTrying,  // 0x20-0x3F: a temporary error, the centre goes on trying
  Failed,       // 0x40-0x7F: the centre gave up
  Unknown,      // 0x80-0xFF: reserved
};
ReportClass ClassOfStatus(int tpSt);
// The meaning of a TP-ST value in plain words, e.g. "received by the recipient",
// "the recipient is busy; the centre goes on trying", "validity period expired".
std::string StatusMeaning(int tpSt);

struct StatusReportPdu {
  int firstOctet = 0;
  bool udhi = false, mms = false, lp = false, srq = false;
  int mr = 0;             // TP-MR of the part the report is about
  int raType = 0;         // type of address octet of TP-RA
  std::string recipient;  // TP-RA: "+" and digits for international numbers
  CentreTime sentAt;      // TP-SCTS: when the centre took the message
  CentreTime doneAt;      // TP-DT: discharge time (delivery, or the last attempt)
  int status = 0;         // TP-ST
  std::optional<int> pid, dcs;
  std::vector<std::uint8_t> userData;  // TP-UD as it came, header included
  std::vector<std::string> warnings;   // oddities that do not stop decoding

  ReportClass Delivery() const { return ClassOfStatus(status); }
};

struct StatusReportResult {
  bool ok = false;
  std::string error;  // why the TPDU is not a status report
  StatusReportPdu report;
  std::string centre;  // the centre's number from the PDU line, when it gave one
};

// The TPDU alone (first octet onward), as hex text.
StatusReportResult DecodeStatusReport(std::string_view tpduHex);
// A whole PDU line as the phone gives it: centre address first, then the TPDU.
StatusReportResult DecodeStatusReportLine(std::string_view pduHex);

}  // namespace mp::pdu
