#pragma once
// The blinking phonebook page: a one-line name with blinking parts
// (EntryName, marked through Editors) and a number (EntryNo), written
// straight into the phone's own phonebook by SaveEntry.
#include <QObject>
#include <string>

#include "app/pages/PageLinks.h"

class QLineEdit;
class QPushButton;
class QTextEdit;

namespace mp {

class Editors;

class PhonebookPage : public QObject {
 public:
  struct Controls {
    QTextEdit* EntryName;
    QLineEdit* EntryNo;
    QPushButton* SaveEntry;
  };
  void Setup(const Controls& controls, Editors& editors, PageLinks links);

  std::string EntryNumber;  // the number as written to the phone
  int EntryType = 0;        // 145 international, 129 national, 0 not a number

  void EntryNoChange();
  void SaveEntryClick();

 private:
  Controls c_{};
  Editors* editors_ = nullptr;
  PageLinks links_;
};

}  // namespace mp
