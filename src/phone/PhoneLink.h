#pragma once
// The phone link: one short connection per user command. OpenPhone switches
// the phone to PDU mode; TransferMessage stores or sends an SMS-SUBMIT; the
// phonebook dialogues search and write the phone's own phonebook. Every
// operation reports its outcome to the PhoneHost (status text and beep)
// before it returns; nothing throws. While a dialogue waits for the phone the
// host's ServiceEvents runs between short slices; when the user cancels before
// the PDU went out, the dialogue ends with "Cancelled.".
//
// What we write is exactly the prescribed dialogue (plus "AT+CMEE=1" after PDU
// mode is on). What we read is read as lines of a real phone (AtReply.h):
// unsolicited lines are dropped wherever they come, an information response
// counts only when it answers the command we sent, and a message ends in one
// of three outcomes (LinkResult): confirmed, refused, or unconfirmed when the
// PDU went out and the phone never said what became of it.
#include <cstdint>
#include <optional>
#include <vector>
#include <functional>
#include <string>
#include <string_view>

#include "builders/Messages.h"
#include "builders/Submit.h"
#include "phone/AtReply.h"
#include "phone/Outcome.h"
#include "phone/PhoneHost.h"
#include "phone/Serial.h"

namespace mp {

// The time-outs of a connection's phases and the pause before each write, in
// milliseconds. The defaults are the real values; tests shrink them all by one
// factor so that a silent phone costs milliseconds instead of seconds.
struct LinkTimings {
  std::uint32_t Handshake = 1000;    // each "AT+CMGF=0" attempt
  std::uint32_t Connection = 10000;  // the rest of a connection
  std::uint32_t Search = 45000;      // a phonebook search
  std::uint32_t Network = 60000;     // the phone's answer after the PDU
  int WritePause = 10;               // before each write
  // Paced writing, for phones that lose bytes written in one burst: at most
  // kPaceChunk bytes at a time with this pause between, and PromptPause
  // after the prompt before the PDU.
  int PacePause = 10;
  int PromptPause = 50;
  // A wait for a pattern ends at the latest after this many read time-outs.
  int WaitBoundFactor = 3;

  // Every time-out divided by `divisor` (at least 1 ms); the pause too.
  static LinkTimings Scaled(int divisor);
};

// "COM1:" .. "COM9:" for a port list index 0..8, "COM?:" otherwise.
std::string PortName(int index);

// Where a long text's Resend picks up: the parts before `from` went out
// before; `row` is the record's row of the message (0 when none).
struct Continuation {
  int from = 0;
  std::int64_t row = 0;
};

class PhoneLink {
 public:
  explicit PhoneLink(PhoneHost& host, SerialFactory factory = MakePosixSerialLine);
  ~PhoneLink();

  bool OpenPhone();
  void ClosePhone();
  // Writes the whole text; the count of bytes written (also in the log).
  int WritePhone(std::string_view text);
  bool WaitForPhone(std::string_view pattern);
  // Reads one line ending at a carriage return; at most limit - 1 characters.
  // The whole line must have arrived within the phase's read time-out.
  bool ReadPhoneLine(std::string& line, int limit);
  // Shows "Communications with ME failed." ("Cancelled." after the user
  // cancelled), beeps, closes; always false.
  bool PhoneFailed();
  void SaveTrafficLog();  // "MIRAPOST.LOG" in the working directory, when LogReady

  // Returns how it ended (also LastResult() and the host's final report).
  LinkResult TransferMessage(const TransferSettings& settings, bool header, std::string_view body,
                             int status);
  // The dialogue of TransferMessage on a connection that OpenPhone opened:
  // command, PDU, reply line, reported the same way. The port stays open
  // unless the dialogue broke (PhoneFailed closes it), so that several
  // messages can go out on one connection; the caller closes it. Without an
  // open connection the message is only reported to the host as not sent.
  LinkResult TransferOnConnection(const TransferSettings& settings, bool header,
                                  std::string_view body, int status);
  // A message of several parts (a long text), every part on one connection:
  // OpenPhone unless the connection is open, each part's AT dialogue, and
  // ClosePhone when this call opened it. While parts remain the status says
  // "Message 2 of 3 sent..."; the outcome is Confirmed when every part was,
  // that of the first part when it was not (nothing went out), and
  // PartlySent when a later part failed ("2 of 3 parts sent; part 3: ...").
  // One report to the host covers the whole message. A single body goes as
  // TransferMessage sends it.
  //
  // A Resend of a long text of which only the first parts went out gives
  // `resume`: only the parts from `resume.from` on go, and the outcome counts
  // the earlier ones as sent (PartlySent again when a part still fails, even
  // the first one sent now). The report names the record's row to update.
  LinkResult TransferParts(const TransferSettings& settings, const std::vector<Body>& parts, int reference,
                           const Continuation& resume = {});
  // A window that offers SMS gateways beside the ports sets this: a message
  // for which it returns a result was handed to a gateway instead of the
  // phone (and reported to the host by the gateway), all its parts (from
  // `resume.from`) as one message; nullopt leaves it to the phone.
  using Divert = std::function<std::optional<LinkResult>(const TransferSettings&, const std::vector<Body>& parts,
                                                         int reference, const Continuation& resume)>;
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
  // Paced writing for the next connections, whatever the port's own setting.
  void SetPaced(bool on) { paced_ = on; }
  bool Paced() const { return paced_; }
  static constexpr int kPaceChunk = 8;

  // How the last transfer or phonebook operation ended.
  const LinkResult& LastResult() const { return result_; }

  // Delivery reports (Reports.cpp). With this on (the hosts turn it on for
  // a port unless the user turned it off), a message that asks for a report
  // first asks the phone to keep its reports (AT+CNMI's <ds> = 2, its other
  // values as the phone had them), once per connection; off, it is never
  // asked, and the phone routes or drops its reports as it was set. Reports
  // that come while the port is open are read either way.
  void SetKeepReports(bool on) { keepReports_ = on; }
  bool KeepReports() const { return keepReports_; }
  // The reports the phone said it keeps ("+CDSI") during the last dialogues,
  // not yet read; the host reads them with the kept-reports dialogue.
  const std::vector<PhoneStatusReport>& KeptReports() const { return kept_; }
  // Reads the reports the phone keeps, on the open connection (opened and
  // closed here when none is): its status-report memory ("SR") where
  // AT+CPMS offers one, else AT+CMGL=4 over the messages, keeping the
  // SMS-STATUS-REPORT entries. Each goes to the host; the ones it matched and
  // keeps are deleted from the phone (AT+CMGD), no other. The memory chosen
  // for reading is put back as it was. The count of reports read, or -1 when
  // the phone could not be asked.
  int ReadKeptReports();

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

  // The part of a long text on its way (1-based) and the parts: 0 when the
  // message has one part.
  int part_ = 0;
  int parts_ = 0;
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

  // ---- Reading the phone's answers (Answer.cpp) ----
  // How long to wait for the byte that completes what just came (the LF of
  // CR LF, the space of "> "): a phone sends them together, but a busy line
  // may deliver them a little apart.
  static constexpr int kPeekMs = 20;
  enum class WaitEnd { Done, Timeout, Broken, Cancelled };
  struct Answer {
    WaitEnd end = WaitEnd::Timeout;
    bool prompt = false;                // the prompt for the PDU came
    std::optional<FinalResult> final;   // the final result, when one came
    std::vector<std::string> info;      // lines with the expected prefix
  };
  // What to read: the lines with `infoPrefix` answer the command; `echo` is
  // our own command as the phone may echo it; the wait ends at a final
  // result, at the prompt when `prompt`, after the first information line
  // when `firstInfo`, or when no byte came for `silenceMs` or `boundMs` have
  // passed in all.
  struct Expect {
    std::string_view infoPrefix;
    std::string_view echo;
    bool prompt = false;
    bool firstInfo = false;
    bool infoWithPdu = false;  // each information line is followed by a PDU line (AT+CMGL, AT+CMGR)
    std::uint32_t silenceMs = 0;
    std::uint32_t boundMs = 0;
  };
  Answer ReadAnswer(const Expect& expect);
  // Writes `command` and reads its answer with the phase's time-outs.
  Answer Ask(const std::string& command, std::string_view infoPrefix, std::uint32_t phaseMs);
  // One byte read into the traffic log; how the read ended otherwise.
  WaitEnd NextByte(char& c, std::int64_t deadline, std::int64_t silenceEnd);
  // "COM 4 (/dev/ttyUSB0)".
  std::string PortLabel() const;
  // "10 s", "250 ms".
  static std::string Duration(std::uint32_t ms);
  // After a refusal or a failed handshake: asks the phone what is wrong
  // ("AT+CPIN?", "AT+CREG?", and "AT+CSCA?" when `askCentre`) and says it in
  // plain words, together with what the error code itself tells: "the SIM
  // wants its PIN; the phone is not registered to a network (searching)".
  std::string NameCauses(const std::optional<FinalResult>& final, bool askCentre);
  // Ends a broken dialogue as PhoneFailed does, with why in words.
  bool LinkFailed(WaitEnd end, const std::string& doing);
  void SetResult(Outcome outcome, Cause cause, const std::optional<FinalResult>& final = {},
                 std::string hint = {});
  // A reply line that came before the first line end after the PDU.
  void PendingLine(const TransferSettings& settings);
  // The phone answered a final error to a message: nothing was sent.
  void Refused(const FinalResult& final, const TransferSettings& settings);
  // The phone answered a final error to a phonebook command.
  bool EntryRefused(const FinalResult& final);
  // The entry went out and the phone never said whether it took it.
  bool EntryUnconfirmed(WaitEnd end, unsigned location);
  std::optional<std::string> pendingConfirm_;
  std::optional<FinalResult> pendingFinal_;
  // The dialogue's split of the phone's bytes into lines.
  LineSplitter splitter_;
  bool skipNextLine_ = false;  // the second line of a two-line unsolicited result
  // Delivery reports (Reports.cpp).
  // A line that the phone sent of its own accord about a delivery report:
  // "+CDS: <length>" (its PDU is the next line) or "+CDSI: <mem>,<index>".
  // True when it was one.
  bool NoteReportLine(const std::string& line);
  // Asks the phone, once a connection, to keep the reports it gets.
  void SetUpReports();
  // Hands the reports read so far to the host; acknowledges routed ones with
  // AT+CNMA where the phone wants it (AT+CSMS service 1).
  void HandOverReports();
  // Acknowledges the routed reports read so far, at a moment when the phone
  // waits for a command.
  void AcknowledgeReports();
  int unacknowledged_ = 0;
  bool readingKept_ = false;  // ReadKeptReports runs (and may open the connection itself)
  bool inTransfer_ = false;   // a ReportScope runs: reports wait for its report to the host
  bool keepReports_ = false;
  bool reportsSetUp_ = false;            // this connection: SetUpReports ran
  int smsService_ = -1;                  // AT+CSMS service of this connection, -1 when not asked
  bool cdsNext_ = false;                 // the next line is the PDU of a "+CDS:"
  std::vector<std::string> routed_;      // PDU lines of "+CDS:" not yet handed over
  std::vector<PhoneStatusReport> kept_;  // "+CDSI:" indications
  std::vector<int> sentRefs_;            // TP-MR of each confirmed part of the transfer
  std::vector<long long> sentTimes_;     // when each was confirmed (UTC seconds)
  bool paced_ = false;
  bool pacedNow_ = false;  // this connection: paced_ or the port's setting
  bool pacing_ = false;    // the PDU is being written in paced pieces
  LinkResult result_;
  std::string device_;  // the device of the open connection
};


// Name of the search command for a phonebook search: the name as a V.250
// string constant, a double quote, a backslash and control characters written
// as "\HH", so that no name can end the string and run another command.
std::string PhonebookSearchCommand(std::string_view name);

}  // namespace mp
