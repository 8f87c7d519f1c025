#pragma once
// The settings store's file on disk: written atomically, through a symbolic
// link to its target, and left alone when the user made it read-only.
#include <sys/types.h>

#include <string>

namespace mp::settings_file {

// Writes `data` to a temporary file beside `path`, flushes it to the disk and
// renames it over `path`. When `aside` is not empty the old file is renamed
// there first (and put back if the final rename fails).
bool WriteAtomically(const std::string& path, const std::string& data, const std::string& aside,
                     mode_t mode);

// The file a write goes to: the target of a symbolic link, else `path`.
std::string WriteTarget(const std::string& path);

// A store that can be read but that its mode bits (also for root) or its
// permissions for this user keep from being written. One that cannot even be
// read counts as unreadable and is moved aside instead.
bool IsReadOnly(const std::string& path);

}  // namespace mp::settings_file
