#pragma once
// An in-memory serial line with a scripted phone behind it, and a host that
// records what the user would see and hear.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "phone/PhoneHost.h"
#include "phone/Serial.h"

namespace mp::test {

struct FakeLine {
  bool openOk = true;
  bool configureOk = true;
  PortFailure failure;  // what the line says when Open or Configure failed
  // Replies of the phone, one per write in order (missing ones: silence).
  // "AT+CMEE=1\r" takes no reply of these: it gets `cmeeReply`.
  std::vector<std::string> replies;
  std::string cmeeReply = "\r\nOK\r\n";
  size_t replyIndex = 0;
  bool echo = false;
  // Bytes that arrive when nothing else is waiting (unsolicited chatter).
  std::string chatter;

  std::string input;  // bytes waiting to be read
  size_t readPos = 0;
  std::vector<std::string> writes;
  std::vector<int> pauses;
  std::vector<CommTimeouts> timeouts;  // every SetTimeouts
  CommTimeouts current{};
  std::string device;
  int opens = 0, closes = 0, purges = 0, dtr = 0, rts = 0;
  std::int64_t now = 0;  // virtual milliseconds
  std::int64_t trickle = 0;  // when set: virtual milliseconds before each byte
  size_t chatterPos = 0;

  std::string Unread() const { return input.substr(readPos); }
};

class FakeSerial : public SerialLine {
 public:
  explicit FakeSerial(std::shared_ptr<FakeLine> s) : s_(std::move(s)) {}
  bool Open(const std::string& device) override {
    s_->device = device;
    ++s_->opens;
    return s_->openOk;
  }
  bool Configure() override { return s_->configureOk; }
  PortFailure Failure() const override { return s_->failure; }
  bool GetTimeouts(CommTimeouts& t) override {
    t = s_->current;
    return true;
  }
  bool SetTimeouts(const CommTimeouts& t) override {
    s_->current = t;
    s_->timeouts.push_back(t);
    return true;
  }
  bool RaiseDtr() override { return ++s_->dtr, false; }  // as a pseudo-terminal: fails
  bool RaiseRts() override { return ++s_->rts, false; }
  void PurgeInput() override {
    ++s_->purges;
    s_->readPos = s_->input.size();
  }
  // Every byte takes a virtual millisecond, or `trickle` when set; silence
  // waits out the read time-out in slices, with the wait hook between them.
  bool ReadByte(unsigned char& b) override {
    const bool waiting = s_->readPos < s_->input.size() || !s_->chatter.empty();
    if (waiting && s_->trickle == 0) {
      s_->now += 1;
      if (WaitEnded()) return false;
      Next(b);
      return true;
    }
    const std::int64_t timeout = s_->current.ReadTotalTimeoutConstant;
    const std::int64_t arrives = waiting ? s_->trickle : timeout + 1;
    for (std::int64_t waited = 0; waited < timeout;) {
      const std::int64_t step = std::min<std::int64_t>(
          {std::int64_t{kWaitSliceMs}, timeout - waited, arrives - waited});
      s_->now += step;
      waited += step;
      if (WaitEnded()) return false;
      if (waited >= arrives) {
        Next(b);
        return true;
      }
    }
    return false;
  }
  int Write(const char* data, int length) override {
    std::string text(data, static_cast<size_t>(length));
    if (s_->echo) s_->input += text;
    s_->writes.push_back(text);
    if (text == "AT+CMEE=1\r") {
      s_->input += s_->cmeeReply;
      return length;
    }
    const size_t i = s_->replyIndex++;
    if (i < s_->replies.size()) s_->input += s_->replies[i];
    return length;
  }
  void Close() override { ++s_->closes; }
  void Pause(int ms) override {
    s_->pauses.push_back(ms);
    s_->now += ms;
    WaitEnded();
  }
  std::int64_t NowMs() override { return s_->now; }

 private:
  void Next(unsigned char& b) {
    if (s_->readPos < s_->input.size()) {
      b = static_cast<unsigned char>(s_->input[s_->readPos++]);
    } else {
      b = static_cast<unsigned char>(s_->chatter[s_->chatterPos++ % s_->chatter.size()]);
    }
  }
  std::shared_ptr<FakeLine> s_;
};

inline SerialFactory FakeFactory(std::shared_ptr<FakeLine> s) {
  return [s]() -> std::unique_ptr<SerialLine> { return std::make_unique<FakeSerial>(s); };
}

struct RecordingHost : PhoneHost {
  int port = 3;  // "COM 4"
  std::vector<std::string> statuses;
  std::vector<BeepKind> beeps;
  std::vector<bool> cursor;
  std::vector<TransferReport> reports;
  std::vector<bool> dialogue;
  std::vector<PhoneStatusReport> statusReports;
  // How many reports were already known when each status report came.
  std::vector<std::size_t> reportsBefore;
  int services = 0;
  // What the user does while the link waits; true cancels the dialogue.
  std::function<bool()> user;
  int PortIndex() const override { return port; }
  void Transferred(const TransferReport& r) override { reports.push_back(r); }
  bool StatusReportRead(const PhoneStatusReport& r) override {
    statusReports.push_back(r);
    reportsBefore.push_back(reports.size());
    return true;
  }
  void ShowStatus(const std::string& text) override { statuses.push_back(text); }
  void Beep(BeepKind kind) override { beeps.push_back(kind); }
  void SetWaitCursor(bool on) override { cursor.push_back(on); }
  void SetDialogue(bool running) override { dialogue.push_back(running); }
  bool ServiceEvents() override {
    ++services;
    return user && user();
  }
};

// Each status text up to its first sentence: the prescribed sentence, without
// the port and the cause that follow it.
inline std::vector<std::string> Lead(const std::vector<std::string>& statuses) {
  std::vector<std::string> out;
  for (const std::string& s : statuses) {
    const size_t end = s.find(". ");
    out.push_back(end == std::string::npos ? s : s.substr(0, end + 1));
  }
  return out;
}

// A fresh temporary folder, removed with its files at the end of the test.
struct TempDir {
  std::string path;
  TempDir();
  ~TempDir();
};

// A pseudo-terminal pair of the test's own: the master's descriptor (the
// caller closes it) and the slave's path. False when none can be had.
bool OpenPty(int& master, std::string& slave);

}  // namespace mp::test
