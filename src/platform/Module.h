#pragma once
// The program's own modules: parts that need a large library (Qt Network,
// Qt SQL) and are loaded when first used, so that nothing else pays for that
// library. A module is looked for, in order:
//   beside the program (the build tree's src/),
//   in the build tree's src/ seen from tests/ and bench/,
//   in ../lib/mirapost/modules (installed).
// Only those folders are searched: each belongs to the program.
#include <string>

namespace mp {

// Loads `file` once (it stays loaded until the program ends) and gives its
// function `entry`; nullptr, with a sentence in *error naming `what` ("the
// network module") and the file, when it is missing or broken.
void* ModuleEntry(const std::string& file, const char* entry, const std::string& what, std::string* error);

}  // namespace mp
