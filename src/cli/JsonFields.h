#pragma once
// Fields that every --json object shares, whether the message went to a phone
// or through a gateway: the characters that change and why it did not go
// through.
#include <string>
#include <vector>

#include "pdu/Json.h"
#include "pdu/Reading.h"
#include "phone/Outcome.h"

namespace mp::cli {

// The --json name of a cause: "port", "no-answer", ..., "gateway"; "" for none.
const char* CauseName(Cause c);
// [{"from":"€","to":"e"}, ...]; a lost character has "to": null.
std::string ChangeJson(const std::vector<pdu::CharChange>& changes);
// "cause", and where known "cms_error", "cme_error", "reply" and "hint".
void AddCause(pdu::JsonObject& j, const LinkResult& r);

}  // namespace mp::cli
