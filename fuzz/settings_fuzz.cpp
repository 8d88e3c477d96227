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

// A folder of its own for each input, removed with its file afterwards; in
// memory where the system has a place for it, since every save is flushed.
class Folder {
 public:
  Folder() {
    char memory[] = "/dev/shm/settings-fuzz-XXXXXX";
    char disk[] = "/tmp/settings-fuzz-XXXXXX";
    const char* made = ::mkdtemp(memory);
    if (made == nullptr) made = ::mkdtemp(disk);
    if (made == nullptr) std::abort();
    folder_ = made;
    path_ = folder_ + "/" + sonovar::kSettingsFileName;
  }
  ~Folder() {
    ::unlink(path_.c_str());
    ::rmdir(folder_.c_str());
  }
  const std::string& path() const { return path_; }

 private:
  std::string folder_, path_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const sonovar::SettingsRecord first = sonovar::DecodeSettings({data, size});
  const std::vector<uint8_t> bytes = sonovar::EncodeSettings(first);
  if (bytes.size() != sonovar::kSettingsFixedBytes + first.Name.size() + sonovar::kEffectTailBytes +
                          first.EffectId.size() + sonovar::kAutoLevelTailBytes + sonovar::kLightOffsetTailBytes)
    std::abort();
  // Whatever the bytes held, the offset read is one the window can show.
  if (first.LightOffset < sonovar::kSettingsLightOffsetMin || first.LightOffset > sonovar::kSettingsLightOffsetMax)
    std::abort();
  const sonovar::SettingsRecord again = sonovar::DecodeSettings(bytes);
  if (sonovar::EncodeSettings(again) != bytes || again.Name != first.Name || again.EffectId != first.EffectId ||
      again.AutoLevel != first.AutoLevel || again.LightOffset != first.LightOffset)
    std::abort();

  const Folder folder;
  std::ofstream(folder.path(), std::ios::binary).write(reinterpret_cast<const char*>(data), size);
  if (sonovar::LoadSettingsFile(folder.path()).Name != first.Name ||
      !sonovar::SaveSettingsFile(folder.path(), again).empty())
    std::abort();
  std::ifstream in(folder.path(), std::ios::binary);
  const std::string file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const size_t longest = sonovar::kLongestSettingsRecord;
  const size_t expected = std::max(bytes.size(), std::min(size, longest));
  if (file.size() != expected || file.compare(0, bytes.size(), reinterpret_cast<const char*>(bytes.data()),
                                              bytes.size()) != 0 ||
      file.compare(bytes.size(), std::string::npos, reinterpret_cast<const char*>(data) + bytes.size(),
                   expected - bytes.size()) != 0)
    std::abort();
  return 0;
}
