// mirapost-send: the command line of MIRAPOST (no windows).
#include <QCoreApplication>
#include <iostream>

#include "cli/Send.h"
#include "gateway/Credentials.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName("mirapost-send");
  QCoreApplication::setOrganizationName("Corvistan");
  const QStringList arguments = QCoreApplication::arguments();
  // A password given in an address is read; from now on `ps` shows stars.
  for (int i = 1; i < argc; ++i) mp::gateway::MaskCredentials(argv[i]);
  return mp::cli::Run(arguments, mp::cli::Io{std::cin, std::cout, std::cerr});
}
