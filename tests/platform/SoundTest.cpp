#include "platform/Sound.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QGuiApplication>
#include <QSet>
#include <QString>
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

namespace {

// Each kind has its own sound, and each name is one the freedesktop theme
// (or its stand-in) really has, so that no kind silently becomes the bell.
TEST(Sound, EachKindHasItsOwnThemeSound) {
  const struct {
    BeepKind kind;
    std::vector<std::string_view> names;
  } table[] = {
      {BeepKind::Asterisk, {"dialog-information"}},
      {BeepKind::Exclamation, {"dialog-warning"}},
      {BeepKind::Question, {"dialog-question", "message-new-instant"}},
      {BeepKind::Ok, {"bell"}},
  };
  const QString theme = "/usr/share/sounds/freedesktop/stereo/";
  const bool themeInstalled = QFileInfo(theme).isDir();
  QSet<QString> played;  // the sound each kind ends up with in the freedesktop theme
  for (const auto& row : table) {
    SCOPED_TRACE(row.names.front());
    EXPECT_EQ(mp::ThemeSoundNames(row.kind), row.names);
    if (!themeInstalled) continue;
    QString found;
    for (std::string_view name : row.names) {
      const QString file = theme + QString::fromUtf8(name.data(), qsizetype(name.size())) + ".oga";
      if (QFileInfo::exists(file)) {
        found = QFileInfo(file).canonicalFilePath();  // the theme links some names to others
        break;
      }
    }
    EXPECT_FALSE(found.isEmpty()) << "no sound of this kind in " << theme.toStdString();
    played.insert(found);
  }
  if (themeInstalled) {
    EXPECT_EQ(played.size(), 4);
  }
}

// Where no sound can play (here: a sound driver that does not exist), the
// fallback sounds once per beep; without one nothing happens.
TEST(Sound, FallsBackWhenNoSoundCanPlay) {
  ::setenv("CANBERRA_DRIVER", "no-such-driver", 1);
  int bells = 0;
  auto sound = mp::ThemeSound([&] { ++bells; });
  for (BeepKind kind : {BeepKind::Ok, BeepKind::Exclamation, BeepKind::Asterisk, BeepKind::Question}) {
    sound(kind);
  }
  EXPECT_EQ(bells, 4);
  mp::ThemeSound({})(BeepKind::Ok);
  EXPECT_EQ(bells, 4);
}

}  // namespace
