// Arbitrary bytes as the phone's replies to the message transfer and the
// phonebook dialogues. The in-memory line answers from the input until it is
// used up and then times out at once, so every run ends quickly; nothing may
// crash, hang or read out of bounds.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "phone/PhoneLink.h"
#include "support/SilentHost.h"

namespace {

struct Input {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t pos = 0;
  std::int64_t now = 0;
  std::uint32_t readTimeout = 0;
};

class ReplyLine : public mp::SerialLine {
 public:
  explicit ReplyLine(Input& in) : in_(in) {}
  bool Open(const std::string&) override { return true; }
  bool Configure() override { return true; }
  bool GetTimeouts(mp::CommTimeouts& t) override {
    t = {};
    return true;
  }
  bool SetTimeouts(const mp::CommTimeouts& t) override {
    in_.readTimeout = t.ReadTotalTimeoutConstant;
    return true;
  }
  bool RaiseDtr() override { return false; }
  bool RaiseRts() override { return false; }
  void PurgeInput() override {}
  bool ReadByte(unsigned char& b) override {
    if (in_.pos >= in_.size) {
      in_.now += in_.readTimeout;
      return false;
    }
    b = in_.data[in_.pos++];
    in_.now += 1;
    return true;
  }
  int Write(const char*, int length) override { return length; }
  void Close() override {}
  void Pause(int ms) override { in_.now += ms; }
  std::int64_t NowMs() override { return in_.now; }

 private:
  Input& in_;
};

using Host = mp::test::SilentHost;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  ::setenv("MIRAPOST_COM4", "/fuzz/line", 1);
  ::setenv("XDG_CONFIG_HOME", "/nonexistent-mirapost-fuzz", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte picks the dialogue and its settings; the rest is the phone.
  const std::uint8_t choice = data[0];
  Input in{data + 1, size - 1};
  Host host;
  mp::PhoneLink link(host, [&in] { return std::make_unique<ReplyLine>(in); });
  switch (choice % 3) {
    case 0: {
      mp::TransferSettings s{"05912143F5", (choice & 8) != 0, (choice & 16) ? "" : "00",
                             (choice & 32) != 0};
      // Keeping reports asks the phone about them first (TP-SRR set), and
      // a second bit reads what it keeps after the message.
      link.SetKeepReports((choice & 4) != 0);
      link.TransferMessage(s, (choice & 64) != 0, "0000A905E8329BFD06", 2 + (choice >> 7));
      if ((choice & 6) == 6) link.ReadKeptReports();
      break;
    }
    case 1: {
      std::string name = (choice & 8) ? "J\"o\\\r" : "Jo", address;
      if (link.FindPhonebookEntry(name, address) && address.empty()) __builtin_trap();
      break;
    }
    default:
      link.WritePhonebookEntry("3A6F65", "+3584012345", 145);
      break;
  }
  if (link.IsOpen()) __builtin_trap();  // every path closes the port
  return 0;
}
