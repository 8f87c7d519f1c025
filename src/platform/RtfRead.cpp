// The rich text reader: RTF documents, and plain text for anything else.
#include "platform/Rtf.h"

#include <QStringDecoder>
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
  // Reads at most `limit` characters, and one more to tell whether the text
  // goes on; parsing stops there, so a huge document costs no more than the
  // text it keeps.
  Reader(const QByteArray& d, int limit) : data_(d), cap_(std::min(limit, kRtfMaxChars - 1) + 1) {}

  // True when the text went on beyond the limit.
  bool Stopped() const { return produced_ >= cap_; }

  RtfText Run() {
    State st;
    states_.push_back(st);
    // Skip to the opening brace of "{\rtf".
    while (pos_ < data_.size() && data_[pos_] != '{') ++pos_;
    while (pos_ < data_.size() && produced_ < cap_) {
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
    // The paragraph mark closing the last paragraph makes no empty paragraph
    // (only known at the real end of the document).
    if (!Stopped() && !out_.runs.empty()) {
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
    if (produced_ >= cap_) return;
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
  const int cap_;
  int produced_ = 0;
  int deff_ = 0;
  std::map<int, QString> fonts_;
  QString fontName_;
  std::vector<Color> colors_{Color{}};
  RtfText out_;
};

// Plain text: UTF-16 with its byte order mark, UTF-8 when valid, else code
// page 1252. Line ends (CR LF, CR, LF) become paragraph marks.
RtfText ReadPlain(const QByteArray& data, bool* ok, int limit, bool* stopped) {
  QString text;
  if (data.startsWith("\xFF\xFE") || data.startsWith("\xFE\xFF")) {
    auto dec = QStringDecoder(data.startsWith("\xFF\xFE") ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
    text = dec.decode(data.mid(2, std::min<qsizetype>(data.size() - 2, 4LL * (limit + 1))));
  } else {
    // No character takes more than four bytes: the rest cannot be kept.
    QByteArray body = data.startsWith("\xEF\xBB\xBF") ? data.mid(3) : data;
    if (body.size() > 4LL * (limit + 1) + 4) {
      body.truncate(4LL * (limit + 1) + 4);
      // Not in the middle of a UTF-8 sequence.
      while (!body.isEmpty() && (static_cast<unsigned char>(body.back()) & 0xC0) == 0x80) body.chop(1);
      if (!body.isEmpty() && (static_cast<unsigned char>(body.back()) & 0xC0) == 0xC0) body.chop(1);
    }
    if (body.contains('\0')) {
      if (ok) *ok = false;
      return {};
    }
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    text = utf8.decode(body);
    if (utf8.hasError()) text = FromAnsi(std::string_view(body.constData(), static_cast<size_t>(body.size())));
  }
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  text.replace(QChar::LineSeparator, QLatin1Char('\n'));
  text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
  text.remove(QChar(0));
  if (text.size() > limit) {
    text.truncate(limit);
    if (stopped) *stopped = true;
  }
  RtfText out;
  if (!text.isEmpty()) out.runs.push_back(RtfRun{text, RtfFormat{}});
  return out;
}

// Reads at most `limit` characters; `stopped` tells whether the text went on.
RtfText ReadLimited(const QByteArray& data, bool* ok, int limit, bool* stopped) {
  if (ok) *ok = true;
  if (stopped) *stopped = false;
  limit = std::clamp(limit, 0, kRtfMaxChars);
  if (!LooksLikeRtf(data)) return ReadPlain(data, ok, limit, stopped);
  Reader r(data, limit);
  RtfText text = r.Run();
  if (r.Stopped()) {
    if (stopped) *stopped = true;
    qsizetype left = limit;
    for (RtfRun& run : text.runs) {
      if (run.text.size() > left) run.text.truncate(left);
      left -= run.text.size();
    }
    while (!text.runs.empty() && text.runs.back().text.isEmpty()) text.runs.pop_back();
  }
  return text;
}

}  // namespace

RtfText ReadRtf(const QByteArray& data, bool* ok, int maxChars) {
  return ReadLimited(data, ok, maxChars < 0 ? kRtfMaxChars : maxChars, nullptr);
}

RtfText ReadRtfFrom(QIODevice& device, int maxChars, qint64 maxBytes, bool* ok) {
  // The first bytes hold the first characters of nearly every document:
  // read more only while the text has not reached the limit.
  QByteArray data;
  qint64 chunk = 16 << 10;
  for (;;) {
    const qint64 want = std::min(chunk, maxBytes - data.size());
    if (want > 0) {
      const QByteArray more = device.read(want);
      data += more;
    }
    const bool end = want <= 0 || device.atEnd();
    bool stopped = false;
    RtfText text = ReadLimited(data, ok, maxChars < 0 ? kRtfMaxChars : maxChars, &stopped);
    if (stopped || end || (ok && !*ok)) return text;
    chunk *= 4;
  }
}


}  // namespace mp
