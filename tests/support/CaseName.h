#pragma once
// Names for the cases of a parameterised test, so that a failing case names
// itself ("ring_during_send") instead of a dump of its bytes:
//
//   INSTANTIATE_TEST_SUITE_P(Phases, CancelIn, ::testing::Values(...),
//                            mp::test::NamedBy(&CancelCase::what));
#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace mp::test {

// `words` as a test name: letters and digits kept, every run of anything
// else one "_" ("+CME ERROR: 22" -> "CME_ERROR_22").
inline std::string CaseName(std::string_view words) {
  std::string out;
  for (char c : words) {
    const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (keep) {
      out += c;
    } else if (!out.empty() && out.back() != '_') {
      out += '_';
    }
  }
  while (!out.empty() && out.back() == '_') out.pop_back();
  return out.empty() ? "empty" : out;
}

// Bytes of a phone line spelled for a name: CR and LF by name, letters and
// digits as they are ("\r\n> " -> "CR_LF"); "nothing" for none.
inline std::string Spelled(std::string_view bytes) {
  std::string words;
  for (char c : bytes) {
    if (c == '\r') {
      words += " CR ";
    } else if (c == '\n') {
      words += " LF ";
    } else {
      words += c;
    }
  }
  return bytes.empty() ? "nothing" : CaseName(words);
}

// A name generator that names each case by one of its text fields.
template <class Case, class Field>
auto NamedBy(Field Case::*field) {
  return [field](const ::testing::TestParamInfo<Case>& info) { return CaseName(info.param.*field); };
}

}  // namespace mp::test
