#pragma once
// The whole SMS-SUBMIT: the transfer settings chosen in the Send/Save dialog
// (or on the command line) around a message body. Every octet of a message is
// made in this folder; the phone link only writes what it is given.
#include <string>
#include <string_view>

namespace mp {

// Values the Send/Save dialog leaves for the transfer.
struct TransferSettings {
  std::string DestAddress;    // TP-DA hex text
  bool SaveMode = false;      // AT+CMGW instead of AT+CMGS
  std::string CentreAddress;  // "00", a FormatCentre address, or empty
  bool Reports = true;        // TP-SRR
};

// The TPDU for a message body: first octet (SMS-SUBMIT, relative validity
// period, TP-SRR from the settings, TP-UDHI from `header`), TP-MR "FF" for
// the phone to fill in, TP-DA, then the body.
std::string SubmitTpdu(const TransferSettings& settings, bool header, std::string_view body);
// The command that announces it: "AT+CMGS=n\r" or "AT+CMGW=n,status\r", n the
// TPDU's octets (the centre address is not counted).
std::string TransferCommand(const TransferSettings& settings, std::string_view tpdu, int status);
// The service centre address written before the TPDU: the chosen one, or
// "00" (the phone's own) when none was chosen.
std::string_view CentreToWrite(const TransferSettings& settings);

}  // namespace mp
