#pragma once
// What a page of the main window needs from the window around it: the phone
// link its messages leave by, the dialogs that confirm a send, and a word to
// the status bar or the receiving phone's preview. The window hands these in
// after its form is made; a test of a page alone hands in its own.
#include <functional>
#include <string>

#include "platform/Sound.h"

class TSendWin;
class TCodingWin;

namespace mp {

class PhoneLink;

struct PageLinks {
  PhoneLink* phone = nullptr;                      // sends and phonebook writes
  std::function<TSendWin*()> sendDialog;           // the Send/Save dialog (made after the window)
  std::function<TCodingWin*()> codingDialog;       // the data coding dialog (likewise)
  std::function<void()> previewChanged;            // what the page would send has changed
  std::function<void(const std::string&)> status;  // a text for the status bar
  std::function<void(BeepKind)> beep;
  // The concatenation reference for a long text to a TP-DA (the record's
  // next for that recipient); 0 when none is handed in.
  std::function<int(const std::string&)> reference;

  TSendWin* SendDialog() const { return sendDialog ? sendDialog() : nullptr; }
  TCodingWin* CodingDialog() const { return codingDialog ? codingDialog() : nullptr; }
  void PreviewChanged() const {
    if (previewChanged) previewChanged();
  }
};

}  // namespace mp
