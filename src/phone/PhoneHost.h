#pragma once
// What the phone link needs from the main window: the port choice, the status
// bar, the beep and the wait pointer, and the window's life while a dialogue
// waits for the phone. The main window implements it; tests implement it to
// record what the user would see and hear.
#include <string>

#include "platform/Sound.h"

namespace mp {

class PhoneHost {
 public:
  virtual ~PhoneHost() = default;
  // Selected entry of the port list, 0 for "COM 1" .. 8 for "COM 9"; -1 when none.
  virtual int PortIndex() const = 0;
  // Replaces the one text of the status bar.
  virtual void ShowStatus(const std::string& text) = 0;
  virtual void Beep(BeepKind kind) = 0;
  // Hourglass on while a connection is open.
  virtual void SetWaitCursor(bool on) = 0;

  // A dialogue with the phone begins (true) or has ended (false); always
  // paired. Meanwhile the window takes no input but Cancel.
  virtual void SetDialogue(bool /*running*/) {}
  // Runs while the link waits for the phone, at most a few tens of
  // milliseconds apart: the window repaints and hears Cancel. True once the
  // user has cancelled the dialogue. Without a window nothing happens.
  virtual bool ServiceEvents() { return false; }
};

}  // namespace mp
