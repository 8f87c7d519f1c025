#pragma once
// Decoder of SMS-SUBMIT TPDUs (3GPP TS 23.040, data coding of TS 23.038) as
// the simulated phone receives them after AT+CMGS / AT+CMGW in PDU mode. It
// reads the octets as a receiving network and phone would and shares no code
// with the application's encoders, so each checks the other.
//
// Typical use in a test:
//   auto r = mp::pdu::DecodeSubmit("31FF05912143F50000A905E8329BFD06");
//   ASSERT_TRUE(r.ok) << r.error;
//   EXPECT_EQ(r.pdu.da, "+12345");
//   EXPECT_EQ(r.pdu.TextUtf8(), "hello");
//   std::string json = mp::pdu::ToJson(r.pdu);  // the journal's "decoded" object
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mp::pdu {

// One information element of the user data header.
struct HeaderElement {
  int iei = 0;
  std::vector<std::uint8_t> data;
};

// A special SMS message indication (IEI 01): a waiting indicator change.
struct Indication {
  std::string kind;  // "voice", "fax", "email", "other"
  bool store = false;  // bit 7 of the type octet: the receiver keeps the message
  int count = 0;       // 0 switches the indicator off
};

// An operator logo (destination port 0x1582): network and OTA bitmap.
struct OperatorLogo {
  std::string mcc, mnc;
  int width = 0, height = 0, depth = 0;
  std::vector<std::string> rows;  // "#" dark, "." light
  std::string error;              // set when the bitmap is cut short or malformed
};

struct SubmitPdu {
  int firstOctet = 0;
  bool rd = false, srr = false, udhi = false, rp = false;
  int vpf = 0;  // 0 none, 1 enhanced, 2 relative, 3 absolute
  int mr = 0;
  int daLength = 0;        // TP-DA length field (semi-octets)
  int daType = 0;          // type of address octet (145, 129, 208, ...)
  std::string da;          // "+" and digits for international numbers; text of an alphanumeric address
  int pid = 0;
  int dcs = 0;
  int messageClass = -1;   // 0..3, -1 when none
  std::string coding;      // "7bit", "8bit" or "ucs2"
  bool compressed = false;
  std::optional<int> vpRelative;  // relative TP-VP
  std::string vpHex;              // enhanced or absolute TP-VP as hex text
  int udl = 0;
  std::vector<HeaderElement> udh;
  std::u32string text;                // user text after the header
  std::vector<std::uint8_t> userData;  // octets after the header (8-bit and 16-bit codings)
  std::vector<Indication> indications;
  std::optional<OperatorLogo> logo;
  std::vector<std::string> warnings;  // oddities that do not stop decoding (e.g. a DA fill nibble other than F)

  std::string TextUtf8() const;
  // Destination port of a 16-bit (IEI 05) or 8-bit (IEI 04) port element, or -1.
  int DestinationPort() const;
};

struct SubmitResult {
  bool ok = false;
  std::string error;  // why the TPDU does not decode
  SubmitPdu pdu;
};

// Decodes the hex text of a whole SMS-SUBMIT TPDU (first octet onward).
// Upper- or lower-case hex; the text must hold exactly the octets the fields
// announce.
SubmitResult DecodeSubmit(std::string_view tpduHex);

// The JSON object of a decoded PDU, keys in this order: srr, udhi, mr, da,
// da_type, pid, dcs, class, coding, vp, udl, udh, text, then when present
// data (8-bit user data as hex), indications, logo, warnings.
std::string ToJson(const SubmitPdu& pdu);

// The PDU line after the prompt: service centre address first (its first
// octet is its length in octets, "00" for the default centre), then the TPDU.
struct PduLine {
  bool ok = false;
  std::string error;
  std::string sca;     // hex text of the centre address, length octet included
  std::string centre;  // the centre's number when one is given ("+358...")
  std::string tpdu;    // hex text of the rest
};
PduLine SplitPduLine(std::string_view hex);

// GSM 7-bit default alphabet (with the extension table after 0x1B) to Unicode.
char32_t GsmToUnicode(std::uint8_t septet);
char32_t GsmExtensionToUnicode(std::uint8_t septet);  // 0 when not in the extension table
// Unpacks `count` septets starting at septet index `first` (LSB first).
std::vector<std::uint8_t> UnpackSeptets(const std::vector<std::uint8_t>& octets, int first, int count);
std::u32string GsmSeptetsToText(const std::vector<std::uint8_t>& septets);

// Hex text to octets; false on an odd length or a non-hex character.
bool HexToOctets(std::string_view hex, std::vector<std::uint8_t>& out);
std::string OctetsToHex(const std::vector<std::uint8_t>& octets);

}  // namespace mp::pdu
