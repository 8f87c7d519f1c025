#include "cli/LogoPicture.h"

#include "platform/Module.h"

namespace mp::cli {

LogoPictureFn LoadLogoPicture(std::string* error) {
  return reinterpret_cast<LogoPictureFn>(ModuleEntry("mirapost-picture.so", kLogoPictureEntry, "the picture module", error));
}

}  // namespace mp::cli
