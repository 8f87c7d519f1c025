// The reader stops at the characters kept: reading with a limit gives what
// reading everything and cutting gives, and only the bytes needed are pulled
// from a file.
#include <gtest/gtest.h>

#include <QBuffer>

#include "platform/Rtf.h"

namespace {

mp::RtfText Cut(mp::RtfText text, int n) {
  qsizetype left = n;
  for (mp::RtfRun& r : text.runs) {
    if (r.text.size() > left) r.text.truncate(left);
    left -= r.text.size();
  }
  while (!text.runs.empty() && text.runs.back().text.isEmpty()) text.runs.pop_back();
  return text;
}

void ExpectSame(const mp::RtfText& a, const mp::RtfText& b) {
  ASSERT_EQ(a.runs.size(), b.runs.size());
  for (size_t i = 0; i < a.runs.size(); ++i) {
    EXPECT_EQ(a.runs[i].text, b.runs[i].text) << i;
    EXPECT_TRUE(a.runs[i].format == b.runs[i].format) << i;
  }
}

TEST(RtfLimit, LimitedReadEqualsReadAndCut) {
  const QByteArray docs[] = {
      "{\\rtf1 abc\\par}",
      "{\\rtf1 abc\\par def\\par}",
      "{\\rtf1{\\colortbl;\\red255\\green0\\blue0;}ab\\cf1 cd\\cf0\\par\\par ef}",
      "{\\rtf1 a\\u8364?b\\'e9c}",
      "plain\r\ntext\r\n",
      "\xEF\xBB\xBFutf-8 \xE2\x82\xAC text",
  };
  for (const QByteArray& doc : docs) {
    const mp::RtfText all = mp::ReadRtf(doc);
    for (int n = 0; n <= all.PlainText().size() + 1; ++n) {
      SCOPED_TRACE(doc.toStdString() + " / " + std::to_string(n));
      ExpectSame(mp::ReadRtf(doc, nullptr, n), Cut(all, n));
      QBuffer device;
      device.setData(doc);
      device.open(QIODevice::ReadOnly);
      ExpectSame(mp::ReadRtfFrom(device, n, 1 << 20), Cut(all, n));
    }
  }
}

TEST(RtfLimit, HugeFilesAreReadOnlyAsFarAsNeeded) {
  for (const QByteArray& head : {QByteArray("{\\rtf1\\ansi "), QByteArray()}) {
    QByteArray doc = head;
    while (doc.size() < (4 << 20)) doc += "0123456789 \\par\n";
    if (head.isEmpty()) doc.replace("\\par", "");
    QBuffer device;
    device.setData(doc);
    device.open(QIODevice::ReadOnly);
    bool ok = false;
    const mp::RtfText text = mp::ReadRtfFrom(device, 320, 64 << 20, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(text.PlainText().size(), 320);
    EXPECT_LE(device.pos(), 64 << 10) << "read " << device.pos() << " bytes";
  }
  // Binary data is refused from the bytes read.
  QBuffer binary;
  binary.setData(QByteArray(1 << 20, '\0'));
  binary.open(QIODevice::ReadOnly);
  bool ok = true;
  mp::ReadRtfFrom(binary, 320, 64 << 20, &ok);
  EXPECT_FALSE(ok);
}

}  // namespace
