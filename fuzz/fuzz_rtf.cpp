// libFuzzer target for the rich text format reader: any bytes must give a
// result without crashing, hanging or reading out of bounds, and what the
// reader produced must survive our writer and a second reading unchanged.
#include <QByteArray>
#include <cstdint>
#include <cstdlib>

#include "platform/Rtf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray in(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  bool ok = true;
  const mp::RtfText text = mp::ReadRtf(in, &ok);
  if (!ok) return 0;
  const QString plain = text.PlainText();
  if (plain.size() > mp::kRtfMaxChars) abort();
  // Round trip: the writer's document reads back as the same text. Control
  // characters, embedded-object marks and a lone final paragraph mark are
  // what the writer leaves out by design, so they are compared without.
  const QByteArray rtf = mp::WriteRtf(text, QStringLiteral("Face"), 20);
  const mp::RtfText back = mp::ReadRtf(rtf);
  auto clean = [](QString s) {
    QString o;
    for (QChar c : s)
      if (c >= QChar(0x20) || c == QChar('\t') || c == QChar('\n'))
        if (c != QChar(0xFFFC) && c != QChar(0xFDD0) && c != QChar(0xFDD1)) o += c;
    if (o.endsWith('\n')) o.chop(1);
    return o.toUcs4();
  };
  if (clean(plain) != clean(back.PlainText())) abort();
  return 0;
}
