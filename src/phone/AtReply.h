#pragma once
// Reading what phones and modems answer. We write exactly the prescribed
// commands, but phones of every make answer in their own way: line ends CR LF,
// LF or CR; with or without the echo of our command; the prompt "\r\n> ",
// "> " or ">"; unsolicited result codes (a call, a new message, a signal
// report) anywhere, even between the PDU and "+CMGS:". This part turns the
// bytes into lines and tells each line's kind. It has no I/O, so the phone
// link, the tests and the fuzzer all drive it the same way.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace mp {

// A final result code: nothing more answers the command after it.
struct FinalResult {
  enum class Kind { Ok, Error, CmsError, CmeError };
  Kind kind = Kind::Error;
  int code = -1;      // the number of "+CMS ERROR: n" / "+CME ERROR: n"; -1 when verbose or none
  std::string text;   // the line as read

  bool IsOk() const { return kind == Kind::Ok; }
};

// OK, ERROR, "+CMS ERROR: n", "+CME ERROR: n" (numeric or verbose), and the
// vendors' own final results that other tools know ("COMMAND NOT SUPPORT",
// "TOO MANY PARAMETERS", "NO CARRIER"); nothing for any other line.
std::optional<FinalResult> ParseFinal(std::string_view line);

// A line that a phone sends of its own accord: RING, +CRING, +CLIP, +CMTI,
// +CDSI, +CREG, +CGREG, +CIEV, +CUSD, ... and the vendors' status lines that
// begin with "^" or "#". `TwoLine` tells whether a second line (a PDU or a
// text) belongs to it: +CMT, +CDS and +CBM.
bool IsUnsolicited(std::string_view line);
bool IsTwoLineUnsolicited(std::string_view line);

// The message reference of "+CMGS: n" or the index of "+CMGW: n", with
// anything after the number (phase 2+ phones append the acknowledgement
// PDU); nothing for any other line.
std::optional<int> ParseMessageResult(std::string_view line, std::string_view command);

// True when `line` is an information response with the prefix `prefix`
// ("+CPBR", "+CPBF", "+CPIN", ...): the prefix, then a colon.
bool HasInfoPrefix(std::string_view line, std::string_view prefix);

// The index of a phonebook entry line "+CPBR: <index>,..." (a range answer
// "+CPBR: (1-250),..." is no entry); nothing for any other line.
std::optional<unsigned> PhonebookEntryIndex(std::string_view line);

// Splits the phone's bytes into lines. Every byte goes through Feed, which
// says when a line or the prompt is complete. A line ends at CR or LF; the
// line end is not part of it and an empty line is never reported, so CR LF,
// LF and CR all work. When `wantPrompt` is set, a ">" at the start of a line
// is the prompt for the PDU; the space a phone sends after it is skipped by
// the next Feed. Lines longer than kMaxLine keep their first kMaxLine bytes
// and are marked too long.
class LineSplitter {
 public:
  static constexpr std::size_t kMaxLine = 1024;

  enum class Event { None, Line, Prompt };
  Event Feed(char c, bool wantPrompt);

  // The line that the last Feed completed.
  const std::string& Line() const { return done_; }
  bool TooLong() const { return doneTooLong_; }
  // Bytes of a line begun but not yet ended.
  bool Partial() const { return !line_.empty(); }
  void Reset();

 private:
  std::string line_;
  std::string done_;
  bool tooLong_ = false;
  bool doneTooLong_ = false;
  bool afterPrompt_ = false;
};

// What the phone's answers to the cause questions mean, in plain words; empty
// when the answer shows nothing wrong (or cannot be read).
// "+CPIN: SIM PIN" -> "the SIM wants its PIN"
std::string PinProblem(std::string_view cpinLine);
// "+CREG: 0,2" -> "the phone is not registered to a network (searching)"
std::string RegistrationProblem(std::string_view cregLine);
// "+CSCA: \"\",129" -> true: the phone has no service centre number.
bool CentreMissing(std::string_view cscaLine);

}  // namespace mp
