#include "gateway/GatewayLink.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>

#include "gateway/Smstools.h"
#include "gateway/Spool.h"

namespace mp::gateway {

GatewayLink::GatewayLink(PhoneHost& host, Config config, std::chrono::milliseconds wait)
    : host_(host), config_(std::move(config)), wait_(wait) {}

GatewayLink::Waited GatewayLink::WaitFor(const std::function<bool()>& done) {
  using std::chrono::milliseconds;
  QEventLoop loop;
  const qint64 every = std::max<qint64>(progressEvery_.count(), 1);
  qint64 nextReport = 0;
  for (;;) {
    if (done()) return Waited::Done;
    // Counted on the whole message's bound, so that Kannel's second wait
    // (for the report) goes on from where its first one ended.
    const auto now = std::chrono::steady_clock::now();
    const qint64 left = std::max<qint64>(std::chrono::duration_cast<milliseconds>(deadline_ - now).count(), 0);
    const qint64 waited = std::max<qint64>(wait_.count() - left, 0);
    if (waited >= nextReport) {
      host_.WaitProgress(milliseconds(waited), milliseconds(left));
      nextReport = (waited / every + 1) * every;
    }
    if (host_.ServiceEvents()) return Waited::Cancelled;
    if (now >= deadline_) return Waited::Bound;
    // Network replies and the report server's requests are served here.
    QTimer::singleShot(20, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
  }
}

LinkResult GatewayLink::Send(const TransferSettings& settings, bool header, std::string_view body) {
  // --wait bounds the message as a whole, however many phases it has.
  deadline_ = std::chrono::steady_clock::now() + wait_;
  Run run{*this, {}, {}, {}};
  run.report.command = settings.SaveMode ? "CMGW" : "CMGS";
  run.report.port = HideCredentials(config_.name);
  run.report.via = run.report.port;
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
  Spool spool;
  const std::string name = spool.Open(config_.spool, &error) ? spool.Queue(file.text, &error) : std::string();
  if (name.empty()) {
    run.End(Outcome::NotSent, Cause::Gateway, "Failed, " + error + ".");
    return;
  }
  run.Status("Queued in smstools as " + name);
  run.Queued(name);
  SpoolStatus status;
  const Waited w = WaitFor([&] {
    status = spool.Follow(name, file.text);
    return status.state == SpoolState::Sent || status.state == SpoolState::Failed;
  });
  if (w == Waited::Done && status.state == SpoolState::Sent) {
    run.End(Outcome::Confirmed, Cause::None, "Message successfully sent through smstools.");
  } else if (w == Waited::Done) {
    run.result.hint = status.failReason;
    run.End(Outcome::NotSent, Cause::Gateway, "Failed, smstools: " + status.failReason);
  } else if (w == Waited::Cancelled) {
    // Escape: the file is taken back unless smsd has taken it already.
    if (spool.Withdraw(name) == Withdrawal::Withdrawn) {
      run.End(Outcome::NotSent, Cause::Cancelled, "Cancelled, withdrawn: nothing was sent.");
    } else {
      run.End(Outcome::Unconfirmed, Cause::Cancelled, "Cancelled, smsd had taken it: it may be sent.");
    }
  } else if (!status.distrust.empty() && status.state == SpoolState::Gone) {
    // smsd took it, and what it seems to have written is not smsd's.
    run.result.hint = status.distrust;
    run.End(Outcome::Unconfirmed, Cause::Gateway,
            "smstools did not confirm the message; it may have been sent (" + status.distrust + ").");
  } else {
    // Still in the spool: smsd may send it later.
    run.End(Outcome::Queued, Cause::Gateway,
            "Queued in smstools as " + name + ", outcome unknown" +
                (status.distrust.empty() ? "" : " (" + status.distrust + ")") + ".");
  }
}

}  // namespace mp::gateway
