#include "cli/Via.h"

#include <QRegularExpression>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <ostream>

#include "builders/LongText.h"
#include "cli/JsonFields.h"
#include "gateway/Credentials.h"
#include "gateway/GatewayLink.h"
#include "gateway/GatewayParts.h"
#include "pdu/Json.h"
#include "platform/Ansi.h"
#include "record/Record.h"

namespace mp::cli {

namespace {

// Status texts on standard error as they happen, transfers into the record.
class GatewayConsole : public PhoneHost {
 public:
  explicit GatewayConsole(std::ostream& err) : err_(err) {}
  int PortIndex() const override { return -1; }
  void ShowStatus(const std::string& text) override {
    last = text;
    err_ << FromAnsi(text).toStdString() << std::endl;
  }
  void Beep(BeepKind) override {}
  void SetWaitCursor(bool) override {}
  void Transferred(const TransferReport& report) override {
    if (recorder) recorder->Report(report);
  }
  std::string last;
  record::Recorder* recorder = nullptr;

 private:
  std::ostream& err_;
};

}  // namespace

void ApplyViaOptions(gateway::Config& g, const ViaOptions& o, std::ostream& err) {
  const bool kannel = g.kind == gateway::Kind::Kannel;
  if (!kannel && (o.passwordFile || o.dlrHost))
    throw InputError("--password-file and --dlr-host go with a Kannel gateway");
  if (!kannel) return;
  if (o.dlrHost) {
    // A host name, an IPv4 address, or an IPv6 one: it goes into the
    // dlr-url as it is.
    static const QRegularExpression host("^([A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9])?|[0-9A-Fa-f]*:[0-9A-Fa-f:.]*)$");
    if (!host.match(QString::fromStdString(*o.dlrHost)).hasMatch())
      throw InputError("--dlr-host needs an address or a host name of this machine, not \"" + *o.dlrHost + "\"");
    g.dlrHost = *o.dlrHost;
  }
  if (o.passwordFile) {
    std::string error;
    g.password = gateway::PasswordFromFile(*o.passwordFile, &error);
    if (!error.empty()) throw InputError(error);
  } else if (o.passwordInArguments) {
    err << "mirapost-send: warning: a password on the command line can be read by other users (ps) and stays in the"
           " shell's history; give it with --password-file, "
        << gateway::kPasswordVariable << " or a gateway stored in the window" << std::endl;
  } else if (const char* env = std::getenv(gateway::kPasswordVariable); env && *env && g.password.empty()) {
    g.password = env;
  }
}

int SendVia(const gateway::Config& gateway, const Composed& c, Io io, bool json, int waitSeconds) {
  if (c.isEntry) throw InputError("a gateway cannot write a phonebook entry: that needs the phone itself");
  for (const Outgoing& m : c.messages)
    if (m.settings.SaveMode) throw InputError(gateway::PhoneOnlyReason(true));

  GatewayConsole host(io.err);
  // The record, as for a phone: opened at the first message; a problem with
  // it is told on standard error and in every later --json line.
  record::Record record;
  record::Recorder recorder(record);
  std::string recordWarning;
  recorder.tell = [&](const std::string& why) {
    recordWarning = why;
    io.err << "mirapost-send: warning: " << why << std::endl;
  };
  host.recorder = &recorder;
  gateway::GatewayLink link(host, gateway, std::chrono::seconds(waitSeconds));
  std::vector<LinkResult> results;
  const std::size_t count = c.messages.size();
  for (std::size_t i = 0; i < count; ++i) {
    const Outgoing& m = c.messages[i];
    if (count > 1)
      io.err << "Message " << i + 1 << " of " << count << " to " << m.recipient.toStdString() << std::endl;
    // A long text goes part by part, each ready-made with its header, so that
    // the gateway never splits it itself; the reference is the recipient's own.
    std::vector<Body> parts = m.parts;
    const int reference = parts.empty() ? -1 : record.NextReference(m.settings.DestAddress);
    if (!parts.empty()) SetReference(parts, reference);
    // One row in the record for the whole text, and one outcome over its parts.
    std::string ids;
    const LinkResult r = parts.empty() ? link.Send(m.settings, m.body.header, m.body.hex)
                                       : gateway::SendParts(host, gateway, std::chrono::seconds(waitSeconds),
                                                            m.settings, parts, reference, {}, &ids);
    if (parts.empty()) ids = link.LastId();
    results.push_back(r);
    if (json) {
      const std::string tpdu = SubmitTpdu(m.settings, m.body.header, m.body.hex);
      pdu::JsonObject j;
      j.Str("kind", c.kind.toStdString()).Str("recipient", m.recipient.toStdString());
      j.Str("command", "").Str("sca", std::string(CentreToWrite(m.settings))).Str("pdu", tpdu);
      if (!parts.empty()) {
        // As through the phone: every part's TPDU, and how many went out.
        std::string pdus = "[";
        for (const Body& b : parts)
          pdus += (pdus.size() > 1 ? ",\"" : "\"") + SubmitTpdu(m.settings, b.header, b.hex) + "\"";
        j.Raw("pdus", pdus + "]").Int("parts", static_cast<int>(parts.size())).Int("parts_sent", r.partsSent);
      }
      j.Str("status", FromAnsi(host.last).toStdString()).Str("result", OutcomeName(r.outcome));
      j.Str("via", gateway::HideCredentials(gateway.name)).Str("gateway_id", ids);
      j.Raw("changes", ChangeJson(c.changes));
      AddCause(j, r);
      if (!recordWarning.empty()) j.Str("record_warning", recordWarning);
      io.out << j.Text() << std::endl;
    }
  }
  return ExitStatus(results);
}

}  // namespace mp::cli
