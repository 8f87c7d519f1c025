#pragma once
// The main window's form. The frame (menus, title, tab rows, port box, status
// bar) and the text page come from MainFrame.ui; each other page's controls come
// from a form of its own (MainIndicator.ui, MainVoid.ui, MainTemplate.ui,
// MainPhonebook.ui, MainLogo.ui), laid into the page of the frame that is
// already there. So the pages not shown at start can be built after the
// window's first paint, and every control keeps its name: ui->VoiceOn is the
// indicator page's first box, whichever form made it.
#include "ui_MainIndicator.h"
#include "ui_MainLogo.h"
#include "ui_MainPhonebook.h"
#include "ui_MainTemplate.h"
#include "ui_MainVoid.h"
#include "ui_MainFrame.h"

namespace Ui {

// Made value-initialised (`new Ui::TWin()`): the controls of a page not
// built yet are null, never stray pointers.
struct TWin : Ui_TWinFrame, Ui_TIndicatorSheet, Ui_TVoidSheet, Ui_TTemplateSheet, Ui_TPhonebookSheet,
              Ui_TLogoSheet {
  // The frame and the text page.
  void setupUi(QMainWindow* window) { Ui_TWinFrame::setupUi(window); }
  // The other pages' controls, in the order the frame lists the pages.
  void setupPages() {
    Ui_TIndicatorSheet::setupUi(TabSheet3);
    Ui_TVoidSheet::setupUi(TabSheet4);
    Ui_TTemplateSheet::setupUi(TabSheet2);
    Ui_TPhonebookSheet::setupUi(TabSheet5);
    Ui_TLogoSheet::setupUi(TabSheet6);
  }
};

}  // namespace Ui
