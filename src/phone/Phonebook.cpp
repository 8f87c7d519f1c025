// Phonebook dialogues: search the phone's phonebook by the beginning of a name
// (AT+CPBF) and write a new entry to the first free location of the phone's
// own memory (AT+CPBR probes up to the phone's last index, then AT+CPBW).
#include <vector>

#include "builders/Gsm.h"
#include "phone/PhoneLink.h"
#include "phone/ReplyMeaning.h"
#include "phone/ReportScope.h"

namespace mp {

namespace {

constexpr int kPhonebookLine = 80;
// How far the free-location probe goes when the phone does not tell its range.
constexpr unsigned kProbeLimit = 1000;

// The upper end of the index range in the answer to "AT+CPBR=?", for example
// 250 in "+CPBR: (1-250),40,64"; 0 when the line holds no range.
unsigned RangeEnd(const std::string& line) {
  if (line.rfind("+CPBR:", 0) != 0) return 0;
  size_t i = line.find('(');
  if (i == std::string::npos) return 0;
  auto number = [&](unsigned& value) {
    size_t digits = 0;
    value = 0;
    while (++i < line.size() && line[i] >= '0' && line[i] <= '9') {
      if (++digits > 9) return false;
      value = value * 10 + static_cast<unsigned>(line[i] - '0');
    }
    return digits > 0;
  };
  unsigned first = 0, last = 0;
  if (!number(first)) return 0;
  if (i < line.size() && line[i] == ')') return first;  // one location only
  if (i >= line.size() || line[i] != '-' || !number(last)) return 0;
  if (i >= line.size() || line[i] != ')') return 0;
  return last;
}

// The fields of a reply line split at double quotes; a run of quotes is one
// separator and leading quotes are ignored, so no field is ever empty.
std::vector<std::string> SplitAtQuotes(const std::string& line) {
  std::vector<std::string> fields;
  std::string field;
  for (char c : line) {
    if (c == '"') {
      if (!field.empty()) fields.push_back(std::move(field));
      field.clear();
    } else {
      field += c;
    }
  }
  if (!field.empty()) fields.push_back(std::move(field));
  return fields;
}

}  // namespace

std::string PhonebookSearchCommand(std::string_view name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string cmd = "AT+CSCS=\"8859-1\";+CPBF=\"";
  for (char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\' || c < 0x20 || c == 0x7F) {
      cmd += '\\';
      cmd += kHex[c >> 4];
      cmd += kHex[c & 15];
    } else {
      cmd += ch;
    }
  }
  cmd += "\"\r";
  return cmd;
}

bool PhoneLink::FindPhonebookEntry(std::string& name, std::string& address) {
  result_ = {};
  if (!OpenPhone()) return false;
  // A phonebook search may take several tens of seconds.
  PortTimeouts_.ReadIntervalTimeout = 0;
  PortTimeouts_.ReadTotalTimeoutConstant = timings_.Search;
  port_->SetTimeouts(PortTimeouts_);
  Status("Searching phonebook memory...");

  // The first "+CPBF:" line is the answer; lines of any other kind that come
  // first (a network registration report, a call) are not.
  PhoneBuffer_ = PhonebookSearchCommand(name);
  WritePhone(PhoneBuffer_);
  Expect e;
  e.infoPrefix = "+CPBF";
  e.echo = PhoneBuffer_;
  e.firstInfo = true;
  e.silenceMs = timings_.Search;
  e.boundMs = timings_.Search * static_cast<std::uint32_t>(std::max(1, timings_.WaitBoundFactor));
  const Answer a = ReadAnswer(e);
  if (a.end != WaitEnd::Done) return LinkFailed(a.end, "searching the phonebook");
  // Nothing found: "OK" with no entry, or "+CME ERROR: 22" (not found).
  if (a.info.empty() && a.final &&
      (a.final->IsOk() || (a.final->kind == FinalResult::Kind::CmeError && a.final->code == 22) ||
       a.final->text.find("not found") != std::string::npos)) {
    PhoneBuffer_ = a.final->text;
    ClosePhone();
    SetResult(Outcome::Refused, Cause::ErrorResult, a.final);
    Status("Cannot find matching entry.");
    host_.Beep(BeepKind::Exclamation);
    return false;
  }
  if (a.info.empty()) {
    PhoneBuffer_ = a.final ? a.final->text : std::string();
    SetResult(Outcome::Refused, Cause::ErrorResult, a.final);
    Status("Communications with ME failed. " + PortLabel() + ": the phone answered " +
           WithMeaning(PhoneBuffer_) + " to the search.");
    host_.Beep(BeepKind::Asterisk);
    ClosePhone();
    return false;
  }
  PhoneBuffer_ = a.info.front();
  ClosePhone();  // the rest of the reply is not needed

  // Fields: result name with index, number, type of number, text.
  const std::vector<std::string> fields = SplitAtQuotes(PhoneBuffer_);
  std::string encoded;
  if (fields.size() < 4 || EncodeNumber(encoded, fields[1], FormatDestination) == 0) {
    SetResult(Outcome::Refused, Cause::ErrorResult);
    Status("Communications with ME failed. " + PortLabel() + ": the phone's entry cannot be read: " +
           PhoneBuffer_);
    host_.Beep(BeepKind::Asterisk);
    return false;
  }
  address = encoded;
  name = fields[3];
  SetResult(Outcome::Confirmed, Cause::None);
  Status("Found: " + name + ", " + fields[1]);
  host_.Beep(BeepKind::Ok);
  return true;
}

bool PhoneLink::WritePhonebookEntry(const std::string& hexName, const std::string& number,
                                    int type) {
  TransferReport report;
  report.command = "CPBW";
  report.number = number;
  report.numberType = type;
  report.nameHex = hexName;
  ReportScope scope(*this, std::move(report));
  if (!OpenPhone()) return false;
  Status("Saving entry to ME memory...");
  scope.Started();
  const std::uint32_t phase = timings_.Connection;
  // Each command's answer is read to its final result before the next one
  // goes out; a command left unanswered ends the dialogue, so that no late
  // answer is ever taken for the next command's.
  const std::string select = "AT+CSCS=\"HEX\";+CPBS=\"ME\"\r";
  Answer a = Ask(select, {}, phase);
  if (a.end != WaitEnd::Done) return LinkFailed(a.end, "choosing the phone's phonebook");
  if (!a.final->IsOk()) return EntryRefused(*a.final);

  // How far to probe: the phone's own range when it reports one, at most
  // kProbeLimit locations in any case.
  unsigned last = kProbeLimit;
  a = Ask("AT+CPBR=?\r", "+CPBR", phase);
  if (a.end != WaitEnd::Done) return LinkFailed(a.end, "asking for the phonebook's size");
  for (const std::string& line : a.info)
    if (const unsigned end = RangeEnd(line)) last = std::min(end, kProbeLimit);

  // The first free location, probed one by one from 1 upward. A location is
  // free only when the phone says so: OK without an entry, or
  // "+CME ERROR: 22" (not found).
  unsigned location = 1;
  for (;; ++location) {
    if (location > last) {
      SetResult(Outcome::Refused, Cause::PhonebookFull);
      Status("Failed, ME phonebook is full.");
      host_.Beep(BeepKind::Asterisk);
      ClosePhone();
      return false;
    }
    PhoneBuffer_ = "AT+CPBR=" + std::to_string(location) + "\r";
    a = Ask(PhoneBuffer_, "+CPBR", phase);
    if (a.end != WaitEnd::Done)
      return LinkFailed(a.end, "reading phonebook location " + std::to_string(location));
    bool taken = false;
    for (const std::string& line : a.info) taken = taken || PhonebookEntryIndex(line).has_value();
    if (a.final->IsOk()) {
      if (!taken) break;
      continue;
    }
    if (!taken && a.final->kind == FinalResult::Kind::CmeError &&
        (a.final->code == 22 || a.final->text.find("not found") != std::string::npos))
      break;
    return EntryRefused(*a.final);
  }

  // Formatted whole: a long hex name makes this command longer than a line.
  PhoneBuffer_ = "AT+CPBW=" + std::to_string(location) + ",\"" + number + "\"," +
                 std::to_string(static_cast<unsigned>(type)) + ",\"" + hexName + "\"\r";
  const bool wrote = WritePhone(PhoneBuffer_) == static_cast<int>(PhoneBuffer_.size());
  Expect e;
  e.echo = PhoneBuffer_;
  e.silenceMs = phase;
  e.boundMs = phase * static_cast<std::uint32_t>(std::max(1, timings_.WaitBoundFactor));
  a = wrote ? ReadAnswer(e) : Answer{};
  if (!wrote) return LinkFailed(cancelled_ ? WaitEnd::Cancelled : WaitEnd::Broken, "writing the entry");
  if (a.end != WaitEnd::Done) return EntryUnconfirmed(a.end, location);
  if (!a.final->IsOk()) return EntryRefused(*a.final);
  SetResult(Outcome::Confirmed, Cause::None, a.final);
  Status("Entry successfully saved in ME memory location " +
                   std::to_string(location) + ".");
  host_.Beep(BeepKind::Ok);
  ClosePhone();
  return true;
}

bool PhoneLink::EntryRefused(const FinalResult& final) {
  PhoneBuffer_ = final.text;
  SetResult(Outcome::Refused, Cause::ErrorResult, final);
  Status("Failed, ME responded: " + WithMeaning(final.text) + ". Nothing was written from " +
         PortLabel() + ".");
  host_.Beep(BeepKind::Asterisk);
  ClosePhone();
  return false;
}

bool PhoneLink::EntryUnconfirmed(WaitEnd end, unsigned location) {
  SetResult(Outcome::Unconfirmed, end == WaitEnd::Broken      ? Cause::LineBroken
                                  : end == WaitEnd::Cancelled ? Cause::Cancelled
                                                              : Cause::Silence);
  Status("The phone did not confirm the entry; it may have been saved in ME memory location " +
         std::to_string(location) + ". " + PortLabel() + ": " +
         (end == WaitEnd::Broken      ? "the line broke."
          : end == WaitEnd::Cancelled ? "cancelled after the entry went out."
                                      : "no answer."));
  host_.Beep(BeepKind::Exclamation);
  ClosePhone();
  return false;
}

}  // namespace mp
