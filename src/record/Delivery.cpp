#include "record/Delivery.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <sstream>

#include "pdu/StatusReport.h"

namespace mp::record {
namespace {

const char* StateCode(const std::string& state) {
  if (state == kDelivered) return "d";
  if (state == kStillTrying) return "t";
  if (state == kFailed) return "f";
  return "p";
}

std::string StateFromCode(const std::string& code) {
  if (code == "d") return kDelivered;
  if (code == "t") return kStillTrying;
  if (code == "f") return kFailed;
  return kPending;
}

bool ReadNumber(const std::string& text, long long& out) {
  if (text.empty() || text.size() > 20) return false;
  char* end = nullptr;
  out = std::strtoll(text.c_str(), &end, 10);
  return end && *end == '\0';
}

bool Alphanumeric(const std::string& s) {
  return std::any_of(s.begin(), s.end(), [](char c) {
    return !(c >= '0' && c <= '9') && c != '+' && c != ' ' && c != '-' && c != '*' && c != '#';
  });
}

// The digits of a number, and whether they begin with the country code.
std::string Digits(const std::string& s, bool& international) {
  std::string d;
  for (char c : s)
    if ((c >= '0' && c <= '9') || c == '*' || c == '#') d += c;
  international = !s.empty() && s.find('+') != std::string::npos;
  if (!international && d.size() > 2 && d.compare(0, 2, "00") == 0) {
    international = true;
    d.erase(0, 2);
  }
  return d;
}

std::string WithoutTrunkZeros(std::string d) {
  d.erase(0, std::min(d.find_first_not_of('0'), d.size()));
  return d;
}

}  // namespace

std::string IsoUtc(long long seconds) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  if (!gmtime_r(&t, &tm)) return "";
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return buf;
}

std::vector<PartReport> ParseParts(const std::string& text) {
  std::vector<PartReport> parts;
  std::istringstream in(text);
  std::string item;
  while (in >> item) {
    std::vector<std::string> f;
    std::stringstream fields(item);
    std::string field;
    while (std::getline(fields, field, ',')) f.push_back(field);
    PartReport p;
    long long mr = 0, status = 0;
    if (f.size() != 5 || !ReadNumber(f[0], mr) || !ReadNumber(f[1], p.sentUtc) || !ReadNumber(f[3], p.reportUtc) ||
        !ReadNumber(f[4], status) || mr < -1 || mr > 255 || status < -1 || status > 255) {
      return {};
    }
    p.mr = static_cast<int>(mr);
    p.status = static_cast<int>(status);
    p.state = StateFromCode(f[2]);
    parts.push_back(p);
  }
  return parts;
}

std::string FormatParts(const std::vector<PartReport>& parts) {
  std::string out;
  for (const PartReport& p : parts) {
    if (!out.empty()) out += ' ';
    out += std::to_string(p.mr) + ',' + std::to_string(p.sentUtc) + ',' + StateCode(p.state) + ',' +
           std::to_string(p.reportUtc) + ',' + std::to_string(p.status);
  }
  return out;
}

std::string SumUp(const std::vector<PartReport>& parts) {
  if (parts.empty()) return kPending;
  bool all = true, trying = false;
  for (const PartReport& p : parts) {
    if (p.state == kFailed) return kFailed;
    all = all && p.state == kDelivered;
    trying = trying || p.state == kStillTrying;
  }
  return all ? kDelivered : trying ? kStillTrying : kPending;
}

bool SameNumber(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  if (Alphanumeric(a) || Alphanumeric(b)) return a == b;
  bool ia = false, ib = false;
  const std::string da = Digits(a, ia), db = Digits(b, ib);
  if (da.empty() || db.empty()) return false;
  if (da == db) return true;
  if (ia && ib) return false;
  // A national form: its digits after the trunk prefix end the other's, and
  // what is left of the other is a country code.
  const std::string na = ia ? da : WithoutTrunkZeros(da);
  const std::string nb = ib ? db : WithoutTrunkZeros(db);
  const std::string& shorter = na.size() < nb.size() ? na : nb;
  const std::string& longer = na.size() < nb.size() ? nb : na;
  if (shorter.size() < 6) return na == nb;
  const std::size_t extra = longer.size() - shorter.size();
  return extra <= 3 && longer.compare(extra, std::string::npos, shorter) == 0;
}

std::string NumberKey(const std::string& number) {
  if (Alphanumeric(number)) return number;
  bool international = false;
  const std::string d = Digits(number, international);
  return d.size() > 7 ? d.substr(d.size() - 7) : WithoutTrunkZeros(d);
}

Match FindPart(const ReportFacts& report, const std::vector<Entry>& rows) {
  Match m;
  std::vector<std::pair<std::int64_t, int>> open;
  int farApart = 0;
  for (const Entry& row : rows) {
    if (!row.reportAsked || !SameNumber(row.recipient, report.recipient)) continue;
    const std::vector<PartReport> parts = ParseParts(row.partReports);
    for (int i = 0; i < static_cast<int>(parts.size()); ++i) {
      const PartReport& p = parts[static_cast<std::size_t>(i)];
      if (p.mr < 0 || p.mr != report.mr) continue;
      if (report.centreUtc >= 0 && p.sentUtc > 0 && std::llabs(p.sentUtc - report.centreUtc) > kClockSlackSeconds) {
        ++farApart;
        continue;
      }
      if (p.state == kPending || p.state == kStillTrying) {
        open.emplace_back(row.id, i);
      } else if (p.status == report.status && m.kind == Match::Kind::NoSend) {
        m.kind = Match::Kind::Repeated;
        m.row = row.id;
        m.part = i;
      }
    }
  }
  const std::string which =
      "The delivery report for " + report.recipient + " (reference " + std::to_string(report.mr) + ")";
  if (open.size() == 1) {
    m.kind = Match::Kind::Matched;
    m.row = open[0].first;
    m.part = open[0].second;
    m.why.clear();
  } else if (open.size() > 1) {
    m = {};
    m.kind = Match::Kind::Ambiguous;
    m.why = which + " fits " + std::to_string(open.size()) + " sent messages; it was left unmatched.";
  } else if (m.kind == Match::Kind::NoSend) {
    m.why = which + " fits no sent message waiting for one";
    if (farApart > 0) m.why += " (a send with that reference lies more than a day from the centre's time)";
    m.why += "; it was left unmatched.";
  }
  return m;
}

bool ApplyReport(Entry& row, int part, const ReportFacts& report) {
  std::vector<PartReport> parts = ParseParts(row.partReports);
  if (part < 0 || part >= static_cast<int>(parts.size())) return false;
  PartReport& p = parts[static_cast<std::size_t>(part)];
  switch (pdu::ClassOfStatus(report.status)) {
    case pdu::ReportClass::Delivered: p.state = kDelivered; break;
    case pdu::ReportClass::StillTrying: p.state = kStillTrying; break;
    case pdu::ReportClass::Failed: p.state = kFailed; break;
    case pdu::ReportClass::Unknown: break;  // a reserved code changes nothing we know
  }
  p.status = report.status;
  p.reportUtc = report.dischargeUtc >= 0 ? report.dischargeUtc : std::max(0LL, report.centreUtc);
  row.partReports = FormatParts(parts);
  row.delivery = SumUp(parts);
  long long latest = p.reportUtc;
  if (row.delivery == kDelivered)
    for (const PartReport& q : parts) latest = std::max(latest, q.reportUtc);
  row.deliveryTime = latest > 0 ? IsoUtc(latest) : "";
  return true;
}

}  // namespace mp::record
