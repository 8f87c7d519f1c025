// Arbitrary bytes as what the computer types to the simulated phone: AT
// command lines, PDUs after the prompt, phonebook writes in every character
// set, a dropped line now and then. The input is cut into chunks at 0xFF
// bytes; a chunk that starts with 0xFE drops the line first. Nothing may
// crash, hang or read out of bounds, and a dropped line ends any PDU entry.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Phone.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  phonesim::PhoneOptions options;
  options.echo = size > 0 && (data[0] & 1);
  phonesim::Phone phone(options);
  std::size_t journalled = 0;
  phone.journal = [&journalled](const std::string& line) { journalled += line.size(); };
  std::vector<phonesim::Event> out;
  const std::string_view all(reinterpret_cast<const char*>(data), size);
  std::size_t start = 0;
  while (start <= all.size()) {
    std::size_t end = all.find('\xff', start);
    if (end == std::string_view::npos) end = all.size();
    std::string_view chunk = all.substr(start, end - start);
    if (!chunk.empty() && chunk[0] == '\xfe') {
      phone.LineDropped();
      chunk.remove_prefix(1);
    }
    phone.Receive(chunk, out);
    if (out.size() > 4096) out.clear();
    start = end + 1;
  }
  // Whatever came before, a dropped line forgets a half-typed PDU, and the
  // phone takes commands again.
  out.clear();
  phone.LineDropped();
  if (phone.InPduEntry()) __builtin_trap();
  phone.Receive("AT\r", out);
  return 0;
}
