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

namespace {

TransferReport MessageReport(const TransferSettings& settings, const std::string& tpdu, int status) {
  TransferReport report;
  report.command = settings.SaveMode ? "CMGW" : "CMGS";
  report.status = settings.SaveMode ? status : -1;
  report.sca = std::string(CentreToWrite(settings));
  report.tpdu = tpdu;
  return report;
}

}  // namespace

void PhoneLink::TransferMessage(const TransferSettings& settings, bool header,
                                std::string_view body, int status) {
  if (divert_ && divert_(settings, header, body, status)) return;
  const std::string tpdu = SubmitTpdu(settings, header, body);
  ReportScope scope(*this, MessageReport(settings, tpdu, status));
  if (!OpenPhone()) return;
  TransferDialogue(settings, tpdu, status, scope);
  ClosePhone();
}

void PhoneLink::TransferOnConnection(const TransferSettings& settings, bool header,
                                     std::string_view body, int status) {
  const std::string tpdu = SubmitTpdu(settings, header, body);
  ReportScope scope(*this, MessageReport(settings, tpdu, status));
  if (!IsOpen()) return;
  TransferDialogue(settings, tpdu, status, scope);
}

void PhoneLink::TransferDialogue(const TransferSettings& settings, const std::string& tpdu, int status,
                                 ReportScope& scope) {
  Status("Transferring message to ME...");
  scope.Started();

  TrafficLog_ += "<CMD>";
  PhoneBuffer_ = TransferCommand(settings, tpdu, status);
  WritePhone(PhoneBuffer_);
  if (!WaitForPhone("\r\n> ")) {
    PhoneFailed();
    return;
  }

  TrafficLog_ += "<PDU>";
  WritePhone(CentreToWrite(settings));
  WritePhone(tpdu);
  WritePhone("\x1A");
  if (!WaitForPhone("\r\n")) {
    PhoneFailed();
    return;
  }

  Status("Waiting for ME response...");
  TrafficLog_ += "<END>";
  if (!ReadPhoneLine(PhoneBuffer_, 32)) {
    PhoneFailed();
    return;
  }
  if (PhoneBuffer_.find("+CMG") != std::string::npos) {
    Status(settings.SaveMode ? "Message successfully saved in SM."
                                       : "Message successfully sent.");
    host_.Beep(BeepKind::Ok);
    scope.Succeeded();
  } else {
    Status("Failed, ME responded: " + WithMeaning(PhoneBuffer_));
    host_.Beep(BeepKind::Exclamation);
  }
}

}  // namespace mp
