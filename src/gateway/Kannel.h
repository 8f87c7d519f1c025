#pragma once
// Kannel: the TPDU's fields as sendsms parameters, chosen so that Kannel
// builds the same TPDU again (but for the fields it owns: TP-MR, the
// validity's rounding and the service centre).
#include <string>
#include <utility>
#include <vector>

#include "gateway/Gateway.h"

namespace mp::gateway {

struct SendsmsQuery {
  bool ok = false;
  std::string error;  // why Kannel cannot carry the message exactly
  // Parameter name and value (raw octets for text and udh); the URL encodes them.
  std::vector<std::pair<std::string, std::string>> params;
  bool reportRequested = false;  // TP-SRR: a delivery report is asked for
};

// The DCS Kannel writes for sendsms's coding (0 7-bit, 1 8-bit, 2 UCS-2),
// mclass (-1 none), mwi (-1 none) and alt-dcs; its own rules, written down so
// that a message whose DCS it cannot make is refused before it is sent.
int KannelDcs(int coding, int mclass, int mwi, bool altDcs, bool emptyText);

// The parameters for an SMS-SUBMIT TPDU (hex text): to, text, charset,
// coding, mclass, mwi, alt-dcs, pid, rpi, udh, validity and dlr-mask, plus
// the gateway's username, password and smsc.
SendsmsQuery MapToSendsms(const Config& config, const std::string& tpdu);

// The sendsms address with the parameters percent-encoded octet by octet.
std::string SendsmsUrl(const std::string& base, const std::vector<std::pair<std::string, std::string>>& params);

}  // namespace mp::gateway
