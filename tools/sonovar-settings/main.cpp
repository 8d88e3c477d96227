// sonovar-settings: writes a Sonovar.SET through the program's own encoder,
// so that scripts preparing a settings file follow any change of its layout.
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "sonovar/app/settings_file.h"

namespace {

using sonovar::SettingsRecord;

int Usage() {
  std::fprintf(stderr,
               "usage: sonovar-settings FILE [FIELD=VALUE...]\n"
               "  writes FILE as exactly the record the fields give (fields not named are 0, the name empty)\n"
               "  numbers: Delay Decay CyanBias YellowBias RedBias NonTurboDelay InputDevice (-32768..32767)\n"
               "  0 or 1:  Board1Active..Board4Active Turbo Effect1Selected..Effect3Selected\n"
               "  text:    Name (the animation, without \".qra\")\n");
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

// Field "Name" takes any text; the others a number or a Boolean.
bool SetField(SettingsRecord& r, std::string_view field, std::string_view value) {
  const std::pair<std::string_view, int16_t*> numbers[] = {
      {"Delay", &r.Delay},     {"Decay", &r.Decay},
      {"CyanBias", &r.CyanBias}, {"YellowBias", &r.YellowBias},
      {"RedBias", &r.RedBias}, {"NonTurboDelay", &r.NonTurboDelay},
      {"InputDevice", &r.InputDevice}};
  for (const auto& [name, slot] : numbers)
    if (field == name) return Number(value, slot);
  for (size_t n = 1; n < r.BoardActive.size(); ++n)
    if (field == "Board" + std::to_string(n) + "Active") return Boolean(value, &r.BoardActive[n]);
  for (size_t n = 1; n < r.EffectSelected.size(); ++n)
    if (field == "Effect" + std::to_string(n) + "Selected") return Boolean(value, &r.EffectSelected[n]);
  if (field == "Turbo") return Boolean(value, &r.Turbo);
  if (field == "Name" && value.size() <= 65535) {
    r.Name = value;
    return true;
  }
  return false;
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
