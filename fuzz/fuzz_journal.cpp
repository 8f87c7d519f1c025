// Arbitrary bytes as the simulated phone's journal, read as the "Received by
// the Simulated Phone" window reads it: line by line, each line parsed and
// its PDU decoded, then the whole file through the model (twice, so that the
// reread of an unchanged file is covered). Nothing may crash or read out of
// bounds; lines that parse give entries the model can show.
#include <stdlib.h>

#include <QCoreApplication>
#include <QFile>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "dialogs/ReceivedModel.h"

namespace {

const QString& JournalPath() {
  static const QString path = [] {
    std::string tmpl = (std::filesystem::exists("/dev/shm") ? std::string("/dev/shm")
                                                            : std::filesystem::temp_directory_path().string()) +
                       "/fuzz-journal-XXXXXX";
    if (!::mkdtemp(tmpl.data())) ::abort();
    return QString::fromStdString(tmpl + "/journal.jsonl");
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  static QCoreApplication app(*argc, *argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  for (const QByteArray& line : bytes.split('\n')) {
    mp::ReceivedEntry entry;
    if (mp::ParseJournalLine(line, entry)) {
      (void)entry.MarkedText();
      (void)entry.MarkedHtml();
      (void)entry.LogoImage(2);
    }
  }
  {
    QFile file(JournalPath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) ::abort();
    file.write(bytes);
  }
  mp::ReceivedModel model;
  model.Reload(JournalPath());
  (void)model.Reload(JournalPath());
  for (int r = 0; r < model.rowCount(); ++r) {
    for (int c = 0; c < model.columnCount(); ++c) {
      (void)model.data(model.index(r, c));
      (void)model.data(model.index(r, c), Qt::ToolTipRole);
    }
  }
  return 0;
}
