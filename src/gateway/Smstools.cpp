#include "gateway/Smstools.h"

#include <QByteArray>

#include "pdu/PduDecoder.h"

namespace mp::gateway {

namespace {

std::string Hex2(int v) {
  static const char* digits = "0123456789ABCDEF";
  return {digits[(v >> 4) & 15], digits[v & 15]};
}

std::string SpacedHex(const std::vector<std::uint8_t>& octets) {
  std::string out;
  for (std::uint8_t o : octets) {
    if (!out.empty()) out += ' ';
    out += Hex2(o);
  }
  return out;
}

// The user data (header and all) as octets, and its header's length octet.
std::vector<std::uint8_t> UserDataOctets(const std::vector<std::uint8_t>& tpdu, const pdu::SubmitPdu& p,
                                         std::size_t* udStart) {
  // First octet, MR, DA length, type, digits, PID, DCS, VP, UDL.
  std::size_t at = 3 + 1 + static_cast<std::size_t>((p.daLength + 1) / 2) + 2;
  if (p.vpf == 2) at += 1;
  if (p.vpf == 1 || p.vpf == 3) at += 7;
  at += 1;  // TP-UDL
  *udStart = at;
  return std::vector<std::uint8_t>(tpdu.begin() + static_cast<std::ptrdiff_t>(std::min(at, tpdu.size())),
                                   tpdu.end());
}

SpoolFile HeaderForm(const std::string& tpdu) {
  SpoolFile f;
  const pdu::SubmitResult r = pdu::DecodeSubmit(tpdu);
  std::vector<std::uint8_t> octets;
  if (!r.ok || !pdu::HexToOctets(tpdu, octets)) {
    f.error = "the message does not decode: " + r.error;
    return f;
  }
  const pdu::SubmitPdu& p = r.pdu;
  // smsd writes TP-PID 00 (or 40 for its system messages) and a relative
  // validity period; other values cannot be expressed in this form.
  if (p.pid != 0) {
    f.error = "smsd's header form cannot set TP-PID " + Hex2(p.pid) + " (give the modem a text_is_pdu_key)";
    return f;
  }
  if (p.vpf != 2 && p.vpf != 0) {
    f.error = "smsd's header form has only a relative validity period (give the modem a text_is_pdu_key)";
    return f;
  }
  std::string to;
  if (p.daType == 145 && !p.da.empty() && p.da[0] == '+') {
    to = p.da.substr(1);
  } else if ((p.daType & 0x70) == 0x50) {
    f.error = "smsd cannot send to an alphanumeric address";
    return f;
  } else {
    to = p.da;
  }
  std::string head = "To: " + to + "\n";
  if (p.daType != 145) head += p.daType == 161 ? "To_TOA: National\n" : "To_TOA: Unknown\n";
  head += "Autosplit: 0\n";
  head += std::string("Report: ") + (p.srr ? "yes" : "no") + "\n";
  if (p.rp) head += "Reply_path: yes\n";
  if (p.rd) head += "Reject_duplicates: yes\n";
  if (p.vpRelative) head += "Validity: " + std::to_string(*p.vpRelative) + "\n";
  head += "DCS_hex: " + Hex2(p.dcs) + "\n";
  std::size_t udStart = 0;
  const std::vector<std::uint8_t> ud = UserDataOctets(octets, p, &udStart);
  std::string body;
  if (p.coding == "7bit") {
    // The septets as GSM characters in hex; smsd packs them after the header.
    int headerSeptets = 0;
    if (p.udhi && !ud.empty()) {
      const std::vector<std::uint8_t> udh(ud.begin(), ud.begin() + std::min<std::size_t>(ud.size(), ud[0] + 1u));
      head += "UDH-DATA: " + SpacedHex(udh) + "\n";
      headerSeptets = static_cast<int>((udh.size() * 8 + 6) / 7);
    }
    const std::vector<std::uint8_t> septets = pdu::UnpackSeptets(ud, headerSeptets, p.udl - headerSeptets);
    head += "Alphabet: GSM\nHex: yes\n";
    body = SpacedHex(septets);
  } else {
    // 8-bit and UCS-2 user data go out octet by octet, header included.
    head += "Alphabet: binary\nHex: yes\n";
    head += std::string("UDH: ") + (p.udhi ? "true" : "false") + "\n";
    body = SpacedHex(ud);
  }
  f.ok = true;
  f.text = head + "\n" + body + "\n";
  return f;
}

}  // namespace

SpoolFile MakeSpoolFile(const Config& config, const std::string& sca, const std::string& tpdu) {
  if (config.pduKey.empty()) return HeaderForm(tpdu);
  SpoolFile f;
  f.ok = true;
  // smsd writes the body after the prompt as it is: the centre address
  // first, as the phone link writes it.
  f.text = "To: " + config.pduKey + "\nText_is_pdu: yes\n\n" + sca + tpdu + "\n";
  return f;
}

}  // namespace mp::gateway
