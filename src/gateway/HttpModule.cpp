// Finds and loads mirapost-http.so, the network half of the Kannel way.
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <mutex>
#include <optional>

#include "gateway/Http.h"

namespace mp::gateway {

namespace {

constexpr const char* kModuleName = "mirapost-http.so";

using Entry = HttpSession* (*)();

struct Loaded {
  Entry entry = nullptr;
  std::string error;
};

Loaded Load() {
  const std::vector<std::string> candidates = HttpModuleCandidates();
  std::string tried;
  for (const std::string& path : candidates) {
    const QFileInfo info(QString::fromStdString(path));
    if (!info.isFile()) continue;
    // Kept loaded until the program ends: the sessions it made may outlive
    // any one caller.
    auto* library = new QLibrary(info.canonicalFilePath());
    if (!library->load()) {
      tried = library->errorString().toStdString();
      delete library;
      continue;
    }
    if (auto entry = reinterpret_cast<Entry>(library->resolve(kHttpEntry))) return {entry, {}};
    tried = library->errorString().toStdString();
    library->unload();
    delete library;
  }
  if (!tried.empty()) return {nullptr, "the network module (" + std::string(kModuleName) + ") cannot be loaded: " + tried};
  return {nullptr, "the network module (" + std::string(kModuleName) + ") is not installed"};
}

}  // namespace

std::vector<std::string> HttpModuleCandidates() {
  const QDir dir(QCoreApplication::applicationDirPath());
  std::vector<std::string> out;
  for (const QString& relative : {QString(kModuleName), "../src/" + QString(kModuleName),
                                  "../lib/mirapost/modules/" + QString(kModuleName)})
    out.push_back(QDir::cleanPath(dir.absoluteFilePath(relative)).toStdString());
  return out;
}

std::unique_ptr<HttpSession> OpenHttpSession(std::string* error) {
  static std::mutex guard;
  static std::optional<Loaded> loaded;
  Entry entry = nullptr;
  {
    const std::lock_guard<std::mutex> lock(guard);
    if (!loaded || !loaded->entry) loaded = Load();  // a module installed meanwhile is found
    entry = loaded->entry;
    if (!entry && error) *error = loaded->error;
  }
  if (!entry) return nullptr;
  std::unique_ptr<HttpSession> session(entry());
  if (!session && error) *error = "the network module made no session";
  return session;
}

}  // namespace mp::gateway
