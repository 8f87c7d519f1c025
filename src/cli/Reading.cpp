#include "cli/Reading.h"

namespace mp::cli {

std::string ValidityText(int vp) {
  auto plural = [](int n, const char* unit) {
    return std::to_string(n) + " " + unit + (n == 1 ? "" : "s");
  };
  auto minutes = [&plural](int m) { return m % 60 == 0 ? plural(m / 60, "hour") : plural(m, "minute"); };
  if (vp <= 143) return minutes((vp + 1) * 5);
  if (vp <= 167) return minutes(12 * 60 + (vp - 143) * 30);
  if (vp <= 196) return plural(vp - 166, "day");
  return plural(vp - 192, "week");
}

std::vector<std::string> EnvelopeLines(const pdu::SubmitPdu& pdu) {
  std::string to = pdu.daType == 0xD0 ? "address \"" + pdu.da + "\" (alphanumeric)"
                   : pdu.da.empty()   ? std::string("no recipient")
                                      : "to " + pdu.da;
  to += pdu.srr ? ", status report requested" : ", no status report";
  if (pdu.vpRelative) to += ", valid " + ValidityText(*pdu.vpRelative);
  std::string form = pdu.coding == "7bit" ? "7-bit" : pdu.coding == "ucs2" ? "16-bit" : "8-bit";
  form += pdu.messageClass < 0 ? ", no class" : ", class " + std::to_string(pdu.messageClass);
  form += ", " + std::to_string(pdu.udl) + (pdu.coding == "7bit" ? " septets" : " octets") + " of user data";
  if (pdu.udhi) form += ", with a header";
  std::vector<std::string> lines{to, form};
  for (const std::string& w : pdu.warnings) lines.push_back("warning: " + w);
  return lines;
}

}  // namespace mp::cli
