// Message transfer: wraps a message body into an SMS-SUBMIT PDU and stores it
// in the SIM (AT+CMGW) or sends it (AT+CMGS) in PDU mode.
#include <cstdio>

#include "phone/PhoneLink.h"
#include "phone/ReplyMeaning.h"
#include "phone/ReportScope.h"

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

void PhoneLink::TransferMessage(const TransferSettings& settings, bool header,
                                std::string_view body, int status) {
  const std::string tpdu = SubmitTpdu(settings, header, body);
  TransferReport report;
  report.command = settings.SaveMode ? "CMGW" : "CMGS";
  report.status = settings.SaveMode ? status : -1;
  // In PDU mode the phone expects a service centre address before the TPDU;
  // when none was chosen the phone's default ("00") is meant.
  report.sca = settings.CentreAddress.empty() ? "00" : settings.CentreAddress;
  report.tpdu = tpdu;
  ReportScope scope(*this, std::move(report));

  if (!OpenPhone()) return;
  host_.ShowStatus("Transferring message to ME...");
  scope.Started();

  // The announced length counts the TPDU's octets only, not the centre address.
  const int length = static_cast<int>(tpdu.size() / 2);
  TrafficLog_ += "<CMD>";
  PhoneBuffer_ = settings.SaveMode
                     ? "AT+CMGW=" + std::to_string(length) + "," + std::to_string(status) + "\r"
                     : "AT+CMGS=" + std::to_string(length) + "\r";
  WritePhone(PhoneBuffer_);
  if (!WaitForPhone("\r\n> ")) {
    PhoneFailed();
    return;
  }

  TrafficLog_ += "<PDU>";
  WritePhone(settings.CentreAddress.empty() ? std::string_view("00")
                                            : std::string_view(settings.CentreAddress));
  WritePhone(tpdu);
  WritePhone("\x1A");
  if (!WaitForPhone("\r\n")) {
    PhoneFailed();
    return;
  }

  host_.ShowStatus("Waiting for ME response...");
  TrafficLog_ += "<END>";
  if (!ReadPhoneLine(PhoneBuffer_, 32)) {
    PhoneFailed();
    return;
  }
  if (PhoneBuffer_.find("+CMG") != std::string::npos) {
    host_.ShowStatus(settings.SaveMode ? "Message successfully saved in SM."
                                       : "Message successfully sent.");
    host_.Beep(BeepKind::Ok);
    scope.Succeeded();
  } else {
    host_.ShowStatus("Failed, ME responded: " + WithMeaning(PhoneBuffer_));
    host_.Beep(BeepKind::Exclamation);
  }
  ClosePhone();
}

}  // namespace mp
