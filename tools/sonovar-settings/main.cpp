// sonovar-settings: writes a Sonovar.SET through the program's own encoder,
// so that scripts preparing a settings file follow any change of its layout.
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/files.h"
#include "sonovar/app/settings_file.h"

namespace {

using sonovar::SettingsRecord;

int Usage() {
  std::string numbers, booleans, ids;
  for (const sonovar::Effect& e : sonovar::kEffects) ids.append(" ").append(e.id);
  SettingsRecord r;
  sonovar::ForEachSettingsField(r, [&](std::string_view name, auto& slot) {
    (std::is_same_v<decltype(slot), bool&> ? booleans : numbers).append(" ").append(name);
  });
  std::fprintf(
      stderr,
      "usage: sonovar-settings FILE [FIELD=VALUE...]\n"
      "  writes FILE as exactly the record the fields give (fields not named are 0, the name empty)\n"
      "  -32768..32767:%s\n  0 or 1:%s\n  text: Name (the animation, without \".qra\"), Effect (an effect's id:%s)\n"
      "  AutoLevel: 0 or 1, kept after the effect's id; 1 when not named, as for a file an earlier version wrote\n"
      "  LightOffset: -32768..32767 ms, kept after AutoLevel; read back within -500..2000, 0 when not named\n",
      numbers.c_str(), booleans.c_str(), ids.c_str());
  return 2;
}

bool Number(std::string_view text, int16_t* out) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < -32768 || value > 32767) return false;
  *out = static_cast<int16_t>(value);
  return true;
}

bool Boolean(std::string_view text, bool* out) {
  if (text != "0" && text != "1") return false;
  *out = text == "1";
  return true;
}

// "Name" takes any text; the others a number or a Boolean, by the layout's
// own list of fields.
bool SetField(SettingsRecord& r, std::string_view field, std::string_view value) {
  if (field == "Name") {
    r.Name = value;
    return value.size() <= 65535;
  }
  // Any id, also one this program does not know: a file of a newer program.
  if (field == "Effect") {
    r.EffectId = value;
    return value.size() <= sonovar::kEffectIdLength;
  }
  if (field == "AutoLevel") return Boolean(value, &r.AutoLevel);
  // Any 16-bit value, so that a script can show how the program clamps one.
  if (field == "LightOffset") return Number(value, &r.LightOffset);
  bool taken = false;
  sonovar::ForEachSettingsField(r, [&](std::string_view name, auto& slot) {
    if (name != field) return;
    if constexpr (std::is_same_v<decltype(slot), bool&>) taken = Boolean(value, &slot);
    else taken = Number(value, &slot);
  });
  return taken;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argv[1][0] == '-') return Usage();
  SettingsRecord record;
  for (int i = 2; i < argc; ++i) {
    const std::string_view argument = argv[i];
    const size_t equals = argument.find('=');
    if (equals == std::string_view::npos || !SetField(record, argument.substr(0, equals), argument.substr(equals + 1))) {
      std::fprintf(stderr, "sonovar-settings: %s: not a field and a value it can take\n", argv[i]);
      return Usage();
    }
  }
  // A device or a FIFO named by mistake stays what it is.
  std::error_code ec;
  if (std::filesystem::exists(argv[1], ec) && !std::filesystem::is_regular_file(argv[1], ec)) {
    std::fprintf(stderr, "sonovar-settings: %s: not a regular file, left alone\n", argv[1]);
    return 1;
  }
  const std::string error = platform::ReplaceFileContents(argv[1], sonovar::EncodeSettings(record));
  if (!error.empty()) {
    std::fprintf(stderr, "sonovar-settings: %s: %s\n", argv[1], error.c_str());
    return 1;
  }
  return 0;
}
