#pragma once
// SMS gateways as places to send to, beside the serial ports: an smstools
// spool folder (smsd sends what appears in its outgoing folder) or a Kannel
// sendsms address. A gateway is defined by the user, kept in the settings
// file, and chosen in the window's port box or with mirapost-send --via.
#include <optional>
#include <string>
#include <vector>

#include "gateway/Credentials.h"

namespace mp::gateway {

enum class Kind { Smstools, Kannel };

struct Config {
  std::string name;  // shown in the port box; "smstools:DIR" / "kannel:URL" when given on the command line
  Kind kind = Kind::Smstools;
  // smstools: the spool folder that holds outgoing/, sent/ and failed/.
  std::string spool;
  // smstools: the modem's text_is_pdu_key. Set, the spool file carries the
  // ready-made TPDU; empty, the header form that needs no smsd setting.
  std::string pduKey;
  // Kannel: the sendsms address ("http://127.0.0.1:13013/cgi-bin/sendsms"),
  // its user name and password, and the smsc-id to route to (optional).
  std::string url;
  std::string user;
  std::string password;
  std::string smscId;
  // Kannel: the address of this machine that Kannel calls with the delivery
  // report (the listener is bound to it); empty: 127.0.0.1, for a Kannel on
  // this machine.
  std::string dlrHost = {};

  std::string KindName() const { return kind == Kind::Smstools ? "smstools" : "Kannel"; }
  // Where it sends: the spool folder or the sendsms address.
  std::string Address() const { return kind == Kind::Smstools ? spool : url; }
};

// A sendsms address taken apart: the address without its "user:password@"
// and what that carried, percent-decoding undone. An address without one, or
// one that is no web address, comes back unchanged with no user.
struct Credentials {
  std::string url;
  std::string user;
  std::string password;
};
Credentials SplitCredentials(const std::string& url);
// A Kannel gateway's user name and password moved out of its address into
// its own fields, as sendsms takes them; fields already filled in win.
Config WithCredentialsApart(Config config);
// The place a gateway sends to, as shown to the user: a Kannel address with
// its user and the password as "****" (a "password=" in its query too),
// never the password itself.
std::string MaskedAddress(const Config& config);

// At most this many gateways are kept.
inline constexpr int kMaxGateways = 16;
// The bound of every wait for a gateway's outcome, in seconds, by default.
inline constexpr int kDefaultWaitSeconds = 60;

// The gateways stored in the settings ("Gateway<n>Name", "...Kind", ...), in
// their order; a damaged entry ends the list. A Kannel address that carries
// "user:password@" comes back with them in their own fields.
std::vector<Config> LoadGateways();
// Replaces the stored gateways; false when the settings could not be written.
// A file that then holds a password is left with mode 0600.
bool SaveGateways(const std::vector<Config>& gateways);
// The stored bound of a wait ("GatewayWait", seconds), the default without one.
int StoredWaitSeconds();

// "smstools:DIR", "kannel:URL" or the name of a stored gateway. On a text that
// names none, nothing and `error` says why.
std::optional<Config> ParseVia(const std::string& text, const std::vector<Config>& stored, std::string* error);

// Why a message cannot go through a gateway: storing in the SIM, a template or
// a phonebook entry need the phone itself. Empty when it can.
std::string PhoneOnlyReason(bool saveInSim);
inline constexpr const char* kPhoneOnlyTip = "Needs the phone itself: a gateway only sends messages.";

}  // namespace mp::gateway
