#pragma once
// The program's own modules: parts that need a large library (Qt Network,
// Qt SQL) and are loaded when first used, so that nothing else pays for that
// library. A module comes from one folder only, the program's own:
//   - installed: PREFIX/lib/mirapost/modules beside PREFIX/bin;
//   - run from its build tree (the program's file lies in the build folder
//     whose path the build compiled in): that tree's src/, where the build
//     writes the modules.
// Never from the program's own folder, the current folder or ../src/ of an
// installed program: anyone who can write there could have code run as the
// user (or as root). A module file, or its folder, that another user could
// have written or linked is refused with the reason.
#include <string>

namespace mp {

// Loads `file` once (it stays loaded until the program ends) and gives its
// function `entry`; nullptr, with a sentence in *error naming `what` ("the
// network module") and the file, when it is missing, broken or not to be
// trusted.
void* ModuleEntry(const std::string& file, const char* entry, const std::string& what, std::string* error);

// The build tree the running program lies in (canonical), "" for an
// installed program: what decides where its modules and helper programs
// come from.
std::string ProgramBuildTree();

// The folder modules are taken from for a program at `programFile` (its
// canonical path): the build tree's module folder when the program lies in
// that tree, else ../lib/mirapost/modules beside the program's folder.
std::string ModuleFolder(const std::string& programFile);

}  // namespace mp
