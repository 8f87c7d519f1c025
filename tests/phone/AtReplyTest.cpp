// Reading real phones' answers: lines, prompts, final results, unsolicited
// lines, message results and the answers to the cause questions.
#include <gtest/gtest.h>

#include "phone/AtReply.h"

namespace mp {
namespace {

// Every event the splitter reports for `bytes`, as text: "L:<line>" or "P".
std::vector<std::string> Events(const std::string& bytes, bool wantPrompt) {
  LineSplitter s;
  std::vector<std::string> out;
  for (char c : bytes) {
    switch (s.Feed(c, wantPrompt)) {
      case LineSplitter::Event::Line: out.push_back("L:" + s.Line()); break;
      case LineSplitter::Event::Prompt: out.push_back("P"); break;
      case LineSplitter::Event::None: break;
    }
  }
  return out;
}

using V = std::vector<std::string>;

TEST(LineSplitter, LineEndsPromptsAndEchoesOfRealPhones) {
  struct {
    const char* what;
    std::string bytes;
    bool prompt;
    V events;
  } cases[] = {
      {"CR LF", "\r\nOK\r\n", false, {"L:OK"}},
      {"LF only", "\n+CMGS: 5\n\nOK\n", false, {"L:+CMGS: 5", "L:OK"}},
      {"CR only", "\r+CMGS: 5\r\rOK\r", false, {"L:+CMGS: 5", "L:OK"}},
      {"echo then prompt", "AT+CMGS=16\r\r\n> ", true, {"L:AT+CMGS=16", "P"}},
      {"bare prompt", "> ", true, {"P"}},
      {"prompt without space", ">", true, {"P"}},
      {"prompt right after an echo ended in CR", "AT+CMGS=16\r> ", true, {"L:AT+CMGS=16", "P"}},
      {"unsolicited line before the prompt", "\r\nRING\r\n\r\n> ", true, {"L:RING", "P"}},
      {"a > inside a line is no prompt", "+CUSD: 0,\"a>b\"\r\n", true, {"L:+CUSD: 0,\"a>b\""}},
      {"no prompt unless asked", "> \r\n", false, {"L:> "}},
      {"error instead of the prompt", "\r\n+CMS ERROR: 311\r\n", true, {"L:+CMS ERROR: 311"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Events(c.bytes, c.prompt), c.events) << c.what;
}

TEST(LineSplitter, TheSpaceAfterThePromptIsSkippedAndOverlongLinesAreMarked) {
  LineSplitter s;
  EXPECT_EQ(s.Feed('>', true), LineSplitter::Event::Prompt);
  EXPECT_EQ(s.Feed(' ', false), LineSplitter::Event::None);
  EXPECT_FALSE(s.Partial());
  for (char c : std::string(LineSplitter::kMaxLine + 10, 'A')) s.Feed(c, false);
  ASSERT_EQ(s.Feed('\r', false), LineSplitter::Event::Line);
  EXPECT_TRUE(s.TooLong());
  EXPECT_EQ(s.Line().size(), LineSplitter::kMaxLine);
  for (char c : std::string("OK\n")) s.Feed(c, false);
  EXPECT_FALSE(s.TooLong());
}

TEST(AtReply, FinalResultsOfEveryKind) {
  using K = FinalResult::Kind;
  struct {
    const char* line;
    bool final;
    K kind;
    int code;
  } cases[] = {
      {"OK", true, K::Ok, -1},
      {"ERROR", true, K::Error, -1},
      {"+CMS ERROR: 500", true, K::CmsError, 500},
      {"+CMS ERROR:304", true, K::CmsError, 304},
      {"+CME ERROR: 22", true, K::CmeError, 22},
      {"+CME ERROR: not found", true, K::CmeError, -1},
      {"COMMAND NOT SUPPORT", true, K::Error, -1},
      {"TOO MANY PARAMETERS", true, K::Error, -1},
      {"+CMGS: 5", false, K::Error, -1},
      {"RING", false, K::Error, -1},
      {"NO CARRIER", false, K::Error, -1},  // a call's end, not an answer of ours
      {"OKAY", false, K::Error, -1},
      {"AT+CMGF=0", false, K::Error, -1},
  };
  for (const auto& c : cases) {
    const auto f = ParseFinal(c.line);
    ASSERT_EQ(f.has_value(), c.final) << c.line;
    if (!f) continue;
    EXPECT_EQ(f->kind, c.kind) << c.line;
    EXPECT_EQ(f->code, c.code) << c.line;
  }
}

TEST(AtReply, UnsolicitedLinesOfPhonesAndModems) {
  for (const char* line : {"RING", "+CRING: VOICE", "+CLIP: \"+123\",145", "+CMTI: \"SM\",3",
                           "+CDSI: \"SR\",1", "+CREG: 1,\"0010\",\"1234\"", "+CGREG: 1", "+CIEV: 2,3",
                           "+CUSD: 0,\"x\",15", "^RSSI:18", "^BOOT:1,0,0,0", "#STN: 1", "+CMT: ,24",
                           "+CDS: 25", "NO CARRIER"})
    EXPECT_TRUE(IsUnsolicited(line)) << line;
  for (const char* line : {"+CMGS: 5", "+CPBR: 1,\"1\",129,\"a\"", "OK", "0011FF", "AT+CMGS=16"})
    EXPECT_FALSE(IsUnsolicited(line)) << line;
  EXPECT_TRUE(IsTwoLineUnsolicited("+CMT: ,24"));
  EXPECT_TRUE(IsTwoLineUnsolicited("+CDS: 25"));
  EXPECT_FALSE(IsTwoLineUnsolicited("+CMTI: \"SM\",3"));
}

TEST(AtReply, MessageResultsWithAnythingAfterTheNumber) {
  struct {
    std::string line;
    const char* command;
    int value;  // -1: none
  } cases[] = {
      {"+CMGS: 12", "+CMGS", 12},
      {"+CMGS:0", "+CMGS", 0},
      {"+CMGS: 12,\"07911326040000F0040B911346610089F60000208062917314080CC8F71D14969741F977FD07\"",
       "+CMGS", 12},
      {"+CMGS: 255 ,\"time\"", "+CMGS", 255},
      {"+CMGW: 7", "+CMGW", 7},
      {"+CMGW: 7", "+CMGS", -1},
      {"+CMGS: ", "+CMGS", -1},
      {"+CMGS: 1x", "+CMGS", -1},
      {"+CMGSX: 1", "+CMGS", -1},
  };
  for (const auto& c : cases) {
    const auto v = ParseMessageResult(c.line, c.command);
    EXPECT_EQ(v.value_or(-1), c.value) << c.line;
  }
}

TEST(AtReply, PhonebookEntryIndexIsNoRangeAnswer) {
  EXPECT_EQ(PhonebookEntryIndex("+CPBR: 3,\"+358401\",145,\"Ann\"").value_or(0), 3u);
  EXPECT_EQ(PhonebookEntryIndex("+CPBF: 12,\"1\",129,\"B\"").value_or(0), 12u);
  EXPECT_FALSE(PhonebookEntryIndex("+CPBR: (1-250),40,64"));
  EXPECT_FALSE(PhonebookEntryIndex("+CREG: 1,\"0010\",\"1234\""));
  EXPECT_FALSE(PhonebookEntryIndex("RING"));
}

TEST(AtReply, CausesInPlainWords) {
  EXPECT_EQ(PinProblem("+CPIN: READY"), "");
  EXPECT_EQ(PinProblem("+CPIN: SIM PIN"), "the SIM wants its PIN");
  EXPECT_NE(PinProblem("+CPIN: \"SIM PUK\"").find("PUK"), std::string::npos);
  EXPECT_EQ(PinProblem("+CREG: 0,1"), "");
  EXPECT_EQ(RegistrationProblem("+CREG: 0,1"), "");
  EXPECT_EQ(RegistrationProblem("+CREG: 0,5"), "");
  EXPECT_NE(RegistrationProblem("+CREG: 0,2").find("searching"), std::string::npos);
  EXPECT_NE(RegistrationProblem("+CREG: 2,3,\"00C3\",\"1234\"").find("denied"), std::string::npos);
  EXPECT_NE(RegistrationProblem("+CREG: 0").find("not registered"), std::string::npos);
  EXPECT_EQ(RegistrationProblem("+CREG: 1,\"0010\",\"1234\""), "");  // the unsolicited form
  EXPECT_TRUE(CentreMissing("+CSCA: \"\",129"));
  EXPECT_TRUE(CentreMissing("+CSCA: ,0"));
  EXPECT_FALSE(CentreMissing("+CSCA: \"+358405202000\",145"));
  EXPECT_FALSE(CentreMissing("OK"));
}

}  // namespace
}  // namespace mp
