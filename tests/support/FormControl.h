#pragma once
// Finds a control of the main window by its object name, as the form names
// it, so that tests and benchmarks need none of the window's members:
//
//   UI(ComPort)->setCurrentIndex(3);      // a QComboBox* of Win, as the form declares it
//   UI_IN(w, Message)->setPlainText("");  // of another TWin
//
// Controls of the dialogs the window owns (the Send/Save dialog has its own
// BitBtn1) are passed over. A name the form does not have stops the program.
#include <QDialog>
#include <QObject>
#include <type_traits>

#include "app/Main.h"
#include "app/MainForm.h"

namespace mp::test {

template <class T>
T* FormControl(QObject* window, const char* name) {
  if (!window) qFatal("no main window to find %s in", name);
  for (T* control : window->findChildren<T*>(QString::fromLatin1(name))) {
    bool inDialog = false;
    for (QObject* p = control->parent(); p && p != window && !inDialog; p = p->parent())
      inDialog = qobject_cast<QDialog*>(p) != nullptr;
    if (!inDialog) return control;
  }
  qFatal("the main window has no control %s", name);
}

}  // namespace mp::test

#define UI_IN(window, name) \
  ::mp::test::FormControl<std::remove_pointer_t<decltype(::Ui::TWin::name)>>(window, #name)
#define UI(name) UI_IN(Win, name)
