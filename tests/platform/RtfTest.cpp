// The rich text format reader and writer: documents of other writers, the
// round trip through our writer, plain text files and hostile input.
#include <gtest/gtest.h>

#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <chrono>
#include <memory>

#include "platform/Rtf.h"
#include "support/CaseName.h"

using mp::ReadRtf;
using mp::RtfFormat;
using mp::RtfRun;
using mp::RtfText;

namespace {

QByteArray ReadData(const char* name) {
  QFile f(QStringLiteral(MP_TEST_DATA "/rtf/") + QLatin1String(name));
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

// The text with every stretch of pure red characters in brackets: "a[b]".
QString Marked(const RtfText& t) {
  QString s;
  bool inRed = false;
  for (const RtfRun& r : t.runs) {
    const bool red = r.format.hasColor && (r.format.color & 0xFFFFFF) == 0xFF0000;
    if (red != inRed) s += red ? '[' : ']';
    inRed = red;
    s += r.text;
  }
  if (inRed) s += ']';
  return s;
}

struct ReadCase {
  const char* name;
  QByteArray rtf;
  QString marked;
};

class RtfReadTable : public ::testing::TestWithParam<ReadCase> {};

TEST_P(RtfReadTable, ReadsTextAndRedRuns) {
  const ReadCase& c = GetParam();
  EXPECT_EQ(Marked(ReadRtf(c.rtf)).toStdString(), c.marked.toStdString()) << c.name;
}

const char* const kRed = "{\\colortbl ;\\red255\\green0\\blue0;}";

INSTANTIATE_TEST_SUITE_P(
    Rtf, RtfReadTable,
    ::testing::Values(
        ReadCase{"minimal", "{\\rtf1 Hi}", "Hi"},
        ReadCase{"nested groups keep the outer state",
                 QByteArray("{\\rtf1") + kRed + "a{\\cf1 b{\\b c}d}e}", "a[bcd]e"},
        ReadCase{"cf0 is the automatic colour", QByteArray("{\\rtf1") + kRed + "\\cf1 x\\cf0 y}", "[x]y"},
        ReadCase{"plain resets the colour", QByteArray("{\\rtf1") + kRed + "\\cf1 x\\plain y}", "[x]y"},
        ReadCase{"pard keeps the character colour", QByteArray("{\\rtf1") + kRed + "\\cf1 x\\pard y}", "[xy]"},
        ReadCase{"colour table without the auto entry",
                 "{\\rtf1{\\colortbl\\red255\\green0\\blue0;\\red0\\green0\\blue0;}\\cf0 r\\cf1 k}", "[r]k"},
        ReadCase{"colour index beyond the table", QByteArray("{\\rtf1") + kRed + "\\cf99 x}", "x"},
        ReadCase{"par, line, tab and the last paragraph mark", "{\\rtf1 a\\par b\\line c\\tab d\\par\n}",
                 "a\nb\nc\td"},
        ReadCase{"two paragraph marks at the end keep one empty paragraph", "{\\rtf1 a\\par\\par}", "a\n"},
        ReadCase{"line ends in the source are not text", "{\\rtf1 a\r\nb\nc}", "abc"},
        ReadCase{"escaped braces and backslash", "{\\rtf1 \\{x\\}\\\\}", "{x}\\"},
        ReadCase{"special symbols", "{\\rtf1 a\\~b\\_c\\-d}", QString::fromUtf8("a\u00A0b-cd")},
        ReadCase{"hex escapes in code page 1252", "{\\rtf1 \\'80\\'e9\\'9f}", QString::fromUtf8("€éŸ")},
        ReadCase{"unicode with the default one fallback", "{\\rtf1 \\u937?mega}", QString::fromUtf8("Ωmega")},
        ReadCase{"unicode, negative, hex fallback", "{\\rtf1 \\u-3913\\'3fz}", QString::fromUtf8("\uF0B7z")},
        ReadCase{"uc2 skips two fallbacks including hex", "{\\rtf1\\uc2 \\u8364\\'80Ex}", QString::fromUtf8("€x")},
        ReadCase{"uc0 skips nothing", "{\\rtf1\\uc0 \\u8364 x}", QString::fromUtf8("€x")},
        ReadCase{"uc is scoped by the group", "{\\rtf1{\\uc2 a}\\u8364??}", QString::fromUtf8("a€?")},
        ReadCase{"surrogate pair, unsigned form",
                 "{\\rtf1\\uc0 \\u55357\\uc1 \\u56832\\'3f!}", QString::fromUtf8("\U0001F600!")},
        ReadCase{"unicode line separator breaks the line", "{\\rtf1 a\\u8232?b}", "a\nb"},
        ReadCase{"ignorable destination", "{\\rtf1{\\*\\unknown {x} y}z}", "z"},
        ReadCase{"skipped destinations", "{\\rtf1{\\info{\\title T}}{\\stylesheet{\\s0 Normal;}}{\\pict 0102}"
                                         "{\\header H}{\\footer F}ok}", "ok"},
        ReadCase{"field result kept, instruction skipped",
                 "{\\rtf1{\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt link}}}", "link"},
        ReadCase{"field instruction without the star", "{\\rtf1{\\field{\\fldinst PAGE}{\\fldrslt 3}}}", "3"},
        ReadCase{"binary data skipped", QByteArray("{\\rtf1 a{\\pict\\bin4 }}}}b}b}"), "ab"},
        ReadCase{"binary outside a picture", QByteArray("{\\rtf1 a\\bin3 {{{b}", 19), "ab"},
        ReadCase{"hidden text", "{\\rtf1 a{\\v b}c\\v d\\v0 e}", "ace"},
        ReadCase{"special quote words", "{\\rtf1 \\lquote x\\rquote \\emdash}", QString::fromUtf8("‘x’—")},
        ReadCase{"unterminated groups", QByteArray("{\\rtf1") + kRed + "{\\cf1 abc", "[abc]"},
        ReadCase{"text after the document group", "{\\rtf1 a}b", "a"},
        ReadCase{"huge numbers", "{\\rtf1\\fs999999999999999999 a\\cf-99999999999 b\\u99999999999 ?c}", "abc"},
        ReadCase{"truncated hex escape", "{\\rtf1 a\\'4", "a"},
        ReadCase{"backslash at the end", "{\\rtf1 a\\", "a"},
        ReadCase{"leading blanks before the header", "  \r\n{\\rtf1 a}", "a"}),
    mp::test::NamedBy(&ReadCase::name));

TEST(Rtf, FontTableAndSizes) {
  const RtfText t = ReadRtf(
      "{\\rtf1\\deff1{\\fonttbl{\\f0\\fswiss Arial{\\*\\falt Helvetica};}{\\f1\\fnil Courier New;}}"
      "a\\f0\\fs40 b{\\f7 c}\\plain d}");
  ASSERT_EQ(t.runs.size(), 4u);
  EXPECT_EQ(t.runs[0].format.face, "Courier New");  // \deff1
  EXPECT_EQ(t.runs[0].format.halfPoints, 24);
  EXPECT_EQ(t.runs[1].format.face, "Arial");
  EXPECT_EQ(t.runs[1].format.halfPoints, 40);
  EXPECT_EQ(t.runs[2].format.face, "");  // no such font
  EXPECT_EQ(t.runs[3].format.face, "Courier New");
  EXPECT_EQ(t.runs[3].format.halfPoints, 24);
  // The other table form: entries without groups.
  const RtfText u = ReadRtf("{\\rtf1{\\fonttbl\\f0\\fnil Foo;\\f1\\fnil Bar;}\\f1 x}");
  ASSERT_EQ(u.runs.size(), 1u);
  EXPECT_EQ(u.runs[0].format.face, "Bar");
}

struct PlainCase {
  const char* name;
  QByteArray bytes;
  QString text;
  bool ok;
};

TEST(Rtf, PlainTextFiles) {
  const PlainCase cases[] = {
      {"code page 1252", "caf\xe9 \x80", QString::fromUtf8("café €"), true},
      {"UTF-8", "caf\xc3\xa9 \xe2\x82\xac", QString::fromUtf8("café €"), true},
      {"UTF-8 with byte order mark", "\xef\xbb\xbfok", "ok", true},
      {"UTF-16 LE with byte order mark", QByteArray("\xff\xfeh\0i\0", 6), "hi", true},
      {"line ends", "a\r\nb\rc\nd", "a\nb\nc\nd", true},
      {"not rich text at all", "{\\rt", "{\\rt", true},
      {"binary data", QByteArray("BM\0\0\x01", 5), "", false},
  };
  for (const PlainCase& c : cases) {
    bool ok = true;
    const RtfText t = ReadRtf(c.bytes, &ok);
    EXPECT_EQ(ok, c.ok) << c.name;
    EXPECT_EQ(t.PlainText().toStdString(), c.text.toStdString()) << c.name;
    for (const RtfRun& r : t.runs) EXPECT_FALSE(r.format.hasColor) << c.name;
  }
}

TEST(Rtf, WriterOutput) {
  RtfText t;
  RtfFormat red;
  red.hasColor = true;
  red.color = qRgb(255, 0, 0);
  t.runs.push_back({QString::fromUtf8("a{\\}é€\tΩ\n"), RtfFormat{}});
  t.runs.push_back({"b", red});
  const QByteArray rtf = mp::WriteRtf(t, "Liberation Sans", 20);
  EXPECT_EQ(rtf.toStdString(),
            "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fnil Liberation Sans;}}\n"
            "{\\colortbl ;\\red255\\green0\\blue0;}\n"
            "\\viewkind4\\uc1\\pard\\f0\\fs20 a\\{\\\\\\}\\'e9\\'80\\tab \\u937?\\par\n"
            "\\cf1 b\\par\n}\n");
}

TEST(Rtf, WriterRoundTrip) {
  RtfText t;
  RtfFormat f;
  t.runs.push_back({QString::fromUtf8("\uFEFFplain {x} \\ é € Ω \U0001F600 \"; end\n"), f});
  f.hasColor = true;
  f.color = qRgb(255, 0, 0);
  f.face = "Other;Face";
  f.halfPoints = 31;
  f.bold = true;
  t.runs.push_back({"red bold", f});
  f.color = qRgb(0, 0, 255);
  f.bold = false;
  f.italic = f.underline = f.strike = true;
  t.runs.push_back({"blue\n\nlast", f});
  const RtfText back = ReadRtf(mp::WriteRtf(t, "Def", 20));
  ASSERT_EQ(back.runs.size(), 3u);
  EXPECT_EQ(back.runs[0].text, t.runs[0].text);
  EXPECT_EQ(back.runs[0].format.face, "Def");
  EXPECT_EQ(back.runs[0].format.halfPoints, 20);
  EXPECT_FALSE(back.runs[0].format.hasColor);
  EXPECT_EQ(back.runs[1].text, "red bold");
  EXPECT_EQ(back.runs[1].format.face, "OtherFace");  // ';' cannot stand in a font name
  EXPECT_EQ(back.runs[1].format.halfPoints, 31);
  EXPECT_TRUE(back.runs[1].format.bold);
  EXPECT_EQ(back.runs[1].format.color & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(back.runs[2].text, t.runs[2].text);
  EXPECT_EQ(back.runs[2].format.color & 0xFFFFFF, 0x0000FFu);
  EXPECT_TRUE(back.runs[2].format.italic && back.runs[2].format.underline && back.runs[2].format.strike);
}

TEST(Rtf, SurrogatePairSplitOverTwoRuns) {
  // A colour change between the two halves of a pair: both runs keep their half.
  const RtfText t = ReadRtf("{\\rtf1{\\colortbl ;\\red255\\green0\\blue0;}\\u-10179?\\cf1\\u-8704?}");
  ASSERT_EQ(t.runs.size(), 2u);
  const RtfText back = ReadRtf(mp::WriteRtf(t, "F", 20));
  EXPECT_EQ(back.PlainText(), QString::fromUtf8("\U0001F600"));
}

TEST(Rtf, OtherWritersDocuments) {
  const RtfText lo = ReadRtf(ReadData("libreoffice-colours.rtf"));
  EXPECT_EQ(Marked(lo).toStdString(),
            QString::fromUtf8("Steady [blink] then dark red, blue and bold.\n"
                              "Second line: café €5 € Ωmega \U0001F600 {brace} back\\slash")
                .toStdString());
  ASSERT_FALSE(lo.runs.empty());
  EXPECT_EQ(lo.runs[0].format.face, "Liberation Sans");
  EXPECT_EQ(lo.runs[0].format.halfPoints, 24);
  bool darkRed = false, blue = false, bold = false;
  for (const RtfRun& r : lo.runs) {
    darkRed |= r.text == "dark red" && (r.format.color & 0xFFFFFF) == 0x800000;
    blue |= r.text == "blue" && (r.format.color & 0xFFFFFF) == 0x0000FF;
    bold |= r.text == "bold" && r.format.bold;
  }
  EXPECT_TRUE(darkRed && blue && bold);

  const RtfText pd = ReadRtf(ReadData("pandoc.rtf"));
  EXPECT_EQ(pd.PlainText().toStdString(),
            QString::fromUtf8("Title here\nHello bold and italic world; café costs €5 — Ωmega.\n"
                              "•\tfirst item\n•\tsecond item\nLast {brace} back\\slash line.")
                .toStdString());
  EXPECT_EQ(pd.runs[0].format.face, "Helvetica");
  EXPECT_EQ(pd.runs[0].format.halfPoints, 36);

  const RtfText wp = ReadRtf(ReadData("wordpad.rtf"));
  EXPECT_EQ(Marked(wp).toStdString(), QString::fromUtf8("Hello [blink] world\nLine été two").toStdString());
  EXPECT_EQ(wp.runs[0].format.face, "Calibri");
  EXPECT_EQ(wp.runs[0].format.halfPoints, 22);

  EXPECT_EQ(ReadRtf(ReadData("minimal.rtf")).PlainText(), "Hi");
}

TEST(Rtf, HostileInputIsBounded) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  // Deep nesting, far beyond the depth cap, then text at the bottom.
  QByteArray deep = "{\\rtf1 a";
  deep += QByteArray(200000, '{') + "b" + QByteArray(200000, '}') + "c}";
  EXPECT_EQ(ReadRtf(deep).PlainText(), "ac");
  // Many characters: the output is capped.
  QByteArray big = "{\\rtf1 " + QByteArray(3 << 20, 'x') + "}";
  EXPECT_EQ(ReadRtf(big).PlainText().size(), mp::kRtfMaxChars);
  // A long control word, a huge \bin, a huge \uc and a flood of \u.
  EXPECT_EQ(ReadRtf("{\\rtf1 \\" + QByteArray(100000, 'a') + "1 z}").PlainText(), "z");
  EXPECT_EQ(ReadRtf("{\\rtf1 a\\bin2147483647 xyz}").PlainText(), "a");
  EXPECT_EQ(ReadRtf("{\\rtf1\\uc2147483647 \\u65x}").PlainText(), "A");
  QByteArray colors = "{\\rtf1{\\colortbl " + QByteArray(1 << 20, ';') + "}\\cf4095 a}";
  EXPECT_EQ(ReadRtf(colors).PlainText(), "a");
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(20));
}

// ---- QTextDocument adapter ---------------------------------------------------

class RtfDocument : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!QCoreApplication::instance()) {
      if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
      static int argc = 1;
      static char arg0[] = "test_platform";
      static char* argv[] = {arg0, nullptr};
      app_ = std::make_unique<QGuiApplication>(argc, argv);
    }
  }
  // Ended here, not at exit: QGuiApplication may not outlive the test's statics.
  static void TearDownTestSuite() { app_.reset(); }
  void SetUp() override {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
      GTEST_SKIP() << "needs a QGuiApplication";
  }
  static inline std::unique_ptr<QGuiApplication> app_;
};

// Text of a document with red characters in brackets.
QString MarkedDoc(const QTextDocument& d) {
  QString s;
  for (QTextBlock b = d.begin(); b.isValid(); b = b.next()) {
    if (b != d.begin()) s += '\n';
    for (auto it = b.begin(); !it.atEnd(); ++it) {
      const QTextCharFormat f = it.fragment().charFormat();
      const bool red = f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().color() == QColor(255, 0, 0);
      s += red ? '[' + it.fragment().text() + ']' : it.fragment().text();
    }
  }
  return s;
}

TEST_F(RtfDocument, RoundTripKeepsTextFontAndRed) {
  QTextDocument d;
  d.setDefaultFont(QFont("Liberation Sans", 10));
  QTextCursor c(&d);
  QTextCharFormat red, grey;
  red.setForeground(QColor(255, 0, 0));
  grey.setForeground(QColor(0x12, 0x34, 0x56));  // the "window text" colour below
  c.insertText("steady ", grey);
  c.insertText(QString::fromUtf8("blink €"), red);
  c.insertBlock();
  c.insertText(QString::fromUtf8("Ωx"), QTextCharFormat());
  const QByteArray rtf = mp::DocumentToRtf(d, QColor(0x12, 0x34, 0x56));
  EXPECT_TRUE(rtf.contains("{\\f0\\fnil Liberation Sans;}")) << rtf.toStdString();
  EXPECT_TRUE(rtf.contains("\\fs20 ")) << rtf.toStdString();
  EXPECT_FALSE(rtf.contains("\\red18")) << "the window text colour is written as automatic";

  QTextDocument e;
  ASSERT_TRUE(mp::RtfToDocument(rtf, e));
  EXPECT_EQ(MarkedDoc(e).toStdString(), QString::fromUtf8("steady [blink €]\nΩx").toStdString());
  EXPECT_EQ(e.blockCount(), 2);
  QTextCursor at(&e);
  at.setPosition(3);
  EXPECT_EQ(at.charFormat().fontFamilies().toStringList().value(0), "Liberation Sans");
  EXPECT_DOUBLE_EQ(at.charFormat().fontPointSize(), 10.0);
}

TEST_F(RtfDocument, BinaryDataLeavesTheDocument) {
  QTextDocument d;
  d.setPlainText("keep");
  EXPECT_FALSE(mp::RtfToDocument(QByteArray("\0\1\2", 3), d));
  EXPECT_EQ(d.toPlainText(), "keep");
  EXPECT_TRUE(mp::RtfToDocument("plain\r\nline", d));
  EXPECT_EQ(d.toPlainText(), "plain\nline");
}

// Our documents as another reader sees them. Skipped when unrtf is missing.
TEST_F(RtfDocument, UnrtfReadsOurDocuments) {
  const QString unrtf = QStandardPaths::findExecutable("unrtf");
  if (unrtf.isEmpty()) GTEST_SKIP() << "unrtf is not installed";
  QTextDocument d;
  d.setDefaultFont(QFont("Liberation Sans", 10));
  QTextCursor c(&d);
  QTextCharFormat red;
  red.setForeground(QColor(255, 0, 0));
  c.insertText("steady ");
  c.insertText(QString::fromUtf8("blink é"), red);
  QTemporaryDir dir;
  QFile f(dir.filePath("m.rtf"));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(mp::DocumentToRtf(d));
  f.close();
  QProcess p;
  p.start(unrtf, {"--html", f.fileName()});
  ASSERT_TRUE(p.waitForFinished(20000));
  const QString html = QString::fromUtf8(p.readAllStandardOutput());
  EXPECT_TRUE(html.contains("steady")) << html.toStdString();
  EXPECT_TRUE(html.contains(QRegularExpression("<font color=\"#ff0000\">blink (&eacute;|é|&#233;)")))
      << html.toStdString();
  EXPECT_TRUE(html.contains("Liberation Sans")) << html.toStdString();
}

}  // namespace
