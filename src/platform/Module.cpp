// Finding and loading the program's modules.
#include "platform/Module.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace mp {

namespace {

// The places `file` is looked for, in order.
std::vector<std::string> ModuleCandidates(const std::string& file) {
  const QDir dir(QCoreApplication::applicationDirPath());
  const QString name = QString::fromStdString(file);
  std::vector<std::string> out;
  for (const QString& relative : {name, "../src/" + name, "../lib/mirapost/modules/" + name})
    out.push_back(QDir::cleanPath(dir.absoluteFilePath(relative)).toStdString());
  return out;
}

}  // namespace

void* ModuleEntry(const std::string& file, const char* entry, const std::string& what, std::string* error) {
  static std::mutex guard;
  static std::map<std::string, void*> loaded;  // file and entry -> function
  const std::lock_guard<std::mutex> lock(guard);
  const std::string key = file + '\n' + entry;
  if (const auto it = loaded.find(key); it != loaded.end()) return it->second;
  std::string why;
  for (const std::string& path : ModuleCandidates(file)) {
    const QFileInfo info(QString::fromStdString(path));
    if (!info.isFile()) continue;
    // The library stays loaded when `library` goes: what it made may
    // outlive any one caller.
    QLibrary library(info.canonicalFilePath());
    if (library.load()) {
      if (void* function = reinterpret_cast<void*>(library.resolve(entry))) {
        loaded[key] = function;
        return function;
      }
      why = library.errorString().toStdString();
      library.unload();
    } else {
      why = library.errorString().toStdString();
    }
  }
  // Not remembered: a module installed meanwhile is found at the next try.
  if (error) {
    *error = why.empty() ? what + " (" + file + ") is not installed"
                         : what + " (" + file + ") cannot be loaded: " + why;
  }
  return nullptr;
}

}  // namespace mp
