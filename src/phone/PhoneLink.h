#pragma once
// The phone link: one short connection per user command. OpenPhone switches
// the phone to PDU mode; TransferMessage stores or sends an SMS-SUBMIT; the
// phonebook dialogues search and write the phone's own phonebook. Every
// operation reports its outcome to the PhoneHost (status text and beep)
// before it returns; nothing throws. While a dialogue waits for the phone the
// host's ServiceEvents runs between short slices; when the user cancels, the
// dialogue ends with "Cancelled.".
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "phone/PhoneHost.h"
#include "phone/Serial.h"

namespace mp {

// Values the Send/Save dialog leaves for the transfer.
struct TransferSettings {
  std::string DestAddress;    // TP-DA hex text
  bool SaveMode = false;      // AT+CMGW instead of AT+CMGS
  std::string CentreAddress;  // "00", a FormatCentre address, or empty
  bool Reports = true;        // TP-SRR
};

// The time-outs of a connection's phases and the pause before each write, in
// milliseconds. The defaults are the real values; tests shrink them all by one
// factor so that a silent phone costs milliseconds instead of seconds.
struct LinkTimings {
  std::uint32_t Handshake = 1000;    // each "AT+CMGF=0" attempt
  std::uint32_t Connection = 10000;  // the rest of a connection
  std::uint32_t Search = 45000;      // a phonebook search
  int WritePause = 10;               // before each write
  // A wait for a pattern ends at the latest after this many read time-outs.
  int WaitBoundFactor = 3;

  // Every time-out divided by `divisor` (at least 1 ms); the pause too.
  static LinkTimings Scaled(int divisor);
};

// The TPDU that TransferMessage writes for a message body: first octet
// (SMS-SUBMIT, relative validity period, TP-SRR from the settings, TP-UDHI
// from `header`), TP-MR "FF" for the phone to fill in, TP-DA, then the body.
std::string SubmitTpdu(const TransferSettings& settings, bool header, std::string_view body);
// "COM1:" .. "COM9:" for a port list index 0..8, "COM?:" otherwise.
std::string PortName(int index);

class PhoneLink {
 public:
  explicit PhoneLink(PhoneHost& host, SerialFactory factory = MakePosixSerialLine);
  ~PhoneLink();

  bool OpenPhone();
  void ClosePhone();
  void WritePhone(std::string_view text);
  bool WaitForPhone(std::string_view pattern);
  // Reads one line ending at a carriage return; at most limit - 1 characters.
  // The whole line must have arrived within the phase's read time-out.
  bool ReadPhoneLine(std::string& line, int limit);
  // Shows "Communications with ME failed." ("Cancelled." after the user
  // cancelled), beeps, closes; always false.
  bool PhoneFailed();
  void SaveTrafficLog();  // "MIRAPOST.LOG" in the working directory, when LogReady

  void TransferMessage(const TransferSettings& settings, bool header, std::string_view body,
                       int status);
  // The dialogue of TransferMessage on a connection that OpenPhone opened:
  // command, PDU, reply line, reported the same way. The port stays open
  // unless the dialogue broke (PhoneFailed closes it), so that several
  // messages can go out on one connection; the caller closes it. Without an
  // open connection the message is only reported to the host as not sent.
  void TransferOnConnection(const TransferSettings& settings, bool header, std::string_view body,
                            int status);
  // A window that offers SMS gateways beside the ports sets this: a message
  // for which it returns true was handed to a gateway instead of the phone.
  using Divert = std::function<bool(const TransferSettings&, bool header, std::string_view body, int status)>;
  void SetDivert(Divert divert) { divert_ = std::move(divert); }
  bool FindPhonebookEntry(std::string& name, std::string& address);
  bool WritePhonebookEntry(const std::string& hexName, const std::string& number, int type);

  const std::string& TrafficLog() const { return TrafficLog_; }
  bool LogReady = false;
  const CommTimeouts& PortTimeouts() const { return PortTimeouts_; }
  // The last command formatted or reply line read.
  const std::string& PhoneBuffer() const { return PhoneBuffer_; }
  bool IsOpen() const;
  // From OpenPhone until ClosePhone. Nothing may start another dialogue then.
  bool InDialogue() const { return dialogue_; }
  // The user cancelled the current (or the last) dialogue.
  bool Cancelled() const { return cancelled_; }

  const LinkTimings& Timings() const { return timings_; }
  void SetTimings(const LinkTimings& t) { timings_ = t; }

 private:
  // Shows `text` on the host's status bar and keeps it: transfer reports
  // carry the last status text.
  void Status(const std::string& text) {
    lastStatus_ = text;
    host_.ShowStatus(text);
  }
  // Reports a transfer's start at construction and its end at destruction.
  class ReportScope;
  // The AT dialogue of one message on the open connection.
  void TransferDialogue(const TransferSettings& settings, const std::string& tpdu, int status,
                        ReportScope& scope);

  PhoneHost& host_;
  Divert divert_;
  std::string lastStatus_;
  SerialFactory factory_;
  std::unique_ptr<SerialLine> port_;  // PortHandle: null when closed
  CommTimeouts PortTimeouts_{};
  std::string PhoneBuffer_;
  std::string TrafficLog_;
  LinkTimings timings_;
  bool waitCursor_ = false;  // the host's wait pointer is ours to take back
  bool dialogue_ = false;    // the host was told that a dialogue runs
  bool cancelled_ = false;   // the user ended this dialogue
  bool inHook_ = false;      // the host's events are being serviced: no re-entry
  std::int64_t deadline_ = 0;  // end of the current read, on the line's clock
  bool reading_ = false;       // a read with that deadline is under way

  // One byte, unless `deadline` has passed or the user cancels first.
  bool ReadByteBefore(unsigned char& b, std::int64_t deadline);
  // The line's wait hook: services the host, ends a cancelled or overdue read.
  bool OnWait();
};

// What TransferMessage writes: the TPDU (first octet, TP-MR "FF", TP-DA and
// the body), the command that announces it ("AT+CMGS=n\r" or
// "AT+CMGW=n,status\r"), and the service centre address written before it.
std::string SubmitTpdu(const TransferSettings& settings, bool header, std::string_view body);
std::string TransferCommand(const TransferSettings& settings, std::string_view tpdu, int status);
std::string_view CentreToWrite(const TransferSettings& settings);

// Name of the search command for a phonebook search: the name as a V.250
// string constant, a double quote, a backslash and control characters written
// as "\HH", so that no name can end the string and run another command.
std::string PhonebookSearchCommand(std::string_view name);

// Asks the desktop to open a document or web address with its default
// handler, with the wait pointer shown meanwhile. The result is not examined.
void OpenDocument(PhoneHost& host, const std::string& target);

}  // namespace mp
