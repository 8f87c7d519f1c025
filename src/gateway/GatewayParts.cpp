#include "gateway/GatewayParts.h"

#include <algorithm>

namespace mp::gateway {

namespace {

// Passes everything to the real host but the parts' own reports, which it
// folds into the reports of the whole message, and their beeps: the message
// beeps once, at its end.
class PartsHost : public PhoneHost {
 public:
  PartsHost(PhoneHost& host, TransferReport whole) : host_(host), whole_(std::move(whole)) {}
  int PortIndex() const override { return host_.PortIndex(); }
  void ShowStatus(const std::string& text) override {
    last = text;
    host_.ShowStatus(text);
  }
  void Beep(BeepKind) override {}
  void SetWaitCursor(bool on) override { host_.SetWaitCursor(on); }
  void SetDialogue(bool running) override { host_.SetDialogue(running); }
  bool ServiceEvents() override { return host_.ServiceEvents(); }
  void ArmLineWait(int fd, bool forWrite, int milliseconds) override { host_.ArmLineWait(fd, forWrite, milliseconds); }
  void Transferred(const TransferReport& part) override {
    whole_.port = part.port;
    whole_.via = part.via;
    if (!part.gatewayId.empty() && part.gatewayId != lastId_) {
      lastId_ = part.gatewayId;
      ids += (ids.empty() ? "" : " ") + part.gatewayId;
    }
    whole_.gatewayId = ids;
    // A part's end is not the message's: the message ends after its last.
    if (part.finished) return;
    // The message's row opens with its first part and stays open; a later
    // part's start is a step on its way.
    if (part.result.outcome == Outcome::Pending && started_) return;
    started_ = true;
    TransferReport r = whole_;
    r.result = part.result;
    r.statusText = part.statusText;
    host_.Transferred(r);
  }
  // The whole message has ended with `result`.
  void End(const LinkResult& result) {
    TransferReport r = whole_;
    r.finished = true;
    r.result = result;
    r.ok = result.Ok();
    r.statusText = last;
    host_.Transferred(r);
    host_.Beep(result.Ok() ? BeepKind::Ok : BeepKind::Exclamation);
  }
  std::string last;
  std::string ids;

 private:
  PhoneHost& host_;
  TransferReport whole_;
  std::string lastId_;
  bool started_ = false;
};

}  // namespace

LinkResult SendParts(PhoneHost& host, const Config& config, std::chrono::milliseconds wait,
                     const TransferSettings& settings, const std::vector<Body>& parts, int reference,
                     const Continuation& resume, std::string* ids) {
  const int n = static_cast<int>(parts.size());
  const int from = std::clamp(resume.from, 0, n);
  TransferReport whole;
  whole.command = settings.SaveMode ? "CMGW" : "CMGS";
  whole.sca = std::string(CentreToWrite(settings));
  for (int i = 0; i < n; ++i) {
    const std::string tpdu = SubmitTpdu(settings, parts[i].header, parts[i].hex);
    if (i == 0) {
      whole.tpdu = tpdu;
    } else {
      whole.moreTpdus.push_back(tpdu);
    }
  }
  whole.parts = n;
  whole.reference = reference;
  whole.from = from;
  whole.row = resume.row;
  PartsHost partsHost(host, whole);
  GatewayLink link(partsHost, config, wait);
  LinkResult result;
  result.outcome = Outcome::Confirmed;
  int taken = 0;
  bool queued = false;
  for (int i = from; i < n; ++i) {
    const LinkResult r = link.Send(settings, parts[i].header, parts[i].hex);
    if (r.Ok() || r.outcome == Outcome::Queued) {
      // Taken: sent, or held by the gateway with its outcome unknown.
      ++taken;
      queued = queued || r.outcome == Outcome::Queued;
      // Cancelled while the gateway held it: the rest stays unsent.
      if (r.cause == Cause::Cancelled) {
        result = r;
        partsHost.last = "Cancelled.";
        break;
      }
      if (i + 1 < n)
        partsHost.ShowStatus("Message " + std::to_string(i + 1) + " of " + std::to_string(n) +
                             (r.outcome == Outcome::Queued ? " queued..." : " sent..."));
      continue;
    }
    result = r;
    break;
  }
  const int done = from + taken;
  if (done == n) {
    // Every part was taken; one of unknown outcome leaves the message so.
    const Cause cancelled = result.cause == Cause::Cancelled ? Cause::Cancelled : Cause::Gateway;
    result.outcome = queued ? Outcome::Queued : Outcome::Confirmed;
    result.cause = queued ? cancelled : Cause::None;
  } else if (done > 0) {
    const std::string why = partsHost.last;
    result.outcome = Outcome::PartlySent;
    partsHost.ShowStatus(std::to_string(done) + " of " + std::to_string(n) + " parts sent; part " +
                         std::to_string(done + 1) + ": " + why);
  }
  result.parts = n;
  result.partsSent = done;
  result.reply = partsHost.last;
  partsHost.End(result);
  if (ids) *ids = partsHost.ids;
  return result;
}

}  // namespace mp::gateway
