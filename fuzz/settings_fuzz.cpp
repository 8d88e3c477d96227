// Settings files as any bytes: decoding never fails, and a decoded record
// survives writing and reading back unchanged; saved over the same bytes as
// a file, it keeps what lies behind it up to the longest record, no more.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "sonovar/app/settings_file.h"

namespace {

const std::string& Path() {
  static const std::string path = [] {
    char folder[] = "/tmp/settings-fuzz-XXXXXX";
    if (::mkdtemp(folder) == nullptr) std::abort();
    return std::string(folder) + "/" + sonovar::kSettingsFileName;
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const sonovar::SettingsRecord first = sonovar::DecodeSettings({data, size});
  const std::vector<uint8_t> bytes = sonovar::EncodeSettings(first);
  if (bytes.size() != sonovar::kSettingsFixedBytes + first.Name.size()) std::abort();
  const sonovar::SettingsRecord again = sonovar::DecodeSettings(bytes);
  if (sonovar::EncodeSettings(again) != bytes || again.Name != first.Name) std::abort();

  std::ofstream(Path(), std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data), size);
  if (sonovar::LoadSettingsFile(Path()).Name != first.Name || !sonovar::SaveSettingsFile(Path(), again).empty())
    std::abort();
  std::ifstream in(Path(), std::ios::binary);
  const std::string file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const size_t longest = sonovar::kSettingsFixedBytes + 65535;
  const size_t expected = std::max(bytes.size(), std::min(size, longest));
  if (file.size() != expected || file.compare(0, bytes.size(), reinterpret_cast<const char*>(bytes.data()),
                                              bytes.size()) != 0 ||
      file.compare(bytes.size(), std::string::npos, reinterpret_cast<const char*>(data) + bytes.size(),
                   expected - bytes.size()) != 0)
    std::abort();
  return 0;
}
