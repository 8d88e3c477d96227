// A fixed show: a fixed sound, the user's actions at fixed buffers and the
// peak ticks at fixed buffer boundaries. Whatever runs the show (the window,
// the show's own thread), the boards must receive the same writes for it;
// tests/data/show_reports.txt holds them as the window-driven loop wrote them.
#pragma once

#include <QCheckBox>
#include <QScrollBar>
#include <QSlider>

#include <array>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "support/named_widgets.h"
#include "sonovar/app/widgets.h"

namespace testing_support::show_script {

inline constexpr int kBuffers = 300;
inline constexpr size_t kBufferBytes = 512;

// Buffer i of the sound: noise whose loudness follows a beat every 20
// buffers (from near silence to full scale), so that the bands trigger, the
// peak falls and rises, and the automatic cut adjustment runs.
inline std::array<uint8_t, kBufferBytes> Buffer(int i) {
  std::array<uint8_t, kBufferBytes> bytes{};
  uint32_t state = 0x9E3779B9u ^ static_cast<uint32_t>(i * 2654435761u);
  const int phase = i % 20;
  const int loudness = phase < 3 ? 127 : phase < 10 ? 127 - phase * 9 : 12 + (i / 20) % 5 * 6;
  for (size_t k = 0; k < bytes.size(); ++k) {
    state = state * 1664525u + 1013904223u;
    const int spread = 2 * loudness + 1;
    const int value = static_cast<int>((state >> 8) % static_cast<uint32_t>(spread)) - loudness;
    bytes[k] = static_cast<uint8_t>(128 + value);
  }
  return bytes;
}

// The end of buffer i in microseconds from the start: 256 frames at 11025 Hz each.
inline int64_t BufferEndMicros(int i) { return int64_t{i + 1} * 256 * 1000000 / 11025; }
inline constexpr int64_t kTickMicros = 50000;

// The ticks due at the end of buffer i, deadlines k * 50 ms from the start.
inline int TicksDueAfter(int i, int64_t* next_deadline) {
  int due = 0;
  while (*next_deadline <= BufferEndMicros(i)) {
    ++due;
    *next_deadline += kTickMicros;
  }
  return due;
}

// The user's actions after buffer `i` (-1: before Start), through the
// window's widgets as a user's clicks and drags would change them.
// `load_animation` loads the test's animation file as the file dialog does.
template <typename Window, typename LoadAnimation>
void ActAfter(int i, Window& window, LoadAnimation load_animation) {
  auto slider = [&](const char* name, int value) { Widget<QSlider>(window, name)->setValue(value); };
  auto board = [&](int n) { emit Widget<sonovar::ClickableLabel>(window, "lbl_DevNum", n)->clicked(); };
  auto effect = [&](int n) { emit Widget<sonovar::ClickableLabel>(window, "lbl_Effect", n)->clicked(); };
  switch (i) {
    case -1: board(1); board(3); break;
    case 20: effect(2); break;
    case 45: slider("hsc_RedBias", 60); slider("hsc_YellowBias", 40); break;
    case 70: slider("sld_Delay", 4); slider("sld_Decay", 10); break;
    case 95: Widget<QCheckBox>(window, "Check1")->setChecked(false); slider("Slider1", 3); break;
    case 120: Widget<QScrollBar>(window, "vsc_RedCut")->setValue(40); break;
    case 150: load_animation(); effect(3); break;
    case 200: board(2); board(1); slider("hsc_CyanBias", 20); break;
    case 240: Widget<QCheckBox>(window, "Check1")->setChecked(true); effect(1); break;
    case 270: slider("sld_Delay", 0); Widget<QScrollBar>(window, "vsc_YellowCut")->setValue(90); break;
    default: break;
  }
}

// The animation the show loads: a few profile frames and a state frame.
inline void WriteAnimation(const std::string& path) {
  std::ofstream out(path);
  out << "5\n";
  out << "\"QRL-PBA:48,0,0,48,29,0,38,48,0,10,48,0,0,48,19,0,48,48,0,19,48,10,0,48,38,0,48,48,0,29,16,16\"\n";
  out << "\"QRL-SBA:255,255,255,255,4\"\n";
  out << "\"QRL-PBA:0,0,0,6,3,0,19,10,0,48,24,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\"\n";
  out << "\"QRL-PBA:10,48,0,0,48,19,0,48,48,0,19,48,10,0,48,38,0,48,48,0,29,48,0,0,48,29,0,38,48,0,16,16\"\n";
  out << "\"QRL-PBA:0,19,48,10,0,48,38,0,48,48,0,29,48,0,0,48,29,0,38,48,0,10,48,0,0,48,19,0,48,48,16,16\"\n";
}

inline std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace testing_support::show_script
