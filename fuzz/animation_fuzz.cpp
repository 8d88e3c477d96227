// Animation files as any bytes: the loader, the frame splitter and QRA Link
// playback must neither crash nor stall, and the position stays in the list.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "sonovar/animation/qra_file.h"
#include "sonovar/effects/effect_engine.h"

namespace {

class NoBoards final : public sonovar::BoardLink {
 public:
  std::string Detected() override { return std::string(16, '0'); }
  int SetDeviceNumber(std::string_view) override { return 0; }
  void SetCommand(std::string_view text) override { sent += text.size(); }
  void SetFastCom(bool) override {}
  void SetCompatibilityDelay(int16_t) override {}
  size_t sent = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static sonovar::EffectEngine engine;  // large: made once, reused like the program's
  engine.EffectMode = sonovar::kQraLink;
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  sonovar::ReadQraFrames(in, engine.Animation);
  engine.Animation.QraFramePos = 1;
  const int count = engine.Animation.QraFrameCount;
  // Loads one after the other keep no more than one file's worth of frames.
  size_t held = 0;
  for (const std::string& frame : engine.Animation.QraFrames) held += frame.size();
  if (held > sonovar::kMaxQraFileFrameBytes) std::abort();

  for (int i = 1; i <= count && i <= 64; ++i) {
    const std::string& frame = engine.Animation.QraFrames[i];
    if (engine.Qra.GetArgumentArray(frame, 32, ",")) {
      // Every value but the last ends with a comma of its own.
      size_t commas = 0;
      for (size_t k = 7; k < frame.size(); ++k) commas += frame[k] == ',';
      if (commas < 31) std::abort();
    }
  }
  sonovar::EffectInputs loud;
  loud.RedCount = 511;
  loud.Delay = 2;
  sonovar::ActiveBoards active{};
  active[1] = true;
  NoBoards link;
  for (int step = 0; step < 4; ++step) {
    engine.Step(loud, active, link);
    if (count >= 1 && (engine.Animation.QraFramePos < 1 || engine.Animation.QraFramePos > count)) std::abort();
  }
  return 0;
}
