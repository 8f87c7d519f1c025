// Phonebook dialogues: search the phone's phonebook by the beginning of a name
// (AT+CPBF) and write a new entry to the first free location of the phone's
// own memory (AT+CPBR probes, then AT+CPBW).
#include <vector>

#include "builders/Gsm.h"
#include "phone/PhoneLink.h"
#include "phone/ReportScope.h"

namespace mp {

namespace {

constexpr int kPhonebookLine = 80;

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
  host_.ShowStatus("Searching phonebook memory...");

  PhoneBuffer_ = PhonebookSearchCommand(name);
  WritePhone(PhoneBuffer_);
  if (!WaitForPhone("\r\n") || !ReadPhoneLine(PhoneBuffer_, kPhonebookLine))
    return PhoneFailed();
  ClosePhone();  // the rest of the reply is not needed

  // Fields: result name with index, number, type of number, text.
  const std::vector<std::string> fields = SplitAtQuotes(PhoneBuffer_);
  if (fields.empty()) {
    host_.ShowStatus("Cannot find matching entry.");
    host_.Beep(BeepKind::Exclamation);
    return false;
  }
  std::string encoded;
  if (fields.size() < 2 || EncodeNumber(encoded, fields[1], FormatDestination) == 0)
    return PhoneFailed();
  if (fields.size() < 4) return PhoneFailed();
  address = encoded;
  name = fields[3];
  host_.ShowStatus("Found: " + name + ", " + fields[1]);
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
  host_.ShowStatus("Saving entry to ME memory...");
  scope.Started();
  WritePhone("AT+CSCS=\"HEX\";+CPBS=\"ME\"\r");
  if (!WaitForPhone("OK\r\n")) return PhoneFailed();

  // The first free location, probed one by one from 1 upward.
  unsigned location = 1;
  for (;; ++location) {
    WritePhone("AT+CPBR=" + std::to_string(location) + "\r");
    if (!WaitForPhone("\r\n") || !ReadPhoneLine(PhoneBuffer_, kPhonebookLine))
      return PhoneFailed();
    // A phone that answers an empty location with no entry line at all gives
    // its final "OK" as the line: that location is free, and no second "OK"
    // will follow.
    if (PhoneBuffer_ == "OK") break;
    if (!WaitForPhone("OK\r\n")) {
      host_.ShowStatus("Failed, ME responded: " + PhoneBuffer_);
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
  host_.ShowStatus("Entry successfully saved in ME memory location " +
                   std::to_string(location) + ".");
  host_.Beep(BeepKind::Ok);
  scope.Succeeded();
  ClosePhone();
  return true;
}

}  // namespace mp
