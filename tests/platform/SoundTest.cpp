#include "platform/Sound.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <cstdlib>
#include <memory>

namespace {

using mp::BeepKind;

TEST(Sound, RecordsKindsInOrderAndTakesThem) {
  mp::TakeRecordedBeeps();
  mp::Beep(BeepKind::Asterisk);
  mp::Beep(BeepKind::Ok);
  mp::Beep(BeepKind::Exclamation);
  EXPECT_EQ(mp::TakeRecordedBeeps(),
            (std::vector<BeepKind>{BeepKind::Asterisk, BeepKind::Ok, BeepKind::Exclamation}));
  EXPECT_TRUE(mp::TakeRecordedBeeps().empty());
}

TEST(Sound, PlaysOnlyWithAnApplicationOutsideTests) {
  const char* testing = std::getenv("MIRAPOST_TESTING");
  const std::string saved = testing ? testing : "";
  std::vector<BeepKind> played;
  mp::SetBeepSound([&](BeepKind k) { played.push_back(k); });

  ::unsetenv("MIRAPOST_TESTING");
  mp::Beep(BeepKind::Ok);  // no application object yet
  EXPECT_TRUE(played.empty());
  {
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int argc = 1;
    char arg0[] = "test_platform";
    char* argv[] = {arg0, nullptr};
    QGuiApplication app(argc, argv);
    mp::Beep(BeepKind::Exclamation);
    EXPECT_EQ(played, std::vector<BeepKind>{BeepKind::Exclamation});
    ::setenv("MIRAPOST_TESTING", "1", 1);
    mp::Beep(BeepKind::Asterisk);
    EXPECT_EQ(played.size(), 1u);
    ::unsetenv("MIRAPOST_TESTING");
    mp::SetBeepSound({});  // back to silence
    mp::Beep(BeepKind::Ok);
    EXPECT_EQ(played.size(), 1u);
  }
  EXPECT_EQ(mp::TakeRecordedBeeps(), (std::vector<BeepKind>{BeepKind::Ok, BeepKind::Exclamation,
                                                             BeepKind::Asterisk, BeepKind::Ok}));
  testing ? ::setenv("MIRAPOST_TESTING", saved.c_str(), 1) : ::unsetenv("MIRAPOST_TESTING");
}

}  // namespace
