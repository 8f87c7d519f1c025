#include "cli/Send.h"
#include "cli/WaitReports.h"

#include <QCommandLineParser>
#include <QSaveFile>
#include <cstdlib>
#include <functional>
#include <optional>
#include <ostream>

#include "builders/LongText.h"
#include "cli/Compose.h"
#include "cli/ConsoleHost.h"
#include "cli/JsonFields.h"
#include "cli/PortChoice.h"
#include "cli/Reading.h"
#include "cli/Via.h"
#include "pdu/Json.h"
#include "pdu/PduDecoder.h"
#include "pdu/Reading.h"
#include "phone/PhoneLink.h"
#include "phone/Serial.h"
#include "phone/SimulatedPhone.h"
#include "platform/Ansi.h"
#include "platform/Settings.h"
#include "platform/Version.h"
#include "record/Record.h"

namespace mp::cli {

namespace {

// The --json name of how a message or entry ended.
std::string ResultName(const LinkResult& r, bool save) {
  if (r.outcome == Outcome::NotSent && r.cause == Cause::Port) return "port-error";
  return OutcomeName(r.outcome, save);
}

// "€ → e, [ → (" of a list of changes.
std::string ChangeText(const std::vector<pdu::CharChange>& changes) {
  std::string out;
  for (const pdu::CharChange& c : changes) {
    if (!out.empty()) out += ", ";
    out += pdu::ChangeLabel(c);
  }
  return out;
}

// --json among the arguments (before a "--"), whether or not they parse.
bool AsksForJson(const QStringList& arguments) {
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    if (arguments[i] == "--") break;
    if (arguments[i] == "--json" || arguments[i] == "-json") return true;
  }
  return false;
}

QString Aligned(const char* label, const QString& value) {
  const QString head = *label ? QString(label) + ':' : QString();
  return QString("%1 %2").arg(head, -8).arg(value);
}

std::string WithCrLf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

struct Options {
  QCommandLineOption help{{"h", "help"}};
  QCommandLineOption version{"version"};
  QCommandLineOption port{"port", "", "port"};
  QCommandLineOption simulated{"simulated-phone"};
  QCommandLineOption journal{"journal", "", "file"};
  QCommandLineOption to{"to", "", "number"};
  QCommandLineOption save{"save"};
  QCommandLineOption centre{"centre", "", "number"};
  QCommandLineOption noReport{"no-report"};
  QCommandLineOption forward{"forward"};
  QCommandLineOption coding{"coding", "", "coding"};
  QCommandLineOption dryRun{"dry-run"};
  QCommandLineOption json{"json"};
  QCommandLineOption strict{"strict"};
  QCommandLineOption log{"log", "", "file"};
  QCommandLineOption file{"file", "", "file"};
  QCommandLineOption voice{"voice", "", "on|off"};
  QCommandLineOption fax{"fax", "", "on|off"};
  QCommandLineOption email{"email", "", "on|off"};
  QCommandLineOption op{"operator", "", "code"};
  QCommandLineOption picture{"picture", "", "file"};
  QCommandLineOption description{"description", "", "text"};
  QCommandLineOption name{"name", "", "text"};
  QCommandLineOption number{"number", "", "number"};
  QCommandLineOption pace{"pace"};
  QCommandLineOption via{"via", "", "gateway"};
  QCommandLineOption wait{"wait", "", "seconds"};
  QCommandLineOption pduKey{"text-is-pdu-key", "", "key"};
  QCommandLineOption passwordFile{"password-file", "", "file"};
  QCommandLineOption dlrHost{"dlr-host", "", "address"};
  QCommandLineOption longText{"long"};
  QCommandLineOption maxParts{"max-parts", "", "n"};
  QCommandLineOption waitReport{"wait-report", "", "seconds"};

  void AddTo(QCommandLineParser& p) const {
    for (const QCommandLineOption* o :
         {&help,    &version,      &port,    &simulated,   &journal,  &to,        &save, &centre, &noReport,
          &forward, &coding,       &dryRun,  &json,        &strict,   &log,       &file, &voice,  &fax,
          &email,   &op,           &picture, &description, &name,     &number,    &pace, &via,    &wait,
          &pduKey,  &passwordFile, &dlrHost, &longText,    &maxParts, &waitReport})
      p.addOption(*o);
  }
};

// Options given twice where one value is meant.
void CheckSingle(const QCommandLineParser& p, const Options& o) {
  for (const QCommandLineOption* opt :
       {&o.port, &o.journal, &o.centre, &o.coding,       &o.log,         &o.file,     &o.voice,
        &o.fax,  &o.email,   &o.op,     &o.picture,      &o.description, &o.name,     &o.number,
        &o.via,  &o.wait,    &o.pduKey, &o.passwordFile, &o.dlrHost,     &o.maxParts, &o.waitReport}) {
    if (p.values(*opt).size() > 1)
      throw InputError("--" + opt->names().front().toStdString() + " given more than once");
  }
}

class Sender {
 public:
  Sender(Io io, bool json) : io_(io), json_(json), host_(io.err) {}

  // "mirapost-send reports": the phone's kept reports read into the record.
  bool readReports = false;

  int Run(const QCommandLineParser& p, const Options& o, const Composed& c) {
    if (readReports && (p.isSet(o.dryRun) || p.isSet(o.via) || p.isSet(o.waitReport)))
      throw InputError("reports reads the phone: not with --dry-run, --via or --wait-report");
    if (p.isSet(o.waitReport)) {
      bool ok = false;
      waitReport_ = p.value(o.waitReport).toInt(&ok);
      if (!ok || waitReport_ < 1 || waitReport_ > 86400)
        throw InputError("--wait-report needs a number of seconds from 1 to 86400");
      if (p.isSet(o.via) || c.isEntry || p.isSet(o.save))
        throw InputError("--wait-report follows messages sent through a phone: not with --via, --save or an entry");
    }
    const bool dry = p.isSet(o.dryRun);
    if (dry) return DryRun(c);
    if (p.isSet(o.via)) return Via(p, o, c);
    if (p.isSet(o.passwordFile) || p.isSet(o.dlrHost)) throw InputError("--password-file and --dlr-host go with --via");

    // The port: a COM n as the window resolves it, or a device of our own.
    std::optional<EnvGuard> device;
    const QString port = p.value(o.port);
    const int com = port.isEmpty() ? 0 : ComNumber(port);
    if (com < 0) throw InputError("bad port \"" + port.toStdString() + "\": COM1 to COM9, or a device path");
    if (!port.isEmpty() && com == 0) {
      if (p.isSet(o.simulated)) throw InputError("--simulated-phone makes its own device: give --port COMn or none");
      host_.portIndex = 0;
      device.emplace("MIRAPOST_COM1", port.toLocal8Bit().toStdString());
    } else {
      host_.portIndex = com > 0 ? com - 1 : StoredPortIndex();
    }

    std::optional<QSaveFile> log;
    if (p.isSet(o.log)) {
      log.emplace(p.value(o.log));
      if (!log->open(QIODevice::WriteOnly))
        throw InputError("cannot write the log " + p.value(o.log).toStdString() + ": " +
                         log->errorString().toStdString());
    }

    SimulatedPhone sim;
    if (p.isSet(o.simulated)) {
      const int n = host_.portIndex >= 0 ? host_.portIndex + 1 : 4;
      host_.portIndex = n - 1;
      std::string error;
      if (!sim.Start(n, &error, {}, p.value(o.journal))) {
        io_.err << "mirapost-send: cannot start the simulated phone: " << error << std::endl;
        return kNoPort;
      }
      host_.simulatedDevice = sim.Device().toStdString();
      io_.err << "mirapost-send: simulated phone on COM " << n << " (" << sim.Device().toStdString()
              << "): nothing you send leaves this computer.\n"
              << "mirapost-send: what it receives is written to " << sim.Journal().toStdString()
              << (sim.KeepsJournal() ? "" : " (removed at the end; --journal FILE keeps it)") << std::endl;
    } else if (p.isSet(o.journal)) {
      throw InputError("--journal goes with --simulated-phone");
    }

    // The record of sent messages, as the window keeps it; without it the
    // messages still go out.
    // It is opened at the first message; when it cannot be opened or a row
    // cannot be written, a warning goes to standard error and into every
    // later --json line, and the exit status stays the messages' own.
    recorder_.emplace(record_);
    recorder_->tell = [this](const std::string& why) {
      recordWarning_ = why;
      io_.err << "mirapost-send: warning: " << why << std::endl;
    };
    host_.recorder = &*recorder_;

    PhoneLink link(host_);
    link.SetPaced(p.isSet(o.pace) || PortPaced(host_.portIndex + 1));
    link.SetKeepReports(true);
    // Shrinks every time-out of the link (for tests of a silent phone).
    if (const char* scale = std::getenv("MIRAPOST_TIME_SCALE")) {
      const int n = std::atoi(scale);
      if (n > 1) link.SetTimings(LinkTimings::Scaled(n));
    }
    std::string traffic;
    const int rc = readReports ? ReadReports(link) : c.isEntry ? WriteEntry(link, c) : Transfer(link, c, traffic);
    traffic += link.TrafficLog();
    if (rc == kNoPort) {
      const std::string com = "COM" + std::to_string(host_.portIndex + 1);
      const std::string dev = host_.portIndex >= 0 ? ResolvePortDevice(com + ":") : std::string();
      io_.err << "mirapost-send: the port was "
              << (device ? dev : host_.portIndex < 0 ? std::string("none (the stored port names none)")
                                                     : com + (dev.empty() ? std::string() : " (" + dev + ")"))
              << "; --port chooses another" << std::endl;
    }
    if (log) {
      const std::string text = WithCrLf(traffic);
      log->write(text.data(), static_cast<qint64>(text.size()));
      if (!log->commit()) io_.err << "mirapost-send: cannot write the log: " << log->errorString().toStdString() << std::endl;
    }
    return rc;
  }

 private:
  // Through a gateway instead of a port.
  int Via(const QCommandLineParser& p, const Options& o, const Composed& c) {
    if (p.isSet(o.port) || p.isSet(o.simulated) || p.isSet(o.log))
      throw InputError("--via sends through a gateway: --port, --simulated-phone and --log need a phone");
    std::string error;
    auto gateway = gateway::ParseVia(p.value(o.via).toStdString(), gateway::LoadGateways(), &error);
    if (!gateway) throw InputError(error);
    if (p.isSet(o.pduKey)) gateway->pduKey = p.value(o.pduKey).toStdString();
    const auto given = [&p](const QCommandLineOption& opt) {
      return p.isSet(opt) ? std::optional(p.value(opt).toStdString()) : std::nullopt;
    };
    ViaOptions via{given(o.passwordFile), given(o.dlrHost),
                   !gateway->password.empty() && gateway->name.rfind("kannel:", 0) == 0};
    ApplyViaOptions(*gateway, via, io_.err);
    int wait = gateway::StoredWaitSeconds();
    if (p.isSet(o.wait)) {
      bool ok = false;
      wait = p.value(o.wait).toInt(&ok);
      if (!ok || wait < 1 || wait > 86400) throw InputError("--wait needs a number of seconds from 1 to 86400");
    }
    return SendVia(*gateway, c, io_, json_, wait);
  }

  int DryRun(const Composed& c) {
    if (c.isEntry) {
      const Entry& e = c.entry;
      const std::string command =
          "AT+CPBW=<free location>,\"" + e.number + "\"," + std::to_string(e.type) + ",\"" + e.hexName + "\"";
      if (json_) {
        pdu::JsonObject j;
        j.Str("kind", "phonebook").Str("name", e.name.toStdString()).Str("number", e.number);
        j.Int("type", e.type).Str("hex_name", e.hexName).Str("command", command);
        j.Raw("changes", ChangeJson(c.changes));
        j.Str("status", "").Str("result", "dry-run");
        io_.out << j.Text() << "\n";
      } else {
        io_.out << Aligned("Name", e.name).toStdString() << "\n"
                << Aligned("Number", QString::fromStdString(e.number + " (type " + std::to_string(e.type) + ")"))
                       .toStdString()
                << "\n"
                << Aligned("Command", QString::fromStdString(command)).toStdString() << "\n";
        PrintReading({pdu::RenderText(pdu::ReadPhonebookEntry(e.hexName, e.number))});
      }
      return kAllSent;
    }
    bool first = true;
    for (const Outgoing& m : c.messages) {
      const std::vector<Body> bodies = m.parts.empty() ? std::vector<Body>{m.body} : m.parts;
      for (std::size_t i = 0; i < bodies.size(); ++i) {
        DryRunPart(c, m, bodies[i], m.parts.empty() ? 0 : static_cast<int>(i + 1), first);
        first = false;
      }
    }
    return kAllSent;
  }

  // One message, or one part of a long text (`part` from 1; 0 for a message
  // of one part).
  void DryRunPart(const Composed& c, const Outgoing& m, const Body& body, int part, bool first) {
    {
      const std::string tpdu = SubmitTpdu(m.settings, body.header, body.hex);
      std::string command = TransferCommand(m.settings, tpdu, body.status);
      command.pop_back();  // the carriage return
      const std::string sca(CentreToWrite(m.settings));
      const pdu::SubmitResult decoded = pdu::DecodeSubmit(tpdu);
      const int parts = static_cast<int>(m.parts.size());
      if (json_) {
        pdu::JsonObject j = Common(c, m, command, sca, tpdu);
        if (part > 0) j.Int("part", part).Int("parts", parts);
        j.Str("status", "").Str("result", "dry-run");
        if (decoded.ok) {
          j.Raw("decoded", pdu::ToJson(decoded.pdu));
        } else {
          j.Str("error", decoded.error);
        }
        io_.out << j.Text() << "\n";
        return;
      }
      if (!first) io_.out << "\n";
      const QString to = m.settings.SaveMode ? "(stored in the SIM)" : m.recipient;
      io_.out << Aligned("To", to).toStdString() << "\n";
      if (part > 0) io_.out << Aligned("Part", QString("%1 of %2").arg(part).arg(parts)).toStdString() << "\n";
      io_.out << Aligned("Command", QString::fromStdString(command)).toStdString() << "\n"
              << Aligned("SCA", QString::fromStdString(sca)).toStdString() << "\n"
              << Aligned("TPDU", QString::fromStdString(tpdu)).toStdString() << "\n";
      std::vector<std::string> lines =
          decoded.ok ? EnvelopeLines(decoded.pdu) : std::vector<std::string>{"does not decode: " + decoded.error};
      if (decoded.ok) lines.push_back(pdu::RenderText(pdu::ReadSubmit(decoded.pdu)));
      PrintReading(lines);
    }
  }

  // What the receiving phone reads, under "Reading:", a line of text each.
  void PrintReading(const std::vector<std::string>& texts) {
    const char* label = "Reading";
    for (const std::string& text : texts) {
      for (const QString& line : QString::fromStdString(text).split('\n', Qt::SkipEmptyParts)) {
        io_.out << Aligned(label, line).toStdString() << "\n";
        label = "";
      }
    }
  }

  pdu::JsonObject Common(const Composed& c, const Outgoing& m, const std::string& command,
                         const std::string& sca, const std::string& tpdu) const {
    pdu::JsonObject j;
    j.Str("kind", c.kind.toStdString());
    if (m.settings.SaveMode && m.recipient.isEmpty()) {
      j.Null("recipient");
    } else {
      j.Str("recipient", m.recipient.toStdString());
    }
    j.Str("command", command).Str("sca", sca).Str("pdu", tpdu);
    j.Raw("changes", ChangeJson(c.changes));
    return j;
  }

  void Report(const Composed& c, const Outgoing& m, const LinkResult& r, const std::string& status) {
    if (!json_) return;
    const std::string tpdu = SubmitTpdu(m.settings, m.body.header, m.body.hex);
    std::string command = TransferCommand(m.settings, tpdu, m.body.status);
    command.pop_back();
    pdu::JsonObject j = Common(c, m, command, std::string(CentreToWrite(m.settings)), tpdu);
    if (!m.parts.empty()) {
      // A long text: its parts' TPDUs, and how many of them went out.
      std::string pdus = "[";
      for (const Body& b : m.parts) {
        if (pdus.size() > 1) pdus += ",";
        pdus += "\"" + SubmitTpdu(m.settings, b.header, b.hex) + "\"";
      }
      j.Raw("pdus", pdus + "]").Int("parts", static_cast<int>(m.parts.size())).Int("parts_sent", r.partsSent);
    }
    j.Str("status", Utf8(status)).Str("result", ResultName(r, m.settings.SaveMode));
    AddCause(j, r);
    if (!recordWarning_.empty()) j.Str("record_warning", recordWarning_);
    // With --wait-report the line waits for the reports; else the record's
    // delivery as it is now.
    rows_.push_back(host_.lastRow);
    if (waitReport_ > 0) {
      lines_.push_back(j);
      return;
    }
    AddDelivery(j, DeliveryOf(record_, host_.lastRow));
    io_.out << j.Text() << std::endl;
  }

  // Every message on one connection; a connection that broke is opened again
  // for the next message.
  int Transfer(PhoneLink& link, const Composed& c, std::string& traffic) {
    std::vector<LinkResult> outcomes;
    const std::size_t count = c.messages.size();
    for (std::size_t i = 0; i < count; ++i) {
      const Outgoing& m = c.messages[i];
      if (count > 1)
        io_.err << "Message " << i + 1 << " of " << count << " to " << m.recipient.toStdString() << std::endl;
      host_.Reset();
      host_.lastRow = 0;
      if (!link.IsOpen()) {
        if (i > 0) traffic += link.TrafficLog();
        if (!link.OpenPhone()) {
          // No connection: this message and the rest stay unsent (and are
          // recorded so).
          const LinkResult o = link.LastResult();
          const std::string status = host_.LastStatus();
          for (std::size_t k = i; k < count; ++k) {
            const Outgoing& unsent = c.messages[k];
            link.TransferOnConnection(unsent.settings, unsent.body.header, unsent.body.hex, unsent.body.status);
            outcomes.push_back(o);
            Report(c, unsent, o, status);
          }
          break;
        }
      }
      const LinkResult o = m.parts.empty()
                               ? link.TransferOnConnection(m.settings, m.body.header, m.body.hex, m.body.status)
                               : TransferLong(link, m);
      outcomes.push_back(o);
      if (!json_) rows_.push_back(0);
      Report(c, m, o, host_.LastStatus());
      if (!json_) rows_.back() = host_.lastRow;
    }
    const int rc = ExitStatus(outcomes);
    if (waitReport_ <= 0) {
      link.ClosePhone();
      return rc;
    }
    return AfterReports(link, rc);
  }

  // Reads the reports the phone keeps; with --json one line for each:
  // recipient, reference, report_status, delivery of its message (null when
  // none was matched), matched, and the sentence said.
  int ReadReports(PhoneLink& link) {
    host_.onReport = [this](const record::PhoneReportTaken& t) {
      if (!json_) return;
      pdu::JsonObject j;
      j.Bool("matched", t.taken.written);
      if (t.taken.row) {
        j.Str("recipient", t.taken.row->recipient).Str("delivery", t.taken.row->delivery);
        j.Str("delivered_at", t.taken.row->deliveryTime);
      } else {
        j.Null("recipient").Null("delivery").Null("delivered_at");
      }
      j.Str("said", t.said);
      io_.out << j.Text() << std::endl;
    };
    if (record::Enabled()) recorder_->EnsureOpen();
    const int read = link.ReadKeptReports();
    link.ClosePhone();
    host_.onReport = nullptr;
    if (read < 0) return ExitStatus({link.LastResult()}) == kAllSent ? kPhoneFailed : ExitStatus({link.LastResult()});
    io_.err << read << (read == 1 ? " delivery report" : " delivery reports") << " read from the phone." << std::endl;
    return kAllSent;
  }

  // --wait-report: the connection stays open until every report came or
  // the time is up; then the lines, and the status of the deliveries when
  // every message went out.
  int AfterReports(PhoneLink& link, int rc) {
    if (rc == kAllSent) {
      io_.err << "Waiting up to " << waitReport_ << " s for the delivery reports..." << std::endl;
      const char* scale = std::getenv("MIRAPOST_TIME_SCALE");
      const int pollMs = 2000 / std::max(1, scale ? std::atoi(scale) : 1);
      WaitForReports(link, record_, rows_, waitReport_, pollMs);
    }
    link.ClosePhone();
    std::vector<Delivery> deliveries;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
      deliveries.push_back(DeliveryOf(record_, rows_[i]));
      if (i < lines_.size()) {
        AddDelivery(lines_[i], deliveries.back());
        io_.out << lines_[i].Text() << std::endl;
      }
    }
    return rc != kAllSent ? rc : DeliveryExit(deliveries, kReportFailed, kNoReport);
  }

  // A long text with the recipient's own concatenation reference, from the
  // record (opened for it when it is on) or the counter beside it.
  LinkResult TransferLong(PhoneLink& link, const Outgoing& m) {
    if (record::Enabled()) recorder_->EnsureOpen();
    std::vector<Body> parts = m.parts;
    const int reference = record_.NextReference(m.settings.DestAddress);
    SetReference(parts, reference);
    return link.TransferParts(m.settings, parts, reference);
  }

  int WriteEntry(PhoneLink& link, const Composed& c) {
    host_.Reset();
    link.WritePhonebookEntry(c.entry.hexName, c.entry.number, c.entry.type);
    const LinkResult o = link.LastResult();
    if (json_) {
      pdu::JsonObject j;
      j.Str("kind", "phonebook").Str("name", c.entry.name.toStdString()).Str("number", c.entry.number);
      j.Int("type", c.entry.type).Str("hex_name", c.entry.hexName);
      j.Raw("changes", ChangeJson(c.changes));
      j.Str("status", Utf8(host_.LastStatus())).Str("result", ResultName(o, true));
      AddCause(j, o);
      if (!recordWarning_.empty()) j.Str("record_warning", recordWarning_);
      io_.out << j.Text() << std::endl;
    }
    return ExitStatus({o});
  }

  Io io_;
  bool json_;
  int waitReport_ = 0;                  // --wait-report seconds, 0 when not given
  std::vector<std::int64_t> rows_;      // the record's row of each message, in order
  std::vector<pdu::JsonObject> lines_;  // --json lines held for the reports
  record::Record record_;
  std::optional<record::Recorder> recorder_;
  std::string recordWarning_;  // the last problem with the record, for --json
  ConsoleHost host_;
};

}  // namespace

int ExitStatus(const std::vector<LinkResult>& results) {
  auto status = [](const LinkResult& r) {
    if (r.Ok()) return kAllSent;
    if (r.outcome == Outcome::Unconfirmed) return kUnconfirmed;
    if (r.outcome == Outcome::PartlySent) return kPartlySent;
    if (r.outcome == Outcome::Queued) return kQueuedUnknown;
    if (r.outcome == Outcome::NotSent && r.cause == Cause::Port) return kNoPort;
    return kPhoneFailed;
  };
  // Most important first.
  constexpr Exit kRank[] = {kUnconfirmed, kPartlySent, kQueuedUnknown, kNoPort, kPhoneFailed};
  for (Exit rc : kRank)
    for (const LinkResult& r : results)
      if (status(r) == rc) return rc;
  return kAllSent;
}

int Run(const QStringList& arguments, Io io) {
  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  Options o;
  o.AddTo(parser);
  const bool json = AsksForJson(arguments);
  auto refuse = [&io, json](const std::string& why, bool hint) {
    io.err << "mirapost-send: " << why << "\n";
    if (hint) io.err << "Try 'mirapost-send --help' for more information.\n";
    io.err.flush();
    // A script reading JSON hears of bad usage in JSON as well.
    if (json) {
      pdu::JsonObject j;
      j.Str("result", "bad-input").Str("error", why);
      io.out << j.Text() << std::endl;
    }
    return kBadInput;
  };
  auto usage = [&refuse](const std::string& why) { return refuse(why, true); };
  if (!parser.parse(arguments)) return usage(parser.errorText().toStdString());
  if (parser.isSet(o.help)) {
    io.out << HelpText();
    return kAllSent;
  }
  if (parser.isSet(o.version)) {
    io.out << "mirapost-send " << MIRAPOST_VERSION << "\n";
    return kAllSent;
  }
  try {
    CheckSingle(parser, o);
    Request r;
    QStringList positional = parser.positionalArguments();
    if (!positional.isEmpty()) r.kind = positional.takeFirst();
    r.words = positional;
    r.to = parser.values(o.to);
    r.save = parser.isSet(o.save);
    r.centreGiven = parser.isSet(o.centre);
    r.centre = parser.value(o.centre);
    r.noReport = parser.isSet(o.noReport);
    r.forward = parser.isSet(o.forward);
    r.coding = parser.value(o.coding);
    r.file = parser.value(o.file);
    r.voice = parser.value(o.voice);
    r.fax = parser.value(o.fax);
    r.email = parser.value(o.email);
    r.op = parser.value(o.op);
    r.picture = parser.value(o.picture);
    r.descriptionGiven = parser.isSet(o.description);
    r.description = parser.value(o.description);
    r.nameGiven = parser.isSet(o.name);
    r.name = parser.value(o.name);
    r.numberGiven = parser.isSet(o.number);
    r.number = parser.value(o.number);
    r.storedSevenBit = StoredSevenBit();
    r.longText = parser.isSet(o.longText);
    r.maxPartsGiven = parser.isSet(o.maxParts);
    if (r.maxPartsGiven) {
      bool ok = false;
      r.maxParts = parser.value(o.maxParts).toInt(&ok);
      if (!ok || r.maxParts < 1 || r.maxParts > kMaxParts)
        throw InputError("--max-parts needs a number of parts from 1 to " + std::to_string(kMaxParts));
    }
    if (r.kind == "reports") {
      if (!r.words.isEmpty() || !r.to.isEmpty()) throw InputError("reports takes no text and no --to");
      Sender sender(io, parser.isSet(o.json));
      sender.readReports = true;
      return sender.Run(parser, o, Composed{});
    }
    const Composed composed = Compose(r, io.in);
    // What will not arrive as written is said before anything goes out.
    if (!composed.changes.empty()) {
      const std::string list = ChangeText(composed.changes);
      if (parser.isSet(o.strict)) return refuse("--strict: these characters would change: " + list, false);
      io.err << "mirapost-send: these characters will change: " << list << std::endl;
    }
    Sender sender(io, parser.isSet(o.json));
    return sender.Run(parser, o, composed);
  } catch (const InputError& e) {
    return usage(e.what());
  }
}

}  // namespace mp::cli
