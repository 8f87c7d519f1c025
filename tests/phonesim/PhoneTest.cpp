// The AT interpreter in process: replies byte for byte, journal lines, faults.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include <QJsonDocument>
#include <QJsonObject>

#include "Phone.h"

using phonesim::Event;
using phonesim::Fault;
using phonesim::Phone;
using phonesim::PhoneOptions;

namespace {

struct Harness {
  explicit Harness(PhoneOptions o = {}) : phone(std::move(o)) {
    phone.journal = [this](const std::string& line) { journal.push_back(line); };
  }
  // Bytes the phone sends back for `in`; events other than Send are counted.
  std::string Say(std::string_view in) {
    std::vector<Event> ev;
    phone.Receive(in, ev);
    std::string out;
    for (const auto& e : ev) {
      if (e.kind == Event::Send) out += e.bytes;
      if (e.kind == Event::Hangup) ++hangups;
      if (e.kind == Event::Chatter) ++chatters;
    }
    return out;
  }
  QJsonObject LastJournal() const {
    return journal.empty() ? QJsonObject()
                           : QJsonDocument::fromJson(QByteArray::fromStdString(journal.back())).object();
  }
  Phone phone;
  std::vector<std::string> journal;
  int hangups = 0, chatters = 0;
};

PhoneOptions Quiet() {
  PhoneOptions o;
  o.echo = false;
  return o;
}

TEST(Phone, EchoAndBasicReplies) {
  Harness h;
  EXPECT_EQ(h.Say("AT+CMGF=0\r"), "AT+CMGF=0\r\r\nOK\r\n");
  EXPECT_EQ(h.Say("ATE0\r"), "ATE0\r\r\nOK\r\n");
  EXPECT_EQ(h.Say("AT\r"), "\r\nOK\r\n");
  EXPECT_EQ(h.Say("ATE1\r"), "\r\nOK\r\n");
  EXPECT_EQ(h.Say("AT+NONSENSE\r"), "AT+NONSENSE\r\r\nERROR\r\n");
  EXPECT_EQ(h.Say("garbage\r"), "garbage\r");  // no AT prefix: no answer
}

TEST(Phone, CommandTable) {
  struct Case {
    const char* command;
    const char* reply;
  } cases[] = {
      {"AT+CSCA?\r", "\r\n+CSCA: \"+358405202000\",145\r\n\r\nOK\r\n"},
      {"AT+CPIN?\r", "\r\n+CPIN: READY\r\n\r\nOK\r\n"},
      {"AT+CSCS?\r", "\r\n+CSCS: \"IRA\"\r\n\r\nOK\r\n"},
      {"AT+CSCS=\"UTF-8\"\r", "\r\nERROR\r\n"},
      {"at+cscs=\"hex\";+cpbs=\"ME\"\r", "\r\nOK\r\n"},
      {"AT+CSCS?;+CPBS?\r", "\r\n+CSCS: \"HEX\"\r\n\r\n+CPBS: \"ME\",0,250\r\n\r\nOK\r\n"},
      {"AT+CPBS=\"XX\"\r", "\r\n+CME ERROR: 3\r\n"},
      {"AT+CPMS?\r", "\r\n+CPMS: \"SM\",0,30,\"SM\",0,30,\"SM\",0,30\r\n\r\nOK\r\n"},
      {"AT+CPMS=\"SM\",\"SM\"\r", "\r\n+CPMS: 0,30,0,30\r\n\r\nOK\r\n"},
      {"AT+CMGF=1\r", "\r\n+CMS ERROR: 303\r\n"},
      {"AT+CMGF?\r", "\r\n+CMGF: 0\r\n\r\nOK\r\n"},
      {"AT+CGMI;+CGSN\r", "\r\nCorvistan\r\n\r\n350000000000001\r\n\r\nOK\r\n"},
      {"ATZ;+CMEE=2\r", "\r\nOK\r\n"},
      {"AT+CPBR=999\r", "\r\n+CME ERROR: invalid index\r\n"},
      {"AT+CMEE=0;+CPBR=0\r", "\r\nERROR\r\n"},
      {"ATV0\r", "0\r"},
      {"AT+CPIN?\r", "+CPIN: READY\r\n0\r"},
      {"ATX1;V1\r", "\r\nOK\r\n"},  // back to verbose replies
  };
  Harness h(Quiet());
  for (const auto& c : cases) EXPECT_EQ(h.Say(c.command), c.reply) << c.command;
}

TEST(Phone, SendPduInThreeWrites) {
  Harness h;
  h.Say("AT+CMGF=0\r");
  EXPECT_EQ(h.Say("AT+CMGS=16\r"), "AT+CMGS=16\r\r\n> ");
  EXPECT_TRUE(h.phone.InPduEntry());
  EXPECT_EQ(h.Say("00"), "00");
  EXPECT_EQ(h.Say("31FF05912143F50000A905E8329BFD06"), "31FF05912143F50000A905E8329BFD06");
  EXPECT_EQ(h.Say("\x1A"), "\r\n+CMGS: 1\r\n\r\nOK\r\n");
  ASSERT_EQ(h.journal.size(), 1u);
  EXPECT_EQ(h.journal[0],
            "{\"command\":\"CMGS\",\"length\":16,\"sca\":\"00\",\"tpdu\":\"31FF05912143F50000A905E8329BFD06\","
            "\"result\":\"+CMGS: 1\",\"decoded\":{\"srr\":true,\"udhi\":false,\"mr\":255,\"da\":\"+12345\","
            "\"da_type\":145,\"pid\":0,\"dcs\":0,\"class\":-1,\"coding\":\"7bit\",\"vp\":169,\"udl\":5,"
            "\"udh\":[],\"text\":\"hello\"}}");
  // The message reference counts up.
  h.Say("AT+CMGS=16\r00");
  EXPECT_NE(h.Say("31FF05912143F50000A905E8329BFD06\x1A").find("+CMGS: 2\r\n"), std::string::npos);
}

TEST(Phone, StoreKeepsMessagesInTheSim) {
  Harness h(Quiet());
  EXPECT_EQ(h.Say("AT+CMGW=8,3\r"), "\r\n> ");
  EXPECT_EQ(h.Say("0011FF008100F0FF00\x1A"), "\r\n+CMGW: 1\r\n\r\nOK\r\n");
  QJsonObject j = h.LastJournal();
  EXPECT_EQ(j["command"].toString(), "CMGW");
  EXPECT_EQ(j["stat"].toInt(), 3);
  EXPECT_EQ(j["decoded"].toObject()["class"].toInt(), 0);
  h.Say("AT+CMGW=8\r0011FF008100F0FF00\x1A");
  EXPECT_EQ(h.phone.SimMessages().size(), 2u);
  EXPECT_EQ(h.phone.SimMessages().at(2).stat, 2);
  EXPECT_EQ(h.Say("AT+CMGR=1\r"), "\r\n+CMGR: 3,,8\r\n0011FF008100F0FF00\r\n\r\nOK\r\n");
  EXPECT_EQ(h.Say("AT+CMGD=1;+CMGR=1\r"), "\r\n+CMS ERROR: 321\r\n");
}

TEST(Phone, BadPdusAreRefusedWith304) {
  struct Case {
    const char* command;
    const char* pdu;
    const char* errorPart;
  } cases[] = {
      {"AT+CMGS=17\r", "0031FF05912143F50000A905E8329BFD06", "TPDU has 16 octets, AT+CMGS announced 17"},
      {"AT+CMGS=16\r", "31FF05912143F50000A905E8329BFD06", "centre address"},  // no centre address
      {"AT+CMGS=16\r", "0031FF05912143F50000A906E8329BFD06", "TP-UD holds"},
      {"AT+CMGW=3,2\r", "00110", "not hex"},
  };
  for (const auto& c : cases) {
    Harness h(Quiet());
    h.Say(c.command);
    EXPECT_EQ(h.Say(std::string(c.pdu) + "\x1A"), "\r\n+CMS ERROR: 304\r\n") << c.pdu;
    QJsonObject j = h.LastJournal();
    EXPECT_EQ(j["result"].toString(), "+CMS ERROR: 304");
    EXPECT_FALSE(j.contains("decoded"));
    EXPECT_NE(j["error"].toString().toStdString().find(c.errorPart), std::string::npos)
        << j["error"].toString().toStdString();
  }
}

TEST(Phone, EscapeCancelsThePdu) {
  Harness h;
  h.Say("AT+CMGS=16\r");
  EXPECT_EQ(h.Say("0031FF\x1B"), "0031FF\r\nOK\r\n");
  EXPECT_FALSE(h.phone.InPduEntry());
  EXPECT_TRUE(h.journal.empty());
}

TEST(Phone, LineDropForgetsHalfAPdu) {
  Harness h(Quiet());
  h.Say("AT+CMGS=16\r0031");
  h.phone.LineDropped();
  EXPECT_EQ(h.Say("AT\r"), "\r\nOK\r\n");
}

TEST(Phone, PhonebookWriteReadAndFind) {
  PhoneOptions o = Quiet();
  o.mePhonebook[1] = {"+358401234567", 145, "Mikko"};
  o.mePhonebook[2] = {"040123", 129, "Maija \"M\\"};
  Harness h(o);
  EXPECT_EQ(h.Say("AT+CSCS=\"HEX\";+CPBS=\"ME\"\r"), "\r\nOK\r\n");
  EXPECT_EQ(h.Say("AT+CPBR=1\r"), "\r\n+CPBR: 1,\"+358401234567\",145,\"4D696B6B6F\"\r\n\r\nOK\r\n");
  EXPECT_EQ(h.Say("AT+CPBR=3\r"), "\r\nOK\r\n");
  EXPECT_EQ(h.Say("AT+CPBW=3,\"+3584012345\",145,\"3a6F65\"\r"), "\r\nOK\r\n");
  QJsonObject j = h.LastJournal();
  EXPECT_EQ(QJsonDocument(j).toJson(QJsonDocument::Compact),
            "{\"charset\":\"HEX\",\"command\":\"CPBW\",\"index\":3,\"memory\":\"ME\",\"name\":\"3a6F65\","
            "\"number\":\"+3584012345\",\"text\":\":oe\",\"type\":145}");
  EXPECT_EQ(h.journal.back().rfind("{\"command\":\"CPBW\",\"memory\":\"ME\",\"charset\":\"HEX\",\"index\":3,", 0), 0u);
  EXPECT_EQ(h.Say("AT+CPBW=4,\"1\",129,\"0G\"\r"), "\r\n+CME ERROR: 25\r\n");
  EXPECT_EQ(h.Say("AT+CPBW=4,\"12a\",129,\"\"\r"), "\r\n+CME ERROR: 27\r\n");
  // Search in ISO 8859-1, with \HH escapes for the quote and the backslash.
  EXPECT_EQ(h.Say("AT+CSCS=\"8859-1\";+CPBF=\"M\"\r"),
            "\r\n+CPBF: 1,\"+358401234567\",145,\"Mikko\"\r\n+CPBF: 2,\"040123\",129,\"Maija \"M\\\"\r\n\r\nOK\r\n");
  EXPECT_EQ(h.Say("AT+CPBF=\"Maija \\22M\\5C\"\r"), "\r\n+CPBF: 2,\"040123\",129,\"Maija \"M\\\"\r\n\r\nOK\r\n");
  EXPECT_EQ(h.Say("AT+CPBF=\"m\"\r"), "\r\n+CME ERROR: 22\r\n");  // case-sensitive
  EXPECT_EQ(h.Say("AT+CPBF=\":o\"\r"), "\r\n+CPBF: 3,\"+3584012345\",145,\":oe\"\r\n\r\nOK\r\n");
  EXPECT_EQ(h.phone.Phonebook("ME").size(), 3u);
  EXPECT_TRUE(h.phone.Phonebook("SM").empty());
}

// The application's probe for a free location: write AT+CPBR=<i>, wait for
// CR LF, read a line up to CR, then wait for "OK\r\n"; a line holding
// "+CPBR" is a taken location, anything else a free one. Returns the line,
// or "<timeout>" when the last wait would never end.
std::string Probe(Harness& h, int index) {
  std::string in = h.Say("AT+CPBR=" + std::to_string(index) + "\r");
  std::size_t p = in.find("\r\n");
  if (p == std::string::npos) return "<timeout>";
  std::size_t cr = in.find('\r', p + 2);
  if (cr == std::string::npos) return "<timeout>";
  std::string line = in.substr(p + 2, cr - p - 2);
  if (in.find("OK\r\n", cr + 1) == std::string::npos) return line + "<timeout>";
  return line;
}

TEST(Phone, EmptyLocationReplyAndTheProbingAlgorithm) {
  struct Case {
    phonesim::EmptyEntry style;
    const char* reply;
    const char* probe;
  } cases[] = {
      // What TS 27.007 phones answer: the probe reads "OK" as its line and
      // then waits for a second "OK" that never comes.
      {phonesim::EmptyEntry::Ok, "AT+CPBR=2\r\r\nOK\r\n", "OK<timeout>"},
      {phonesim::EmptyEntry::Error, "AT+CPBR=2\r\r\n+CME ERROR: 22\r\n", "+CME ERROR: 22<timeout>"},
      // Only an information line without "+CPBR" before OK ends the probe.
      {phonesim::EmptyEntry::Blank, "AT+CPBR=2\r\r\n\r\n\r\nOK\r\n", ""},
  };
  for (const auto& c : cases) {
    PhoneOptions o;
    o.emptyEntry = c.style;
    o.mePhonebook[1] = {"+3584012345", 145, "A"};
    Harness h(o);
    EXPECT_EQ(Probe(h, 1), "+CPBR: 1,\"+3584012345\",145,\"A\"");
    EXPECT_EQ(h.Say("AT+CPBR=2\r"), c.reply);
    EXPECT_EQ(Probe(h, 2), c.probe);
  }
}

TEST(Phone, Faults) {
  auto with = [](Fault f) {
    PhoneOptions o;
    o.echo = false;
    o.faults.insert(f);
    return o;
  };
  {
    Harness h(with(Fault::Silent));
    EXPECT_EQ(h.Say("AT+CMGF=0\r"), "");
  }
  {
    Harness h(with(Fault::CmgfError));
    EXPECT_EQ(h.Say("AT+CMGF=0\r"), "\r\nERROR\r\n");
    EXPECT_EQ(h.Say("AT\r"), "\r\nOK\r\n");
  }
  {
    Harness h(with(Fault::Refuse));
    h.Say("AT+CMGS=16\r");
    EXPECT_EQ(h.Say("0031FF05912143F50000A905E8329BFD06\x1A"), "\r\n+CMS ERROR: 500\r\n");
    EXPECT_EQ(h.LastJournal()["result"].toString(), "+CMS ERROR: 500");
    EXPECT_TRUE(h.LastJournal().contains("decoded"));
  }
  {
    Harness h(with(Fault::NoPrompt));
    EXPECT_EQ(h.Say("AT+CMGS=16\r"), "");
    EXPECT_FALSE(h.phone.InPduEntry());
  }
  {
    Harness h(with(Fault::HangupAfterPrompt));
    EXPECT_EQ(h.Say("AT+CMGW=16,2\r"), "\r\n> ");
    EXPECT_EQ(h.hangups, 1);
  }
  {
    Harness h(with(Fault::Chatter));
    EXPECT_EQ(h.Say("AT+CMGF=0\r"), "");
    EXPECT_EQ(h.chatters, 1);
  }
  {
    Harness h(with(Fault::LongLine));
    h.Say("AT+CMGS=16\r");
    std::string reply = h.Say("0031FF05912143F50000A905E8329BFD06\x1A");
    ASSERT_EQ(reply.substr(0, 2), "\r\n");
    std::size_t cr = reply.find('\r', 2);
    EXPECT_EQ(cr - 2, 40u) << reply;
    EXPECT_EQ(reply.substr(2, 9), "+CMGS: 1,");
  }
  {
    PhoneOptions o = with(Fault::Full);
    o.mePhonebook[2] = {"+358401234567", 145, "Alice"};
    Harness h(o);
    EXPECT_EQ(h.Say("AT+CPBR=?\r"), "\r\n+CPBR: (1-250),40,64\r\n\r\nOK\r\n");
    EXPECT_EQ(h.Say("AT+CPBR=2\r"), "\r\n+CPBR: 2,\"+358401234567\",145,\"Alice\"\r\n\r\nOK\r\n");
    EXPECT_EQ(h.Say("AT+CPBR=5638\r"), "\r\n+CPBR: 5638,\"5550000\",129,\"Taken\"\r\n\r\nOK\r\n");
  }
  {
    Harness h(with(Fault::NoRange));
    EXPECT_EQ(h.Say("AT+CPBR=?\r"), "\r\nERROR\r\n");
    EXPECT_EQ(h.Say("AT+CPBR=1\r"), "\r\nOK\r\n");  // the phonebook itself still works
  }
}

TEST(Phone, LoadPhonebookSeed) {
  std::string path = std::filesystem::temp_directory_path().string() + "/phonesim-seed-test-" +
                     std::to_string(::getpid()) + ".txt";
  {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fputs("# index,number,type,name\n1,+358401234567,145,M\xC3\xA4kinen, Matti\r\n\n7,040123,,Bob\n", f);
    fclose(f);
  }
  std::map<int, phonesim::PhonebookEntry> book;
  std::string error;
  ASSERT_TRUE(phonesim::LoadPhonebook(path, book, error)) << error;
  ASSERT_EQ(book.size(), 2u);
  EXPECT_EQ(book[1].name, "M\xE4kinen, Matti");
  EXPECT_EQ(book[7].type, 129);
  {
    FILE* f = fopen(path.c_str(), "wb");
    fputs("x,1,129,A\n", f);
    fclose(f);
  }
  EXPECT_FALSE(phonesim::LoadPhonebook(path, book, error));
  remove(path.c_str());
}

}  // namespace
