#pragma once
// smstools: a message is a file in smsd's outgoing folder. It is written
// complete under a hidden name (smsd skips names that begin with a dot) and
// then linked to its final name, so smsd never reads half a file; smsd moves
// it to sent/ or failed/ (with "Fail_reason:") when the modem has answered.
#include <string>

#include "gateway/Gateway.h"

namespace mp::gateway {

struct SpoolFile {
  bool ok = false;
  std::string error;  // why the message cannot be written in this form
  std::string text;   // the file's contents
};

// The spool file for an SMS-SUBMIT TPDU (hex text). With the modem's
// text_is_pdu_key: "To: KEY", "Text_is_pdu: yes" and the centre address
// (`sca`, "00" for the modem's own) and TPDU as they are. In
// the header form: the recipient, "DCS_hex:", "Alphabet: binary" or "GSM"
// with "Hex: yes" and the user data (user data header included) in hex, and
// "Report:", "Validity:", "Reply_path:", "Reject_duplicates:" from the first
// octet and TP-VP, so that smsd builds the same TPDU; the centre address is
// then the modem's.
SpoolFile MakeSpoolFile(const Config& config, const std::string& sca, const std::string& tpdu);

}  // namespace mp::gateway
