// The port box and the keyboard: Ctrl+Tab lands in the page shown, never in
// the port box; typing into the closed port box chooses no port; the
// simulated phone's label names the port in use.
#include <QComboBox>
#include <QLabel>
#include <QTabWidget>

#include "AppFixture.h"

namespace {

class PortKeysTest : public AppFixture {};

TEST_F(PortKeysTest, CtrlTabLandsInThePageShown) {
  Create();
  Activate(Win);
  QTabWidget* pages = UI(PageControl);
  QWidget* rows = Win->findChild<QWidget*>("PageControlTabs");
  ASSERT_NE(rows, nullptr);
  const struct {
    Qt::KeyboardModifiers mods;
    int step;
  } keys[] = {{Qt::ControlModifier, 1}, {Qt::ControlModifier | Qt::ShiftModifier, -1}};
  for (const auto& k : keys) {
    for (int start = 0; start < pages->count(); ++start) {
      for (QWidget* from : {static_cast<QWidget*>(UI(ComPort)), rows, static_cast<QWidget*>(UI(Message))}) {
        pages->setCurrentIndex(start);
        from->setFocus();
        const Qt::Key key = k.step > 0 ? Qt::Key_Tab : Qt::Key_Backtab;
        Key(QApplication::focusWidget() ? QApplication::focusWidget() : Win, key, k.mods);
        const int shown = (start + k.step + pages->count()) % pages->count();
        SCOPED_TRACE(std::to_string(start) + " -> " + std::to_string(shown) + " from " +
                     from->objectName().toStdString());
        ASSERT_EQ(pages->currentIndex(), shown);
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        EXPECT_TRUE(pages->currentWidget()->isAncestorOf(focus)) << focus->objectName().toStdString();
      }
    }
  }
  // The text and phonebook pages: their editors.
  pages->setCurrentIndex(3);
  UI(ComPort)->setFocus();
  Key(UI(ComPort), Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_EQ(QApplication::focusWidget(), UI(EntryName));
}

TEST_F(PortKeysTest, TypingIntoTheClosedPortBoxChoosesNoPort) {
  Create();
  Activate(Win);
  QComboBox* box = UI(ComPort);
  box->setCurrentIndex(3);
  box->setFocus();
  for (const char* typed : {"Carl", "5", "c", "COM 9"}) {
    Type(box, typed);
    EXPECT_EQ(box->currentIndex(), 3) << typed;
  }
  // The arrow keys still choose, as in every list box.
  Key(box, Qt::Key_Down);
  EXPECT_EQ(box->currentIndex(), 4);
}

TEST_F(PortKeysTest, TheSimulatedPhonesLabelNamesThePortInUse) {
  Create();
  Win->UseSimulatedPhone(4, "/dev/pts/77", dir_.filePath("journal.jsonl"));
  QLabel* label = Win->SimulatedPhoneLabel;
  ASSERT_NE(label, nullptr);
  QComboBox* box = UI(ComPort);
  const struct {
    int index;
    const char* text;
  } rows[] = {{3, "Simulated phone on COM 4"},
              {4, "COM 5 in use (simulated phone on COM 4)"},
              {-1, "No port in use (simulated phone on COM 4)"},
              {3, "Simulated phone on COM 4"}};
  for (const auto& r : rows) {
    box->setCurrentIndex(r.index);
    EXPECT_EQ(label->text().toStdString(), r.text);
  }
  box->setCurrentIndex(4);
  EXPECT_TRUE(label->toolTip().contains("may reach a real phone")) << label->toolTip().toStdString();
}

}  // namespace
