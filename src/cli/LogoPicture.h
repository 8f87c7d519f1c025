#pragma once
// The logo kind's picture (--picture), read in a module of its own
// (mirapost-picture.so, Qt Gui), loaded only when a picture must be read, so
// that no other send pays for Qt Gui and its libraries.
#include <QString>
#include <string>

namespace mp::cli {

// The LogoBits (builders/Messages.h) of the picture in the file at `path`;
// false with the reason in *why when it holds no picture this program reads.
using LogoPictureFn = bool (*)(const QString& path, std::string* bits, QString* why);

// The name of the module's entry, a LogoPictureFn.
inline constexpr const char* kLogoPictureEntry = "mirapost_logo_picture";

// Loads the module (once; see platform/Module.h for where it is looked for);
// nullptr, with the reason in *error, when it is missing or broken.
LogoPictureFn LoadLogoPicture(std::string* error);

}  // namespace mp::cli
