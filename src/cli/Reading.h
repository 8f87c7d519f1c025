#pragma once
// What a receiving phone reads from a TPDU, in a few lines of text, from the
// independent PDU decoder: the check of a dry run.
#include <string>
#include <vector>

#include "pdu/PduDecoder.h"

namespace mp::cli {

// Lines (UTF-8) describing the decoded message.
std::vector<std::string> ReadingLines(const pdu::SubmitPdu& pdu);

// A relative validity period in words ("3 days", "63 weeks").
std::string ValidityText(int vp);

}  // namespace mp::cli
