// Reading the phone's answers line by line, as real phones give them, and
// naming what is wrong when the phone refuses.
#include <algorithm>

#include "phone/PhoneLink.h"
#include "phone/ReplyMeaning.h"

namespace mp {

namespace {

std::string WithoutCr(std::string_view command) {
  std::string s(command);
  while (!s.empty() && (s.back() == '\r' || s.back() == '\n')) s.pop_back();
  return s;
}

bool HasCode(const std::optional<FinalResult>& f, FinalResult::Kind kind,
             std::initializer_list<int> codes) {
  return f && f->kind == kind && std::find(codes.begin(), codes.end(), f->code) != codes.end();
}

}  // namespace

std::string PhoneLink::Duration(std::uint32_t ms) {
  if (ms >= 1000 && ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
  return std::to_string(ms) + " ms";
}

std::string PhoneLink::PortLabel() const {
  const int index = host_.PortIndex();
  std::string label = index >= 0 && index <= 8 ? "COM " + std::to_string(index + 1) : "the port";
  if (!device_.empty()) label += " (" + device_ + ")";
  return label;
}

PhoneLink::WaitEnd PhoneLink::NextByte(char& c, std::int64_t deadline, std::int64_t silenceEnd) {
  unsigned char b = 0;
  if (ReadByteBefore(b, std::min(deadline, silenceEnd))) {
    TrafficLog_ += static_cast<char>(b);
    c = static_cast<char>(b);
    return WaitEnd::Done;
  }
  if (cancelled_) return WaitEnd::Cancelled;
  if (port_ && port_->HungUp()) return WaitEnd::Broken;
  return WaitEnd::Timeout;
}

PhoneLink::Answer PhoneLink::ReadAnswer(const Expect& expect) {
  Answer a;
  if (!port_ || inHook_) {
    a.end = WaitEnd::Broken;
    return a;
  }
  const std::string echo = WithoutCr(expect.echo);
  const std::int64_t deadline = port_->NowMs() + expect.boundMs;
  bool promptNext = false;  // the prompt came right after the line just read
  bool pduNext = false;     // the line after an information line is its PDU
  for (;;) {
    if (promptNext) {
      a.prompt = true;
      return a;
    }
    char c = 0;
    a.end = NextByte(c, deadline, port_->NowMs() + expect.silenceMs);
    if (a.end != WaitEnd::Done) return a;
    const LineSplitter::Event event = splitter_.Feed(c, expect.prompt);
    if (event == LineSplitter::Event::Prompt) {
      a.prompt = true;
      return a;
    }
    if (event != LineSplitter::Event::Line) continue;
    // The LF of a CR LF belongs to this line: read it now when it is there,
    // so that it is not left for the next command's answer.
    if (c == '\r') {
      char lf = 0;
      const std::int64_t now = port_->NowMs();
      // An echo ended by CR alone may be followed by the prompt at once.
      if (NextByte(lf, now + kPeekMs, now + kPeekMs) == WaitEnd::Done &&
          splitter_.Feed(lf, expect.prompt) == LineSplitter::Event::Prompt)
        promptNext = true;
    }
    const std::string line = splitter_.Line();
    if (pduNext) {
      pduNext = false;
      if (!ParseFinal(line)) {
        a.info.push_back(line);
        continue;
      }
      a.info.emplace_back();  // no PDU came: an empty one keeps the pairs
    }
    if (cdsNext_) {  // the PDU of a delivery report
      cdsNext_ = false;
      routed_.push_back(line);
      ++unacknowledged_;
      continue;
    }
    if (skipNextLine_) {  // the PDU or text of a +CMT or +CBM
      skipNextLine_ = false;
      continue;
    }
    if (splitter_.TooLong() || (!echo.empty() && line == echo)) continue;
    if (!expect.infoPrefix.empty() && HasInfoPrefix(line, expect.infoPrefix)) {
      a.info.push_back(line);
      if (expect.firstInfo) return a;
      pduNext = expect.infoWithPdu;
      continue;
    }
    if (auto final = ParseFinal(line)) {
      a.final = std::move(final);
      return a;
    }
    if (NoteReportLine(line)) continue;
    if (IsTwoLineUnsolicited(line)) skipNextLine_ = true;
    // Anything else (unsolicited results, vendor status lines, information
    // we did not ask for) is not an answer.
  }
}

PhoneLink::Answer PhoneLink::Ask(const std::string& command, std::string_view infoPrefix,
                                 std::uint32_t phaseMs) {
  WritePhone(command);
  Expect e;
  e.infoPrefix = infoPrefix;
  e.echo = command;
  e.silenceMs = phaseMs;
  e.boundMs = phaseMs * static_cast<std::uint32_t>(std::max(1, timings_.WaitBoundFactor));
  return ReadAnswer(e);
}

void PhoneLink::SetResult(Outcome outcome, Cause cause, const std::optional<FinalResult>& final,
                          std::string hint) {
  result_ = {};
  result_.outcome = outcome;
  result_.cause = cause;
  result_.hint = std::move(hint);
  if (final) {
    result_.reply = final->text;
    if (final->kind == FinalResult::Kind::CmsError) result_.cms = final->code;
    if (final->kind == FinalResult::Kind::CmeError) result_.cme = final->code;
  }
}

std::string PhoneLink::NameCauses(const std::optional<FinalResult>& final, bool askCentre) {
  using K = FinalResult::Kind;
  std::vector<std::string> causes;
  auto add = [&causes](std::string cause) {
    if (!cause.empty() && std::find(causes.begin(), causes.end(), cause) == causes.end())
      causes.push_back(std::move(cause));
  };
  const std::string kNoCentre =
      "the phone has no service centre number, so choose one in the Send/Save dialog or with "
      "--centre";
  // What the code says by itself.
  if (HasCode(final, K::CmsError, {311, 312}) || HasCode(final, K::CmeError, {11, 5}))
    add("the SIM wants its PIN");
  if (HasCode(final, K::CmsError, {316}) || HasCode(final, K::CmeError, {12}))
    add("the SIM wants its PUK (the PIN was entered wrongly too often)");
  if (HasCode(final, K::CmsError, {310}) || HasCode(final, K::CmeError, {10}))
    add("there is no SIM card in the phone");
  if (HasCode(final, K::CmsError, {330})) add(kNoCentre);

  // What the phone says when asked, while it still answers.
  if (!cancelled_ && port_) {
    const std::uint32_t phase = timings_.Handshake;
    Answer pin = Ask("AT+CPIN?\r", "+CPIN", phase);
    for (const std::string& line : pin.info) add(PinProblem(line));
    if (pin.final && pin.final->kind == K::CmeError && pin.final->code == 10)
      add("there is no SIM card in the phone");
    if (pin.end == WaitEnd::Done && !cancelled_) {
      Answer reg = Ask("AT+CREG?\r", "+CREG", phase);
      for (const std::string& line : reg.info) add(RegistrationProblem(line));
      if (askCentre && reg.end == WaitEnd::Done && !cancelled_) {
        Answer sca = Ask("AT+CSCA?\r", "+CSCA", phase);
        for (const std::string& line : sca.info)
          if (CentreMissing(line)) add(kNoCentre);
      }
    }
  }
  if (HasCode(final, K::CmsError, {331}) || HasCode(final, K::CmeError, {30}))
    add("the phone has no network service");
  if (HasCode(final, K::CmsError, {304}))
    add("the phone did not understand the PDU (nothing was sent); paced writing for this port "
        "may help (Phone > Ports..., or --pace)");

  std::string text;
  for (const std::string& cause : causes) text += (text.empty() ? "" : "; ") + cause;
  return text;
}

bool PhoneLink::LinkFailed(WaitEnd end, const std::string& doing) {
  if (inHook_) return false;
  std::string text;
  if (end == WaitEnd::Cancelled || cancelled_) {
    text = "Cancelled.";
    SetResult(Outcome::NotSent, Cause::Cancelled);
  } else if (end == WaitEnd::Broken) {
    text = "Communications with ME failed. " + PortLabel() + ": the line broke (the phone " +
           "hung up or was unplugged) while " + doing + ".";
    SetResult(Outcome::NotSent, Cause::LineBroken);
  } else {
    text = "Communications with ME failed. " + PortLabel() + ": no answer within " +
           Duration(PortTimeouts_.ReadTotalTimeoutConstant) + " while " + doing + ".";
    SetResult(Outcome::NotSent, Cause::Silence);
  }
  Status(text);
  host_.Beep(BeepKind::Asterisk);
  ClosePhone();
  return false;
}

}  // namespace mp
