// The termios line on a pseudo-terminal of the test's own, and the port names.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "Fakes.h"
#include "phone/Serial.h"

namespace mp::test {
namespace {

using Clock = std::chrono::steady_clock;

long ElapsedMs(Clock::time_point since) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

class PhonePty : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(OpenPty(master, slave));
    line = MakePosixSerialLine();
    ASSERT_TRUE(line->Open(slave)) << DescribePortFailure(slave, line->Failure());
    ASSERT_TRUE(line->Configure());
    ASSERT_TRUE(line->SetTimeouts(CommTimeouts{0, 0, 200, 0, 200}));
  }
  void TearDown() override {
    line.reset();
    if (master >= 0) ::close(master);
  }
  int master = -1;
  std::string slave;
  std::unique_ptr<SerialLine> line;
};

TEST_F(PhonePty, LineSettingsAreRaw19200EightNoneOneWithHardwareHandshake) {
  // The line is held exclusively; its settings are read through the master
  // side, which reports those of the slave.
  termios t{};
  ASSERT_EQ(::tcgetattr(master, &t), 0);
  EXPECT_EQ(::cfgetospeed(&t), speed_t{B19200});
  EXPECT_EQ(::cfgetispeed(&t), speed_t{B19200});
  EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t{CS8});
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB), 0u);
  EXPECT_NE(t.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), tcflag_t{CLOCAL | CREAD});
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
}

TEST_F(PhonePty, ALineInUseIsRefused) {
  auto second = MakePosixSerialLine();
  EXPECT_FALSE(second->Open(slave));
  line->Close();
  EXPECT_TRUE(second->Open(slave));  // free again once closed
}

TEST_F(PhonePty, ModemLinesOfAPseudoTerminalFailAndAreIgnored) {
  line->RaiseDtr();
  line->RaiseRts();
  ASSERT_EQ(::write(master, "A", 1), 1);
  unsigned char b = 0;
  EXPECT_TRUE(line->ReadByte(b));
  EXPECT_EQ(b, 'A');
}

TEST_F(PhonePty, ReadWaitsTheTotalTimeOutPerByte) {
  ASSERT_EQ(::write(master, "\r\n", 2), 2);  // raw: no translation
  unsigned char b = 0;
  ASSERT_TRUE(line->ReadByte(b));
  EXPECT_EQ(b, '\r');
  ASSERT_TRUE(line->ReadByte(b));
  EXPECT_EQ(b, '\n');
  auto t0 = Clock::now();
  EXPECT_FALSE(line->ReadByte(b));
  EXPECT_GE(ElapsedMs(t0), 190);
  EXPECT_LT(ElapsedMs(t0), 1000);
}

TEST_F(PhonePty, PurgeDiscardsWaitingInput) {
  ASSERT_EQ(::write(master, "OK\r\n", 4), 4);
  ::usleep(50 * 1000);
  line->PurgeInput();
  ASSERT_EQ(::write(master, "X", 1), 1);
  unsigned char b = 0;
  ASSERT_TRUE(line->ReadByte(b));
  EXPECT_EQ(b, 'X');
}

TEST_F(PhonePty, HangUpIsAFailedReadWithoutWaitingTheTimeOut) {
  ASSERT_TRUE(line->SetTimeouts(CommTimeouts{0, 0, 5000, 0, 5000}));
  ::close(master);
  master = -1;
  unsigned char b = 0;
  auto t0 = Clock::now();
  EXPECT_FALSE(line->ReadByte(b));
  EXPECT_LT(ElapsedMs(t0), 1000);
}

TEST_F(PhonePty, WriteIsBoundedByTheWriteTimeOut) {
  // Nobody reads the other side: the line fills up and the write gives up.
  std::string big(1 << 20, 'x');
  auto t0 = Clock::now();
  int n = line->Write(big.data(), static_cast<int>(big.size()));
  EXPECT_LT(n, static_cast<int>(big.size()));
  EXPECT_GT(n, 0);
  EXPECT_GE(ElapsedMs(t0), 190);
  EXPECT_LT(ElapsedMs(t0), 2000);
  char buf[4];
  ASSERT_EQ(::read(master, buf, 4), 4);
  EXPECT_EQ(std::string(buf, 4), "xxxx");
}

TEST(PhoneSerialOpen, MissingDeviceAndNonTerminalsAreRefused) {
  auto line = MakePosixSerialLine();
  EXPECT_FALSE(line->Open(""));
  EXPECT_FALSE(line->Open("/nonexistent/ttyUSB9"));
  EXPECT_FALSE(line->Open("/dev/null"));
  unsigned char b;
  EXPECT_FALSE(line->ReadByte(b));
  EXPECT_EQ(line->Write("AT", 2), 0);
}

TEST(PhonePortNames, ResolveThroughEnvironmentSettingsAndDefaults) {
  const std::string oldConfig = ::getenv("XDG_CONFIG_HOME") ? ::getenv("XDG_CONFIG_HOME") : "";
  TempDir config;
  ::setenv("XDG_CONFIG_HOME", config.path.c_str(), 1);
  std::filesystem::create_directories(config.path + "/Corvistan");
  {
    std::ofstream out(config.path + "/Corvistan/MIRAPOST.reg", std::ios::binary);
    out << "Windows Registry Editor Version 5.00\r\n\r\n"
           "[HKEY_CURRENT_USER\\Software\\Corvistan\\MIRAPOST]\r\n"
           "\"COM5\"=\"/dev/ttyFromSettings\"\r\n"
           "\"COM6\"=dword:00000001\r\n";
  }
  ::setenv("MIRAPOST_COM5", "/dev/ttyFromEnv", 1);
  EXPECT_EQ(ResolvePortDevice("COM5:"), "/dev/ttyFromEnv");
  ::unsetenv("MIRAPOST_COM5");
  EXPECT_EQ(ResolvePortDevice("COM5:"), "/dev/ttyFromSettings");
  EXPECT_EQ(ResolvePortDevice("COM6:"), "/dev/ttyUSB1");  // a number is no device name
  const char* defaults[] = {"/dev/ttyS0",   "/dev/ttyS1",   "/dev/ttyACM0",
                            "/dev/ttyUSB0", nullptr,        nullptr,
                            "/dev/rfcomm0", "/dev/ircomm0", "/dev/ttyS2"};
  for (int i = 0; i < 9; ++i) {
    if (!defaults[i]) continue;
    const std::string com = "COM" + std::to_string(i + 1);
    ::unsetenv(("MIRAPOST_" + com).c_str());
    EXPECT_EQ(ResolvePortDevice(com + ":"), defaults[i]) << com;
  }
  for (const char* bad : {"COM0:", "COM10:", "COM4", "com4:", "LPT1:", "", "COM:"})
    EXPECT_EQ(ResolvePortDevice(bad), "") << bad;
  std::filesystem::remove_all(config.path + "/Corvistan");
  EXPECT_EQ(ResolvePortDevice("COM5:"), "/dev/ttyACM1");  // no store: the table
  ::setenv("XDG_CONFIG_HOME", oldConfig.c_str(), 1);
}

}  // namespace
}  // namespace mp::test
