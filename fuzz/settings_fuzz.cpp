// Settings files as any bytes: decoding never fails, and a decoded record
// survives writing and reading back unchanged.
#include <cstdint>
#include <cstdlib>

#include "sonovar/app/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const sonovar::SettingsRecord first = sonovar::DecodeSettings({data, size});
  const std::vector<uint8_t> bytes = sonovar::EncodeSettings(first);
  if (bytes.size() != sonovar::kSettingsFixedBytes + first.Name.size()) std::abort();
  const sonovar::SettingsRecord again = sonovar::DecodeSettings(bytes);
  if (sonovar::EncodeSettings(again) != bytes || again.Name != first.Name) std::abort();
  return 0;
}
