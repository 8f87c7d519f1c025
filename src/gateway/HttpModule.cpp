// The network module, mirapost-http.so.
#include "gateway/Http.h"
#include "platform/Module.h"

namespace mp::gateway {

std::unique_ptr<HttpSession> OpenHttpSession(std::string* error) {
  using Entry = HttpSession* (*)();
  const auto entry = reinterpret_cast<Entry>(ModuleEntry("mirapost-http.so", kHttpEntry, "the network module", error));
  if (!entry) return nullptr;
  std::unique_ptr<HttpSession> session(entry());
  if (!session && error) *error = "the network module made no session";
  return session;
}

}  // namespace mp::gateway
