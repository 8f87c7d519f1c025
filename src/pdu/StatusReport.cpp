#include "pdu/StatusReport.h"

#include <cstdio>

#include "pdu/Json.h"
#include "pdu/PduDecoder.h"

namespace mp::pdu {
namespace {

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
long long DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yoe = y - era * 400;
  const long long doy = (153LL * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// One swapped semi-octet pair of a time stamp as a number; -1 when a nibble
// is not a decimal digit.
int SwappedDecimal(std::uint8_t o) {
  const int lo = o & 15, hi = o >> 4;
  if (lo > 9 || hi > 9) return -1;
  return lo * 10 + hi;
}

bool ReadTime(const std::uint8_t* o, CentreTime& t) {
  int v[6];
  bool good = true;
  for (int i = 0; i < 6; ++i) {
    v[i] = SwappedDecimal(o[i]);
    if (v[i] < 0) good = false;
  }
  t.year = v[0] < 0 ? 0 : 2000 + v[0];
  t.month = v[1];
  t.day = v[2];
  t.hour = v[3];
  t.minute = v[4];
  t.second = v[5];
  // The zone: quarters of an hour, its sign in bit 3 of the first semi-octet.
  const int lo = o[6] & 15, hi = o[6] >> 4;
  if ((lo & 7) > 9 || hi > 9) good = false;
  const int quarters = (lo & 7) * 10 + hi;
  t.offsetMinutes = (lo & 8 ? -quarters : quarters) * 15;
  return good && t.UtcSeconds() >= 0;
}

// Semi-octet digits of an address, low nibble first; F fills an odd length.
std::string AddressDigits(const std::uint8_t* o, int digits, std::vector<std::string>& warnings) {
  static const char kChars[] = "0123456789*#abc";
  std::string out;
  for (int i = 0; i < digits; ++i) {
    const int nibble = (i % 2 == 0) ? (o[i / 2] & 15) : (o[i / 2] >> 4);
    if (nibble == 15) {
      warnings.push_back("TP-RA has the filler F at digit " + std::to_string(i + 1));
      continue;
    }
    out += kChars[nibble];
  }
  return out;
}

}  // namespace

long long CentreTime::UtcSeconds() const {
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
      second < 0 || second > 59 || year < 2000) {
    return -1;
  }
  return DaysFromCivil(year, month, day) * 86400LL + hour * 3600LL + minute * 60LL + second - offsetMinutes * 60LL;
}

std::string CentreTime::Iso() const {
  char buf[40];
  const int off = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", year, month, day, hour, minute, second,
                offsetMinutes < 0 ? '-' : '+', off / 60, off % 60);
  return buf;
}

ReportClass ClassOfStatus(int tpSt) {
  if (tpSt < 0 || tpSt > 0x7F) return ReportClass::Unknown;
  if (tpSt < 0x20) return ReportClass::Delivered;
  if (tpSt < 0x40) return ReportClass::StillTrying;
  return ReportClass::Failed;
}

std::string StatusMeaning(int st) {
  switch (st) {
    case 0x00: return "received by the recipient";
    case 0x01: return "forwarded to the recipient; the centre cannot confirm delivery";
    case 0x02: return "replaced by the centre";
    case 0x20: return "the network is congested; the centre goes on trying";
    case 0x21: return "the recipient is busy; the centre goes on trying";
    case 0x22: return "no response from the recipient; the centre goes on trying";
    case 0x23: return "service rejected; the centre goes on trying";
    case 0x24: return "quality of service not available; the centre goes on trying";
    case 0x25: return "error in the recipient's phone; the centre goes on trying";
    case 0x40: return "remote procedure error";
    case 0x41: return "incompatible destination";
    case 0x42: return "connection rejected by the recipient";
    case 0x43: return "the recipient cannot be reached";
    case 0x44: return "quality of service not available";
    case 0x45: return "no interworking available";
    case 0x46: return "validity period expired";
    case 0x47: return "deleted by the sender";
    case 0x48: return "deleted by the centre's administration";
    case 0x49: return "the message does not exist";
    case 0x60: return "the network is congested; the centre gave up";
    case 0x61: return "the recipient is busy; the centre gave up";
    case 0x62: return "no response from the recipient; the centre gave up";
    case 0x63: return "service rejected; the centre gave up";
    case 0x64: return "quality of service not available; the centre gave up";
    case 0x65: return "error in the recipient's phone; the centre gave up";
    default: break;
  }
  char code[8];
  std::snprintf(code, sizeof code, "%02X", st & 0xFF);
  switch (ClassOfStatus(st)) {
    case ReportClass::Delivered: return std::string("completed (centre's code ") + code + ")";
    case ReportClass::StillTrying: return std::string("the centre goes on trying (code ") + code + ")";
    case ReportClass::Failed: return std::string("the centre gave up (code ") + code + ")";
    case ReportClass::Unknown: break;
  }
  return std::string("unknown status code ") + code;
}

StatusReportResult DecodeStatusReport(std::string_view tpduHex) {
  StatusReportResult r;
  StatusReportPdu& p = r.report;
  std::vector<std::uint8_t> o;
  auto fail = [&r](std::string why) {
    r.ok = false;
    r.error = std::move(why);
    return r;
  };
  if (!HexToOctets(tpduHex, o)) return fail("TPDU is not hex text of whole octets");
  if (o.size() < 4) return fail("TPDU too short for a status report");
  p.firstOctet = o[0];
  if ((o[0] & 3) != 2) return fail("TP-MTI is " + std::to_string(o[0] & 3) + ", not SMS-STATUS-REPORT");
  p.udhi = o[0] & 0x40;
  p.mms = o[0] & 0x04;
  p.lp = o[0] & 0x08;
  p.srq = o[0] & 0x20;
  p.mr = o[1];
  const int digits = o[2];
  p.raType = o[3];
  if (digits > 20) return fail("TP-RA length " + std::to_string(digits) + " exceeds 20 semi-octets");
  std::size_t at = 4;
  const std::size_t raOctets = (static_cast<std::size_t>(digits) + 1) / 2;
  if (at + raOctets + 15 > o.size()) return fail("TPDU ends before TP-ST");
  const int ton = (p.raType >> 4) & 7;
  if (ton == 5) {
    std::vector<std::uint8_t> value(o.begin() + at, o.begin() + at + raOctets);
    p.recipient = Utf8(GsmSeptetsToText(UnpackSeptets(value, 0, digits * 4 / 7)));
  } else {
    p.recipient = AddressDigits(o.data() + at, digits, p.warnings);
    if (ton == 1 && !p.recipient.empty()) p.recipient = "+" + p.recipient;
  }
  at += raOctets;
  if (!ReadTime(o.data() + at, p.sentAt)) p.warnings.push_back("TP-SCTS is not a valid time");
  at += 7;
  if (!ReadTime(o.data() + at, p.doneAt)) p.warnings.push_back("TP-DT is not a valid time");
  at += 7;
  p.status = o[at++];

  // Optional fields after TP-PI. A phone may pad the PDU or send a parameter
  // indicator it does not honour: what is there is kept, the rest is a warning,
  // since the report itself is complete with TP-ST.
  if (at >= o.size()) {
    r.ok = true;
    return r;
  }
  const int pi = o[at++];
  // Extension octets of TP-PI carry nothing this program reads.
  for (std::uint8_t last = static_cast<std::uint8_t>(pi); (last & 0x80) && at < o.size();) last = o[at++];
  if (pi & 0x78) p.warnings.push_back("TP-PI has reserved bits set");
  auto field = [&](int bit, const char* name) -> std::optional<int> {
    if (!(pi & bit)) return std::nullopt;
    if (at >= o.size()) {
      p.warnings.push_back(std::string("TP-PI announces ") + name + ", the TPDU ends");
      return std::nullopt;
    }
    return o[at++];
  };
  p.pid = field(0x01, "TP-PID");
  p.dcs = field(0x02, "TP-DCS");
  if (field(0x04, "TP-UDL")) {
    // The user data is kept as it came; nothing here shows it.
    p.userData.assign(o.begin() + static_cast<std::ptrdiff_t>(at), o.end());
    at = o.size();
  }
  if (at < o.size()) p.warnings.push_back(std::to_string(o.size() - at) + " octets after the report");
  r.ok = true;
  return r;
}

StatusReportResult DecodeStatusReportLine(std::string_view pduHex) {
  PduLine line = SplitPduLine(pduHex);
  if (!line.ok) {
    StatusReportResult r;
    r.error = line.error;
    return r;
  }
  StatusReportResult r = DecodeStatusReport(line.tpdu);
  r.centre = line.centre;
  return r;
}

}  // namespace mp::pdu
