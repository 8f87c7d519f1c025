// mirapost-phonesim as a process on a real pseudo-terminal.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <filesystem>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "PtyLine.h"
#include "SimProcess.h"

namespace {

QJsonObject JsonLine(const std::string& line) {
  return QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
}

TEST(PhonesimProcess, SendsAndJournalsOverThePseudoTerminal) {
  std::string journal = TempPath("journal"), link = TempPath("link");
  phonesim::SimProcess sim;
  ASSERT_TRUE(sim.Start(MP_PHONESIM, {"--journal", journal, "--link", link})) << sim.Error();
  EXPECT_EQ(sim.SlavePath().rfind("/dev/pts/", 0), 0u) << sim.SlavePath();
  char target[256] = {};
  ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(sim.SlavePath(), target);
  {
    Line line(link);
    ASSERT_TRUE(line.Ok());
    line.Write("AT+CMGF=0\r");
    EXPECT_EQ(line.ReadUntil("OK\r\n", 2000), "AT+CMGF=0\r\r\nOK\r\n");
    line.Write("AT+CMGS=16\r");
    EXPECT_EQ(line.ReadUntil("\r\n> ", 2000), "AT+CMGS=16\r\r\n> ");
    line.Write("00");
    line.Write("31FF05912143F50000A905E8329BFD06");
    line.Write("\x1A");
    EXPECT_EQ(line.ReadUntil("OK\r\n", 2000), "0031FF05912143F50000A905E8329BFD06\r\n+CMGS: 1\r\n\r\nOK\r\n");
  }
  auto lines = phonesim::ReadJournal(journal);
  ASSERT_EQ(lines.size(), 1u);
  QJsonObject j = JsonLine(lines[0]);
  EXPECT_EQ(j["sca"].toString(), "00");
  EXPECT_EQ(j["result"].toString(), "+CMGS: 1");
  EXPECT_EQ(j["decoded"].toObject()["text"].toString(), "hello");
  EXPECT_EQ(j["decoded"].toObject()["da"].toString(), "+12345");
  EXPECT_EQ(sim.Stop(), 0);
  struct stat st {};
  EXPECT_NE(lstat(link.c_str(), &st), 0) << "link left behind";
  std::remove(journal.c_str());
}

TEST(PhonesimProcess, ReopenedExclusivelyManyTimesInRawMode) {
  phonesim::SimProcess sim;
  ASSERT_TRUE(sim.Start(MP_PHONESIM, {"--no-echo"})) << sim.Error();
  for (int i = 0; i < 30; ++i) {
    // A reply to a command left behind by a quick close may still be on its
    // way, as with a real phone: give it time to arrive, then purge it as the
    // application does when it opens the port.
    if (i % 3 == 0 && i > 0) usleep(100'000);
    Line line(sim.SlavePath());
    ASSERT_TRUE(line.Ok()) << "open " << i << ": " << std::strerror(errno);
    termios t{};
    ASSERT_EQ(tcgetattr(line.Fd(), &t), 0);
    EXPECT_FALSE(t.c_lflag & (ECHO | ICANON)) << i;
    EXPECT_FALSE(t.c_iflag & (ICRNL | INLCR | IGNCR)) << i;
    EXPECT_FALSE(t.c_oflag & OPOST) << i;
    tcflush(line.Fd(), TCIFLUSH);
    if (i % 3 == 2) {
      line.Write("AT+CPBR=1\r");
      continue;
    }
    line.Write("AT\r");
    ASSERT_EQ(line.ReadUntil("OK\r\n", 2000), "\r\nOK\r\n") << "round " << i;
  }
  EXPECT_EQ(sim.Stop(), 0);
}

TEST(PhonesimProcess, SilentPhoneSendsNothing) {
  phonesim::SimProcess sim;
  ASSERT_TRUE(sim.Start(MP_PHONESIM, {"--fault", "silent"})) << sim.Error();
  Line line(sim.SlavePath());
  ASSERT_TRUE(line.Ok());
  line.Write("AT+CMGF=0\r");
  EXPECT_EQ(line.ReadUntil("", 1200), "");
}

TEST(PhonesimProcess, RefusedMessage) {
  std::string journal = TempPath("journal");
  phonesim::SimProcess sim;
  ASSERT_TRUE(sim.Start(MP_PHONESIM, {"--fault", "refuse", "--no-echo", "--journal", journal})) << sim.Error();
  Line line(sim.SlavePath());
  ASSERT_TRUE(line.Ok());
  line.Write("AT+CMGW=16,2\r");
  ASSERT_EQ(line.ReadUntil("> ", 2000), "\r\n> ");
  line.Write("0031FF05912143F50000A905E8329BFD06\x1A");
  EXPECT_EQ(line.ReadUntil("500\r\n", 2000), "\r\n+CMS ERROR: 500\r\n");
  auto lines = phonesim::ReadJournal(journal);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(JsonLine(lines[0])["result"].toString(), "+CMS ERROR: 500");
  std::remove(journal.c_str());
}

TEST(PhonesimProcess, HangupAfterPromptThenANewLine) {
  std::string link = TempPath("link");
  phonesim::SimProcess sim;
  ASSERT_TRUE(sim.Start(MP_PHONESIM, {"--fault", "hangup-after-prompt", "--link", link})) << sim.Error();
  std::string first = sim.SlavePath();
  {
    Line line(link);
    ASSERT_TRUE(line.Ok());
    line.Write("AT+CMGS=16\r");
    ASSERT_EQ(line.ReadUntil("\r\n> ", 2000), "AT+CMGS=16\r\r\n> ");
    line.Write("00");
    bool hup = false;
    line.ReadUntil("never", 3000, &hup);
    EXPECT_TRUE(hup);
  }
  std::string second = sim.NextLine(3000);
  ASSERT_FALSE(second.empty());
  char target[256] = {};
  ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(second, target);
  Line again(link);
  ASSERT_TRUE(again.Ok());
  again.Write("AT\r");
  EXPECT_EQ(again.ReadUntil("OK\r\n", 2000), "AT\r\r\nOK\r\n");
  EXPECT_EQ(sim.Stop(), 0);
}

TEST(PhonesimProcess, ChatterNeverCompletesOk) {
  phonesim::SimProcess sim;
  ASSERT_TRUE(sim.Start(MP_PHONESIM, {"--fault", "chatter", "--no-echo"})) << sim.Error();
  Line line(sim.SlavePath());
  ASSERT_TRUE(line.Ok());
  line.Write("AT+CMGF=0\r");
  std::string got = line.ReadUntil("OK\r\n", 1500);
  EXPECT_EQ(got.find("OK\r\n"), std::string::npos);
  EXPECT_GE(got.size(), 3 * std::string("\r\n+CREG: 1\r\n").size()) << got;
}

TEST(PhonesimProcess, PacesOutputAtTheBaudRate) {
  std::string book = TempPath("book");
  {
    std::ofstream f(book);
    for (int i = 1; i <= 20; ++i) f << i << ",+35840123456" << (i % 10) << ",145,Person number " << i << "\n";
  }
  phonesim::SimProcess sim;
  ASSERT_TRUE(sim.Start(MP_PHONESIM, {"--baud", "9600", "--no-echo", "--phonebook", book})) << sim.Error();
  Line line(sim.SlavePath());
  ASSERT_TRUE(line.Ok());
  auto start = Clock::now();
  line.Write("AT+CPBF=\"\"\r");
  std::string got = line.ReadUntil("OK\r\n", 5000);
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  ASSERT_NE(got.find("+CPBF: 20,"), std::string::npos);
  double line_time = got.size() * 10.0 / 9600;  // about 0.9 s
  EXPECT_GE(seconds, 0.95 * line_time) << got.size() << " bytes";
  EXPECT_LE(seconds, line_time + 1.0);
  std::remove(book.c_str());
}

TEST(PhonesimProcess, RejectsBadArguments) {
  for (const char* args : {"--fault bogus", "--baud x", "--empty-entry maybe", "--phonebook /nonexistent/x",
                           "--personality bogus", "--personality cmee0,cmee2", "--reply-delay -1"}) {
    std::string cmd = std::string(MP_PHONESIM) + " " + args + " >/dev/null 2>&1";
    int status = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << args;
    EXPECT_NE(WEXITSTATUS(status), 0) << args;
  }
}

// A FIFO put where the journal goes would hold the phone in open() for good;
// a folder or a file of another user is no journal either.
TEST(PhonesimProcess, JournalOnlyAFileOfItsOwn) {
  char dir[] = "/tmp/mirapost-journal-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string fifo = std::string(dir) + "/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
  std::vector<std::string> planted = {fifo, dir};
  if (::geteuid() == 0) {
    const std::string foreign = std::string(dir) + "/foreign";
    std::FILE* f = std::fopen(foreign.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
    planted.push_back(foreign);
  }
  for (const std::string& path : planted) {
    const std::string cmd = "timeout 5 " + std::string(MP_PHONESIM) + " --journal " + path + " >/dev/null 2>&1";
    const int status = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << path;
    EXPECT_EQ(WEXITSTATUS(status), 1) << path << " (124: it hung)";
  }
  std::system(("rm -rf " + std::string(dir)).c_str());
}

}  // namespace
