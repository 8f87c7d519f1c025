#pragma once
// Hands messages to a gateway as the phone link hands them to a phone: the
// same TPDU (SubmitTpdu), the same host (status bar, beep, the record through
// Transferred with `via` and `gatewayId`), and a typed outcome. Every wait is
// bounded: past it the message is Queued, its outcome unknown, never success.
#include <chrono>
#include <functional>
#include <string_view>

#include "gateway/Credentials.h"
#include "gateway/Gateway.h"
#include "phone/PhoneLink.h"

namespace mp::gateway {

class GatewayLink {
 public:
  GatewayLink(PhoneHost& host, Config config, std::chrono::milliseconds wait);

  // Sends one message and waits for its outcome (at most the bound). A
  // message to be stored in the SIM is refused: that needs the phone.
  LinkResult Send(const TransferSettings& settings, bool header, std::string_view body);

  const Config& Gateway() const { return config_; }
  // The gateway's identifier of the last message (spool file, Kannel token).
  const std::string& LastId() const { return lastId_; }
  // How often a wait tells the host how long it has waited (WaitProgress).
  void SetProgressEvery(std::chrono::milliseconds every) { progressEvery_ = every; }

 private:
  // One message's way through the gateway: the report the host sees at its
  // start and end, and the result.
  struct Run {
    GatewayLink& link;
    TransferReport report;
    LinkResult result;
    std::string lastStatus;

    void Status(const std::string& text) {
      // What a gateway wrote is in it: no control character reaches the
      // terminal or the status bar.
      lastStatus = PrintableStatus(text);
      link.host_.ShowStatus(lastStatus);
    }
    // About to hand it over: the record gets its row before anything goes
    // out, so that a crash meanwhile still leaves it there.
    void Pending() {
      report.result.outcome = Outcome::Pending;
      report.statusText = lastStatus;
      link.host_.Transferred(report);
    }
    // The gateway holds it: the record gets its row now.
    void Queued(const std::string& id) {
      link.lastId_ = id;
      report.gatewayId = id;
      report.result.outcome = Outcome::Queued;
      report.statusText = lastStatus;
      link.host_.Transferred(report);
    }
    void End(Outcome o, Cause c, const std::string& text) {
      result.outcome = o;
      result.cause = c;
      Status(text);
    }
  };
  void SendSmstools(Run& run);
  void SendKannel(Run& run);
  // Runs the event loop until `done` or the bound or a cancel, telling the
  // host the time waited and left as it goes. The bound is the whole
  // message's, counted from the start of Send.
  enum class Waited { Done, Bound, Cancelled };
  Waited WaitFor(const std::function<bool()>& done);

  PhoneHost& host_;
  Config config_;
  std::chrono::milliseconds wait_;
  std::chrono::steady_clock::time_point deadline_;
  std::chrono::milliseconds progressEvery_{1000};
  std::string lastId_;
};

}  // namespace mp::gateway
