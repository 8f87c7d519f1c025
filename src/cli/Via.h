#pragma once
// mirapost-send --via: the composed messages through an SMS gateway instead
// of a phone on a serial line.
#include <optional>
#include <string>

#include "cli/Compose.h"
#include "cli/Send.h"
#include "gateway/Gateway.h"

namespace mp::cli {

// What the command line adds to a gateway beside its address.
struct ViaOptions {
  std::optional<std::string> passwordFile;  // --password-file: Kannel's password, from a file only the user can read
  std::optional<std::string> dlrHost;       // --dlr-host: this machine's address as Kannel reaches it
  bool passwordInArguments = false;  // the address on the command line carried a password
};

// Completes `gateway` from `options` and the environment (MIRAPOST_KANNEL_PASSWORD
// when it has no password yet); a password typed on the command line is
// warned about on `err`. Throws InputError for a password file that others
// can read, or options that do not fit the gateway.
void ApplyViaOptions(gateway::Config& gateway, const ViaOptions& options, std::ostream& err);

// Sends every message through `gateway`, each wait bounded by `waitSeconds`;
// gives the exit status (0 all sent or delivered, 1 refused or failed, 4 may
// have been sent, 5 queued with the outcome unknown).
int SendVia(const gateway::Config& gateway, const Composed& composed, Io io, bool json, int waitSeconds);

}  // namespace mp::cli
