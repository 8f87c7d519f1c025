#pragma once
// What the phone link needs from the main window: the port choice, the status
// bar, the beep and the wait pointer, and the window's life while a dialogue
// waits for the phone. The main window implements it; tests implement it to
// record what the user would see and hear.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "phone/Outcome.h"
#include "platform/Sound.h"

namespace mp {

// What a send, save or phonebook write handed to the phone, and how it ended.
// The link reports each one when the connection is up and the transfer starts
// (finished false, the status text shown then) and again when it ends
// (finished true, the final status text); one that never got a connection is
// reported only at its end. A record kept from the reports thus survives a
// crash in between.
struct TransferReport {
  std::string command;  // "CMGS" (send), "CMGW" (save) or "CPBW" (phonebook entry)
  int status = -1;      // AT+CMGW storage status, -1 otherwise
  std::string port;     // "COM4:"
  std::string device;   // what the port resolves to, empty when nothing
  std::string sca;      // centre address hex text as written ("00" for the default)
  std::string tpdu;     // hex text of the TPDU (messages; the first part of a long text)
  // A long text: every part's TPDU after the first, the parts and the
  // concatenation reference; one report covers the whole message.
  std::vector<std::string> moreTpdus;
  int parts = 1;
  int reference = -1;
  // A Resend of the parts of a long text that did not go out: the parts
  // before `from` went out before, and `row` is the record's row of that
  // message, brought up to date instead of a new one (0: a new message).
  int from = 0;
  std::int64_t row = 0;
  std::string number;   // the entry's number (phonebook)
  int numberType = 0;   // 145, 129 (phonebook)
  std::string nameHex;  // the entry's name as written (phonebook)
  bool finished = false;
  bool ok = false;          // the phone accepted it (result.Ok())
  LinkResult result;        // how it ended (Outcome::Pending while unfinished)
  std::string via;          // where it went when not a serial port: a gateway's name
  std::string gatewayId;    // the gateway's identifier for it (spool file, message id)
  std::string statusText;   // the status bar's text at that moment
  // Each part the phone confirmed, in order: its TP-MR ("+CMGS: n"; -1 when
  // the answer had no number) and when it was confirmed (UTC seconds).
  std::vector<int> messageRefs;
  std::vector<long long> sentUtc;
  // What a gateway's delivery report said of the whole message: "delivered",
  // "failed" or "still-trying" (the record's names); empty when none came.
  // `deliveryUtc` is when it came (UTC seconds).
  std::string delivery;
  long long deliveryUtc = 0;
};

// A delivery report the phone gave while a dialogue ran: routed to us as
// "+CDS: <length>" with its PDU line, or kept in the phone's memory
// ("+CDSI: <mem>,<index>", read later). `pdu` is the PDU line as read,
// centre address first; empty for a kept one not read yet.
struct PhoneStatusReport {
  std::string port;  // "COM4:"
  std::string pdu;
  std::string memory;  // where the phone keeps it ("SR", "SM"), empty when routed
  int index = -1;      // its index there, -1 when routed
};

class PhoneHost {
 public:
  virtual ~PhoneHost() = default;
  // Selected entry of the port list, 0 for "COM 1" .. 8 for "COM 9"; -1 when none.
  virtual int PortIndex() const = 0;
  // Replaces the one text of the status bar.
  virtual void ShowStatus(const std::string& text) = 0;
  virtual void Beep(BeepKind kind) = 0;
  // Hourglass on while a connection is open.
  virtual void SetWaitCursor(bool on) = 0;
  // A message or phonebook entry starts or ends its way to the phone.
  virtual void Transferred(const TransferReport&) {}
  // A delivery report came from the phone. True when the host matched it to
  // a sent message and keeps it durably (so the phone's copy may go).
  virtual bool StatusReportRead(const PhoneStatusReport&) { return false; }
  // Whether sent messages wait for their delivery reports: then each
  // connection first reads the reports the phone kept meanwhile.
  virtual bool AwaitsReports() { return false; }

  // A dialogue with the phone begins (true) or has ended (false); always
  // paired. Meanwhile the window takes no input but Cancel.
  virtual void SetDialogue(bool /*running*/) {}
  // Runs while the link waits for the phone, at most a few tens of
  // milliseconds apart: the window repaints and hears Cancel. True once the
  // user has cancelled the dialogue. Without a window nothing happens.
  virtual bool ServiceEvents() { return false; }
  // For a line made by HostedSerialFactory: the next ServiceEvents waits
  // until `fd` is ready for reading (writing with `forWrite`) or
  // `milliseconds` have passed (fd -1: the time alone) or the user cancels,
  // serving the window's events as they arrive. A host that offers it
  // implements both.
  virtual void ArmLineWait(int /*fd*/, bool /*forWrite*/, int /*milliseconds*/) {}
  // A gateway's wait for an answer or an outcome: when it begins and about
  // once a second while it lasts, how long it has waited and the most it may
  // still wait (together its bound). The window shows both.
  virtual void WaitProgress(std::chrono::milliseconds /*waited*/, std::chrono::milliseconds /*left*/) {}
};

}  // namespace mp
