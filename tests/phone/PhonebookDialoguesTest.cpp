// The phonebook dialogues against an in-memory line: the search reply, the
// search name as a string constant, and the probe for a free location.
#include <gtest/gtest.h>

#include "PhoneDialogue.h"
#include "support/CaseName.h"

namespace mp::test {
namespace {

// Phonebook search.
struct SearchCase {
  const char* what;
  std::string reply;
  bool ok;
  std::string name, address, status;
  BeepKind beep;
};

class Search : public PhoneDialogue, public ::testing::WithParamInterface<SearchCase> {};

TEST_P(Search, ReplyLine) {
  const SearchCase& c = GetParam();
  line->replies = {kOk, c.reply};
  std::string name = "Jo", address = "unchanged";
  EXPECT_EQ(link.FindPhonebookEntry(name, address), c.ok) << c.what;
  EXPECT_EQ(line->writes, (S{"AT+CMGF=0\r", "AT+CMEE=1\r", "AT+CSCS=\"8859-1\";+CPBF=\"Jo\"\r"}));
  EXPECT_EQ(line->timeouts.back().ReadTotalTimeoutConstant, 45000u);
  EXPECT_EQ(line->timeouts.back().WriteTotalTimeoutConstant, 10000u);
  EXPECT_EQ(link.PortTimeouts().ReadTotalTimeoutConstant, 45000u);
  EXPECT_EQ(Lead(host.statuses), (S{kEst, "Searching phonebook memory...", c.status})) << c.what;
  EXPECT_EQ(host.beeps, (B{c.beep})) << c.what;
  EXPECT_EQ(name, c.name);
  EXPECT_EQ(address, c.address);
  EXPECT_FALSE(link.IsOpen());
  EXPECT_EQ(host.cursor, (std::vector<bool>{true, false}));  // paired, also after PhoneFailed
}

INSTANTIATE_TEST_SUITE_P(PhonePhonebook, Search,
    ::testing::Values(
        SearchCase{"international number",
                   "\r\n+CPBF: 5,\"+358401234567\",145,\"Joe Bloggs\"\r\n\r\nOK\r\n", true,
                   "Joe Bloggs", "0C91534810325476", "Found: Joe Bloggs, +358401234567",
                   BeepKind::Ok},
        SearchCase{"national number", "\r\n+CPBF: 2,\"12345\",129,\"Jo\xE9l\"\r\n", true,
                   "Jo\xE9l", "05812143F5", "Found: Jo\xE9l, 12345", BeepKind::Ok},
        SearchCase{"empty line", "\r\n\r\nOK\r\n", false, "Jo", "unchanged",
                   "Cannot find matching entry.", BeepKind::Exclamation},
        // A line that is no answer, then nothing.
        SearchCase{"double quotes only", "\r\n\"\"\"\r\n", false, "Jo", "unchanged", kCommFailed,
                   BeepKind::Asterisk},
        // OK without an entry, and "not found": nothing matches.
        SearchCase{"bare OK", kOk, false, "Jo", "unchanged", "Cannot find matching entry.",
                   BeepKind::Exclamation},
        SearchCase{"not found", "\r\n+CME ERROR: 22\r\n", false, "Jo", "unchanged",
                   "Cannot find matching entry.", BeepKind::Exclamation},
        SearchCase{"another error result", "\r\n+CME ERROR: 3\r\n", false, "Jo", "unchanged",
                   kCommFailed, BeepKind::Asterisk},
        SearchCase{"empty name field", "\r\n+CPBF: 5,\"+358401234567\",145,\"\"\r\n", false, "Jo",
                   "unchanged", kCommFailed, BeepKind::Asterisk},
        SearchCase{"number the encoder rejects", "\r\n+CPBF: 5,\"12a45\",129,\"Jo\"\r\n", false,
                   "Jo", "unchanged", kCommFailed, BeepKind::Asterisk},
        SearchCase{"line of 80 characters", "\r\n" + std::string(80, 'z') + "\r\n", false, "Jo",
                   "unchanged", kCommFailed, BeepKind::Asterisk},
        SearchCase{"silent", "", false, "Jo", "unchanged", kCommFailed, BeepKind::Asterisk}),
    NamedBy(&SearchCase::what));

TEST_F(PhoneDialogue, SearchNameIsAStringConstantThatCannotBreakOut) {
  struct {
    std::string name, inQuotes;
  } cases[] = {
      {"", ""},
      {"Jo\"e", "Jo\\22e"},
      {"a\\b", "a\\5Cb"},
      {"x\";+CPBW=1,\"1\",129,\"y", "x\\22;+CPBW=1,\\221\\22,129,\\22y"},
      {std::string("c\r\n\x1A\x7F", 5), "c\\0D\\0A\\1A\\7F"},
      {"M\xFCller", "M\xFCller"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(PhonebookSearchCommand(c.name), "AT+CSCS=\"8859-1\";+CPBF=\"" + c.inQuotes + "\"\r");
  // A long name (from the history, say) is written whole.
  line->replies = {kOk, "\r\n\r\n"};
  std::string name(120, 'n'), address;
  link.FindPhonebookEntry(name, address);
  ASSERT_EQ(line->writes.size(), 3u);
  EXPECT_EQ(line->writes[2], "AT+CSCS=\"8859-1\";+CPBF=\"" + std::string(120, 'n') + "\"\r");
  EXPECT_NE(link.TrafficLog().find("<146>"), std::string::npos);
}

// Phonebook write.
const std::string kUsed = "\r\n+CPBR: 1,\"555\",129,\"41\"\r\n\r\nOK\r\n";
const std::string kRange = "\r\n+CPBR: (1-250),40,64\r\n\r\nOK\r\n";
const char* const kSaving = "Saving entry to ME memory...";

TEST_F(PhoneDialogue, WriteProbesUsedLocationsAndWritesTheFirstFreeOne) {
  line->echo = true;
  line->replies = {kOk, kOk, kRange, kUsed, kUsed, kUsed, "\r\n\r\nOK\r\n", kOk};
  EXPECT_TRUE(link.WritePhonebookEntry("3A6F65", "+3584012345", 145));
  EXPECT_EQ(line->writes, (S{"AT+CMGF=0\r", "AT+CMEE=1\r", "AT+CSCS=\"HEX\";+CPBS=\"ME\"\r", "AT+CPBR=?\r", "AT+CPBR=1\r",
                             "AT+CPBR=2\r", "AT+CPBR=3\r", "AT+CPBR=4\r",
                             "AT+CPBW=4,\"+3584012345\",145,\"3A6F65\"\r"}));
  EXPECT_EQ(host.statuses,
            (S{kEst, kSaving, "Entry successfully saved in ME memory location 4."}));
  EXPECT_EQ(host.beeps, (B{BeepKind::Ok}));
  EXPECT_FALSE(link.IsOpen());
}

TEST_F(PhoneDialogue, WriteTakesAnEmptyLocationThatAnswersOnlyOk) {
  line->replies = {kOk, kOk, kRange, kUsed, kOk, kOk};
  EXPECT_TRUE(link.WritePhonebookEntry("41", "5551234", 129));
  EXPECT_EQ(line->writes.back(), "AT+CPBW=2,\"5551234\",129,\"41\"\r");
  EXPECT_EQ(host.statuses.back(), "Entry successfully saved in ME memory location 2.");
}

TEST_F(PhoneDialogue, WriteProbeNotFollowedByOkReportsTheLine) {
  line->replies = {kOk, kOk, kRange, kUsed, "\r\n+CME ERROR: 21\r\n"};
  EXPECT_FALSE(link.WritePhonebookEntry("41", "5551234", 129));
  EXPECT_EQ(Lead(host.statuses), (S{kEst, kSaving, "Failed, ME responded: +CME ERROR: 21 (invalid index)."}));
  EXPECT_EQ(host.beeps, (B{BeepKind::Asterisk}));
  EXPECT_EQ(line->writes.size(), 6u);  // nothing written
  EXPECT_FALSE(link.IsOpen());
}

TEST_F(PhoneDialogue, WriteFailuresOfTheLine) {
  struct {
    S replies;
    size_t writes;
    const char* status = kCommFailed;
    BeepKind beep = BeepKind::Asterisk;
  } cases[] = {
      {{kOk}, 3},                                   // silent on the character set
      {{kOk, kOk, kRange}, 5},                      // silent on the probe
      {{kOk, kOk, kRange, "\r\n" + std::string(80, 'q') + "\r\n"}, 5},  // no answer, then nothing
      // Silent after the write command: the entry may be there.
      {{kOk, kOk, kRange, kOk}, 6,
       "The phone did not confirm the entry; it may have been saved in ME memory location 1.",
       BeepKind::Exclamation},
  };
  for (const auto& c : cases) {
    auto l = std::make_shared<FakeLine>();
    RecordingHost h;
    PhoneLink pl(h, FakeFactory(l));
    l->replies = c.replies;
    EXPECT_FALSE(pl.WritePhonebookEntry("41", "5551234", 129));
    EXPECT_EQ(Lead(h.statuses), (S{kEst, kSaving, c.status}));
    EXPECT_EQ(h.beeps, (B{c.beep}));
    EXPECT_EQ(l->writes.size(), c.writes);
  }
}

TEST_F(PhoneDialogue, LongHexNameIsWrittenWhole) {
  line->replies = {kOk, kOk, kRange, kOk, kOk};
  const std::string hexName(2 * 60, 'A');
  EXPECT_TRUE(link.WritePhonebookEntry(hexName, "+3584012345", 145));
  const std::string cmd = "AT+CPBW=1,\"+3584012345\",145,\"" + hexName + "\"\r";
  EXPECT_EQ(line->writes.back(), cmd);
  EXPECT_NE(link.TrafficLog().find("<" + std::to_string(cmd.size()) + ">"), std::string::npos);
}

}  // namespace
}  // namespace mp::test
