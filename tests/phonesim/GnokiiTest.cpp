// Interoperability: gnokii, a general phone tool, sends a text message
// through the simulated phone with its own AT driver.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "SimProcess.h"

namespace {

std::string FindGnokii() {
  for (const char* dir : {"/usr/bin", "/usr/local/bin", "/bin"}) {
    std::string path = std::string(dir) + "/gnokii";
    if (access(path.c_str(), X_OK) == 0) return path;
  }
  return {};
}

TEST(Gnokii, SendsATextThroughThePhone) {
  const std::string gnokii = FindGnokii();
  if (gnokii.empty()) GTEST_SKIP() << "gnokii is not installed";
  char dirTemplate[] = "/tmp/phonesim-gnokii-XXXXXX";
  ASSERT_NE(mkdtemp(dirTemplate), nullptr);
  const std::string dir = dirTemplate, journal = dir + "/journal", config = dir + "/gnokiirc";

  phonesim::SimProcess sim;
  ASSERT_TRUE(sim.Start(MP_PHONESIM, {"--journal", journal})) << sim.Error();
  {
    std::ofstream f(config);
    f << "[global]\nport = " << sim.SlavePath()
      << "\nmodel = AT\nconnection = serial\nserial_baudrate = 19200\nuse_locking = no\n"
         "[logging]\ndebug = off\n";
  }
  const std::string cmd = "cd " + dir + " && echo hello | HOME=" + dir + " timeout 60 " + gnokii +
                          " --config " + config + " --sendsms 12345 > " + dir + "/out 2>&1";
  int status = std::system(cmd.c_str());
  std::ifstream outFile(dir + "/out");
  std::string out((std::istreambuf_iterator<char>(outFile)), std::istreambuf_iterator<char>());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << out;
  EXPECT_NE(out.find("Send succeeded"), std::string::npos) << out;

  auto lines = phonesim::ReadJournal(journal);
  ASSERT_EQ(lines.size(), 1u) << out;
  QJsonObject j = QJsonDocument::fromJson(QByteArray::fromStdString(lines[0])).object();
  EXPECT_EQ(j["command"].toString(), "CMGS");
  EXPECT_EQ(j["result"].toString(), "+CMGS: 1");
  QJsonObject d = j["decoded"].toObject();
  EXPECT_EQ(d["text"].toString(), "hello");
  EXPECT_EQ(d["da"].toString(), "12345");
  EXPECT_EQ(d["coding"].toString(), "7bit");
  EXPECT_FALSE(d.contains("warnings")) << lines[0];  // gnokii pads the odd number with F
  EXPECT_EQ(sim.Stop(), 0);
  std::filesystem::remove_all(dir);
}

}  // namespace
