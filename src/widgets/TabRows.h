#pragma once
// The page control's tab captions, painted in as many rows as they need.
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QStyleOptionTab>
#include <QTabBar>
#include <QTabWidget>
#include <QToolTip>
#include <QWidget>
#include <algorithm>
#include <vector>

// The tab captions of the page control in as many rows as they need, as the
// desktop's multi-row tab control shows them: each row filled to the full
// width, the row holding the current page next to the page. The page
// control's own one-row bar is hidden; pages are still chosen through it.
class TabRows : public QWidget {
  Q_OBJECT

 public:
  TabRows(QTabWidget* tabs, QWidget* parent) : QWidget(parent), tabs_(tabs) {
    setObjectName("PageControlTabs");
    setMouseTracking(true);
    // The rows take the focus (Tab, a click) and show it on the current tab;
    // the arrow keys then switch pages.
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName("Pages");
    connect(tabs_, &QTabWidget::currentChanged, this, [this] { update(); });
  }

  QTabWidget* Tabs() const { return tabs_; }
  // Where tab `index` is drawn, in the rows' coordinates; empty for none.
  QRect TabRect(int index) const {
    for (const auto& [i, rect] : Layout()) {
      if (i == index) return rect;
    }
    return {};
  }
  int TabAt(const QPoint& pos) const {
    for (const auto& [index, rect] : Layout()) {
      if (rect.contains(pos)) return index;
    }
    return -1;
  }

  // Splits the tabs into rows for the given width; returns the height needed.
  int Arrange(int width) {
    rows_.clear();
    std::vector<int> row;
    int used = 0;
    for (int i = 0; i < tabs_->count(); ++i) {
      const int w = TabWidth(i);
      if (!row.empty() && used + w > width) {
        rows_.push_back(row);
        row.clear();
        used = 0;
      }
      row.push_back(i);
      used += w;
    }
    if (!row.empty()) rows_.push_back(row);
    return int(rows_.size()) * RowHeight();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    const int current = tabs_->currentIndex();
    for (int pass = 0; pass < 2; ++pass) {  // the current tab last, over its neighbours
      for (const auto& [index, rect] : Layout()) {
        if ((index == current) != (pass == 1)) continue;
        QStyleOptionTab opt;
        opt.initFrom(this);
        opt.rect = rect;
        opt.text = tabs_->tabText(index);
        opt.shape = QTabBar::RoundedNorth;
        opt.position = QStyleOptionTab::Middle;
        opt.state &= ~QStyle::State_HasFocus;
        if (index == current) opt.state |= QStyle::State_Selected;
        style()->drawControl(QStyle::CE_TabBarTab, &opt, &p, this);
        if (index == current && hasFocus()) {
          QStyleOptionFocusRect focus;
          focus.initFrom(this);
          focus.rect = rect.adjusted(3, 3, -3, -3);
          style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
        }
      }
    }
  }

  void keyPressEvent(QKeyEvent* event) override {
    const int n = tabs_->count();
    int i = tabs_->currentIndex();
    switch (event->key()) {
      case Qt::Key_Left:
      case Qt::Key_Up:
        i = std::max(i - 1, 0);
        break;
      case Qt::Key_Right:
      case Qt::Key_Down:
        i = std::min(i + 1, n - 1);
        break;
      case Qt::Key_Home:
        i = 0;
        break;
      case Qt::Key_End:
        i = n - 1;
        break;
      default:
        QWidget::keyPressEvent(event);
        return;
    }
    tabs_->setCurrentIndex(i);
  }
  void focusInEvent(QFocusEvent* event) override {
    update();
    QWidget::focusInEvent(event);
  }
  void focusOutEvent(QFocusEvent* event) override {
    update();
    QWidget::focusOutEvent(event);
  }

  void mousePressEvent(QMouseEvent* event) override {
    const int i = TabAt(event->position().toPoint());
    if (i >= 0) tabs_->setCurrentIndex(i);
  }

  bool event(QEvent* event) override {
    if (event->type() == QEvent::ToolTip) {
      auto* help = static_cast<QHelpEvent*>(event);
      const int i = TabAt(help->pos());
      if (i >= 0) {
        QToolTip::showText(help->globalPos(), tabs_->tabToolTip(i), this, QRect(), 10000);
      } else {
        QToolTip::hideText();
      }
      return true;
    }
    return QWidget::event(event);
  }

 private:
  int RowHeight() const { return fontMetrics().height() + 8; }
  int TabWidth(int i) const {
    return fontMetrics().horizontalAdvance(tabs_->tabText(i)) +
           style()->pixelMetric(QStyle::PM_TabBarTabHSpace, nullptr, this) + 6;
  }

  // Tab rectangles, rows justified to the full width, the current row at the bottom.
  std::vector<std::pair<int, QRect>> Layout() const {
    std::vector<std::pair<int, QRect>> out;
    const int current = tabs_->currentIndex();
    std::vector<std::vector<int>> order = rows_;
    for (std::size_t r = 0; r < order.size(); ++r) {
      if (std::find(order[r].begin(), order[r].end(), current) != order[r].end()) {
        std::rotate(order.begin(), order.begin() + r + 1, order.end());
        break;
      }
    }
    const int h = RowHeight();
    for (std::size_t r = 0; r < order.size(); ++r) {
      int natural = 0;
      for (int i : order[r]) natural += TabWidth(i);
      const int extra = order.size() > 1 ? width() - natural : 0;
      int x = 0;
      for (std::size_t k = 0; k < order[r].size(); ++k) {
        int w = TabWidth(order[r][k]) + (extra > 0 ? extra / int(order[r].size()) : 0);
        if (k + 1 == order[r].size() && order.size() > 1) w = width() - x;
        out.push_back({order[r][k], QRect(x, int(r) * h, w, h + (int(r) + 1 == int(order.size()) ? 2 : 0))});
        x += w;
      }
    }
    return out;
  }

  QTabWidget* tabs_;
  std::vector<std::vector<int>> rows_;
};

