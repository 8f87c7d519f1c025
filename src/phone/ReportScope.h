#pragma once
// Inside the phone link: tells the host that a transfer has started once the
// connection is up (Started), and how it ended when the scope is left,
// whichever way the dialogue left (a failed connection included).
#include "phone/PhoneLink.h"

namespace mp {

class PhoneLink::ReportScope {
 public:
  ReportScope(PhoneLink& link, TransferReport report) : link_(link), report_(std::move(report)) {
    report_.port = PortName(link_.host_.PortIndex());
    report_.device = ResolvePortDevice(report_.port);
    link_.result_ = {};
    link_.sentRefs_.clear();
    link_.sentTimes_.clear();
    link_.inTransfer_ = true;
  }
  void Started() {
    // A message of several parts starts once, with its first part.
    if (started_) return;
    started_ = true;
    report_.statusText = link_.lastStatus_;
    link_.host_.Transferred(report_);
  }
  ~ReportScope() {
    report_.finished = true;
    report_.statusText = link_.lastStatus_;
    // A dialogue that ended without saying how never reached the phone.
    if (link_.result_.outcome == Outcome::Pending) link_.result_.outcome = Outcome::NotSent;
    report_.result = link_.result_;
    report_.ok = report_.result.Ok();
    report_.messageRefs = link_.sentRefs_;
    report_.sentUtc = link_.sentTimes_;
    link_.host_.Transferred(report_);
    // Reports read meanwhile go to the host once it knows this message.
    link_.inTransfer_ = false;
    link_.HandOverReports();
  }
  ReportScope(const ReportScope&) = delete;
  ReportScope& operator=(const ReportScope&) = delete;

 private:
  PhoneLink& link_;
  TransferReport report_;
  bool started_ = false;
};

}  // namespace mp
