#pragma once
// Delivery reports on the phone's side: how to ask a phone to keep the
// reports it gets (AT+CNMI's <ds> = 2) without changing its other settings,
// and how to read the lines that announce a report.
#include <optional>
#include <string>
#include <string_view>

namespace mp {

// From the answers to "AT+CNMI?" ("+CNMI: 2,1,0,1,0") and "AT+CNMI=?"
// ("+CNMI: (0-2),(0-3),(0,2),(0-2),(0,1)"): the command that sets <ds> to 2
// and leaves every other value as the phone has it ("AT+CNMI=2,1,0,2,0\r";
// a value the phone did not tell is left empty, which keeps it). Nothing
// when <ds> is 2 already, when 2 is not offered, or when an answer cannot
// be read.
std::optional<std::string> KeepReportsCommand(std::string_view now, std::string_view offered);

// "+CSMS: 1,1,1,1" -> 1: the phone's message service (1: routed reports
// must be acknowledged with AT+CNMA); nothing when unreadable.
std::optional<int> SmsService(std::string_view csmsLine);

// "+CDSI: \"SR\",3" -> memory "SR", index 3.
bool ParseKeptReport(std::string_view line, std::string& memory, int& index);

}  // namespace mp
