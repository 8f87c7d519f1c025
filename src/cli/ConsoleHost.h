#pragma once
// mirapost-send's stand-in for the window: the status bar and beeps go to
// standard error, every message into the record, and a delivery report read on
// the way is matched and said there too.
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "phone/PhoneHost.h"
#include "platform/Ansi.h"
#include "record/Record.h"

namespace mp::cli {

// Phone link texts are code page 1252.
inline std::string Utf8(const std::string& ansi) { return FromAnsi(ansi).toStdString(); }

// The window's status bar and beeps, on standard error: every status text as
// it happens, and what tells how a dialogue ended.
class ConsoleHost : public PhoneHost {
 public:
  explicit ConsoleHost(std::ostream& err) : err_(err) {}

  int PortIndex() const override { return portIndex; }
  void ShowStatus(const std::string& text) override {
    statuses_.push_back(text);
    err_ << Utf8(text) << std::endl;
  }
  void Beep(BeepKind kind) override { beep_ = kind; }
  void SetWaitCursor(bool) override {}
  // Every send, save and phonebook write goes into the record when it is on.
  void Transferred(const TransferReport& given) override {
    if (!recorder) return;
    TransferReport report = given;
    // What went to the simulated phone is recorded so.
    if (report.via.empty() && !simulatedDevice.empty() && report.device == simulatedDevice)
      report.via = record::kViaSimulated;
    recorder->Report(report);
    if (report.finished) lastRow = recorder->LastId();
  }
  // A delivery report read on the way: matched and kept in the record, said
  // on standard error.
  bool StatusReportRead(const PhoneStatusReport& report) override {
    if (!recorder) return false;
    const record::PhoneReportTaken t = record::TakePhoneReport(recorder->Target(), report);
    err_ << t.said << std::endl;
    if (onReport) onReport(t);
    return t.taken.written;
  }
  bool AwaitsReports() override {
    return recorder && record::Enabled() && recorder->EnsureOpen() && recorder->Target().AwaitsReports();
  }

  void Reset() {
    statuses_.clear();
    beep_.reset();
  }
  std::string LastStatus() const { return statuses_.empty() ? std::string() : statuses_.back(); }

  int portIndex = 3;
  record::Recorder* recorder = nullptr;
  std::int64_t lastRow = 0;                                       // the record's row of the last message that ended
  std::function<void(const record::PhoneReportTaken&)> onReport;  // each report read
  std::string simulatedDevice;  // the simulated phone's device, when one runs

 private:
  std::ostream& err_;
  std::vector<std::string> statuses_;
  std::optional<BeepKind> beep_;
};

}  // namespace mp::cli
