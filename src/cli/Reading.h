#pragma once
// What a dry run says about a TPDU besides what the receiving phone shows
// (pdu::RenderText): the envelope, read back by the independent decoder.
#include <string>
#include <vector>

#include "pdu/PduDecoder.h"

namespace mp::cli {

// Recipient, status report and validity; coding, class and user data length.
std::vector<std::string> EnvelopeLines(const pdu::SubmitPdu& pdu);

// A relative validity period in words ("3 days", "63 weeks").
std::string ValidityText(int vp);

}  // namespace mp::cli
