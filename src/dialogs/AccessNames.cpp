#include "dialogs/AccessNames.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QWidget>

namespace mp {

QString StripAccessKey(const QString& text) {
  QString out;
  out.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size()) ++i;  // "&&" keeps one '&'
    out += text[i];
  }
  out = out.trimmed();
  if (out.endsWith(':')) out.chop(1);
  return out.trimmed();
}

namespace {

QString GroupTitle(const QWidget* w, const QWidget* window) {
  for (const QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget()) {
    if (auto* group = qobject_cast<const QGroupBox*>(p); group && !group->title().isEmpty())
      return StripAccessKey(group->title());
  }
  return {};
}

}  // namespace

void NameControls(QWidget* window) {
  if (!window) return;
  const QList<QLabel*> labels = window->findChildren<QLabel*>();
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if (!(w->focusPolicy() & Qt::TabFocus) || !w->accessibleName().isEmpty()) continue;
    QString name;
    for (const QLabel* label : labels) {
      if (label->buddy() == w && !label->text().isEmpty()) {
        name = StripAccessKey(label->text());
        break;
      }
    }
    const QString group = GroupTitle(w, window);
    if (name.isEmpty() && !group.isEmpty()) {
      if (auto* button = qobject_cast<QAbstractButton*>(w);
          button && qobject_cast<QCheckBox*>(w)) {
        name = group + ": " + StripAccessKey(button->text());
      } else if (!qobject_cast<QAbstractButton*>(w)) {
        name = group;
      }
    }
    if (!name.isEmpty()) w->setAccessibleName(name);
  }
  // A reader meets the parts of a combo box on their own: the text field of
  // an editable box takes the focus, and the drop-down list is a window of
  // its own. Both carry the box's name (a list set later is named when the
  // window is named again).
  for (QComboBox* box : window->findChildren<QComboBox*>()) {
    const QString name = box->accessibleName();
    if (name.isEmpty()) continue;
    if (QLineEdit* edit = box->lineEdit(); edit && edit->accessibleName().isEmpty()) edit->setAccessibleName(name);
    if (QAbstractItemView* list = box->view(); list && list->accessibleName().isEmpty()) list->setAccessibleName(name);
  }
}

}  // namespace mp
