#include "cli/Reading.h"

#include "cli/Markup.h"
#include "pdu/Json.h"

namespace mp::cli {

std::string ValidityText(int vp) {
  auto plural = [](int n, const char* unit) {
    return std::to_string(n) + " " + unit + (n == 1 ? "" : "s");
  };
  if (vp <= 143) {
    const int minutes = (vp + 1) * 5;
    return minutes % 60 == 0 ? plural(minutes / 60, "hour") : plural(minutes, "minute");
  }
  if (vp <= 167) {
    const int minutes = 12 * 60 + (vp - 143) * 30;
    return minutes % 60 == 0 ? plural(minutes / 60, "hour") : plural(minutes, "minute");
  }
  if (vp <= 196) return plural(vp - 166, "day");
  return plural(vp - 192, "week");
}

std::vector<std::string> ReadingLines(const pdu::SubmitPdu& pdu) {
  std::vector<std::string> lines;
  std::string to;
  if (pdu.daType == 0xD0) {
    to = "\"" + pdu.da + "\" (alphanumeric address)";
  } else if (pdu.da.empty()) {
    to = "no recipient";
  } else {
    to = "to " + pdu.da;
  }
  std::string head = to + ", " + (pdu.srr ? "status report requested" : "no status report");
  if (pdu.vpRelative) head += ", valid " + ValidityText(*pdu.vpRelative);
  lines.push_back(head);

  const std::string coding = pdu.coding == "7bit" ? "7-bit" : pdu.coding == "ucs2" ? "16-bit" : "8-bit";
  std::string form = coding + (pdu.messageClass < 0 ? ", no class" : ", class " + std::to_string(pdu.messageClass));
  if (pdu.messageClass == 0) form += " (shown at once)";
  form += ", " + std::to_string(pdu.udl) + (pdu.coding == "7bit" ? " septets" : " octets") + " of user data";
  lines.push_back(form);

  for (const pdu::Indication& ind : pdu.indications) {
    const std::string kind = ind.kind == "voice"   ? "voice mail"
                             : ind.kind == "email" ? "e-mail"
                                                   : ind.kind;
    lines.push_back(kind + " indicator " + (ind.count > 0 ? "on (" + std::to_string(ind.count) + " waiting)" : "off") +
                    (ind.store ? ", message kept" : ", message discarded"));
  }
  if (pdu.logo) {
    lines.push_back("operator logo for " + pdu.logo->mcc + "-" + pdu.logo->mnc + ", " +
                    std::to_string(pdu.logo->width) + " x " + std::to_string(pdu.logo->height));
    for (const std::string& row : pdu.logo->rows) lines.push_back("  " + row);
    if (!pdu.logo->error.empty()) lines.push_back("logo: " + pdu.logo->error);
  } else if (pdu.coding != "8bit") {
    std::u32string text = pdu.text;
    std::string prefix = "text: ";
    if (!text.empty() && text.front() == 0) {
      prefix = "text (hidden): ";
      text.erase(text.begin());
    }
    if (text.empty() && pdu.indications.empty()) {
      lines.push_back("no text");
    } else if (!text.empty()) {
      const QString markup = BlinkMarkup(text);
      lines.push_back(prefix + markup.toStdString());
    }
  }
  for (const std::string& w : pdu.warnings) lines.push_back("warning: " + w);
  return lines;
}

}  // namespace mp::cli
