// Message transfer: wraps a message body into an SMS-SUBMIT PDU and stores it
// in the SIM (AT+CMGW) or sends it (AT+CMGS) in PDU mode.
#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "phone/PhoneLink.h"
#include "phone/ReplyMeaning.h"
#include "phone/ReportScope.h"

namespace mp {

namespace {

TransferReport MessageReport(const TransferSettings& settings, const std::string& tpdu, int status) {
  TransferReport report;
  report.command = settings.SaveMode ? "CMGW" : "CMGS";
  report.status = settings.SaveMode ? status : -1;
  report.sca = std::string(CentreToWrite(settings));
  report.tpdu = tpdu;
  return report;
}

}  // namespace

LinkResult PhoneLink::TransferMessage(const TransferSettings& settings, bool header,
                                      std::string_view body, int status) {
  if (divert_) {
    if (auto r = divert_(settings, {Body{std::string(body), header, status}}, -1, {})) return result_ = *r;
  }
  const std::string tpdu = SubmitTpdu(settings, header, body);
  {
    ReportScope scope(*this, MessageReport(settings, tpdu, status));
    if (OpenPhone()) {
      TransferDialogue(settings, tpdu, status, scope);
      ClosePhone();
    }
  }
  return result_;
}

LinkResult PhoneLink::TransferOnConnection(const TransferSettings& settings, bool header,
                                           std::string_view body, int status) {
  const std::string tpdu = SubmitTpdu(settings, header, body);
  {
    ReportScope scope(*this, MessageReport(settings, tpdu, status));
    if (IsOpen()) TransferDialogue(settings, tpdu, status, scope);
  }
  return result_;
}

LinkResult PhoneLink::TransferParts(const TransferSettings& settings, const std::vector<Body>& parts, int reference,
                                    const Continuation& resume) {
  const int n = static_cast<int>(parts.size());
  const int from = std::clamp(resume.from, 0, n);
  if (n <= 1 && from == 0) {
    if (parts.empty()) return result_ = {};
    const Body& b = parts.front();
    return IsOpen() ? TransferOnConnection(settings, b.header, b.hex, b.status)
                    : TransferMessage(settings, b.header, b.hex, b.status);
  }
  if (from == n) return result_ = {};  // nothing is missing
  if (divert_) {
    // A gateway takes the whole message, as one, and reports it itself.
    if (auto r = divert_(settings, parts, reference, {from, resume.row})) return result_ = *r;
  }
  TransferReport report = MessageReport(settings, SubmitTpdu(settings, parts[0].header, parts[0].hex), parts[0].status);
  for (int i = 1; i < n; ++i) report.moreTpdus.push_back(SubmitTpdu(settings, parts[i].header, parts[i].hex));
  report.parts = n;
  report.reference = reference;
  report.from = from;
  report.row = resume.row;
  {
    ReportScope scope(*this, report);
    const bool opened = !IsOpen();
    int sent = 0;
    if (!opened || OpenPhone()) {
      for (int i = from; i < n && IsOpen(); ++i) {
        part_ = i + 1;
        parts_ = n;
        TransferDialogue(settings, i == 0 ? report.tpdu : report.moreTpdus[i - 1], parts[i].status, scope);
        part_ = parts_ = 0;
        if (result_.outcome != Outcome::Confirmed) break;
        ++sent;
      }
    }
    const int done = from + sent;
    if (done == 0 && result_.outcome == Outcome::Confirmed) result_.outcome = Outcome::NotSent;
    if (done > 0 && done < n) {
      // The first parts went out (now or before): say which did not, and why.
      const std::string why = lastStatus_;
      if (result_.outcome == Outcome::Confirmed || result_.outcome == Outcome::Pending)
        result_.cause = Cause::LineBroken;
      result_.outcome = Outcome::PartlySent;
      Status(std::to_string(done) + " of " + std::to_string(n) + " parts " + (settings.SaveMode ? "saved" : "sent") +
             "; part " + std::to_string(done + 1) + ": " + why);
    }
    result_.parts = n;
    result_.partsSent = done;
    if (opened) ClosePhone();
  }
  return result_;
}

void PhoneLink::TransferDialogue(const TransferSettings& settings, const std::string& tpdu, int status,
                                 ReportScope& scope) {
  // A report asked (TP-SRR): the phone is asked to keep what comes back.
  if (!settings.SaveMode && tpdu.size() >= 2 && (std::strtol(tpdu.substr(0, 2).c_str(), nullptr, 16) & 0x20))
    SetUpReports();
  if (!IsOpen()) return;
  Status("Transferring message to ME...");
  scope.Started();

  TrafficLog_ += "<CMD>";
  PhoneBuffer_ = TransferCommand(settings, tpdu, status);
  WritePhone(PhoneBuffer_);
  Expect prompt;
  prompt.echo = PhoneBuffer_;
  prompt.prompt = true;
  prompt.silenceMs = timings_.Connection;
  prompt.boundMs = timings_.Connection * static_cast<std::uint32_t>(std::max(1, timings_.WaitBoundFactor));
  const Answer asked = ReadAnswer(prompt);
  const std::string command = PhoneBuffer_.substr(0, PhoneBuffer_.size() - 1);
  if (!asked.prompt) {
    if (asked.end == WaitEnd::Done && asked.final) {
      // A final result instead of the prompt: the phone took nothing.
      Refused(*asked.final, settings);
    } else {
      LinkFailed(asked.end, "waiting for the prompt after " + command);
    }
    return;
  }
  // The space after ">" when the phone sent one, so that it is not left for
  // the PDU's echo; a paced line also gives the phone time to get ready.
  if (pacedNow_) port_->Pause(timings_.PromptPause);
  char c = 0;
  if (NextByte(c, port_->NowMs() + kPeekMs, port_->NowMs() + kPeekMs) == WaitEnd::Done) splitter_.Feed(c, false);

  TrafficLog_ += "<PDU>";
  const std::string_view centre = CentreToWrite(settings);
  pacing_ = pacedNow_;
  bool complete = WritePhone(centre) == static_cast<int>(centre.size());
  complete = complete && WritePhone(tpdu) == static_cast<int>(tpdu.size());
  const bool ended = complete && WritePhone("\x1A") == 1;
  pacing_ = false;
  if (!ended) {
    // Cancelled (or the line gave up) before the PDU was complete: ESC makes
    // the phone drop what it has, and nothing was sent.
    if (port_) TrafficLog_ += "<" + std::to_string(std::max(0, port_->Write("\x1B", 1))) + ">";
    LinkFailed(cancelled_ ? WaitEnd::Cancelled : WaitEnd::Broken, "writing the PDU");
    return;
  }

  // From here the message may have gone out: anything but the phone's answer
  // leaves it unconfirmed. The network may take long to confirm.
  PortTimeouts_.ReadTotalTimeoutConstant = timings_.Network;
  port_->SetTimeouts(PortTimeouts_);
  const std::int64_t deadline = port_->NowMs() + timings_.Network;
  WaitEnd end = WaitEnd::Done;
  // The end of the PDU's echo, or the start of the reply.
  for (;;) {
    end = NextByte(c, deadline, deadline);
    if (end != WaitEnd::Done) break;
    const bool lineEnd = c == '\r' || c == '\n';
    if (splitter_.Feed(c, false) == LineSplitter::Event::Line) PendingLine(settings);
    if (lineEnd) {
      if (c == '\r' && NextByte(c, port_->NowMs() + kPeekMs, port_->NowMs() + kPeekMs) == WaitEnd::Done)
        splitter_.Feed(c, false);
      break;
    }
  }
  Status("Waiting for ME response...");
  TrafficLog_ += "<END>";
  Answer reply;
  if (end == WaitEnd::Done && !pendingConfirm_ && !pendingFinal_) {
    Expect e;
    e.infoPrefix = settings.SaveMode ? "+CMGW" : "+CMGS";
    e.firstInfo = true;
    e.silenceMs = timings_.Network;
    const std::int64_t left = deadline - port_->NowMs();
    e.boundMs = left > 0 ? static_cast<std::uint32_t>(left) : 1;
    reply = ReadAnswer(e);
    end = reply.end;
  } else if (pendingConfirm_) {
    reply.info.push_back(*pendingConfirm_);
  } else if (pendingFinal_) {
    reply.final = pendingFinal_;
  }
  pendingConfirm_.reset();
  pendingFinal_.reset();

  if (!reply.info.empty() || (reply.final && reply.final->IsOk())) {
    PhoneBuffer_ = reply.info.empty() ? reply.final->text : reply.info.front();
    if (!reply.info.empty()) {
      // The "OK" that ends the answer, so that a next message on this
      // connection does not take it for its own.
      Expect rest;
      rest.silenceMs = timings_.Handshake;
      rest.boundMs = timings_.Handshake;
      ReadAnswer(rest);
    }
    SetResult(Outcome::Confirmed, Cause::None, reply.final);
    if (!settings.SaveMode) {
      sentRefs_.push_back(ParseMessageResult(PhoneBuffer_, "+CMGS").value_or(-1));
      sentTimes_.push_back(static_cast<long long>(
          std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
              .count()));
    }
    AcknowledgeReports();
    if (part_ > 0 && part_ < parts_) {
      // More parts follow on this connection.
      Status("Message " + std::to_string(part_) + " of " + std::to_string(parts_) + " " +
             (settings.SaveMode ? "saved..." : "sent..."));
      return;
    }
    Status(settings.SaveMode ? "Message successfully saved in SM." : "Message successfully sent.");
    host_.Beep(BeepKind::Ok);
    return;
  }
  if (reply.final) {
    Refused(*reply.final, settings);
    return;
  }
  // Silence, a broken line or a cancel after the PDU went out.
  std::string why;
  if (end == WaitEnd::Cancelled || cancelled_) {
    why = "cancelled after the message went out";
    SetResult(Outcome::Unconfirmed, Cause::Cancelled);
  } else if (end == WaitEnd::Broken) {
    why = "the line broke (the phone hung up or was unplugged) before the phone answered";
    SetResult(Outcome::Unconfirmed, Cause::LineBroken);
  } else {
    why = "no answer within " + Duration(timings_.Network);
    SetResult(Outcome::Unconfirmed, Cause::Silence);
  }
  Status("The phone did not confirm the message; it may have been sent. " + PortLabel() + ": " +
         why + ".");
  host_.Beep(BeepKind::Exclamation);
  ClosePhone();
}

void PhoneLink::PendingLine(const TransferSettings& settings) {
  // A whole line before the first line end was seen only when the phone ends
  // lines in a way that puts the reply first (no echo, LF only).
  const std::string& line = splitter_.Line();
  if (HasInfoPrefix(line, settings.SaveMode ? "+CMGW" : "+CMGS")) {
    pendingConfirm_ = line;
  } else if (auto final = ParseFinal(line)) {
    pendingFinal_ = std::move(final);
  } else {
    NoteReportLine(line);
  }
}

void PhoneLink::Refused(const FinalResult& final, const TransferSettings& settings) {
  PhoneBuffer_ = final.text;
  const std::string causes =
      NameCauses(final, !settings.SaveMode && CentreToWrite(settings) == "00");
  SetResult(Outcome::Refused, Cause::ErrorResult, final, causes);
  std::string text = "Failed, ME responded: " + WithMeaning(final.text) + ". Nothing was " +
                     (settings.SaveMode ? "saved" : "sent") + " from " + PortLabel();
  text += causes.empty() ? "." : ": " + causes + ".";
  Status(text);
  host_.Beep(BeepKind::Exclamation);
}

}  // namespace mp
