#pragma once
// Our own small Rich Text Format reader and writer. Message files and the
// editors' copy through the scratch stream use it; it keeps exactly what a
// message needs: the text, font face and size, character colour (red marks
// blinking) and the simple styles, nothing of page layout.
//
// The reader accepts any RTF document: nested groups, ignorable destinations
// ({\* ...}, font and colour tables, style sheet, info, pictures, headers and
// footers, list texts, field instructions), \u with \uc, \'hh in code page
// 1252, \colortbl with its empty "auto" entry, \cfN, \plain, \pard, \par,
// \line, \tab and the special symbols. Bytes that are not RTF (not starting
// with "{\rtf") are read as plain text: UTF-8 when they are valid UTF-8 (a
// leading byte order mark is dropped), UTF-16 when they start with its byte
// order mark, otherwise code page 1252. Any input gives a result: the reader
// never fails, never reads outside its input and is bounded in time and
// memory (group depth, characters produced, numbers in control words).
#include <QByteArray>
#include <QIODevice>
#include <QColor>
#include <QString>
#include <vector>

class QTextDocument;

namespace mp {

struct RtfFormat {
  QString face;        // font face; empty: the reader's or editor's default
  int halfPoints = 0;  // font size in half points; 0: default
  bool hasColor = false;  // false: automatic text colour
  QRgb color = 0;
  bool bold = false, italic = false, underline = false, strike = false;
  bool operator==(const RtfFormat&) const = default;
};

// A run of characters with one format. '\n' ends a paragraph; '\t' is a tab.
struct RtfRun {
  QString text;
  RtfFormat format;
};

struct RtfText {
  std::vector<RtfRun> runs;
  QString PlainText() const;
};

// Limits of the reader.
inline constexpr int kRtfMaxDepth = 200;         // deeper groups are skipped
inline constexpr int kRtfMaxChars = 1 << 20;     // characters produced at most

// True when the bytes start (after blanks) with "{\rtf".
bool LooksLikeRtf(const QByteArray& data);

// Reads RTF, or plain text when the data is not RTF. A single paragraph mark at
// the very end of the document (the mark that closes the last paragraph) is
// not turned into an empty paragraph.
// `ok` (when given) is set false for binary data (see RtfToDocument).
// At most `maxChars` characters are read (negative: kRtfMaxChars); parsing
// stops there, so the cost follows the text kept, not the size of the data.
RtfText ReadRtf(const QByteArray& data, bool* ok = nullptr, int maxChars = -1);

// As ReadRtf, pulling from `device` only the bytes that the first `maxChars`
// characters need, and never more than `maxBytes`.
RtfText ReadRtfFrom(QIODevice& device, int maxChars, qint64 maxBytes, bool* ok = nullptr);

// Writes an RTF document: font table with `defaultFace` as \f0, colour table
// with the auto entry and red as \cf1, then the runs.
QByteArray WriteRtf(const RtfText& text, const QString& defaultFace, int defaultHalfPoints);

// How a document's content is replaced: as an undo step of its own, or as
// part of the step before (the normaliser after a paste, for example).
enum class RtfEdit { Step, JoinPrevious };

// QTextDocument adapters. RtfToDocument replaces the document's whole content
// through a cursor, keeping the undo history (one undoable edit, see RtfEdit). It returns false, leaving the document untouched, when
// the data is neither RTF nor text: plain data holding a NUL byte outside
// UTF-16 is a binary file, not a message. Characters
// whose colour equals `autoColor` (when valid) are written as the automatic
// colour (\cf0), as are characters without a colour of their own.
// `maxPositions` (when not negative) cuts the text after that many positions
// (a paragraph mark counts one), so that a huge file never fills an editor.
bool RtfToDocument(const QByteArray& data, QTextDocument& doc, int maxPositions = -1,
                   RtfEdit edit = RtfEdit::Step);
// Replaces the document's content with `text` (empty runs are skipped).
void PutRtfText(const RtfText& text, QTextDocument& doc, RtfEdit edit = RtfEdit::Step);
QByteArray DocumentToRtf(const QTextDocument& doc, const QColor& autoColor = QColor());

}  // namespace mp
