#include "gateway/Kannel.h"

#include "pdu/PduDecoder.h"

namespace mp::gateway {

namespace {

std::string Utf8(const std::u32string& text) {
  std::string out;
  for (char32_t c : text) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// Relative TP-VP to minutes (TS 23.040 9.2.3.12.1).
int VpMinutes(int vp) {
  if (vp <= 143) return (vp + 1) * 5;
  if (vp <= 167) return 720 + (vp - 143) * 30;
  if (vp <= 196) return (vp - 166) * 1440;
  return (vp - 192) * 10080;
}

}  // namespace

int KannelDcs(int coding, int mclass, int mwi, bool altDcs, bool emptyText) {
  if (mwi >= 0) {
    // Message waiting groups: the indicator type and sense, discard (7-bit,
    // no text) or store (7-bit) or store with UCS-2.
    int dcs = mwi & 3;
    if (mwi < 4) dcs |= 0x08;
    if (coding == 2) return dcs | 0xE0;
    return dcs | (emptyText ? 0xC0 : 0xD0);
  }
  // Without a class the F0 group gets class 1.
  if (altDcs) return 0xF0 | (coding == 1 ? 0x04 : 0) | (mclass >= 0 ? mclass : 1);
  if (mclass < 0 && coding == 0) return 0x00;
  return (mclass >= 0 ? 0x10 | mclass : 0) | (coding << 2);
}

SendsmsQuery MapToSendsms(const Config& config, const std::string& tpdu) {
  SendsmsQuery q;
  const pdu::SubmitResult r = pdu::DecodeSubmit(tpdu);
  if (!r.ok) {
    q.error = "the message does not decode: " + r.error;
    return q;
  }
  const pdu::SubmitPdu& p = r.pdu;
  if (p.rd) {
    q.error = "Kannel cannot set TP-RD (reject duplicates)";
    return q;
  }
  if (p.vpf == 1 || p.vpf == 3) {
    q.error = "Kannel writes only a relative validity period";
    return q;
  }
  if (p.compressed) {
    q.error = "Kannel cannot carry compressed text";
    return q;
  }
  if ((p.daType & 0x70) == 0x50) {
    q.error = "Kannel cannot send to an alphanumeric address";
    return q;
  }
  const int coding = p.coding == "7bit" ? 0 : p.coding == "8bit" ? 1 : 2;
  const bool empty = p.text.empty() && p.userData.empty();
  // The parameters that make Kannel write this DCS, simplest first.
  int mclass = -2, mwi = -1;
  bool alt = false;
  for (int tryMwi = -1; tryMwi < 8 && mclass == -2; ++tryMwi)
    for (int tryAlt = 0; tryAlt < 2 && mclass == -2; ++tryAlt)
      for (int tryClass : {0, 1, 2, 3, -1})  // an explicit class where one fits
        if (KannelDcs(coding, tryClass, tryMwi, tryAlt == 1, empty) == p.dcs) {
          mclass = tryClass;
          mwi = tryMwi;
          alt = tryAlt == 1;
          break;
        }
  if (mclass == -2) {
    char dcs[3];
    std::snprintf(dcs, sizeof dcs, "%02X", p.dcs);
    q.error = std::string("Kannel cannot write the data coding scheme ") + dcs;
    return q;
  }
  auto add = [&q](const char* name, std::string value) { q.params.emplace_back(name, std::move(value)); };
  if (!config.user.empty()) add("username", config.user);
  if (!config.password.empty()) add("password", config.password);
  if (!config.smscId.empty()) add("smsc", config.smscId);
  // Kannel takes a leading "+" as international (type 145).
  add("to", p.da);
  // The user data header as raw octets, its length octet included.
  std::vector<std::uint8_t> udh;
  if (p.udhi) {
    std::vector<std::uint8_t> body;
    for (const pdu::HeaderElement& e : p.udh) {
      body.push_back(static_cast<std::uint8_t>(e.iei));
      body.push_back(static_cast<std::uint8_t>(e.data.size()));
      body.insert(body.end(), e.data.begin(), e.data.end());
    }
    udh.push_back(static_cast<std::uint8_t>(body.size()));
    udh.insert(udh.end(), body.begin(), body.end());
    add("udh", std::string(udh.begin(), udh.end()));
  }
  if (coding == 0) {
    // GSM text as UTF-8: Kannel maps it back onto the default alphabet (and
    // its extension table) itself.
    add("text", Utf8(p.text));
    add("charset", "UTF-8");
  } else {
    // 8-bit data and UCS-2 text as the octets themselves, so that no
    // character set conversion can touch them.
    add("text", std::string(p.userData.begin(), p.userData.end()));
  }
  add("coding", std::to_string(coding));
  if (mclass >= 0) add("mclass", std::to_string(mclass));
  if (mwi >= 0) add("mwi", std::to_string(mwi));
  add("alt-dcs", alt ? "1" : "0");
  if (p.pid != 0) add("pid", std::to_string(p.pid));
  if (p.rp) add("rpi", "1");
  if (p.vpRelative) add("validity", std::to_string(VpMinutes(*p.vpRelative)));
  // Kannel asks the network for a status report (TP-SRR) when the mask holds
  // delivered or undelivered; 8 and 16 are its own "sent" and "refused".
  q.reportRequested = p.srr;
  add("dlr-mask", p.srr ? "31" : "24");
  q.ok = true;
  return q;
}

}  // namespace mp::gateway
