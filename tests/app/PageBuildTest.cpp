// The pages built after the first paint: the window, once they are built, is
// the one built at once; and whatever needs them earlier builds them first.
#include <QAccessible>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTextEdit>
#include <map>

#include "AppFixture.h"
#include "dialogs/AccessNames.h"

namespace {

// What a user or a screen reader can tell of a window, control by control.
struct Snapshot {
  QStringList tree;       // parent/child:class, in each parent's child (stacking) order
  QStringList geometry;   // name and geometry of every named control
  QStringList access;     // name and accessible name of every named control
  QStringList tabChain;   // the controls Tab visits, in order, from the window
  QStringList enter;      // per page: whether Enter in its first control presses its default button
};

QString Path(const QObject* o) { return o->objectName().isEmpty() ? QString("<%1>").arg(o->metaObject()->className()) : o->objectName(); }

void Walk(const QObject* parent, Snapshot& s) {
  for (const QObject* o : parent->children()) {
    if (!o->isWidgetType()) continue;
    const auto* w = static_cast<const QWidget*>(o);
    s.tree << Path(parent) + "/" + Path(w) + ":" + w->metaObject()->className();
    if (!w->objectName().isEmpty()) {
      const QRect g = w->geometry();
      s.geometry << QString("%1 %2,%3 %4x%5 %6").arg(w->objectName()).arg(g.x()).arg(g.y()).arg(g.width())
                        .arg(g.height()).arg(w->isVisibleTo(w->window()) ? "shown" : "hidden");
      s.access << w->objectName() + ": " + w->accessibleName();
    }
    Walk(w, s);
  }
}

Snapshot Take(TWin& w) {
  Snapshot s;
  Walk(&w, s);
  for (QWidget* n = w.nextInFocusChain(); n && n != &w; n = n->nextInFocusChain()) {
    if (n->focusPolicy() & Qt::TabFocus) s.tabChain << Path(n);
  }
  // Enter in each page's first control presses the page's default button
  // (its own work is taken off, so that nothing is sent).
  auto* pages = UI_IN(&w, PageControl);
  for (int i = 0; i < pages->count(); ++i) {
    pages->setCurrentIndex(i);
    QPushButton* button = w.DefaultButton();
    QWidget* first = nullptr;
    for (QWidget* c : pages->widget(i)->findChildren<QWidget*>()) {
      if ((c->focusPolicy() & Qt::TabFocus) && !qobject_cast<QPushButton*>(c)) {
        first = c;
        break;
      }
    }
    if (!button || !first) {
      s.enter << pages->widget(i)->objectName() + ": none";
      continue;
    }
    QObject::disconnect(button, &QPushButton::clicked, nullptr, nullptr);
    button->setEnabled(true);
    QSignalSpy clicked(button, &QPushButton::clicked);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(first, &enter);
    s.enter << QString("%1: Enter in %2 clicks %3: %4")
                   .arg(pages->widget(i)->objectName(), first->objectName(), button->objectName())
                   .arg(clicked.count());
  }
  pages->setCurrentIndex(0);
  return s;
}

bool Painted(TWin& w) { return QTest::qWaitFor([&] { return w.PagesBuilt(); }, 1500); }

}  // namespace

class PageBuildTest : public AppFixture {};

TEST_F(PageBuildTest, BuiltAfterTheFirstPaintAsAtOnce) {
  TWin atOnce;
  mp::NameControls(&atOnce);
  atOnce.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&atOnce));

  TWin later(nullptr, TWin::Pages::AfterFirstPaint);
  EXPECT_FALSE(later.PagesBuilt());
  EXPECT_EQ(later.findChild<QWidget*>("VoiceOn"), nullptr);
  mp::NameControls(&later);  // as the windows' creation names them, before the pages exist
  later.show();
  ASSERT_TRUE(Painted(later));

  const Snapshot a = Take(atOnce), b = Take(later);
  const std::pair<const char*, const QStringList Snapshot::*> aspects[] = {
      {"controls", &Snapshot::tree},     {"geometry", &Snapshot::geometry}, {"accessible names", &Snapshot::access},
      {"tab chain", &Snapshot::tabChain}, {"Enter", &Snapshot::enter}};
  for (const auto& [what, field] : aspects) {
    EXPECT_EQ((a.*field).join('\n').toStdString(), (b.*field).join('\n').toStdString()) << what;
  }
  // The comparison covers every page.
  EXPECT_GT(a.tree.filter("TabSheet5/EntryName").size(), 0);
  EXPECT_EQ(a.enter.filter(": 1").size(), 3) << a.enter.join('\n').toStdString();
  EXPECT_EQ(a.access.filter(QRegularExpression("^VoiceOn: .+")).size(), 1);
  // What the frame paints on the pages is painted on the pages built later too.
  for (TWin* w : {&atOnce, &later}) {
    EXPECT_EQ(UI_IN(w, Shape2)->grab().toImage().pixelColor(2, 2), QColor(224, 255, 192));
  }
}

TEST_F(PageBuildTest, NeededBeforeTheFirstPaint) {
  QTemporaryDir dir;
  const QString picture = dir.filePath("logo.bmp");
  QImage black(72, 14, QImage::Format_Mono);
  black.fill(0);
  ASSERT_TRUE(black.save(picture, "BMP"));
  const QString text = dir.filePath("note.txt");
  {
    QFile f(text);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("Hello");
  }

  // A message named on the command line needs no other page.
  {
    TWin w(nullptr, TWin::Pages::AfterFirstPaint);
    w.ShowPage("TabSheet1");
    w.OpenMessageOrLogo(text);
    EXPECT_EQ(UI_IN(&w, Message)->toPlainText(), "Hello");
    EXPECT_FALSE(w.PagesBuilt());
  }
  // A picture opens on the logo page, built for it.
  {
    TWin w(nullptr, TWin::Pages::AfterFirstPaint);
    const std::string blank = w.LogoBits;
    w.ShowPage("TabSheet6");
    ASSERT_TRUE(w.PagesBuilt());
    w.OpenMessageOrLogo(picture);
    EXPECT_NE(w.LogoBits, blank);
    w.show();
    EXPECT_TRUE(UI_IN(&w, cmdSaveLogo)->isVisible());
  }
  // A page switched to on a window already shown, not yet painted, shows its
  // controls, and Enter there presses its default button.
  {
    TWin w(nullptr, TWin::Pages::AfterFirstPaint);
    w.show();
    UI_IN(&w, PageControl)->setCurrentWidget(UI_IN(&w, TabSheet5));
    ASSERT_TRUE(w.PagesBuilt());
    for (QWidget* c : {static_cast<QWidget*>(UI_IN(&w, EntryName)), static_cast<QWidget*>(UI_IN(&w, EntryNo)),
                       static_cast<QWidget*>(UI_IN(&w, SaveEntry))}) {
      EXPECT_TRUE(c->isVisible()) << c->objectName().toStdString();
    }
    EXPECT_EQ(w.DefaultButton(), UI_IN(&w, SaveEntry));
  }
}

TEST_F(PageBuildTest, OperatorsKeptWhenTheLogoPageWasNeverBuilt) {
  WriteSettings([](mp::SettingsKey& k) {
    k.WriteString("Operator0", "24405");
    k.WriteString("Operator1", "24491");
  });
  { TWin w(nullptr, TWin::Pages::AfterFirstPaint); }  // closed before its first paint
  EXPECT_EQ(StoredString("Operator0"), "24405");
  EXPECT_EQ(StoredString("Operator1"), "24491");
  TWin w(nullptr, TWin::Pages::AfterFirstPaint);
  w.BuildPages();
  EXPECT_EQ(UI_IN(&w, cmbOperator)->count(), 2);
}

TEST_F(PageBuildTest, DialogsAfterTheFirstPaintOrWhenAskedFor) {
  // The program's start: the dialogs follow the first paint, named for screen readers.
  mp::CreateWindows(/*pagesAfterFirstPaint=*/true);
  EXPECT_EQ(SendWin, nullptr);
  Win->show();
  ASSERT_TRUE(QTest::qWaitFor([] { return SendWin && AboutWin && CodingWin && Win->PagesBuilt(); }, 1500));
  EXPECT_FALSE(SendWin->findChild<QWidget*>("Centre")->accessibleName().isEmpty());
  Destroy();

  // Send/Save pressed before that paint makes the dialog it shows.
  mp::CreateWindows(/*pagesAfterFirstPaint=*/true);
  Type(UI(Message), "Hi");
  QString shown;
  WhenModal([&shown](QWidget* w) {
    shown = w->objectName();
    Click(w, "BitBtn1");  // Cancel
  });
  UI(SaveBlink)->click();
  EXPECT_EQ(shown, "TSendWin");
  EXPECT_NE(SendWin, nullptr);
}
