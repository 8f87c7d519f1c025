#pragma once
// System beeps of the message-box kinds. Every beep is recorded so that tests
// can see which kinds sounded; the sound itself is the desktop's event sound.
#include <functional>
#include <string_view>
#include <vector>

namespace mp {

// MB_OK, MB_ICONEXCLAMATION, MB_ICONASTERISK, MB_ICONQUESTION. The information
// beep of the file commands is the same sound as Asterisk.
enum class BeepKind { Ok, Exclamation, Asterisk, Question };

// Records the kind and sounds it through the hook set with SetBeepSound, but
// only while a QGuiApplication exists and MIRAPOST_TESTING is unset or empty
// (ctest sets it, so test runs stay quiet).
void Beep(BeepKind kind);
// Beeps sounded since the last call (oldest first); clears the record.
std::vector<BeepKind> TakeRecordedBeeps();

// The sound itself. This layer has no widgets, so the main window installs a
// hook, normally ThemeSound() with the toolkit's bell as its fallback.
// The default is silence; an empty function restores it.
void SetBeepSound(std::function<void(BeepKind)> sound);

// The sound theme events of a kind, in the order they are tried: the name the
// freedesktop sound naming scheme gives the kind, then stand-ins found in
// themes that lack it.
std::vector<std::string_view> ThemeSoundNames(BeepKind kind);

// Whether this build can play theme sounds (it was linked with libcanberra).
bool HaveThemeSounds();

// A hook for SetBeepSound that plays the kind's theme sound through
// libcanberra, and calls `fallback` (the X bell) when no sound can play: no
// sound server, no such sound in any installed theme, or a build without
// libcanberra.
std::function<void(BeepKind)> ThemeSound(std::function<void()> fallback);

}  // namespace mp
