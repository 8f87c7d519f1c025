// The fields every --json object shares.
#include "cli/JsonFields.h"

#include "platform/Ansi.h"

namespace mp::cli {

const char* CauseName(Cause c) {
  switch (c) {
    case Cause::None: return "";
    case Cause::Port: return "port";
    case Cause::NoAnswer: return "no-answer";
    case Cause::ErrorResult: return "error-result";
    case Cause::Silence: return "silence";
    case Cause::LineBroken: return "line-broken";
    case Cause::Cancelled: return "cancelled";
    case Cause::PhonebookFull: return "phonebook-full";
    case Cause::Gateway: return "gateway";
  }
  return "";
}

std::string ChangeJson(const std::vector<pdu::CharChange>& changes) {
  std::string out = "[";
  for (const pdu::CharChange& c : changes) {
    if (out.size() > 1) out += ",";
    pdu::JsonObject j;
    j.Str("from", pdu::Utf8(std::u32string(1, c.from)));
    if (c.to) {
      j.Str("to", pdu::Utf8(std::u32string(1, c.to)));
    } else {
      j.Null("to");
    }
    out += j.Text();
  }
  return out + "]";
}

void AddCause(pdu::JsonObject& j, const LinkResult& r) {
  // Phone link texts are code page 1252.
  if (r.cause != Cause::None) j.Str("cause", CauseName(r.cause));
  if (r.cms >= 0) j.Int("cms_error", r.cms);
  if (r.cme >= 0) j.Int("cme_error", r.cme);
  if (!r.reply.empty()) j.Str("reply", FromAnsi(r.reply).toStdString());
  if (!r.hint.empty()) j.Str("hint", FromAnsi(r.hint).toStdString());
}

}  // namespace mp::cli
