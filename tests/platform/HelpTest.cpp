#include "platform/Help.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

// The page is found beside an installed program and beside the built one,
// and nowhere else.
TEST(Help, FoundRelativeToTheProgram) {
  QTemporaryDir prefix;
  ASSERT_TRUE(prefix.isValid());
  const QString bin = prefix.filePath("bin");
  QDir().mkpath(bin);
  EXPECT_EQ(mp::FindHelpPage(bin), "");  // not installed yet
  QDir().mkpath(prefix.filePath("share/mirapost/help"));
  QFile page(prefix.filePath("share/mirapost/help/index.html"));
  ASSERT_TRUE(page.open(QIODevice::WriteOnly));
  page.close();
  EXPECT_EQ(mp::FindHelpPage(bin), QFileInfo(page).canonicalFilePath());
  EXPECT_EQ(mp::FindHelpPage(prefix.path()), "");  // the prefix itself is not a program folder
  EXPECT_EQ(mp::FindHelpPage(QString()), "");
  QTemporaryDir other;  // a folder where the page should be is no page
  QDir().mkpath(other.filePath("bin"));
  QDir().mkpath(other.filePath("share/mirapost/help/index.html"));
  EXPECT_EQ(mp::FindHelpPage(other.filePath("bin")), "");
}

// The page of the build tree explains what a user needs: each page of the
// window, the simulated phone, ports and the dialout group, receiving phones,
// gateways, the outcomes and the keys.
TEST(Help, BuiltPageCoversEachTopic) {
  const QString path = mp::FindHelpPage(MP_BINARY_DIR "/src");
  ASSERT_FALSE(path.isEmpty()) << "no help page beside " MP_BINARY_DIR "/src";
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(file.readAll());
  for (const char* topic :
       {"(Blinking) Messages", "Indicator Control", "Void Messages", "Class 0 Templates",
        "Blinking Phonebook", "Logo Messages", "--simulated-phone", "dialout", "/dev/ttyUSB0",
        "MIRAPOST_COM", "Receiving phones", "Failed, ME is not responding.",
        // gateways and every outcome the status bar and Sent messages name
        "Gateways", "smstools", "Kannel", "Message successfully sent through smstools.", "Message delivered.",
        "The phone did not confirm the message; it may have been sent.",
        "Kannel did not answer; the message may have been sent.", "outcome unknown.", "may have been sent",
        "queued, outcome unknown", "refused", "failed", "Ctrl+Tab", "Ctrl+B"}) {
    EXPECT_TRUE(text.contains(topic)) << topic;
  }
}

}  // namespace
