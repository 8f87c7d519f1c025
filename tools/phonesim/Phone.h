#pragma once
// The simulated phone's AT command interpreter (V.250 command lines, TS 27.005
// SMS in PDU mode, TS 27.007 phonebook), without any I/O: bytes from the
// computer go in, bytes for the computer and line events come out. The
// pseudo-terminal runner (PtyRunner.h) moves the bytes.
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "pdu/PduDecoder.h"

namespace phonesim {

enum class Fault {
  Silent,             // never answers anything, not even the echo
  CmgfError,          // ERROR to AT+CMGF=0
  Refuse,             // +CMS ERROR: 500 after the PDU
  NoPrompt,           // no "> " after AT+CMGS / AT+CMGW, nothing at all
  HangupAfterPrompt,  // hangs the line up after the prompt
  Chatter,            // answers every command line with endless "+CREG: 1" codes
  LongLine,           // a 40-character reply line after the PDU
  Full,               // every phonebook location reads as taken, at any index
  NoRange,            // ERROR to AT+CPBR=? (no index range told)
  RefuseLater,        // the first two messages go, every later one gets +CMS ERROR: 500
  RefuseThird,        // the third message gets +CMS ERROR: 500, every other one goes
};
// "silent", "cmgf-error", ... ; false for an unknown name.
bool ParseFault(std::string_view name, Fault& fault);

// What AT+CPBR answers for an empty location of the selected phonebook.
enum class EmptyEntry {
  Ok,     // "\r\nOK\r\n": no information text, as TS 27.007 has it (default)
  Error,  // "\r\n+CME ERROR: 22\r\n" (not found)
  Blank,  // "\r\n\r\n\r\nOK\r\n": an empty information line before OK
};
bool ParseEmptyEntry(std::string_view name, EmptyEntry& style);

// Documented behaviours of real phones and modems (README.md tells where
// each comes from). Unlike faults, a personality never loses a message that
// a careful application sends.
enum class Personality {
  Terse,         // echo off and no blank line between information text and the result
  Chatty,        // vendor status lines ("^RSSI:18") on a timer and after every PDU
  Interrupting,  // calls and message indications mid-send and during phonebook reads
  Unregistered,  // +CREG: 0,0; sends answer +CMS ERROR: 331
  Searching,     // +CREG: 0,2; likewise
  Denied,        // +CREG: 0,3; likewise
  SimPin,        // +CPIN: SIM PIN; +CMS ERROR: 311 to AT+CMGS/AT+CMGW
  SimPuk,        // +CPIN: SIM PUK; +CMS ERROR: 316
  Cmee0,         // starts with +CMEE=0: plain ERROR for +CME errors
  Cmee1,         // starts with +CMEE=1: numeric codes
  Cmee2,         // starts with +CMEE=2: verbose texts, for +CMS errors too
  NoCmee,        // ERROR to every form of AT+CMEE, +CME errors stay plain ERROR
  NoCentre,      // no service centre number: +CMS ERROR: 330 for a PDU with "00"
  DropsFast,     // loses PDU bytes that come in a burst or right after the prompt
  PduEntry,      // starts in PDU entry left behind by another program
  Transient500,  // the first AT+CMGS answers +CMS ERROR: 500
  SlowNetwork,   // the answer to AT+CMGS comes replyDelayMs after the PDU
  LfOnly,        // line ends are LF alone, the prompt "> "
  BarePrompt,    // the prompt is ">" alone
  EmptyCme22,    // an empty phonebook location answers +CME ERROR: 22
  Phase2Plus,    // "+CMGS: <mr>,\"<ackpdu>\"" with the acknowledgement PDU
  Reports,       // a status-report memory "SR", and reports routed (+CNMI <ds> 1) from the start
  ZeroMr,        // "+CMGS: 0" to every message
};
// Names separated by commas ("terse,chatty"), added to `out`. False with a
// message, and `out` unchanged, for an unknown name or for two that cannot
// be combined.
bool ParsePersonalities(std::string_view list, std::set<Personality>& out, std::string& error);

// The drops-fast receiver: a buffer of kDropBuffer bytes that the phone
// empties at kDropDrainPerMs bytes a millisecond; PDU bytes that find it full
// are lost, and so is every PDU byte that comes within kDropAfterPromptMs of
// the prompt. Ctrl-Z and ESC always get through.
constexpr int kDropBuffer = 48;
constexpr int kDropDrainPerMs = 4;
constexpr int kDropAfterPromptMs = 20;

struct PhonebookEntry {
  std::string number;
  int type = 129;
  std::string name;  // ISO 8859-1 bytes
};

struct PhoneOptions {
  bool echo = true;
  std::set<Fault> faults;
  EmptyEntry emptyEntry = EmptyEntry::Ok;
  std::map<int, PhonebookEntry> mePhonebook;  // seed
  std::set<Personality> personalities;
  int replyDelayMs = 25000;     // slow-network: PDU to +CMGS answer
  int statusIntervalMs = 1000;  // chatty: one status line this often
  int reportStatus = 0;         // TP-ST of the delivery reports the centre sends
};

// Reads "index,number,type,name" lines (name to the end of the line; UTF-8
// names are turned into ISO 8859-1, other bytes are kept). Empty lines and
// lines starting with "#" are skipped. False with a message on a bad line.
bool LoadPhonebook(const std::string& path, std::map<int, PhonebookEntry>& out, std::string& error);

// One thing the phone does towards the computer, in order.
struct Event {
  enum Kind { Send, Hangup, Chatter } kind = Send;
  std::string bytes;  // Send
  int delayMs = 0;    // Send: not before this many milliseconds from now
};

class Phone {
 public:
  static constexpr int kMeCapacity = 250;
  static constexpr int kSmCapacity = 100;
  static constexpr int kSmsCapacity = 30;
  static constexpr int kNumberLength = 40;
  static constexpr int kTextLength = 64;

  explicit Phone(PhoneOptions options);

  // Every journal line (one JSON object, no line feed) goes here.
  std::function<void(const std::string&)> journal;

  // Bytes from the computer; the phone's reaction is appended to `out`.
  // `nowMs` is when they arrived (any steady clock); without it each call
  // counts as coming a second after the one before.
  void Receive(std::string_view bytes, std::vector<Event>& out);
  void Receive(std::string_view bytes, std::vector<Event>& out, double nowMs);
  // How often Periodic wants to be called (0: never), and what it says then.
  int PeriodicMs() const;
  void Periodic(std::vector<Event>& out);
  // The computer closed the line (DTR dropped): a half-typed command line or
  // PDU is forgotten; settings, messages and phonebooks stay.
  void LineDropped();

  bool InPduEntry() const { return pduCommand_ != nullptr; }
  bool Echo() const { return echo_; }
  const std::map<int, PhonebookEntry>& Phonebook(const std::string& memory) const;
  struct StoredMessage {
    int stat;
    std::string pdu;  // centre address and TPDU, hex text
  };
  const std::map<int, StoredMessage>& SimMessages() const { return sms_; }

 private:
  struct Reply;
  struct Command;
  void Byte(char c, std::vector<Event>& out);
  void CommandLine(std::string line, std::vector<Event>& out);
  bool Basic(std::string_view cmd, Reply& reply);
  bool Extended(const std::string& name, char op, std::string_view args, Reply& reply,
                std::vector<Event>& out);
  // The commands of each part; nullopt for a name the part does not know.
  std::optional<bool> SmsCommand(const Command& c, std::vector<Event>& out);
  std::optional<bool> PhonebookCommand(const Command& c);
  void FinishPdu(std::vector<Event>& out);
  void Final(Reply& reply, std::vector<Event>& out);
  std::string ResultText(const std::string& verbose) const;
  bool Has(Fault f) const { return options_.faults.count(f) != 0; }
  bool Is(Personality p) const { return options_.personalities.count(p) != 0; }
  // Personality parts (PhonePersonality.cpp).
  void Reset();
  std::string Frame(std::string text) const;  // line ends as this phone writes them
  std::string Unsolicited(std::initializer_list<const char*> lines) const;
  std::string Prompt() const;
  std::string CmsText(int code) const;
  bool KeepPduByte(char c);  // false: drops-fast lost it
  std::optional<bool> StateCommand(const Command& c);
  int SendRefusal(bool network) const;  // +CMS code refusing AT+CMGS/CMGW, or 0
  std::string SubmitReport() const;
  std::string MidSendIndications() const;
  std::string ToCharset(const std::string& latin1) const;
  // A message that asked for a report: the centre's report, routed, kept or
  // dropped as AT+CNMI's <ds> says.
  void StatusReport(const std::string& tpdu, int mr, std::vector<Event>& out);
  bool FromCharset(const std::string& text, std::string& latin1) const;
  std::string EntryLine(const char* prefix, int index, const PhonebookEntry& e) const;
  std::map<int, PhonebookEntry>& Book();
  int Capacity() const;

  PhoneOptions options_;
  bool echo_;
  bool verbose_ = true;
  bool quiet_ = false;
  int cmee_ = 1;
  int cmeeDefault_ = 1;
  bool simLocked_ = false;
  int sends_ = 0;
  int accepted_ = 0;  // messages taken (refuse-later, refuse-third)
  bool refusedThird_ = false;
  // The parts of long texts received so far, by recipient and reference:
  // each part's text by its number, and how many parts the text has.
  struct LongParts {
    int parts = 0;
    std::map<int, std::u32string> texts;
  };
  std::map<std::pair<std::string, int>, LongParts> longTexts_;
  // The whole text, once its last missing part arrived: the journal's
  // "concatenated" object ("reference", "parts", "text"), or empty.
  std::string Concatenated(const mp::pdu::SubmitPdu& pdu);
  int statusIndex_ = 0;
  bool stalePdu_ = false;  // pdu-entry: swallowing another program's PDU
  double nowMs_ = 0, promptMs_ = -1e9, drainMs_ = 0, bufferLevel_ = 0;
  int cmgf_ = 0;
  std::string charset_ = "IRA";
  std::string pbMemory_ = "ME";
  std::string centre_ = "+358405202000";
  int centreType_ = 145;
  int nextMr_ = 1;
  int cnmi_[5] = {0, 0, 0, 0, 0};    // AT+CNMI <mode>,<mt>,<bm>,<ds>,<bfr>
  bool readSr_ = false;              // AT+CPMS chose the status-report memory for reading
  std::map<int, StoredMessage> sr_;  // kept status reports (reports personality)
  std::map<int, PhonebookEntry> me_, sm_;
  std::map<int, StoredMessage> sms_;

  std::string line_;
  bool lineOverflow_ = false;
  const char* pduCommand_ = nullptr;  // "CMGS" or "CMGW" while a PDU is typed
  int pduLength_ = 0;
  int pduStat_ = 2;
  std::string pdu_;
};

}  // namespace phonesim
