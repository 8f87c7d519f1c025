#pragma once
// The in-memory phone line the dialogue tests share: the example message, the
// status texts in order, and a link whose port is a scripted fake.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>

#include "Fakes.h"
#include "phone/PhoneLink.h"

namespace mp::test {

using S = std::vector<std::string>;
using B = std::vector<BeepKind>;

inline const std::string kOk = "\r\nOK\r\n";
inline const std::string kPrompt = "\r\n> ";
inline const std::string kSent = "\r\n+CMGS: 1\r\n\r\nOK\r\n";
inline const std::string kStored = "\r\n+CMGW: 7\r\n\r\nOK\r\n";
inline const std::string kExampleTpdu = "31FF05912143F50000A905E8329BFD06";
inline const char* const kEst = "Establishing connection to ME...";
inline const char* const kTransferring = "Transferring message to ME...";
inline const char* const kWaiting = "Waiting for ME response...";
inline const char* const kCommFailed = "Communications with ME failed.";
inline const char* const kCannotOpen = "Cannot open communications port.";


inline std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

class PhoneDialogue : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("MIRAPOST_COM4", "/fake/com4", 1); }
  void TearDown() override { ::unsetenv("MIRAPOST_COM4"); }
  static TransferSettings Example() { return {"05912143F5", false, "00", true}; }
  void Send(const TransferSettings& s = Example(), bool header = false,
            std::string_view body = "0000A905E8329BFD06", int status = 2) {
    link.TransferMessage(s, header, body, status);
  }
  std::shared_ptr<FakeLine> line = std::make_shared<FakeLine>();
  RecordingHost host;
  PhoneLink link{host, FakeFactory(line)};
};

}  // namespace mp::test
