#pragma once
// What the numbered error results of a phone mean: "+CMS ERROR: <n>" (message
// service, 3GPP TS 27.005 with the network causes of TS 24.011 and the TP
// failure causes of TS 23.040) and "+CME ERROR: <n>" (equipment, TS 27.007).
#include <string>
#include <string_view>

namespace mp {

// The meaning of the error result in `line` ("unknown error" for
// "+CMS ERROR: 500"); empty for any other line or a code without one.
std::string ReplyMeaning(std::string_view line);

// `line`, followed by its meaning in brackets when it has one:
// "+CME ERROR: 21 (invalid index)".
std::string WithMeaning(std::string_view line);

}  // namespace mp
