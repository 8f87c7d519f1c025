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

// A final result code: nothing more follows it.
bool IsFinalResult(const std::string& line) {
  return line == "OK" || line == "ERROR" || line.rfind("+CME ERROR", 0) == 0 ||
         line.rfind("+CMS ERROR", 0) == 0;
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
  if (!OpenPhone()) return false;
  // A phonebook search may take several tens of seconds.
  PortTimeouts_.ReadIntervalTimeout = 0;
  PortTimeouts_.ReadTotalTimeoutConstant = timings_.Search;
  port_->SetTimeouts(PortTimeouts_);
  Status("Searching phonebook memory...");

  PhoneBuffer_ = PhonebookSearchCommand(name);
  WritePhone(PhoneBuffer_);
  if (!WaitForPhone("\r\n") || !ReadPhoneLine(PhoneBuffer_, kPhonebookLine))
    return PhoneFailed();
  ClosePhone();  // the rest of the reply is not needed

  // Fields: result name with index, number, type of number, text.
  const std::vector<std::string> fields = SplitAtQuotes(PhoneBuffer_);
  if (fields.empty()) {
    Status("Cannot find matching entry.");
    host_.Beep(BeepKind::Exclamation);
    return false;
  }
  std::string encoded;
  if (fields.size() < 2 || EncodeNumber(encoded, fields[1], FormatDestination) == 0)
    return PhoneFailed();
  if (fields.size() < 4) return PhoneFailed();
  address = encoded;
  name = fields[3];
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
  WritePhone("AT+CSCS=\"HEX\";+CPBS=\"ME\"\r");
  if (!WaitForPhone("OK\r\n")) return PhoneFailed();

  // How far to probe: the phone's own range when it reports one. Any answer
  // with information text has its final "OK" read before the probe starts.
  unsigned last = kProbeLimit;
  WritePhone("AT+CPBR=?\r");
  if (WaitForPhone("\r\n") && ReadPhoneLine(PhoneBuffer_, kPhonebookLine) &&
      !IsFinalResult(PhoneBuffer_) && WaitForPhone("OK\r\n")) {
    if (const unsigned end = RangeEnd(PhoneBuffer_)) last = end;
  }
  if (cancelled_) return PhoneFailed();

  // The first free location, probed one by one from 1 upward.
  unsigned location = 1;
  for (;; ++location) {
    if (location > last) {
      Status("Failed, ME phonebook is full.");
      host_.Beep(BeepKind::Asterisk);
      ClosePhone();
      return false;
    }
    WritePhone("AT+CPBR=" + std::to_string(location) + "\r");
    if (!WaitForPhone("\r\n") || !ReadPhoneLine(PhoneBuffer_, kPhonebookLine))
      return PhoneFailed();
    // A phone that answers an empty location with no entry line at all gives
    // its final "OK" as the line: that location is free, and no second "OK"
    // will follow.
    if (PhoneBuffer_ == "OK") break;
    if (!WaitForPhone("OK\r\n")) {
      if (cancelled_) return PhoneFailed();
      Status("Failed, ME responded: " + WithMeaning(PhoneBuffer_));
      host_.Beep(BeepKind::Asterisk);
      ClosePhone();
      return false;
    }
    if (PhoneBuffer_.find("+CPBR") == std::string::npos) break;
  }

  // Formatted whole: a long hex name makes this command longer than a line.
  PhoneBuffer_ = "AT+CPBW=" + std::to_string(location) + ",\"" + number + "\"," +
                 std::to_string(static_cast<unsigned>(type)) + ",\"" + hexName + "\"\r";
  WritePhone(PhoneBuffer_);
  if (!WaitForPhone("OK\r\n")) return PhoneFailed();
  Status("Entry successfully saved in ME memory location " +
                   std::to_string(location) + ".");
  host_.Beep(BeepKind::Ok);
  scope.Succeeded();
  ClosePhone();
  return true;
}

}  // namespace mp
