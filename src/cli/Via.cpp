#include "cli/Via.h"

#include <chrono>
#include <optional>
#include <ostream>

#include "gateway/GatewayLink.h"
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

int SendVia(const gateway::Config& gateway, const Composed& c, Io io, bool json, int waitSeconds) {
  if (c.isEntry) throw InputError("a gateway cannot write a phonebook entry: that needs the phone itself");
  for (const Outgoing& m : c.messages)
    if (m.settings.SaveMode) throw InputError(gateway::PhoneOnlyReason(true));

  GatewayConsole host(io.err);
  record::Record record;
  std::optional<record::Recorder> recorder;
  if (record::Enabled()) {
    if (record.Open()) {
      recorder.emplace(record);
      host.recorder = &*recorder;
    } else {
      io.err << "mirapost-send: no record of sent messages: " << record.Error() << std::endl;
    }
  }
  gateway::GatewayLink link(host, gateway, std::chrono::seconds(waitSeconds));
  std::vector<LinkResult> results;
  const std::size_t count = c.messages.size();
  for (std::size_t i = 0; i < count; ++i) {
    const Outgoing& m = c.messages[i];
    if (count > 1)
      io.err << "Message " << i + 1 << " of " << count << " to " << m.recipient.toStdString() << std::endl;
    const LinkResult r = link.Send(m.settings, m.body.header, m.body.hex);
    results.push_back(r);
    if (json) {
      const std::string tpdu = SubmitTpdu(m.settings, m.body.header, m.body.hex);
      pdu::JsonObject j;
      j.Str("kind", c.kind.toStdString()).Str("recipient", m.recipient.toStdString());
      j.Str("command", "").Str("sca", std::string(CentreToWrite(m.settings))).Str("pdu", tpdu);
      j.Str("status", FromAnsi(host.last).toStdString()).Str("result", OutcomeName(r.outcome));
      j.Str("via", gateway.name).Str("gateway_id", link.LastId());
      io.out << j.Text() << std::endl;
    }
  }
  return ExitStatus(results);
}

}  // namespace mp::cli
