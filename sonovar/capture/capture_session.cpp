#include "sonovar/capture/capture_session.h"

namespace sonovar {

std::vector<InputDevice> CaptureSession::ListInputDevices() {
  std::vector<InputDevice> devices;
  const unsigned count = wave_.GetNumDevs();
  for (unsigned d = 0; d < count; ++d) {
    platform::WaveInCaps caps;
    if (wave_.GetDevCaps(d, &caps) != 0) continue;
    if (caps.formats & platform::kWaveFormat11kStereo8)
      devices.push_back({caps.name, static_cast<int>(d), caps.is_default});
  }
  return devices;
}

bool CaptureSession::Open(int device, std::function<void()> wake, int* error) {
  const int result = wave_.Open(&CaptureHandle, device, platform::WaveFormat{}, std::move(wake));
  if (error != nullptr) *error = CaptureHandle != 0 ? 0 : result;
  return CaptureHandle != 0;
}

void CaptureSession::Start() { wave_.Start(CaptureHandle); }

void CaptureSession::CaptureLoop(const WaitFunction& wait, const YieldFunction& yield,
                                 const BufferFunction& on_buffer) {
  platform::WaveHeader header;
  header.data = CaptureBuffer.data();
  header.buffer_length = static_cast<uint32_t>(CaptureBuffer.size());
  // The handle is read afresh at every step: a stop inside an event clears it.
  for (;;) {
    wave_.PrepareHeader(CaptureHandle, &header);
    wave_.AddBuffer(CaptureHandle, &header);
    wait([&] { return (header.flags.load(std::memory_order_acquire) & platform::kWaveHeaderDone) != 0 ||
                      CaptureHandle == 0; });
    wave_.UnprepareHeader(CaptureHandle, &header);
    if (CaptureHandle == 0) return;  // stopped while waiting: this buffer is not analysed
    on_buffer(CaptureBuffer, header.played_at_us);
    yield();
    if (CaptureHandle == 0) return;
  }
}

void CaptureSession::Stop() {
  wave_.Reset(CaptureHandle);
  wave_.Close(CaptureHandle);
  CaptureHandle = 0;
}

}  // namespace sonovar
