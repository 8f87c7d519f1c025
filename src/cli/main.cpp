// mirapost-send: the command line of MIRAPOST (no windows).
#include <QCoreApplication>
#include <iostream>

#include "cli/Send.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName("mirapost-send");
  QCoreApplication::setOrganizationName("Corvistan");
  return mp::cli::Run(QCoreApplication::arguments(), mp::cli::Io{std::cin, std::cout, std::cerr});
}
