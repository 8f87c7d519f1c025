// Rich text between QTextDocument and the reader and writer.
#include "platform/Rtf.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <algorithm>

namespace mp {

void PutRtfText(const RtfText& text, QTextDocument& doc, RtfEdit edit) {
  // The content is replaced through a cursor, not by clearing the document:
  // the undo history stays, and the replacement is one step of it (or part
  // of the step before).
  QTextCursor c(&doc);
  if (edit == RtfEdit::JoinPrevious)
    c.joinPreviousEditBlock();
  else
    c.beginEditBlock();
  c.select(QTextCursor::Document);
  c.removeSelectedText();
  c.setBlockFormat(QTextBlockFormat());
  c.setBlockCharFormat(QTextCharFormat());
  c.setCharFormat(QTextCharFormat());
  for (const RtfRun& r : text.runs) {
    if (r.text.isEmpty()) continue;
    QTextCharFormat f;
    if (!r.format.face.isEmpty()) f.setFontFamilies(QStringList{r.format.face});
    if (r.format.halfPoints > 0) f.setFontPointSize(r.format.halfPoints / 2.0);
    if (r.format.hasColor) f.setForeground(QColor(r.format.color));
    if (r.format.bold) f.setFontWeight(QFont::Bold);
    if (r.format.italic) f.setFontItalic(true);
    if (r.format.underline) f.setFontUnderline(true);
    if (r.format.strike) f.setFontStrikeOut(true);
    const QStringList parts = r.text.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < parts.size(); ++i) {
      if (i > 0) c.insertBlock(QTextBlockFormat(), f);
      if (!parts[i].isEmpty()) c.insertText(parts[i], f);
    }
  }
  c.endEditBlock();
}

bool RtfToDocument(const QByteArray& data, QTextDocument& doc, int maxPositions, RtfEdit edit) {
  bool ok = true;
  const RtfText text = ReadRtf(data, &ok, maxPositions);
  if (!ok) return false;
  PutRtfText(text, doc, edit);
  return true;
}

QByteArray DocumentToRtf(const QTextDocument& doc, const QColor& autoColor) {
  const QFont def = doc.defaultFont();
  const int defHalf = def.pointSizeF() > 0 ? qRound(def.pointSizeF() * 2)
                                           : (def.pixelSize() > 0 ? qRound(def.pixelSize() * 1.5) : 24);
  RtfText text;
  auto add = [&](const QString& s, const RtfFormat& f) {
    if (s.isEmpty()) return;
    if (text.runs.empty() || !(text.runs.back().format == f)) text.runs.push_back(RtfRun{QString(), f});
    text.runs.back().text += s;
  };
  RtfFormat last;
  for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
    if (b != doc.begin()) add(QStringLiteral("\n"), last);
    for (auto it = b.begin(); !it.atEnd(); ++it) {
      const QTextFragment frag = it.fragment();
      if (!frag.isValid()) continue;
      const QTextCharFormat cf = frag.charFormat();
      RtfFormat f;
      if (cf.hasProperty(QTextFormat::FontFamilies)) {
        const QStringList fam = cf.fontFamilies().toStringList();
        if (!fam.isEmpty() && fam.front() != def.family()) f.face = fam.front();
      }
      if (cf.hasProperty(QTextFormat::FontPointSize) && cf.fontPointSize() > 0)
        f.halfPoints = std::clamp(qRound(cf.fontPointSize() * 2), 1, 3276);
      else if (cf.hasProperty(QTextFormat::FontPixelSize) && cf.intProperty(QTextFormat::FontPixelSize) > 0)
        f.halfPoints = std::clamp(qRound(cf.intProperty(QTextFormat::FontPixelSize) * 1.5), 1, 3276);
      if (cf.hasProperty(QTextFormat::ForegroundBrush) && cf.foreground().style() != Qt::NoBrush) {
        const QColor col = cf.foreground().color();
        if (!(autoColor.isValid() && col.rgb() == autoColor.rgb())) {
          f.hasColor = true;
          f.color = col.rgb();
        }
      }
      f.bold = cf.fontWeight() >= QFont::DemiBold;
      f.italic = cf.fontItalic();
      f.underline = cf.fontUnderline();
      f.strike = cf.fontStrikeOut();
      add(frag.text(), f);
      last = f;
    }
  }
  return WriteRtf(text, def.family(), defHalf);
}

}  // namespace mp
