#pragma once
// Shared fixture of the window tests: a fresh settings folder per test, the
// four windows, the simulated phone on COM 4, scripted answers to the
// windows' questions (ScriptedQuestions.h), and short phone time-outs.
//
//   class MyTest : public AppFixture {};
//   TEST_F(MyTest, Something) {
//     WriteSettings([](mp::SettingsKey& k) { k.WriteInteger("ComPort", 2); });
//     Create();                                   // CreateWindows()
//     ASSERT_TRUE(StartPhone({"--phonebook", PhonebookFile({"1,+358401234567,145,Alice"})}));
//     WhenModal([](QWidget* w) { Click(w, "SaveSend"); });   // answers the next dialog shown
//     UI(SaveBlink)->click();                    // a control by its name
//     auto lines = Journal();
//   }
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ScriptedQuestions.h"
#include "SimProcess.h"
#include "app/About.h"
#include "app/App.h"
#include "app/Main.h"
#include "dialogs/Coding.h"
#include "dialogs/Send.h"
#include "platform/Settings.h"
#include "platform/Sound.h"
#include "support/FormControl.h"
#include "app/MainForm.h"

class AppFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    ::setenv("XDG_CONFIG_HOME", dir_.filePath("config").toLocal8Bit().constData(), 1);
    ::setenv("XDG_DATA_HOME", dir_.filePath("data").toLocal8Bit().constData(), 1);
    ::unsetenv("MIRAPOST_COM4");
    mp::TakeRecordedBeeps();
    Asked().Reset();
    mp::SetQuestions(&Asked());
  }

  void TearDown() override {
    Destroy();
    StopPhone();
    ::unsetenv("MIRAPOST_COM4");
    mp::SetQuestions(nullptr);
    EXPECT_TRUE(Asked().AllUsed()) << "a scripted answer was never asked for";
  }

  // The questions of the windows, answered by the test.
  static ScriptedQuestions& Asked() {
    static ScriptedQuestions questions;
    return questions;
  }

  // ---- windows ----
  // The phone link's time-outs are shrunk so that a silent phone costs
  // milliseconds; the dialogues and their order stay as they are.
  static constexpr int kTimeScale = 20;
  void Create() {
    if (!Win) {
      mp::CreateWindows();
      Win->Phone.SetTimings(mp::LinkTimings::Scaled(kTimeScale));
    }
  }
  void Destroy() {
    if (Win) mp::DestroyWindows();
  }
  // Destroys and creates the windows again: settings written, then read.
  void Restart() {
    Destroy();
    Create();
  }

  // ---- settings ----
  // Writes values into the store before the windows read it.
  static void WriteSettings(const std::function<void(mp::SettingsKey&)>& write) {
    mp::SettingsKey key;
    ASSERT_TRUE(key.Open(true));
    write(key);
    ASSERT_TRUE(key.Close());
  }
  static std::optional<std::int32_t> StoredInteger(const std::string& name) {
    mp::SettingsKey key;
    if (!key.Open(false)) return std::nullopt;
    return key.ReadInteger(name);
  }
  static std::optional<std::string> StoredString(const std::string& name) {
    mp::SettingsKey key;
    if (!key.Open(false)) return std::nullopt;
    return key.ReadString(name);
  }

  // ---- simulated phone on COM 4 ----
  bool StartPhone(std::vector<std::string> args = {}) {
    journal_ = dir_.filePath("journal.jsonl").toStdString();
    args.push_back("--journal");
    args.push_back(journal_);
    if (!sim_.Start(MP_PHONESIM, args)) {
      ADD_FAILURE() << "phonesim: " << sim_.Error();
      return false;
    }
    ::setenv("MIRAPOST_COM4", sim_.SlavePath().c_str(), 1);
    return true;
  }
  void StopPhone() {
    if (sim_.Running()) sim_.Stop();
  }
  // A phonebook file for --phonebook: lines "index,number,type,name".
  std::string PhonebookFile(const std::vector<std::string>& lines) {
    const std::string path = dir_.filePath("phonebook.txt").toStdString();
    std::ofstream out(path);
    for (const auto& l : lines) out << l << "\n";
    return path;
  }
  std::vector<std::string> Journal() const { return phonesim::ReadJournal(journal_); }

  // ---- driving ----
  // Answers the next dialog the application shows with `act`, which works
  // its real controls and must close it. (`skip` and `tries` are kept for the
  // callers written when dialogs were found by polling; they do nothing.)
  static void WhenModal(std::function<void(QWidget*)> act, QWidget* skip = nullptr, int tries = 0) {
    (void)skip;
    (void)tries;
    Asked().OnModal(std::move(act));
  }
  // Clicks the button with this object name inside `w`.
  static void Click(QWidget* w, const char* name) {
    auto* b = w->findChild<QAbstractButton*>(name);
    ASSERT_NE(b, nullptr) << name;
    b->click();
  }
  static void Type(QWidget* w, const QString& text) { QTest::keyClicks(w, text); }
  static void Key(QWidget* w, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::keyClick(w, key, mods);
  }
  // Shows a window and makes it the active one, so that focus rules apply.
  static void Activate(QWidget* w) {
    w->show();
    w->activateWindow();
    w->raise();
    (void)QTest::qWaitForWindowActive(w, 1000);
  }

  QTemporaryDir dir_;
  phonesim::SimProcess sim_;
  std::string journal_;
};
