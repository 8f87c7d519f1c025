#include "platform/Rtf.h"

#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <algorithm>
#include <climits>
#include <cstring>
#include <map>
#include <string_view>

#include "platform/Ansi.h"

namespace mp {

QString RtfText::PlainText() const {
  QString s;
  for (const RtfRun& r : runs) s += r.text;
  return s;
}

bool LooksLikeRtf(const QByteArray& data) {
  qsizetype i = 0;
  while (i < data.size() && (data[i] == ' ' || data[i] == '\t' || data[i] == '\r' || data[i] == '\n')) ++i;
  return data.mid(i, 5) == "{\\rtf";
}

namespace {

// ---------------------------------------------------------------- reader --

// Destinations whose content is never text of the document. Groups starting
// with \* are skipped as well, whatever their control word.
bool IsSkippedDestination(std::string_view w) {
  static const char* const kSkip[] = {
      "stylesheet", "info", "pict", "header", "headerl", "headerr", "headerf", "footer",
      "footerl", "footerr", "footerf", "footnote", "annotation", "object", "objdata",
      "objclass", "fldinst", "listtable", "listoverridetable", "revtbl", "rsidtbl",
      "generator", "themedata", "colorschememapping", "latentstyles", "datastore",
      "xmlnstbl", "mmathPr", "pgdsctbl", "pntext", "pntxta", "pntxtb", "listtext",
      "bkmkstart", "bkmkend", "xe", "tc", "txe", "rxe", "filetbl", "template", "comment",
      "title", "subject", "author", "operator", "keywords", "doccomm", "company",
      "nonshppict", "shpinst", "do", "userprops", "docvar", "ftnsep", "ftnsepc",
      "aftnsep", "aftnsepc", "atnid", "atnauthor", "atndate", "atnref", "private",
      "buptim", "creatim", "printim", "revtim", "falt", "panose", "fontemb", "fontfile",
      "background", "shp", "sp", "sn", "sv", "blipuid", "passwordhash", "wgrffmtfilter",
      "fchars", "lchars", "pgp", "ud", "upr", "hlinkbase", "nextfile", "protusertbl",
      "ftncn", "aftncn", "aftnsepc", "xform", "ts", "tsrowd", "defchp", "defpap",
  };
  for (const char* s : kSkip)
    if (w == s) return true;
  return false;
}

enum class Dest { Text, Skip, FontTable, ColorTable };

struct State {
  Dest dest = Dest::Text;
  int font = -1;  // -1: \deff
  int halfPoints = 24;
  int color = 0;  // colour table index; 0 automatic
  bool bold = false, italic = false, underline = false, strike = false, hidden = false;
  int uc = 1;  // fallback characters after \u
  // font table entry being read
  int fontEntry = -1;
};

class Reader {
 public:
  explicit Reader(const QByteArray& d) : data_(d) {}

  RtfText Run() {
    State st;
    states_.push_back(st);
    // Skip to the opening brace of "{\rtf".
    while (pos_ < data_.size() && data_[pos_] != '{') ++pos_;
    while (pos_ < data_.size() && produced_ < kRtfMaxChars) {
      const char c = data_[pos_];
      if (c == '{') {
        ++pos_;
        Push();
      } else if (c == '}') {
        ++pos_;
        Pop();
        if (states_.size() <= 1 && skipDepth_ == 0) break;  // end of the document group
      } else if (c == '\\') {
        ++pos_;
        ControlSequence();
      } else if (c == '\r' || c == '\n' || c == '\0') {
        ++pos_;
      } else {
        ++pos_;
        if (pendingSkip_ > 0) {
          --pendingSkip_;
          continue;
        }
        Char(AnsiToUnicode(static_cast<unsigned char>(c)));
      }
    }
    FlushFontName();
    // The paragraph mark closing the last paragraph makes no empty paragraph.
    if (!out_.runs.empty()) {
      RtfRun& last = out_.runs.back();
      if (last.text.endsWith(QLatin1Char('\n'))) {
        last.text.chop(1);
        if (last.text.isEmpty()) out_.runs.pop_back();
      }
    }
    return std::move(out_);
  }

 private:
  State& Cur() { return states_.back(); }

  void Push() {
    pendingSkip_ = 0;
    if (skipDepth_ > 0 || states_.size() >= static_cast<size_t>(kRtfMaxDepth)) {
      ++skipDepth_;  // too deep, or inside a skipped group: count braces only
      return;
    }
    State s = Cur();
    if (s.dest == Dest::FontTable) s.fontEntry = -1;
    states_.push_back(s);
    groupStart_ = true;
  }

  void Pop() {
    pendingSkip_ = 0;
    groupStart_ = false;
    if (skipDepth_ > 0) {
      --skipDepth_;
      return;
    }
    if (Cur().dest == Dest::FontTable) FlushFontName();
    if (states_.size() > 1) states_.pop_back();
  }

  // Reads a control word or symbol after the backslash.
  void ControlSequence() {
    if (pos_ >= data_.size()) return;
    const bool groupStart = groupStart_;
    groupStart_ = false;
    const char c = data_[pos_];
    if (!IsAlpha(c)) {
      ++pos_;
      Symbol(c);
      return;
    }
    const qsizetype start = pos_;
    while (pos_ < data_.size() && IsAlpha(data_[pos_])) ++pos_;
    std::string_view word(data_.constData() + start, static_cast<size_t>(pos_ - start));
    if (word.size() > 32) word = word.substr(0, 32);
    bool hasParam = false;
    long long param = 0;
    bool neg = false;
    if (pos_ < data_.size() && data_[pos_] == '-' && pos_ + 1 < data_.size() && IsDigit(data_[pos_ + 1])) {
      neg = true;
      ++pos_;
    }
    while (pos_ < data_.size() && IsDigit(data_[pos_])) {
      hasParam = true;
      if (param < 100000000000LL) param = param * 10 + (data_[pos_] - '0');
      ++pos_;
    }
    if (pos_ < data_.size() && data_[pos_] == ' ') ++pos_;  // the delimiting blank
    if (neg) param = -param;
    const int p = static_cast<int>(std::clamp<long long>(param, INT_MIN, INT_MAX));
    Word(word, hasParam, p, groupStart);
  }

  void Symbol(char c) {
    if (skipDepth_ > 0) return;
    switch (c) {
      case '*':
        Cur().dest = Dest::Skip;  // an ignorable destination follows
        return;
      case '\'': {
        // Two hex digits; an incomplete escape is dropped with the digits it has.
        int v = 0, digits = 0;
        while (digits < 2 && pos_ < data_.size() && Hex(data_[pos_]) >= 0) {
          v = v * 16 + Hex(data_[pos_++]);
          ++digits;
        }
        if (SkipFallback() || digits < 2) return;
        Char(AnsiToUnicode(static_cast<unsigned char>(v)));
        return;
      }
      case '\\':
      case '{':
      case '}':
        if (SkipFallback()) return;
        Char(static_cast<unsigned char>(c));
        return;
      case '~':
        if (SkipFallback()) return;
        Char(0x00A0);
        return;
      case '_':
        if (SkipFallback()) return;
        Char('-');
        return;
      case '-':  // optional hyphen: shown only at a line end, so not text
        SkipFallback();
        return;
      case '\r':
      case '\n':  // a backslash before a line end is a paragraph mark
        if (SkipFallback()) return;
        Char('\n');
        return;
      case '\t':
        if (SkipFallback()) return;
        Char('\t');
        return;
      default:
        SkipFallback();
        return;
    }
  }

  bool SkipFallback() {
    if (pendingSkip_ > 0) {
      --pendingSkip_;
      return true;
    }
    return false;
  }

  void Word(std::string_view w, bool hasParam, int p, bool groupStart) {
    if (skipDepth_ > 0) return;
    State& s = Cur();
    if (s.dest == Dest::Skip) {
      if (w == "bin" && hasParam && p > 0) SkipBinary(p);
      return;
    }
    // A control word in the place of a fallback character is skipped whole.
    if (pendingSkip_ > 0 && w != "u") {
      if (w == "bin" && hasParam && p > 0) SkipBinary(p);
      --pendingSkip_;
      return;
    }
    if (groupStart) {
      if (w == "fonttbl") {
        s.dest = Dest::FontTable;
        return;
      }
      if (w == "colortbl") {
        s.dest = Dest::ColorTable;
        colors_.clear();
        colors_.push_back(Color{});
        return;
      }
    }
    if (IsSkippedDestination(w)) {
      s.dest = Dest::Skip;
      return;
    }
    if (w == "bin") {
      if (hasParam && p > 0) SkipBinary(p);
      return;
    }
    if (w == "u" && hasParam) {
      int v = p;
      if (v < 0) v += 65536;
      if (v >= 0 && v <= 0xFFFF) Char(static_cast<char32_t>(v));
      pendingSkip_ = s.uc;
      return;
    }
    if (s.dest == Dest::ColorTable) {
      Color& c = colors_.back();
      const int v = std::clamp(p, 0, 255);
      if (w == "red") c.r = v, c.set = true;
      else if (w == "green") c.g = v, c.set = true;
      else if (w == "blue") c.b = v, c.set = true;
      return;
    }
    if (s.dest == Dest::FontTable) {
      if (w == "f" && hasParam) {
        FlushFontName();
        s.fontEntry = p;
        fontName_.clear();
      }
      return;
    }
    // Document text and character properties.
    if (w == "par" || w == "line" || w == "sect" || w == "page" || w == "row") {
      Char('\n');
    } else if (w == "tab" || w == "cell") {
      Char(w == "tab" ? '\t' : ' ');
    } else if (w == "uc") {
      s.uc = std::clamp(hasParam ? p : 1, 0, 16);
    } else if (w == "plain") {
      s.font = -1;
      s.halfPoints = 24;
      s.color = 0;
      s.bold = s.italic = s.underline = s.strike = s.hidden = false;
    } else if (w == "f") {
      s.font = hasParam ? p : -1;
    } else if (w == "deff") {
      if (hasParam) deff_ = p;
    } else if (w == "fs") {
      s.halfPoints = hasParam && p > 0 ? std::min(p, 3276) : 24;
    } else if (w == "cf") {
      s.color = hasParam ? std::max(p, 0) : 0;
    } else if (w == "b") {
      s.bold = !hasParam || p != 0;
    } else if (w == "i") {
      s.italic = !hasParam || p != 0;
    } else if (w == "ul" || w == "uld" || w == "uldb" || w == "ulw" || w == "ulth" || w == "uldash") {
      s.underline = !hasParam || p != 0;
    } else if (w == "ulnone") {
      s.underline = false;
    } else if (w == "strike" || w == "striked") {
      s.strike = !hasParam || p != 0;
    } else if (w == "v") {
      s.hidden = !hasParam || p != 0;
    } else if (w == "emdash") {
      Char(0x2014);
    } else if (w == "endash") {
      Char(0x2013);
    } else if (w == "emspace" || w == "enspace" || w == "qmspace") {
      Char(' ');
    } else if (w == "bullet") {
      Char(0x2022);
    } else if (w == "lquote") {
      Char(0x2018);
    } else if (w == "rquote") {
      Char(0x2019);
    } else if (w == "ldblquote") {
      Char(0x201C);
    } else if (w == "rdblquote") {
      Char(0x201D);
    }
    // Everything else (paragraph and section formatting included) is ignored.
  }

  void SkipBinary(int n) {
    const qsizetype left = data_.size() - pos_;
    pos_ += std::min<qsizetype>(n, left);
  }

  void Char(char32_t ch) {
    State& s = Cur();
    if (skipDepth_ > 0) return;
    switch (s.dest) {
      case Dest::Skip:
        return;
      case Dest::ColorTable:
        if (ch == ';' && colors_.size() < 4096) colors_.push_back(Color{});
        return;
      case Dest::FontTable:
        if (ch == ';') {
          FlushFontName();
          s.fontEntry = -1;
        } else if (s.fontEntry >= 0 && fontName_.size() < 128) {
          fontName_.append(QChar(static_cast<char16_t>(ch)));
        }
        return;
      case Dest::Text:
        break;
    }
    if (s.hidden) return;
    if (ch == 0x2028 || ch == 0x2029) ch = '\n';  // line and paragraph separators break the line
    if (ch < 0x20 && ch != '\n' && ch != '\t') return;
    if (produced_ >= kRtfMaxChars) return;
    ++produced_;
    RtfFormat f;
    const int font = s.font >= 0 ? s.font : deff_;
    if (auto it = fonts_.find(font); it != fonts_.end()) f.face = it->second;
    f.halfPoints = s.halfPoints;
    if (static_cast<size_t>(s.color) < colors_.size() && colors_[s.color].set) {
      const Color& c = colors_[s.color];
      f.hasColor = true;
      f.color = qRgb(c.r, c.g, c.b);
    }
    f.bold = s.bold;
    f.italic = s.italic;
    f.underline = s.underline;
    f.strike = s.strike;
    if (out_.runs.empty() || !(out_.runs.back().format == f)) out_.runs.push_back(RtfRun{QString(), f});
    out_.runs.back().text.append(QChar(static_cast<char16_t>(ch)));
  }

  void FlushFontName() {
    State& s = Cur();
    if (s.dest != Dest::FontTable || s.fontEntry < 0) return;
    QString name = fontName_.trimmed();
    if (!name.isEmpty() && fonts_.size() < 4096) fonts_[s.fontEntry] = name;
    fontName_.clear();
  }

  static bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
  static int Hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  struct Color {
    int r = 0, g = 0, b = 0;
    bool set = false;
  };

  const QByteArray& data_;
  qsizetype pos_ = 0;
  std::vector<State> states_;
  int skipDepth_ = 0;     // braces inside a group skipped for its depth
  int pendingSkip_ = 0;   // fallback characters still to skip after \u
  bool groupStart_ = false;
  int produced_ = 0;
  int deff_ = 0;
  std::map<int, QString> fonts_;
  QString fontName_;
  std::vector<Color> colors_{Color{}};
  RtfText out_;
};

// Plain text: UTF-16 with its byte order mark, UTF-8 when valid, else code
// page 1252. Line ends (CR LF, CR, LF) become paragraph marks.
RtfText ReadPlain(const QByteArray& data, bool* ok) {
  QString text;
  if (data.startsWith("\xFF\xFE") || data.startsWith("\xFE\xFF")) {
    auto dec = QStringDecoder(data.startsWith("\xFF\xFE") ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
    text = dec.decode(data.mid(2, std::min<qsizetype>(data.size() - 2, 2LL * kRtfMaxChars)));
  } else {
    if (data.contains('\0')) {
      if (ok) *ok = false;
      return {};
    }
    const QByteArray body = data.startsWith("\xEF\xBB\xBF") ? data.mid(3) : data;
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    text = utf8.decode(body);
    if (utf8.hasError()) text = FromAnsi(std::string_view(body.constData(), static_cast<size_t>(body.size())));
  }
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  text.replace(QChar::LineSeparator, QLatin1Char('\n'));
  text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
  text.remove(QChar(0));
  if (text.size() > kRtfMaxChars) text.truncate(kRtfMaxChars);
  RtfText out;
  if (!text.isEmpty()) out.runs.push_back(RtfRun{text, RtfFormat{}});
  return out;
}

// ---------------------------------------------------------------- writer --

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

RtfText ReadRtf(const QByteArray& data, bool* ok) {
  if (ok) *ok = true;
  if (!LooksLikeRtf(data)) return ReadPlain(data, ok);
  Reader r(data);
  return r.Run();
}

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

bool RtfToDocument(const QByteArray& data, QTextDocument& doc, int maxPositions) {
  bool ok = true;
  RtfText text = ReadRtf(data, &ok);
  if (!ok) return false;
  if (maxPositions >= 0) {
    qsizetype left = maxPositions;
    for (RtfRun& r : text.runs) {
      if (r.text.size() > left) r.text.truncate(left);
      left -= r.text.size();
    }
  }
  const QFont font = doc.defaultFont();
  doc.clear();
  doc.setDefaultFont(font);
  QTextCursor c(&doc);
  c.beginEditBlock();
  for (const RtfRun& r : text.runs) {
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
