#pragma once
// Shared fixture of the window tests: a fresh settings folder per test, the
// four windows, the simulated phone on COM 4, and helpers that drive modal
// dialogs from a timer.
//
//   class MyTest : public AppFixture {};
//   TEST_F(MyTest, Something) {
//     WriteSettings([](mp::SettingsKey& k) { k.WriteInteger("ComPort", 2); });
//     Create();                                   // CreateWindows()
//     ASSERT_TRUE(StartPhone({"--phonebook", PhonebookFile({"1,+358401234567,145,Alice"})}));
//     WhenModal([](QWidget* w) { Click(w, "SaveSend"); });   // the Send/Save dialog
//     Win->ui->SaveBlink->click();
//     auto lines = Journal();
//   }
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "SimProcess.h"
#include "app/About.h"
#include "app/App.h"
#include "app/Main.h"
#include "dialogs/Coding.h"
#include "dialogs/Send.h"
#include "platform/Settings.h"
#include "platform/Sound.h"
#include "ui_Main.h"

class AppFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    ::setenv("XDG_CONFIG_HOME", dir_.filePath("config").toLocal8Bit().constData(), 1);
    ::setenv("XDG_DATA_HOME", dir_.filePath("data").toLocal8Bit().constData(), 1);
    ::unsetenv("MIRAPOST_COM4");
    mp::TakeRecordedBeeps();
  }

  void TearDown() override {
    Destroy();
    StopPhone();
    ::unsetenv("MIRAPOST_COM4");
  }

  // ---- windows ----
  void Create() {
    if (!Win) mp::CreateWindows();
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
  // Runs `act` on the active modal widget as soon as one is shown (polled
  // every 10 ms for at most 10 s); `skip` is a modal widget already open.
  static void WhenModal(std::function<void(QWidget*)> act, QWidget* skip = nullptr, int tries = 1000) {
    QTimer::singleShot(10, qApp, [act = std::move(act), skip, tries]() mutable {
      QWidget* w = QApplication::activeModalWidget();
      if (w && w != skip) {
        act(w);
      } else if (tries > 0) {
        WhenModal(std::move(act), skip, tries - 1);
      } else {
        ADD_FAILURE() << "no modal dialog appeared";
      }
    });
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
