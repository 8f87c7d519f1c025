#include "cli/Compose.h"

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <iterator>

#include "builders/Gsm.h"
#include "builders/LongText.h"
#include "cli/LogoPicture.h"
#include "cli/Markup.h"
#include "pdu/Reading.h"
#include "platform/Ansi.h"
#include "platform/Rtf.h"

namespace mp::cli {

namespace {

constexpr int kNameChars = 32;         // the phonebook name editor's limit
constexpr int kDescriptionChars = 11;  // the logo description box's limit
constexpr int kMessageMaxChars = 320;  // the message editor's limit
// A long text: what 255 parts of 7-bit text hold.
constexpr int kLongMaxChars = kMaxParts * kConcatSeptets;

// A number needs at least one digit: "+" alone is no address.
bool HasDigit(const QString& number) {
  for (QChar c : number) {
    if (c >= u'0' && c <= u'9') return true;
  }
  return false;
}

std::u32string Ucs4(const std::vector<MarkedRun>& runs) {
  std::u32string out;
  for (const MarkedRun& run : runs) out += run.text;
  return out;
}

[[noreturn]] void Fail(const QString& why) { throw InputError(why.toStdString()); }

bool IsTextKind(const QString& kind) {
  return kind == "text" || kind == "class0" || kind == "hidden" || kind == "blink";
}

// Options that belong to some kinds only.
void CheckOptionsFit(const Request& r) {
  struct Rule {
    bool given;
    const char* option;
    QStringList kinds;
  };
  const QStringList text = {"text", "class0", "hidden", "blink"};
  const Rule rules[] = {
      {!r.file.isEmpty(), "--file", text},
      {!r.voice.isEmpty(), "--voice", {"indicator"}},
      {!r.fax.isEmpty(), "--fax", {"indicator"}},
      {!r.email.isEmpty(), "--email", {"indicator"}},
      {r.forward, "--forward", {"indicator"}},
      {!r.coding.isEmpty(), "--coding", {"indicator", "text", "class0", "hidden", "blink"}},
      {r.longText, "--long", text},
      {r.maxPartsGiven, "--max-parts", text},
      {!r.op.isEmpty(), "--operator", {"logo"}},
      {!r.picture.isEmpty(), "--picture", {"logo"}},
      {r.descriptionGiven, "--description", {"logo"}},
      {r.nameGiven, "--name", {"phonebook"}},
      {r.numberGiven, "--number", {"phonebook"}},
  };
  for (const Rule& rule : rules) {
    if (rule.given && !rule.kinds.contains(r.kind))
      Fail(QString("%1 does not apply to %2 (only to %3)").arg(rule.option, r.kind, rule.kinds.join(", ")));
  }
  if (!r.words.isEmpty() && !IsTextKind(r.kind))
    Fail(QString("%1 takes no text (unexpected \"%2\")").arg(r.kind, r.words.front()));
  if (r.kind == "phonebook") {
    if (!r.to.isEmpty() || r.save || r.centreGiven || r.noReport)
      Fail("phonebook writes an entry into the phone's own phonebook: --to, --save, --centre and "
           "--no-report do not apply");
  }
}

// Standard input up to kMaxInputBytes; more is refused unread.
QByteArray ReadAll(std::istream& in) {
  std::string bytes(kMaxInputBytes + 1, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  if (bytes.size() > kMaxInputBytes)
    Fail(QString("standard input holds more than %1 bytes: a message holds at most %2 characters")
             .arg(kMaxInputBytes)
             .arg(kMessageMaxChars));
  return QByteArray::fromStdString(bytes);
}

// Why `path` cannot be read as a file, or empty when it can be opened.
QString Unreadable(const QString& path) {
  const QFileInfo info(path);
  if (!info.exists()) return "no such file";
  if (info.isDir()) return "it is a directory";
  if (!info.isFile()) return "not a regular file";
  if (!info.isReadable()) return "permission denied";
  return {};
}

// A message file as the window opens it: RTF, or plain text. A character
// whose colour has a red component of 128 or more blinks, as the window's
// formatting normaliser marks it. Only what the message can hold is read.
std::vector<MarkedRun> FileRuns(const QString& path, int maxChars) {
  if (const QString why = Unreadable(path); !why.isEmpty()) Fail(QString("cannot read %1: %2").arg(path, why));
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) Fail(QString("cannot read %1: %2").arg(path, file.errorString()));
  if (file.size() > kMaxFileBytes)
    Fail(QString("%1 is too big for a message file (%2 bytes, at most %3)").arg(path).arg(file.size()).arg(kMaxFileBytes));
  bool ok = true;
  // One character more than fits, so that a longer text is still told apart.
  const RtfText text = ReadRtfFrom(file, maxChars + 1, kMaxFileBytes, &ok);
  if (!ok) Fail(QString("%1 is not a message file (binary data)").arg(path));
  std::vector<MarkedRun> runs;
  for (const RtfRun& run : text.runs) {
    const QList<uint> cps = run.text.toUcs4();
    runs.push_back({std::u32string(cps.begin(), cps.end()),
                    run.format.hasColor && qRed(run.format.color) >= 128});
  }
  if (Ucs4(runs).size() > static_cast<std::size_t>(maxChars))
    Fail(QString("%1 holds more than %2 characters: more than a message can hold").arg(path).arg(maxChars));
  return runs;
}

// The text of a text kind: the words, standard input for "-", or a file.
std::vector<MarkedRun> TextRuns(const Request& r, std::istream& in) {
  if (!r.file.isEmpty()) {
    if (!r.words.isEmpty()) Fail("give the text either as arguments or with --file, not both");
    return FileRuns(r.file, r.longText ? kLongMaxChars : kMessageMaxChars);
  }
  if (r.words.isEmpty()) Fail(r.kind + " needs a text (\"-\" reads standard input, --file FILE a message file)");
  QString text;
  if (r.words.size() == 1 && r.words.front() == "-") {
    text = QString::fromUtf8(ReadAll(in));
    // The line feed that ends the last line of the input is no part of the message.
    if (text.endsWith("\r\n")) {
      text.chop(2);
    } else if (text.endsWith('\n')) {
      text.chop(1);
    }
  } else {
    text = r.words.join(' ');
  }
  if (r.kind != "blink") return PlainRuns(text);
  MarkupResult markup = ParseBlinkMarkup(text);
  if (!markup.error.empty()) Fail(QString::fromStdString(markup.error));
  return std::move(markup.runs);
}

int TextType(const QString& kind) { return kind == "class0" ? TypeClass0 : kind == "hidden" ? TypeHidden : TypeNormal; }

// Whether the text goes through the long-text encoder: --long, or a coding
// other than today's 7-bit mapping.
bool LongTextWay(const Request& r) { return r.longText || (!r.coding.isEmpty() && r.coding != "7bit"); }

// Every part of a text sent the long way; a text that needs more parts than
// allowed is refused, saying how many it needs.
std::vector<Body> LongTextParts(const Request& r, const std::vector<MarkedRun>& runs) {
  if (r.coding != "" && r.coding != "7bit" && r.coding != "16bit" && r.coding != "auto")
    Fail(QString("--coding takes auto, 7bit or 16bit for a text, not \"%1\"").arg(r.coding));
  const int type = TextType(r.kind);
  const std::vector<TextChar> chars = TextChars(runs);
  if (r.kind == "blink" && !AnyBlink(chars))
    Fail(r.file.isEmpty() ? "nothing blinks: put the blinking part between {blink} and {/blink}"
                          : "nothing blinks: no text in " + r.file + " is red");
  if (chars.empty()) Fail("the text is empty");
  const TextCoding coding = r.coding == "auto"    ? TextCoding::Auto
                            : r.coding == "16bit" ? TextCoding::Ucs2
                                                  : TextCoding::Mapped;
  const int most = r.longText ? r.maxParts : 1;
  const LongText t = BuildLongText(type, chars, coding, most, 0);
  if (!t.Fits()) {
    if (!r.longText) Fail(QString("text too long: it takes %1 messages; --long sends it in parts").arg(t.needed));
    Fail(QString("text too long: it takes %1 messages, at most %2 allowed (--max-parts, at most %3)")
             .arg(t.needed)
             .arg(most)
             .arg(kMaxParts));
  }
  std::vector<Body> parts;
  for (const TextPart& p : t.parts) parts.push_back(p.body);
  return parts;
}

Body TextBody(const Request& r, std::istream& in, std::u32string& typed, std::vector<Body>& parts) {
  const int type = TextType(r.kind);
  const std::vector<MarkedRun> runs = TextRuns(r, in);
  typed = Ucs4(runs);
  if (LongTextWay(r)) {
    parts = LongTextParts(r, runs);
    const Body first = parts.front();
    if (parts.size() == 1) parts.clear();
    return first;
  }
  std::vector<BlinkChar> chars = MarkedChars(runs);
  // A hidden message has no blinking: the page removes every mark.
  if (type == TypeHidden) {
    for (BlinkChar& c : chars) c.blink = false;
  }
  std::string text;
  bool toggles = false;
  const int n = BlinkText(chars, &text, toggles);
  if (r.kind == "blink" && !toggles)
    Fail(r.file.isEmpty() ? "nothing blinks: put the blinking part between {blink} and {/blink}"
                          : "nothing blinks: no text in " + r.file + " is red");
  if (n == 0) Fail("the text is empty");
  const int limit = TextLimit(type, toggles);
  if (n > limit) {
    Fail(QString("text too long: %1 characters%2, at most %3 fit in this message")
             .arg(n)
             .arg(toggles ? " (each change between steady and blinking counts one)" : "")
             .arg(limit));
  }
  return BuildTextBody(type, text, toggles);
}

// "on" -> true in `on`, "off" -> true in `off`, empty -> neither.
void OnOff(const QString& value, const char* option, bool& on, bool& off) {
  const QString v = value.toLower();
  if (v.isEmpty()) return;
  if (v == "on") {
    on = true;
  } else if (v == "off") {
    off = true;
  } else {
    Fail(QString("%1 takes on or off, not \"%2\"").arg(option, value));
  }
}

Body IndicatorBody(const Request& r) {
  Indicators ind;
  OnOff(r.voice, "--voice", ind.voiceOn, ind.voiceOff);
  OnOff(r.fax, "--fax", ind.faxOn, ind.faxOff);
  OnOff(r.email, "--email", ind.emailOn, ind.emailOff);
  if (!ind.any()) Fail("indicator needs at least one of --voice, --fax and --email, each on or off");
  ind.forward = r.forward;
  if (ind.forward && (ind.voiceOn || ind.faxOn || ind.emailOn))
    Fail("--forward goes only with indicators switched off (a forwardable message only removes them)");
  // The page asks for the coding only when the message is stored without
  // the forward option; otherwise the info text is 16-bit.
  const bool asks = IndicatorAsksCoding(r.save, ind.forward);
  if (!r.coding.isEmpty() && r.coding != "7bit" && r.coding != "16bit")
    Fail(QString("--coding takes 7bit or 16bit, not \"%1\"").arg(r.coding));
  if (!r.coding.isEmpty() && !asks)
    Fail("--coding applies only to an indicator message stored with --save and without --forward");
  const bool sevenBit = asks && (r.coding.isEmpty() ? r.storedSevenBit : r.coding == "7bit");
  return BuildIndicatorBody(ind, sevenBit);
}

Body LogoBody(const Request& r) {
  if (r.op.trimmed().isEmpty()) Fail("logo needs --operator MCC-MNC (000-00 removes the logo)");
  const OperatorCheck check = CheckOperator(ToAnsi(r.op), std::string());
  if (!check.valid)
    Fail(QString("bad operator code \"%1\": three digits, a dash and two digits, such as 244-05").arg(r.op));
  std::string bits;
  if (r.picture.isEmpty()) {
    bits.assign(kLogoBitsChars, '0');  // a blank logo: no dark pixel
  } else {
    if (const QString why = Unreadable(r.picture); !why.isEmpty())
      Fail(QString("cannot read picture %1: %2").arg(r.picture, why));
    std::string error;
    const LogoPictureFn readPicture = LoadLogoPicture(&error);
    if (!readPicture) Fail("cannot read pictures: " + QString::fromStdString(error));
    QString why;
    if (!readPicture(r.picture, &bits, &why)) Fail(QString("cannot read picture %1: %2").arg(r.picture, why));
  }
  if (r.description.size() > kDescriptionChars)
    Fail(QString("description longer than %1 characters: \"%2\"").arg(kDescriptionChars).arg(r.description));
  return BuildLogoBody(check.code, bits);
}

Entry PhonebookEntry(const Request& r, std::vector<pdu::CharChange>& changes) {
  if (!r.nameGiven || !r.numberGiven) Fail("phonebook needs --name TEXT and --number NUMBER");
  Entry e;
  e.type = HasDigit(r.number) ? CheckEntryNumber(ToAnsi(r.number), e.number) : 0;
  if (e.type == 0)
    Fail(QString("bad number \"%1\": digits, blanks, dashes and one leading +, at most 20 digits").arg(r.number));
  MarkupResult markup = ParseBlinkMarkup(r.name);
  if (!markup.error.empty()) Fail("--name: " + QString::fromStdString(markup.error));
  // The name editor holds one line: line breaks become blanks.
  for (MarkedRun& run : markup.runs) {
    for (char32_t& cp : run.text) {
      if (cp == U'\n' || cp == U'\r' || cp == 0x2028 || cp == 0x2029) cp = U' ';
    }
  }
  const std::vector<BlinkChar> chars = MarkedChars(markup.runs);
  if (chars.size() > static_cast<std::size_t>(kNameChars))
    Fail(QString("name longer than %1 characters").arg(kNameChars));
  for (const MarkedRun& run : markup.runs)
    e.name += QString::fromUcs4(run.text.data(), static_cast<qsizetype>(run.text.size()));
  std::string blinkText;
  bool toggles = false;
  BlinkText(chars, &blinkText, toggles);
  e.hexName = HexName(blinkText);
  changes = pdu::ChangedCharacters(Ucs4(markup.runs), pdu::ReadPhonebookEntry(e.hexName, e.number).Text());
  return e;
}

}  // namespace

Composed Compose(const Request& r, std::istream& in) {
  if (r.kind.isEmpty()) Fail("no kind of message given (" + kKinds.join(", ") + ")");
  if (!kKinds.contains(r.kind)) Fail(QString("unknown kind \"%1\" (%2)").arg(r.kind, kKinds.join(", ")));
  CheckOptionsFit(r);

  Composed c;
  c.kind = r.kind;
  if (r.kind == "phonebook") {
    c.isEntry = true;
    c.entry = PhonebookEntry(r, c.changes);
    return c;
  }

  // The transfer settings that the Send/Save dialog would hold.
  const bool isTemplate = r.kind == "template";
  const bool save = r.save || isTemplate;
  if (save && !r.to.isEmpty())
    Fail(isTemplate ? "a template is stored in the SIM without a recipient: leave out --to"
                    : "--save stores the message in the SIM without a recipient: leave out --to");
  if (!save && r.to.isEmpty()) Fail("no recipient: give --to NUMBER, or --save to store the message in the SIM");
  TransferSettings base;
  base.SaveMode = save;
  base.Reports = !r.noReport;
  base.CentreAddress = "00";  // the phone's default centre
  if (r.centreGiven &&
      (!HasDigit(r.centre) || EncodeNumber(base.CentreAddress, ToAnsi(r.centre), FormatCentre) == 0))
    Fail(QString("bad centre number \"%1\": digits, blanks, dashes and one leading +, at most 20 digits")
             .arg(r.centre));
  std::vector<std::pair<QString, std::string>> recipients;
  for (const QString& number : r.to) {
    std::string address;
    if (!HasDigit(number) || EncodeNumber(address, ToAnsi(number), FormatDestination) == 0)
      Fail(QString("bad number \"%1\": digits, blanks, dashes and one leading +, at most 20 digits").arg(number));
    recipients.emplace_back(number, address);
  }
  if (save) recipients.emplace_back(QString(), std::string(kTemplateDestination));

  Body body;
  std::vector<Body> parts;
  if (IsTextKind(r.kind)) {
    std::u32string typed;
    body = TextBody(r, in, typed, parts);
    // Read back as the receiving phone will, from the very TPDUs.
    TransferSettings probe = base;
    probe.DestAddress = kTemplateDestination;
    std::u32string read;
    for (const Body& b : parts.empty() ? std::vector<Body>{body} : parts)
      read += pdu::ReadTpdu(SubmitTpdu(probe, b.header, b.hex)).Text();
    c.changes = pdu::ChangedCharacters(typed, read);
  } else if (r.kind == "indicator") {
    body = IndicatorBody(r);
  } else if (r.kind == "void") {
    body = BuildVoidBody();
  } else if (isTemplate) {
    body = BuildTemplateBody();
  } else {
    body = LogoBody(r);
    // Stored in the SIM, the description shows in the outbox as the address.
    if (save) recipients.front() = {r.description, DescriptionAddress(ToAnsi(r.description))};
  }
  for (const auto& [number, address] : recipients) {
    Outgoing o;
    o.recipient = number;
    o.settings = base;
    o.settings.DestAddress = address;
    o.body = body;
    o.parts = parts;
    c.messages.push_back(std::move(o));
  }
  return c;
}

}  // namespace mp::cli
