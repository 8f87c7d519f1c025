#pragma once
// A long text through a gateway: its parts one by one, each ready-made with
// its concatenation header so that the gateway never splits it itself, and
// one message to the host and the record: one row with every part, and one
// outcome over them all, by the phone's rule (Confirmed when every part was,
// the first part's outcome when it failed, PartlySent when a later one did).
#include <chrono>
#include <string>
#include <vector>

#include "gateway/GatewayLink.h"

namespace mp::gateway {

// Sends `parts` (from `resume.from` on; the earlier ones went out before)
// through `config`, each part waiting at most `wait`. A part the gateway
// holds with its outcome unknown (Queued) counts as taken: the next part
// follows it, and the message is Queued when no part failed. `ids` gets the
// gateway's identifiers of the parts sent now, separated by blanks.
LinkResult SendParts(PhoneHost& host, const Config& config, std::chrono::milliseconds wait,
                     const TransferSettings& settings, const std::vector<Body>& parts, int reference,
                     const Continuation& resume = {}, std::string* ids = nullptr);

}  // namespace mp::gateway
