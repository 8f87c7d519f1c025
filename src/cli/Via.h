#pragma once
// mirapost-send --via: the composed messages through an SMS gateway instead
// of a phone on a serial line.
#include <string>

#include "cli/Compose.h"
#include "cli/Send.h"
#include "gateway/Gateway.h"

namespace mp::cli {

// Sends every message through `gateway`, each wait bounded by `waitSeconds`;
// gives the exit status (0 all sent or delivered, 1 refused or failed, 4 may
// have been sent, 5 queued with the outcome unknown).
int SendVia(const gateway::Config& gateway, const Composed& composed, Io io, bool json, int waitSeconds);

}  // namespace mp::cli
