// The SMS-SUBMIT around a message body.
#include "builders/Submit.h"

#include <cstdio>

namespace mp {

std::string SubmitTpdu(const TransferSettings& settings, bool header, std::string_view body) {
  // First octet: SMS-SUBMIT with a relative validity period, plus the status
  // report request and the user data header indicator; then TP-MR and TP-DA.
  int first = 0x11;
  if (settings.Reports) first += 0x20;
  if (header) first += 0x40;
  char octet[3];
  std::snprintf(octet, sizeof octet, "%02X", first);
  std::string tpdu = octet;
  tpdu += "FF";
  tpdu += settings.DestAddress;
  tpdu += body;
  return tpdu;
}

std::string TransferCommand(const TransferSettings& settings, std::string_view tpdu, int status) {
  // The announced length counts the TPDU's octets only, not the centre address.
  const int length = static_cast<int>(tpdu.size() / 2);
  return settings.SaveMode ? "AT+CMGW=" + std::to_string(length) + "," + std::to_string(status) + "\r"
                           : "AT+CMGS=" + std::to_string(length) + "\r";
}

std::string_view CentreToWrite(const TransferSettings& settings) {
  // In PDU mode the phone expects a service centre address before the TPDU;
  // when none was chosen the phone's default ("00") is meant.
  return settings.CentreAddress.empty() ? std::string_view("00") : std::string_view(settings.CentreAddress);
}

}  // namespace mp
