#pragma once
// System beeps of the message-box kinds. Every beep is recorded so that tests
// can see which kinds sounded; the sound itself is the desktop's beep.
#include <functional>
#include <vector>

namespace mp {

// MB_OK, MB_ICONEXCLAMATION, MB_ICONASTERISK. The information beep of the file
// commands is the same sound as Asterisk.
enum class BeepKind { Ok, Exclamation, Asterisk };

// Records the kind and sounds it through the hook set with SetBeepSound, but
// only while a QGuiApplication exists and MIRAPOST_TESTING is unset or empty
// (ctest sets it, so test runs stay quiet).
void Beep(BeepKind kind);
// Beeps sounded since the last call (oldest first); clears the record.
std::vector<BeepKind> TakeRecordedBeeps();

// The sound itself. This layer has no widgets, so the main window installs a
// hook that calls QApplication::beep() (or plays the desktop's event sound).
// The default is silence; an empty function restores it.
void SetBeepSound(std::function<void(BeepKind)> sound);

}  // namespace mp
