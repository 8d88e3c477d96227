#include "sonovar/app/no_window.h"

#include <algorithm>
#include <filesystem>
#include <string>

#include "platform/stop_signal.h"
#include "sonovar/app/settings_file.h"
#include "sonovar/show/show.h"

namespace sonovar {

namespace {

// The settings as the window's controls would take them: each slider keeps
// a stored value within its range, and only a change runs its handler.
struct Applied {
  std::string boards;     // "1, 3"
  int effect = kPulse;    // the one shown as chosen; Pulse drives when none is
  bool animation = false; // the stored animation loaded
};

Applied ApplySettings(Show& show, const SettingsRecord& r, const std::string& detected,
                      const AnimationFolders& folders) {
  Applied applied;
  show.Post([r](ShowCore& core) {
    core.link().SetFastCom(true);
    core.SetAutoLevel(r.AutoLevel);
    core.SetLightOffset(r.LightOffset);
    core.SetEffectSlider(EffectSlider::kDelay, std::clamp<int>(r.Delay, 0, 15));
    core.SetEffectSlider(EffectSlider::kDecay, std::clamp<int>(r.Decay, 0, 15));
    core.SetEffectSlider(EffectSlider::kCyanBias, std::clamp<int>(r.CyanBias, 1, 255));
    core.SetEffectSlider(EffectSlider::kYellowBias, std::clamp<int>(r.YellowBias, 1, 255));
    core.SetEffectSlider(EffectSlider::kRedBias, std::clamp<int>(r.RedBias, 1, 255));
    // The report delay starts at 1 ms and TURBO ticked.
    if (const int delay = std::clamp<int>(r.NonTurboDelay, 0, 5); delay != 1)
      core.link().SetCompatibilityDelay(static_cast<int16_t>(delay));
    if (!r.Turbo) core.link().SetFastCom(false);
  });
  for (int n = 1; n <= kProgramBoards; ++n) {
    if (!r.BoardActive[n] || static_cast<size_t>(n) > detected.size() || detected[n - 1] != '1') continue;
    show.Post([n](ShowCore& core) { core.ClickBoard(n, true); });
    applied.boards += (applied.boards.empty() ? "" : ", ") + std::to_string(n);
  }
  // Pulse is chosen before the file is read; choosing another sends the
  // effect's start to the boards, as the window's options do. With none
  // chosen, Pulse drives.
  const int chosen = ChosenEffect(r);
  if (chosen == 0) return applied;
  if (chosen != kPulse) show.Post([chosen](ShowCore& core) { core.ChooseEffect(chosen); });
  applied.effect = chosen;
  if (kEffects[chosen - 1].needs_animation) {
    auto animation = std::make_shared<QraAnimation>();
    applied.animation = LoadQraFile(r.Name, folders, *animation);
    show.Post([animation](ShowCore& core) { core.SetAnimation(std::move(*animation)); });
  }
  return applied;
}

}  // namespace

int RunWithoutWindow(platform::WaveIn& wave, const AnimationFolders& folders, std::FILE* err) {
  Show show(wave);
  const std::string detected = show.Detected();
  if (detected.compare(0, kProgramBoards, std::string(kProgramBoards, '0')) == 0) {
    std::fprintf(err, "sonovar: No Supported Quorel or Quorel+KX Detected\n");
    const std::string why = show.UnusableBoardsReport();
    if (!why.empty()) std::fprintf(err, "%s\n", why.c_str());
    return 1;
  }
  const std::vector<InputDevice> inputs = show.ListInputDevices();
  if (inputs.empty()) {
    std::fprintf(err, "sonovar: No audio devices were found on your system.\n");
    return 1;
  }
  // Without a settings file no board would be active: say so rather than
  // play to nothing, and leave the folder as it is.
  std::error_code error;
  if (!std::filesystem::exists(kSettingsFileName, error)) {
    std::fprintf(err,
                 "sonovar: no %s in this folder: choose the input, boards and effect in the window and press "
                 "\"Make Default\", or write one with sonovar-settings\n",
                 kSettingsFileName);
    return 1;
  }
  const SettingsRecord record = LoadSettingsFile(kSettingsFileName);
  // As the window's list: the stored position when the list has it, else
  // the first input; -1 is the system's default input.
  const int position = record.InputDevice >= -1 && record.InputDevice < static_cast<int>(inputs.size())
                           ? record.InputDevice : 0;
  const Applied applied = ApplySettings(show, record, detected, folders);
  const std::string input = position < 0 ? "the system's default input" : inputs[position].name;
  std::string animation;
  if (kEffects[applied.effect - 1].needs_animation)
    animation = applied.animation ? ", animation " + record.Name : ", no animation loaded";
  // Auto level is on unless the user turned it off, and the offset is 0
  // unless the user set one: only those are worth a word.
  const char* level = record.AutoLevel ? "" : ", auto level off";
  const std::string offset =
      record.LightOffset == 0 ? "" : ", light offset " + std::to_string(record.LightOffset) + " ms";
  std::fprintf(err, "sonovar: playing %s on board%s %s with %s%s%s%s; Ctrl+C or SIGTERM ends it\n", input.c_str(),
               applied.boards.find(',') == std::string::npos ? "" : "s",
               applied.boards.empty() ? "(none active)" : applied.boards.c_str(), kEffects[applied.effect - 1].caption,
               animation.c_str(), level, offset.c_str());
  if (!show.Start(position < 0 ? -1 : inputs[position].device)) {
    std::fprintf(err, "sonovar: Wave input device failed to open (%s)\n", input.c_str());
    return 1;
  }
  platform::WaitForStopSignal();
  return 0;
}

}  // namespace sonovar
