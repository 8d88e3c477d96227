// Figures for auto level on synthetic sound of known level: the share of
// buffers in which the lamps of one board (Pulse/Sweep) change and the share
// in which they are dark, off and on; and the gain through a quiet intro and
// the first loud bar.
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "support/synthetic_music.h"

namespace syn = testing_support::synthetic;

int main() {
  struct Sound {
    std::string name;
    std::function<std::vector<float>()> make;
  };
  const std::vector<Sound> sounds = {
      {"beat peaking at full scale", [] { return syn::AtPeak(syn::Beat(20), 0); }},
      {"beat at -6 dBFS", [] { return syn::AtRms(syn::Beat(20), -6); }},
      {"beat at -20 dBFS", [] { return syn::AtRms(syn::Beat(20), -20); }},
      {"beat at -30 dBFS", [] { return syn::AtRms(syn::Beat(20), -30); }},
      {"beat at -40 dBFS", [] { return syn::AtRms(syn::Beat(20), -40); }},
      {"silence", [] { return std::vector<float>(20 * syn::kRate, 0.0f); }},
      {"noise at -60 dBFS", [] { return syn::Noise(20, -60); }},
  };
  const size_t settled = 10 * syn::kRate / syn::kFrames;
  std::printf("%-28s %8s | %-21s | %-21s\n", "sound (RMS, or as named)", "peak", "off: change / dark",
              "on: change / dark");
  for (const Sound& s : sounds) {
    const std::vector<float> sound = s.make();
    float peak = 0;
    for (float x : sound) peak = std::max(peak, std::abs(x));
    const auto buffers = syn::Buffers(sound);
    const syn::Lamps off = syn::Play(buffers, false, settled), on = syn::Play(buffers, true, settled);
    std::printf("%-28s %8.3f | %8.1f %% / %6.1f %% | %8.1f %% / %6.1f %%\n", s.name.c_str(), peak, 100 * off.changing,
                100 * off.dark, 100 * on.changing, 100 * on.dark);
  }
  std::printf("(shares over the last 10 s of 20 s; RMS of the full-scale beat: %.1f dBFS)\n",
              20 * std::log10(syn::Rms(syn::AtPeak(syn::Beat(20), 0))));

  // 8 s of intro at -30 dBFS, then the song peaking at full scale.
  std::vector<float> song = syn::AtRms(syn::Beat(8), -30);
  const size_t intro = song.size() / syn::kFrames;
  song.resize(intro * syn::kFrames);
  const std::vector<float> loud = syn::AtPeak(syn::Beat(4, 5), 0);
  song.insert(song.end(), loud.begin(), loud.end());
  std::vector<double> gains;
  syn::Play(syn::Buffers(song), true, 0, &gains);
  std::printf("\ngain through an 8 s intro at -30 dBFS and the first loud bar (buffers of 23.2 ms):\n");
  for (size_t i = 0; i < gains.size(); ++i)
    if (i % 22 == 0 || (i >= intro - 2 && i <= intro + 2))
      std::printf("  %6.2f s%s  %+5.1f dB\n", static_cast<double>(i) * syn::kFrames / syn::kRate,
                  i == intro ? " (loud)" : "       ", gains[i]);
  return 0;
}
