#include "platform/Sound.h"

#include <QGuiApplication>
#include <cstdlib>
#include <mutex>
#include <string>
#include <utility>

#ifdef MIRAPOST_HAVE_CANBERRA
#include <canberra.h>
#include <dlfcn.h>
#endif

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

#ifdef MIRAPOST_HAVE_CANBERRA
// libcanberra and the codecs it pulls in are loaded at the first beep, not at
// start-up: most runs never beep before the window is up, many never at all.
struct Canberra {
  int (*create)(ca_context**) = nullptr;
  int (*destroy)(ca_context*) = nullptr;
  int (*open)(ca_context*) = nullptr;
  int (*changeProps)(ca_context*, ...) = nullptr;
  int (*play)(ca_context*, uint32_t, ...) = nullptr;
};

// The library's functions; null when it is not installed.
const Canberra* Library() {
  static const Canberra* library = []() -> const Canberra* {
    void* handle = ::dlopen("libcanberra.so.0", RTLD_LAZY | RTLD_LOCAL);
    if (!handle) return nullptr;
    static Canberra c;
    c.create = reinterpret_cast<int (*)(ca_context**)>(::dlsym(handle, "ca_context_create"));
    c.destroy = reinterpret_cast<int (*)(ca_context*)>(::dlsym(handle, "ca_context_destroy"));
    c.open = reinterpret_cast<int (*)(ca_context*)>(::dlsym(handle, "ca_context_open"));
    c.changeProps = reinterpret_cast<int (*)(ca_context*, ...)>(::dlsym(handle, "ca_context_change_props"));
    c.play = reinterpret_cast<int (*)(ca_context*, uint32_t, ...)>(::dlsym(handle, "ca_context_play"));
    if (!c.create || !c.destroy || !c.open || !c.changeProps || !c.play) return nullptr;
    return &c;
  }();
  return library;
}

// One libcanberra context for the program's life; null when it cannot be
// opened (no library, no usable audio output), so that later beeps go
// straight to the fallback instead of retrying the driver each time.
ca_context* Context() {
  static ca_context* context = []() -> ca_context* {
    const Canberra* lib = Library();
    if (!lib) return nullptr;
    ca_context* c = nullptr;
    if (lib->create(&c) != CA_SUCCESS) return nullptr;
    lib->changeProps(c, CA_PROP_APPLICATION_NAME, "Corvistan MIRAPOST", CA_PROP_APPLICATION_ID,
                     "example.mirapost.Mirapost", CA_PROP_APPLICATION_ICON_NAME, "example.mirapost.Mirapost",
                     nullptr);
    if (lib->open(c) != CA_SUCCESS) {
      lib->destroy(c);
      return nullptr;
    }
    return c;
  }();
  return context;
}

bool PlayThemeSound(BeepKind kind) {
  ca_context* c = Context();
  if (!c) return false;
  for (std::string_view name : ThemeSoundNames(kind)) {
    const std::string id(name);
    const int rc = Library()->play(c, 0, CA_PROP_EVENT_ID, id.c_str(), CA_PROP_EVENT_DESCRIPTION,
                                   "MIRAPOST status", CA_PROP_CANBERRA_CACHE_CONTROL, "permanent", nullptr);
    if (rc == CA_SUCCESS) return true;
    if (rc != CA_ERROR_NOTFOUND) return false;  // try a stand-in only for a missing sound
  }
  return false;
}
#else
bool PlayThemeSound(BeepKind) { return false; }
#endif

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

std::vector<std::string_view> ThemeSoundNames(BeepKind kind) {
  switch (kind) {
    case BeepKind::Ok:
      return {"bell"};
    case BeepKind::Exclamation:
      return {"dialog-warning"};
    case BeepKind::Asterisk:
      return {"dialog-information"};
    case BeepKind::Question:
      // The freedesktop theme has no dialog-question, and its window-question
      // is a link to dialog-warning; its soft message chime keeps the
      // question apart from the other three kinds.
      return {"dialog-question", "message-new-instant"};
  }
  return {"bell"};
}

bool HaveThemeSounds() {
#ifdef MIRAPOST_HAVE_CANBERRA
  return true;
#else
  return false;
#endif
}

std::function<void(BeepKind)> ThemeSound(std::function<void()> fallback) {
  return [fallback = std::move(fallback)](BeepKind kind) {
    if (!PlayThemeSound(kind) && fallback) fallback();
  };
}

}  // namespace mp
