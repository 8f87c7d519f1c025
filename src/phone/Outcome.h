#pragma once
// How a message or phonebook entry handed to a phone (or a gateway) ended,
// as a typed value: the window, the record and the command line decide from
// it, never from the status text.
#include <string>

namespace mp {

enum class Outcome {
  Pending,      // on its way: the transfer has not ended yet
  Confirmed,    // the phone confirmed it ("+CMGS:", "+CMGW:", the entry's OK)
  Delivered,    // a delivery report says the recipient has it (gateways)
  Refused,      // a final error answered it: nothing was sent, a retry is safe
  NotSent,      // it never reached the phone: no port, no answer, no prompt,
                // or cancelled before the PDU went out
  Unconfirmed,  // the PDU went out, then silence, a broken line or a cancel:
                // it may have been sent
  Queued,       // a gateway holds it and its outcome is not known (yet)
  PartlySent,   // a message of several parts: the first ones were confirmed,
                // a later one was not (LinkResult says which)
};

// Why a transfer did not end confirmed; None when it did.
enum class Cause {
  None,
  Port,           // the port cannot be opened or configured
  NoAnswer,       // the phone did not answer the PDU-mode handshake
  ErrorResult,    // the phone answered a final error (code in the result)
  Silence,        // no answer within the time-out
  LineBroken,     // the line hung up or failed
  Cancelled,      // the user cancelled
  PhonebookFull,  // no free phonebook location
  Gateway,        // a gateway refused or lost it
};

// The outcome with its reason, as the phone link leaves it.
struct LinkResult {
  Outcome outcome = Outcome::Pending;
  Cause cause = Cause::None;
  int cms = -1;        // "+CMS ERROR: n", -1 when none
  int cme = -1;        // "+CME ERROR: n", -1 when none
  std::string reply;   // the phone's final line, as read
  std::string hint;    // the cause named in plain words, when one was found
  int parts = 1;       // the parts of the message (several for a long text)
  int partsSent = 0;   // how many of them, from the first, the phone confirmed

  bool Ok() const { return outcome == Outcome::Confirmed || outcome == Outcome::Delivered; }
};

// The record's and --json's name for an outcome: "sent" (or "saved" for a
// message stored in the SIM), "delivered", "refused", "failed",
// "unconfirmed", "queued", "pending", "partly-sent".
inline const char* OutcomeName(Outcome o, bool save = false) {
  switch (o) {
    case Outcome::Pending: return "pending";
    case Outcome::Confirmed: return save ? "saved" : "sent";
    case Outcome::Delivered: return "delivered";
    case Outcome::Refused: return "refused";
    case Outcome::NotSent: return "failed";
    case Outcome::Unconfirmed: return "unconfirmed";
    case Outcome::Queued: return "queued";
    case Outcome::PartlySent: return "partly-sent";
  }
  return "failed";
}

}  // namespace mp
