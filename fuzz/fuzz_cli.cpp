// Arbitrary bytes as mirapost-send's command line (arguments split at NUL
// bytes, always a dry run, so nothing is sent and no port is opened) and as
// the {blink} markup of a text. Arguments that name a path are skipped: the
// run happens in an empty folder of its own with HOME pointed there, so the
// stored settings are never read or written. Nothing may crash, hang or read
// out of bounds; the exit status is one of the documented ones.
#include <stdlib.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>

#include "cli/Markup.h"
#include "cli/Send.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  std::string tmpl = (std::filesystem::exists("/dev/shm") ? std::string("/dev/shm")
                                                          : std::filesystem::temp_directory_path().string()) +
                     "/fuzz-cli-XXXXXX";
  if (!::mkdtemp(tmpl.data()) || ::chdir(tmpl.c_str()) != 0) ::abort();
  ::setenv("HOME", tmpl.c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", tmpl.c_str(), 1);
  ::setenv("XDG_DATA_HOME", tmpl.c_str(), 1);
  static QCoreApplication app(*argc, *argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const QString text = QString::fromUtf8(bytes);

  const mp::cli::MarkupResult markup = mp::cli::ParseBlinkMarkup(text);
  if (markup.error.empty()) {
    // A well-formed text keeps every character outside the markup.
    std::size_t kept = 0;
    for (const auto& run : markup.runs) kept += run.text.size();
    if (kept > static_cast<std::size_t>(text.size())) ::abort();
  }
  (void)mp::cli::PlainRuns(text);

  QStringList args{"mirapost-send", "--dry-run"};
  for (const QByteArray& a : bytes.split('\0')) {
    if (a.contains('/')) return 0;
    args << QString::fromUtf8(a);
  }
  std::istringstream in(bytes.toStdString());
  std::ostringstream out, err;
  const int rc = mp::cli::Run(args, {in, out, err});
  if (rc < 0 || rc > 3) ::abort();
  return 0;
}
