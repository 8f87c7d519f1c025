// Meanings of the phone's numbered error results.
#include <gtest/gtest.h>

#include "phone/ReplyMeaning.h"

namespace mp {
namespace {

TEST(ReplyMeaning, CommonCodesOfBothKindsAndLinesWithoutOne) {
  struct {
    const char* line;
    const char* text;
  } cases[] = {
      {"+CMS ERROR: 500", "+CMS ERROR: 500 (unknown error)"},
      {"+CMS ERROR: 304", "+CMS ERROR: 304 (invalid PDU mode parameter)"},
      {"+CMS ERROR: 322", "+CMS ERROR: 322 (memory full)"},
      {"+CMS ERROR: 38", "+CMS ERROR: 38 (network out of order)"},
      {"+CMS ERROR: 0", "+CMS ERROR: 0"},  // no meaning: the line alone
      {"+CMS ERROR:330", "+CMS ERROR:330 (SMSC address unknown)"},
      {"+CME ERROR: 21", "+CME ERROR: 21 (invalid index)"},
      {"+CME ERROR: 0", "+CME ERROR: 0 (phone failure)"},
      {"+CME ERROR: 100", "+CME ERROR: 100 (unknown error)"},
      {"+CME ERROR: 500", "+CME ERROR: 500"},  // a CMS code in a CME result
      {"+CME ERROR: invalid index", "+CME ERROR: invalid index"},
      {"+CME ERROR: 21x", "+CME ERROR: 21x"},
      {"ERROR", "ERROR"},
      {"", ""},
      {"+CMGS: 5", "+CMGS: 5"},
  };
  for (const auto& c : cases) EXPECT_EQ(WithMeaning(c.line), c.text) << c.line;
}

}  // namespace
}  // namespace mp
