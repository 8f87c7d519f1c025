// What assistive technology (a screen reader through AT-SPI) learns about the
// controls that Qt cannot describe by itself: the painted tab rows are a page
// tab list with one selectable tab per page, the page control hides its
// hidden one-row bar, and the receiving phone's screen offers its text.
#include "app/Accessible.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>
#include <QTabWidget>
#include <map>

#include "widgets/TabRows.h"
#include "dialogs/AccessNames.h"
#include "widgets/PhoneScreen.h"

namespace {

class TabRowsAccessible;

// One tab of the rows: named after its page, selectable, selected when its
// page is shown; pressing it shows the page.
class TabAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
 public:
  TabAccessible(TabRows* rows, int index) : rows_(rows), index_(index) {}

  bool isValid() const override { return rows_ && index_ < rows_->Tabs()->count(); }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override { return rows_ ? rows_->window()->windowHandle() : nullptr; }
  QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(rows_.data()); }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QAccessible::Role role() const override { return QAccessible::PageTab; }

  QString text(QAccessible::Text t) const override {
    if (!isValid()) return {};
    if (t == QAccessible::Name) return mp::StripAccessKey(rows_->Tabs()->tabText(index_));
    if (t == QAccessible::Description) return rows_->Tabs()->tabToolTip(index_);
    return {};
  }
  void setText(QAccessible::Text, const QString&) override {}

  QRect rect() const override {
    if (!isValid()) return {};
    const QRect r = rows_->TabRect(index_);
    return QRect(rows_->mapToGlobal(r.topLeft()), r.size());
  }

  QAccessible::State state() const override {
    QAccessible::State s;
    if (!isValid()) {
      s.invalid = true;
      return s;
    }
    const bool current = rows_->Tabs()->currentIndex() == index_;
    s.selectable = true;
    s.selected = current;
    s.focusable = true;
    s.focused = current && rows_->hasFocus();
    s.invisible = !rows_->isVisible();
    s.disabled = !rows_->isEnabled() || !rows_->Tabs()->isTabEnabled(index_);
    return s;
  }

  void* interface_cast(QAccessible::InterfaceType t) override {
    if (t == QAccessible::ActionInterface) return static_cast<QAccessibleActionInterface*>(this);
    return nullptr;
  }

  QStringList actionNames() const override { return {pressAction(), setFocusAction()}; }
  void doAction(const QString& name) override {
    if (!isValid() || !rows_->isEnabled()) return;
    if (name == pressAction() || name == setFocusAction()) rows_->Tabs()->setCurrentIndex(index_);
    if (name == setFocusAction()) rows_->setFocus(Qt::OtherFocusReason);
  }
  QStringList keyBindingsForAction(const QString&) const override { return {}; }

 private:
  QPointer<TabRows> rows_;
  int index_;
};

// The rows themselves: a page tab list whose children are the tabs.
class TabRowsAccessible : public QAccessibleWidget {
 public:
  explicit TabRowsAccessible(TabRows* rows) : QAccessibleWidget(rows, QAccessible::PageTabList) {}
  ~TabRowsAccessible() override {
    for (const auto& [index, id] : tabs_) QAccessible::deleteAccessibleInterface(id);
  }

  int childCount() const override { return Rows()->Tabs()->count(); }
  QAccessibleInterface* child(int index) const override {
    if (index < 0 || index >= childCount()) return nullptr;
    auto it = tabs_.find(index);
    if (it == tabs_.end()) {
      auto* tab = new TabAccessible(Rows(), index);
      it = tabs_.emplace(index, QAccessible::registerAccessibleInterface(tab)).first;
    }
    return QAccessible::accessibleInterface(it->second);
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    for (const auto& [index, id] : tabs_) {
      if (QAccessible::accessibleInterface(id) == child) return index;
    }
    return -1;
  }
  QAccessibleInterface* childAt(int x, int y) const override {
    const int i = Rows()->TabAt(Rows()->mapFromGlobal(QPoint(x, y)));
    return i >= 0 ? child(i) : nullptr;
  }
  QAccessibleInterface* focusChild() const override {
    return Rows()->hasFocus() ? child(Rows()->Tabs()->currentIndex()) : nullptr;
  }

 private:
  TabRows* Rows() const { return static_cast<TabRows*>(widget()); }
  mutable std::map<int, QAccessible::Id> tabs_;
};

// A widget whose children marked with mp::kNoAccess (hidden helpers, such as
// the page control's own bar) are left out of its accessible children.
class FilteredAccessible : public QAccessibleWidget {
 public:
  explicit FilteredAccessible(QWidget* w) : QAccessibleWidget(w) {}

  int childCount() const override { return int(Shown().size()); }
  QAccessibleInterface* child(int index) const override {
    const QList<QWidget*> shown = Shown();
    return index >= 0 && index < shown.size() ? QAccessible::queryAccessibleInterface(shown[index]) : nullptr;
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    if (!child || !child->object() || !child->object()->isWidgetType()) return -1;
    return int(Shown().indexOf(static_cast<QWidget*>(child->object())));
  }

 private:
  QList<QWidget*> Shown() const {
    QList<QWidget*> out;
    for (QObject* o : widget()->children()) {
      auto* w = qobject_cast<QWidget*>(o);
      if (w && !w->isWindow() && !w->property(mp::kNoAccess).toBool()) out << w;
    }
    return out;
  }
};

// The receiving phone's screen: a picture of a phone that reads out as the
// text the recipient will see.
class ScreenAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
 public:
  explicit ScreenAccessible(PhoneScreen* screen) : QAccessibleWidget(screen, QAccessible::StaticText) {}

  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name) return "Receiving phone screen";
    if (t == QAccessible::Value) return Text();
    return QAccessibleWidget::text(t);
  }
  void* interface_cast(QAccessible::InterfaceType t) override {
    if (t == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(t);
  }

  // A read-only text without selection or cursor.
  void selection(int, int* start, int* end) const override { *start = *end = 0; }
  int selectionCount() const override { return 0; }
  void addSelection(int, int) override {}
  void removeSelection(int) override {}
  void setSelection(int, int, int) override {}
  int cursorPosition() const override { return 0; }
  void setCursorPosition(int) override {}
  QString text(int start, int end) const override {
    const QString all = Text();
    start = std::clamp(start, 0, int(all.size()));
    end = end < 0 ? int(all.size()) : std::clamp(end, start, int(all.size()));
    return all.mid(start, end - start);
  }
  int characterCount() const override { return int(Text().size()); }
  QRect characterRect(int) const override { return rect(); }
  int offsetAtPoint(const QPoint&) const override { return -1; }
  void scrollToSubstring(int, int) override {}
  QString attributes(int offset, int* start, int* end) const override {
    *start = 0;
    *end = characterCount();
    (void)offset;
    return {};
  }

 private:
  QString Text() const { return static_cast<PhoneScreen*>(widget())->ScreenText(); }
};

QAccessibleInterface* Factory(const QString& className, QObject* object) {
  if (!object || !object->isWidgetType()) return nullptr;
  auto* w = static_cast<QWidget*>(object);
  if (className == QLatin1String("TabRows")) return new TabRowsAccessible(static_cast<TabRows*>(w));
  if (className == QLatin1String("PhoneScreen")) return new ScreenAccessible(static_cast<PhoneScreen*>(w));
  // Every page control: children marked kNoAccess are looked up at each query.
  if (className == QLatin1String("QTabWidget")) return new FilteredAccessible(w);
  return nullptr;
}

}  // namespace

namespace mp {

void InstallAccessibleFactory() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  QAccessible::installFactory(Factory);
}

void NotifyPageShown(TabRows* rows) {
  if (!QAccessible::isActive() || !rows) return;
  QAccessibleInterface* list = QAccessible::queryAccessibleInterface(rows);
  QAccessibleInterface* tab = list ? list->child(rows->Tabs()->currentIndex()) : nullptr;
  if (!tab) return;
  QAccessibleEvent selected(tab, QAccessible::Selection);
  QAccessible::updateAccessibility(&selected);
  if (rows->hasFocus()) {
    QAccessibleEvent focus(tab, QAccessible::Focus);
    QAccessible::updateAccessibility(&focus);
  }
}

}  // namespace mp
