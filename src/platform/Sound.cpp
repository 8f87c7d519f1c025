#include "platform/Sound.h"

#include <QGuiApplication>
#include <cstdlib>
#include <mutex>
#include <utility>

namespace mp {
namespace {

struct BeepState {
  std::mutex mutex;
  std::vector<BeepKind> recorded;
  std::function<void(BeepKind)> sound;
};

BeepState& State() {
  static BeepState state;
  return state;
}

bool Testing() {
  const char* v = std::getenv("MIRAPOST_TESTING");
  return v && v[0];
}

}  // namespace

void Beep(BeepKind kind) {
  std::function<void(BeepKind)> sound;
  {
    BeepState& s = State();
    std::lock_guard lock(s.mutex);
    s.recorded.push_back(kind);
    sound = s.sound;
  }
  // The hook runs outside the lock: it may call back into the toolkit.
  if (sound && QGuiApplication::instance() && !Testing()) sound(kind);
}

std::vector<BeepKind> TakeRecordedBeeps() {
  BeepState& s = State();
  std::lock_guard lock(s.mutex);
  return std::exchange(s.recorded, {});
}

void SetBeepSound(std::function<void(BeepKind)> sound) {
  BeepState& s = State();
  std::lock_guard lock(s.mutex);
  s.sound = std::move(sound);
}

}  // namespace mp
