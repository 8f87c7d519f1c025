// Where a program takes its modules from: its build tree's own folder when
// it lies in that tree, else the installed module folder beside its bin/;
// never a folder that merely shares the tree's name.
#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>

#include <string>

#include "platform/Module.h"

namespace {

TEST(ModuleFolder, InstalledOrTheBuildTreesOwn) {
  char resolved[PATH_MAX];
  ASSERT_NE(::realpath(MP_BINARY_DIR, resolved), nullptr);
  const std::string tree = resolved;
  struct Case {
    std::string program;
    std::string folder;
  };
  for (const Case& c : {
           Case{"/usr/bin/mirapost-send", "/usr/lib/mirapost/modules"},
           Case{"/opt/mp/bin/mirapost", "/opt/mp/lib/mirapost/modules"},
           Case{tree + "/src/mirapost-send", tree + "/src"},
           Case{tree + "/tests/test_record", tree + "/src"},
           // A folder beside the tree whose name begins like it is not the tree.
           Case{tree + "-asan/bin/mirapost-send", tree + "-asan/lib/mirapost/modules"},
           Case{tree + "x/bin/mirapost-send", tree + "x/lib/mirapost/modules"},
       }) {
    EXPECT_EQ(mp::ModuleFolder(c.program), c.folder) << c.program;
  }
  EXPECT_EQ(mp::ProgramBuildTree(), tree) << "the test program runs from the build tree";
}

}  // namespace
