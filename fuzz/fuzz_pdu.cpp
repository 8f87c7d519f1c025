// Arbitrary text as a PDU for the decoder and for what a receiving phone
// reads of it (the preview, the Sent messages window, the simulated phone's
// journal). The first byte picks how the rest is used: as hex text as it
// stands (what the phone line and the record hold), as octets turned into
// hex (so that the decoder sees well-formed hex of any content), or as a
// phonebook entry's name and number. The same hex is also read as a delivery
// report (alone and as a whole PDU line). Nothing may crash or read out of
// bounds, and a PDU that decodes must give the same reading twice.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "pdu/PduDecoder.h"
#include "pdu/Reading.h"
#include "pdu/StatusReport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const int mode = data[0] % 3;
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  if (mode == 2) {
    const std::size_t cut = rest.find(',');
    const std::string_view name = rest.substr(0, cut);
    const std::string_view number = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
    const mp::pdu::Reading r = mp::pdu::ReadPhonebookEntry(name, number);
    (void)mp::pdu::RenderText(r);
    return 0;
  }
  const std::string hex =
      mode == 0 ? std::string(rest) : mp::pdu::OctetsToHex(std::vector<std::uint8_t>(rest.begin(), rest.end()));
  const mp::pdu::SubmitResult decoded = mp::pdu::DecodeSubmit(hex);
  if (decoded.ok) (void)mp::pdu::ToJson(decoded.pdu);
  (void)mp::pdu::SplitPduLine(hex);
  const mp::pdu::Reading a = mp::pdu::ReadTpdu(hex);
  const std::string text = mp::pdu::RenderText(a);
  (void)mp::pdu::ChangedCharacters(U"abc\u20ac", a.Text());
  if (mp::pdu::RenderText(mp::pdu::ReadTpdu(hex)) != text) std::abort();
  for (const auto& r : {mp::pdu::DecodeStatusReport(hex), mp::pdu::DecodeStatusReportLine(hex)}) {
    if (!r.ok) continue;
    (void)mp::pdu::StatusMeaning(r.report.status);
    (void)r.report.sentAt.Iso();
    (void)r.report.doneAt.UtcSeconds();
  }
  return 0;
}
