#pragma once
// The local help page that F1 opens.
#include <QString>

namespace mp {

// Where the help page lives relative to the folder of the program: installed
// programs are in <prefix>/bin and the page in <prefix>/share/mirapost/help;
// the build copies the page into <build>/share/mirapost/help, beside
// <build>/src where the program is built.
inline constexpr const char* kHelpPageFromProgram = "../share/mirapost/help/index.html";

// The help page's absolute path for a program in `programDir`, or an empty
// string when it is not there.
QString FindHelpPage(const QString& programDir);

// The same for the running program (QCoreApplication::applicationDirPath()).
QString FindHelpPage();

}  // namespace mp
