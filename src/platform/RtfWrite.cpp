// The rich text writer: one RTF document from runs of formatted text.
#include "platform/Rtf.h"

#include <cstdint>
#include <vector>

#include "platform/Ansi.h"

namespace mp {
namespace {

void AppendEscaped(QByteArray& out, const QString& text, bool fontName) {
  // By UTF-16 unit: RTF writes a character outside the basic plane as its two
  // surrogates anyway, and a pair split over two runs stays whole this way.
  for (const QChar unit : text) {
    const char16_t cp = unit.unicode();
    if (cp == '\\' || cp == '{' || cp == '}') {
      out += '\\';
      out += static_cast<char>(cp);
    } else if (cp == '\n' || cp == 0x2029 || cp == 0x2028) {
      if (!fontName) out += "\\par\n";
    } else if (cp == '\t') {
      out += fontName ? QByteArray(" ") : QByteArray("\\tab ");
    } else if (fontName && cp == ';') {
      // a font name ends at ';': leave it out
    } else if (cp >= 0x20 && cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x20 || cp == 0xFFFC || cp == 0xFDD0 || cp == 0xFDD1) {
      // control characters, embedded objects and frame marks are not text
    } else {
      const unsigned char a = UnicodeToAnsi(cp);
      if (cp >= 0x80 && a != '?') {
        out += "\\'" + QByteArray::number(a, 16).rightJustified(2, '0');
      } else {
        // Outside code page 1252: \\uN (signed 16 bits) with '?' as the fallback.
        out += "\\u" + QByteArray::number(static_cast<int>(static_cast<int16_t>(cp))) + '?';
      }
    }
  }
}

}  // namespace

QByteArray WriteRtf(const RtfText& text, const QString& defaultFace, int defaultHalfPoints) {
  if (defaultHalfPoints <= 0) defaultHalfPoints = 24;
  // Font and colour tables: \f0 the default face, \cf1 red, then the others.
  std::vector<QString> faces{defaultFace};
  std::vector<QRgb> colors{qRgb(255, 0, 0)};
  auto faceIndex = [&](const QString& f) -> int {
    if (f.isEmpty()) return 0;
    for (size_t i = 0; i < faces.size(); ++i)
      if (faces[i] == f) return static_cast<int>(i);
    faces.push_back(f);
    return static_cast<int>(faces.size() - 1);
  };
  auto colorIndex = [&](const RtfFormat& f) -> int {
    if (!f.hasColor) return 0;
    const QRgb c = f.color & 0xFFFFFF;
    for (size_t i = 0; i < colors.size(); ++i)
      if ((colors[i] & 0xFFFFFF) == c) return static_cast<int>(i + 1);
    colors.push_back(f.color);
    return static_cast<int>(colors.size());
  };
  for (const RtfRun& r : text.runs) {
    faceIndex(r.format.face);
    colorIndex(r.format);
  }

  QByteArray out = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl";
  for (size_t i = 0; i < faces.size(); ++i) {
    out += "{\\f" + QByteArray::number(static_cast<int>(i)) + "\\fnil ";
    AppendEscaped(out, faces[i], true);
    out += ";}";
  }
  out += "}\n{\\colortbl ;";
  for (QRgb c : colors)
    out += "\\red" + QByteArray::number(qRed(c)) + "\\green" + QByteArray::number(qGreen(c)) + "\\blue" +
           QByteArray::number(qBlue(c)) + ";";
  out += "}\n\\viewkind4\\uc1\\pard\\f0\\fs" + QByteArray::number(defaultHalfPoints) + " ";

  RtfFormat cur;
  cur.halfPoints = defaultHalfPoints;
  int curFont = 0, curColor = 0;
  for (const RtfRun& r : text.runs) {
    const RtfFormat& f = r.format;
    QByteArray ctl;
    const int fi = faceIndex(f.face);
    if (fi != curFont) ctl += "\\f" + QByteArray::number(fi), curFont = fi;
    const int hp = f.halfPoints > 0 ? f.halfPoints : defaultHalfPoints;
    if (hp != cur.halfPoints) ctl += "\\fs" + QByteArray::number(hp), cur.halfPoints = hp;
    const int ci = colorIndex(f);
    if (ci != curColor) ctl += "\\cf" + QByteArray::number(ci), curColor = ci;
    if (f.bold != cur.bold) ctl += f.bold ? "\\b" : "\\b0", cur.bold = f.bold;
    if (f.italic != cur.italic) ctl += f.italic ? "\\i" : "\\i0", cur.italic = f.italic;
    if (f.underline != cur.underline) ctl += f.underline ? "\\ul" : "\\ulnone", cur.underline = f.underline;
    if (f.strike != cur.strike) ctl += f.strike ? "\\strike" : "\\strike0", cur.strike = f.strike;
    if (!ctl.isEmpty()) out += ctl + ' ';
    AppendEscaped(out, r.text, false);
  }
  out += "\\par\n}\n";
  return out;
}

}  // namespace mp
