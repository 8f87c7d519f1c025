// Connection primitives of the phone link: open and switch to PDU mode, write,
// wait for a pattern, read a reply line, fail, close, and the traffic log.
#include "phone/PhoneLink.h"

#include "phone/ReplyMeaning.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace mp {

namespace {

constexpr int kHandshakeAttempts = 5;

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

LinkTimings LinkTimings::Scaled(int divisor) {
  LinkTimings t;
  if (divisor <= 1) return t;
  auto shrink = [divisor](std::uint32_t v) { return std::max<std::uint32_t>(1, v / divisor); };
  t.Handshake = shrink(t.Handshake);
  t.Connection = shrink(t.Connection);
  t.Search = shrink(t.Search);
  t.Network = shrink(t.Network);
  t.WritePause = t.WritePause / divisor;
  t.PacePause = t.PacePause / divisor;
  t.PromptPause = t.PromptPause / divisor;
  return t;
}

PhoneLink::PhoneLink(PhoneHost& host, SerialFactory factory)
    : host_(host), factory_(std::move(factory)) {}

PhoneLink::~PhoneLink() {
  if (port_) port_->Close();
}

std::string PortName(int index) {
  std::string name = "COM?:";
  if (index >= -1 && index <= 8) name[3] = static_cast<char>('1' + index);
  return name;
}

bool PhoneLink::IsOpen() const { return port_ != nullptr; }

bool PhoneLink::OpenPhone() {
  if (inHook_) return false;  // called from within a wait: the running dialogue goes on
  if (port_) {  // never two connections at once
    port_->Close();
    port_.reset();
  }
  if (!waitCursor_) {
    host_.SetWaitCursor(true);
    waitCursor_ = true;
  }
  if (!dialogue_) {
    host_.SetDialogue(true);
    dialogue_ = true;
  }
  cancelled_ = false;
  Status("Establishing connection to ME...");
  LogReady = false;
  TrafficLog_.clear();

  // "COM?:" with the digit '1' plus the selected index; anything that is not
  // a digit 1..9 never resolves to a device.
  const std::string portName = PortName(host_.PortIndex());
  const std::string device = ResolvePortDevice(portName);

  bool ok = false;
  device_.clear();
  PortFailure failure{PortError::NoPort, 0, {}};
  if (!device.empty() && factory_) {
    port_ = factory_();
    failure = {};
    if (port_) port_->SetWaitHook([this] { return OnWait(); });
    if (port_ && port_->Open(device)) {
      ok = port_->Configure();
      if (!ok) failure = port_->Failure();
      // Every step runs even after a failed one; all must succeed.
      CommTimeouts current{};
      if (!port_->GetTimeouts(current)) ok = false;
      PortTimeouts_ = CommTimeouts{0, 0, timings_.Handshake, 0, timings_.Handshake};
      if (!port_->SetTimeouts(PortTimeouts_)) ok = false;
      port_->RaiseDtr();
      port_->RaiseRts();
      if (!ok && failure.error == PortError::None) failure.error = PortError::Settings;
    } else {
      if (port_) failure = port_->Failure();
      port_.reset();
    }
  }
  device_ = device;
  pacedNow_ = paced_ || PortPaced(host_.PortIndex() + 1);
  if (!port_ || !ok) {
    // The prescribed sentence first, then which device and why.
    std::string text = "Cannot open communications port.";
    const std::string why = DescribePortFailure(device, failure);
    if (!why.empty()) text += " " + why;
    SetResult(Outcome::NotSent, Cause::Port);
    Status(text);
    host_.Beep(BeepKind::Asterisk);
    ClosePhone();
    return false;
  }
  port_->PurgeInput();
  splitter_.Reset();
  skipNextLine_ = false;
  cdsNext_ = false;
  reportsSetUp_ = false;
  smsService_ = -1;
  unacknowledged_ = 0;
  // Five attempts, each ending at the phone's final result or after a
  // second of silence. A phone left in PDU entry by another program
  // swallows our commands until ESC: after the first unanswered attempt it
  // gets one ESC, and what it says to that is discarded.
  bool answered = false, escaped = false;
  std::optional<FinalResult> refusal;
  WaitEnd end = WaitEnd::Timeout;
  for (int attempt = 0; attempt < kHandshakeAttempts && !answered && !cancelled_; ++attempt) {
    Answer a = Ask("AT+CMGF=0\r", {}, timings_.Handshake);
    end = a.end;
    if (a.end == WaitEnd::Done && a.final) {
      answered = a.final->IsOk();
      if (!answered) refusal = a.final;
    } else if (a.end == WaitEnd::Broken) {
      break;
    } else if (a.end == WaitEnd::Timeout && !escaped && !refusal) {
      escaped = true;
      WritePhone("\x1B");
      port_->Pause(std::max<int>(1, static_cast<int>(timings_.Handshake / 10)));
      port_->PurgeInput();
      splitter_.Reset();
    }
  }
  PortTimeouts_.ReadTotalTimeoutConstant = timings_.Connection;
  PortTimeouts_.WriteTotalTimeoutConstant = timings_.Connection;
  port_->SetTimeouts(PortTimeouts_);
  if (answered) {
    // Numeric error codes, so that a refusal can be named (an old phone may
    // answer ERROR: that is fine). If the answer is late it must not be taken
    // for the next command's.
    Answer cmee = Ask("AT+CMEE=1\r", {}, timings_.Handshake);
    if (cmee.end == WaitEnd::Timeout) {
      port_->PurgeInput();
      splitter_.Reset();
    }
    if (cmee.end == WaitEnd::Broken || cmee.end == WaitEnd::Cancelled)
      return LinkFailed(cmee.end, "switching on numeric error codes");
    // Reports kept while nobody listened, for messages that wait for them.
    if (keepReports_ && !readingKept_ && host_.AwaitsReports()) ReadKeptReports();
    if (!port_) return false;
    return true;
  }
  if (cancelled_) {
    SetResult(Outcome::NotSent, Cause::Cancelled);
    Status("Cancelled.");
  } else {
    std::string text = "Failed, ME is not responding. " + PortLabel() + ": ";
    if (refusal) {
      text += "the phone answered " + WithMeaning(refusal->text) +
              " to AT+CMGF=0 (PDU mode)";
      const std::string causes = NameCauses(refusal, false);
      text += causes.empty() ? "; it may not support PDU mode." : "; " + causes + ".";
    } else if (end == WaitEnd::Broken) {
      text += "the line broke (the phone hung up or was unplugged).";
    } else {
      text += "no answer to AT+CMGF=0.";
    }
    SetResult(Outcome::NotSent, Cause::NoAnswer, refusal);
    Status(text);
  }
  host_.Beep(BeepKind::Asterisk);
  ClosePhone();
  return false;
}

void PhoneLink::ClosePhone() {
  if (inHook_) return;  // the port is in use by the wait that runs the host
  if (port_ && !port_->HungUp()) AcknowledgeReports();
  if (!inTransfer_) HandOverReports();
  if (port_) {
    port_->Close();
    port_.reset();
  }
  // Calls to the host stay paired, however often a dialogue closes.
  if (dialogue_) {
    host_.SetDialogue(false);
    dialogue_ = false;
  }
  if (waitCursor_) {
    host_.SetWaitCursor(false);
    waitCursor_ = false;
  }
}

int PhoneLink::WritePhone(std::string_view text) {
  // After a cancel nothing more goes out, and nothing is logged.
  if (inHook_ || cancelled_) return 0;
  int written = 0;
  if (port_) {
    port_->Pause(timings_.WritePause);
    if (cancelled_) return 0;
    // Paced: small pieces with a pause between, for phones whose receiver
    // loses bytes that come too fast. One count in the log all the same.
    const size_t piece = pacing_ ? static_cast<size_t>(kPaceChunk) : text.size();
    for (size_t at = 0; at < text.size() && !cancelled_;) {
      if (at > 0) port_->Pause(timings_.PacePause);
      const size_t n = std::min(piece, text.size() - at);
      const int w = port_->Write(text.data() + at, static_cast<int>(n));
      if (w > 0) written += w;
      if (w < static_cast<int>(n)) break;
      at += n;
    }
  }
  TrafficLog_ += '<';
  TrafficLog_ += std::to_string(written);
  TrafficLog_ += '>';
  return written;
}

bool PhoneLink::OnWait() {
  if (!cancelled_ && !inHook_) {
    inHook_ = true;
    if (host_.ServiceEvents()) cancelled_ = true;
    inHook_ = false;
  }
  return cancelled_ || (reading_ && port_->NowMs() >= deadline_);
}

bool PhoneLink::ReadByteBefore(unsigned char& b, std::int64_t deadline) {
  if (cancelled_ || port_->NowMs() >= deadline) return false;
  deadline_ = deadline;
  reading_ = true;
  const bool ok = port_->ReadByte(b);
  reading_ = false;
  return ok && !cancelled_;
}

bool PhoneLink::WaitForPhone(std::string_view pattern) {
  if (pattern.empty()) return true;
  if (!port_ || inHook_) return false;
  // Each read waits at most the phase's read time-out, the whole wait at
  // most a few of them.
  const std::int64_t deadline =
      port_->NowMs() +
      std::int64_t{timings_.WaitBoundFactor} * PortTimeouts_.ReadTotalTimeoutConstant;
  size_t pos = 0;
  for (;;) {
    unsigned char b = 0;
    if (!ReadByteBefore(b, deadline)) return false;
    TrafficLog_ += static_cast<char>(b);
    // A mismatching byte is compared once more against the first character.
    if (static_cast<char>(b) != pattern[pos]) pos = 0;
    if (static_cast<char>(b) == pattern[pos]) {
      if (++pos == pattern.size()) return true;
    } else {
      pos = 0;
    }
  }
}

bool PhoneLink::ReadPhoneLine(std::string& line, int limit) {
  line.clear();
  if (!port_ || inHook_) return false;
  // The phase's read time-out bounds the whole line, so that a phone
  // trickling bytes cannot hold the dialogue for long.
  const std::int64_t deadline = port_->NowMs() + PortTimeouts_.ReadTotalTimeoutConstant;
  for (int i = 0; i < limit; ++i) {
    unsigned char b = 0;
    if (!ReadByteBefore(b, deadline)) return false;
    TrafficLog_ += static_cast<char>(b);
    if (b == '\r') return true;
    line += static_cast<char>(b);
  }
  // Too long: one more byte is read and dropped, unlogged, and the line fails.
  unsigned char dropped = 0;
  if (limit >= 0) ReadByteBefore(dropped, deadline);
  return false;
}

bool PhoneLink::PhoneFailed() {
  if (inHook_) return false;
  // A dialogue the user cancelled ends here too, with its own text.
  Status(cancelled_ ? "Cancelled." : "Communications with ME failed.");
  host_.Beep(BeepKind::Asterisk);
  ClosePhone();
  return false;
}

void PhoneLink::SaveTrafficLog() {
  if (!LogReady) return;
  // Text mode: every line feed goes out as carriage return and line feed.
  std::string text;
  text.reserve(TrafficLog_.size() + TrafficLog_.size() / 8);
  for (char c : TrafficLog_) {
    if (c == '\n') text += '\r';
    text += c;
  }
  // Written beside the old file and renamed over it, so that a failure never
  // leaves a half-written log; the file is created or replaced as a whole.
  const std::string target = "MIRAPOST.LOG";
  std::string temp;
  int fd = -1;
  for (int n = 0; n < 100 && fd < 0; ++n) {
    temp = target + "." + std::to_string(::getpid()) + "." + std::to_string(n) + ".tmp";
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return;
  }
  if (fd < 0) return;
  bool ok = WriteAll(fd, text.data(), text.size());
  if (::close(fd) != 0) ok = false;
  if (!ok || std::rename(temp.c_str(), target.c_str()) != 0) ::unlink(temp.c_str());
}

}  // namespace mp
