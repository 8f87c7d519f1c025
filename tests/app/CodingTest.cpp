// The data coding dialog: stored choice, bounds, explanation, beep.
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "AppFixture.h"
#include "ui_Coding.h"

class CodingTest : public AppFixture {};

TEST_F(CodingTest, StoredModelValues) {
  struct Case {
    const char* name;
    std::function<void(mp::SettingsKey&)> write;
    int index;
    const char* info;
  };
  const std::vector<Case> cases = {
      {"none", [](mp::SettingsKey&) {}, 0, TCodingWin::kInfo7Bit},
      {"one", [](mp::SettingsKey& k) { k.WriteInteger("Model", 1); }, 1, TCodingWin::kInfo16Bit},
      {"five", [](mp::SettingsKey& k) { k.WriteInteger("Model", 5); }, 1, TCodingWin::kInfo16Bit},
      {"minus seven", [](mp::SettingsKey& k) { k.WriteInteger("Model", -7); }, -1, TCodingWin::kInfo16Bit},
      {"text", [](mp::SettingsKey& k) { k.WriteString("Model", "1"); }, 0, TCodingWin::kInfo7Bit},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir fresh;
    ::setenv("XDG_CONFIG_HOME", fresh.path().toLocal8Bit().constData(), 1);
    WriteSettings(c.write);
    Create();
    EXPECT_EQ(CodingWin->ModelIndex(), c.index);
    mp::TakeRecordedBeeps();
    WhenModal([](QWidget* w) { static_cast<QDialog*>(w)->accept(); });
    EXPECT_EQ(mp::ShowModal(CodingWin), QDialog::Accepted);
    EXPECT_EQ(CodingWin->ui->Info->text(), c.info);
    EXPECT_EQ(mp::TakeRecordedBeeps(), std::vector<mp::BeepKind>{mp::BeepKind::Exclamation});
    Destroy();
    EXPECT_EQ(StoredInteger("Model"), c.index);
  }
}

TEST_F(CodingTest, ChoiceKeptAfterCancel) {
  Create();
  WhenModal([](QWidget*) {
    CodingWin->ui->Model1->click();
    EXPECT_EQ(CodingWin->ui->Info->text(), TCodingWin::kInfo16Bit);
    CodingWin->ui->BitBtn2->click();
  });
  EXPECT_EQ(mp::ShowModal(CodingWin), QDialog::Rejected);
  EXPECT_EQ(CodingWin->ModelIndex(), 1);
  // Escape cancels, Enter confirms.
  WhenModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
  EXPECT_EQ(mp::ShowModal(CodingWin), QDialog::Rejected);
  WhenModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Return); });
  EXPECT_EQ(mp::ShowModal(CodingWin), QDialog::Accepted);
  EXPECT_EQ(CodingWin->ui->Info->text(), TCodingWin::kInfo16Bit);
  Destroy();
  EXPECT_EQ(StoredInteger("Model"), 1);
}
