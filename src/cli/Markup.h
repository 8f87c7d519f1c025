#pragma once
// The blink markup of the command line: "{blink}" starts a blinking part,
// "{/blink}" ends it, "{{" stands for one "{". A lone "}" is an ordinary
// character. Anything else after "{" is an error, as are a part left open,
// nested parts and an end without a start.
#include <QString>
#include <string>
#include <vector>

#include "builders/Messages.h"

namespace mp::cli {

struct MarkupResult {
  std::vector<MarkedRun> runs;
  std::string error;  // empty when the text was well formed
};

MarkupResult ParseBlinkMarkup(const QString& text);

// Plain text (no markup) as one run that does not blink.
std::vector<MarkedRun> PlainRuns(const QString& text);

}  // namespace mp::cli
