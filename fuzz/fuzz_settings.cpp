// Feeds arbitrary bytes to the settings store as its file, then reads, writes
// and closes the key. Checks that nothing crashes, that written values read
// back, and that rewriting a store the reader produced changes nothing.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/Settings.h"

namespace {

const std::string& Folder() {
  static const std::string dir = [] {
    std::string tmpl = (std::filesystem::exists("/dev/shm") ? std::string("/dev/shm")
                                                            : std::filesystem::temp_directory_path().string()) +
                       "/fuzz-settings-XXXXXX";
    if (!::mkdtemp(tmpl.data())) ::abort();
    return tmpl;
  }();
  return dir;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    ::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = Folder() + "/MIRAPOST.reg";
  std::remove((path + ".bad").c_str());
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  // A name and a value taken from the input, so that writes meet what is there.
  const std::string name = "N" + std::string(reinterpret_cast<const char*>(data), size < 8 ? size : 8);
  const std::int32_t number = size >= 4 ? static_cast<std::int32_t>(data[0] | data[1] << 8 | data[2] << 16 |
                                                                    static_cast<std::uint32_t>(data[3]) << 24)
                                        : -1;

  mp::SettingsKey key(path);
  if (key.Open(false)) {
    for (const char* n : {"ComPort", "FontName", "FontSize", "Operator0", "Model", "Recipient0"}) {
      (void)key.ReadString(n);
      (void)key.ReadInteger(n);
      (void)key.Exists(n);
    }
    (void)key.ReadString(name);
    key.Close();
  }
  Check(key.Open(true), "open with create");
  key.WriteInteger("ComPort", number);
  key.WriteString(name, name);
  Check(key.Close(), "close");

  Check(key.Open(false), "reopen");
  Check(key.ReadInteger("ComPort") == number, "integer read back");
  Check(key.ReadString(name) == name, "text read back");
  key.Close();

  // Writing the same values again must give the same file.
  const std::string first = Slurp(path);
  Check(key.Open(true), "open again");
  key.WriteInteger("COMPORT", number);
  key.WriteString(name, name);
  Check(key.Close(), "close again");
  Check(Slurp(path) == first, "rewrite is stable");
  return 0;
}
