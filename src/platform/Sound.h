#pragma once
// System beeps of the message-box kinds. Every beep is recorded so that tests
// can see which kinds sounded; the sound itself is the desktop's beep.
#include <vector>

namespace mp {

// MB_OK, MB_ICONEXCLAMATION, MB_ICONASTERISK. The information beep of the file
// commands is the same sound as Asterisk.
enum class BeepKind { Ok, Exclamation, Asterisk };

void Beep(BeepKind kind);
// Beeps sounded since the last call (oldest first); clears the record.
std::vector<BeepKind> TakeRecordedBeeps();

}  // namespace mp
