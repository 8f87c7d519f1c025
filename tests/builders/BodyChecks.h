#pragma once
// Checks that hold for every message body: upper-case hex of whole octets, no
// placeholder left, at most 288 characters, and a TP-UDL that matches the
// user data that follows it.
#include <gtest/gtest.h>

#include <string>

namespace bodycheck {

inline bool IsUpperHex(const std::string& s) {
  for (char c : s)
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  return true;
}

inline int Octet(const std::string& hex, std::size_t index) { return std::stoi(hex.substr(2 * index, 2), nullptr, 16); }

// TP-DCS of the GSM default alphabet (coding groups 00xx and 1111 with bit 2 clear).
inline bool SevenBit(int dcs) {
  if ((dcs & 0xF0) == 0xF0) return (dcs & 0x04) == 0;
  if ((dcs & 0xC0) == 0x00) return (dcs & 0x0C) == 0x00;
  return false;
}

inline ::testing::AssertionResult WellFormed(const std::string& hex) {
  if (hex.size() % 2 != 0) return ::testing::AssertionFailure() << "odd length " << hex.size();
  if (hex.size() > 288) return ::testing::AssertionFailure() << "longer than 288: " << hex.size();
  if (hex.size() < 8) return ::testing::AssertionFailure() << "no TP-UDL";
  if (!IsUpperHex(hex)) return ::testing::AssertionFailure() << "not upper-case hex: " << hex;
  const int udl = Octet(hex, 3);
  const int udOctets = static_cast<int>(hex.size() / 2) - 4;
  const int expected = SevenBit(Octet(hex, 1)) ? (7 * udl + 7) / 8 : udl;
  if (udOctets != expected)
    return ::testing::AssertionFailure() << "TP-UDL " << udl << " but " << udOctets << " octets of user data";
  return ::testing::AssertionSuccess();
}

}  // namespace bodycheck
