#include "gateway/GatewayLink.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>

#include "gateway/Smstools.h"

namespace mp::gateway {

GatewayLink::GatewayLink(PhoneHost& host, Config config, std::chrono::milliseconds wait)
    : host_(host), config_(std::move(config)), wait_(wait) {}

GatewayLink::Waited GatewayLink::WaitFor(const std::function<bool()>& done) {
  using std::chrono::milliseconds;
  QElapsedTimer clock;
  clock.start();
  QEventLoop loop;
  const qint64 every = std::max<qint64>(progressEvery_.count(), 1);
  qint64 nextReport = 0;
  for (;;) {
    if (done()) return Waited::Done;
    const qint64 waited = std::min<qint64>(clock.elapsed(), wait_.count());
    if (waited >= nextReport) {
      host_.WaitProgress(milliseconds(waited), milliseconds(wait_.count() - waited));
      nextReport = (waited / every + 1) * every;
    }
    if (host_.ServiceEvents()) return Waited::Cancelled;
    if (clock.elapsed() >= wait_.count()) return Waited::Bound;
    // Network replies and the report server's requests are served here.
    QTimer::singleShot(20, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
  }
}

LinkResult GatewayLink::Send(const TransferSettings& settings, bool header, std::string_view body) {
  Run run{*this, {}, {}, {}};
  run.report.command = settings.SaveMode ? "CMGW" : "CMGS";
  run.report.port = config_.name;
  run.report.via = config_.name;
  run.report.sca = std::string(CentreToWrite(settings));
  run.report.tpdu = SubmitTpdu(settings, header, body);
  lastId_.clear();
  host_.SetDialogue(true);
  host_.SetWaitCursor(true);
  if (settings.SaveMode) {
    run.End(Outcome::Refused, Cause::Gateway, "Failed, " + PhoneOnlyReason(true) + ".");
  } else if (config_.kind == Kind::Smstools) {
    SendSmstools(run);
  } else {
    SendKannel(run);
  }
  host_.SetWaitCursor(false);
  host_.SetDialogue(false);
  host_.Beep(run.result.Ok() ? BeepKind::Ok : BeepKind::Exclamation);
  run.result.reply = run.lastStatus;
  run.report.finished = true;
  run.report.ok = run.result.Ok();
  run.report.result = run.result;
  run.report.statusText = run.lastStatus;
  host_.Transferred(run.report);
  return run.result;
}

void GatewayLink::SendSmstools(Run& run) {
  const SpoolFile file = MakeSpoolFile(config_, run.report.sca, run.report.tpdu);
  if (!file.ok) {
    run.End(Outcome::Refused, Cause::Gateway, "Failed, " + file.error + ".");
    return;
  }
  std::string error;
  const std::string name = QueueSpoolFile(config_.spool, file.text, &error);
  if (name.empty()) {
    run.End(Outcome::NotSent, Cause::Gateway, "Failed, " + error + ".");
    return;
  }
  run.Status("Queued in smstools as " + name);
  run.Queued(name);
  SpoolStatus status;
  const Waited w = WaitFor([&] {
    status = FollowSpoolFile(config_.spool, name);
    return status.state == SpoolState::Sent || status.state == SpoolState::Failed;
  });
  if (w == Waited::Done && status.state == SpoolState::Sent) {
    run.End(Outcome::Confirmed, Cause::None, "Message successfully sent through smstools.");
  } else if (w == Waited::Done) {
    run.result.hint = status.failReason;
    run.End(Outcome::NotSent, Cause::Gateway, "Failed, smstools: " + status.failReason);
  } else {
    // Still in the spool: smsd may send it later.
    run.End(Outcome::Queued, w == Waited::Cancelled ? Cause::Cancelled : Cause::Gateway,
            "Queued in smstools as " + name + ", outcome unknown.");
  }
}

}  // namespace mp::gateway
