// winmm backend of the wave-input service: the system's wave-input devices,
// each captured through a ring of buffers. The system signals an event
// (CALLBACK_EVENT) whenever it hands a buffer back; a thread of the stream
// sleeps on that event, passes each returned buffer to the service and
// queues it again, so nothing ever polls.
#include <windows.h>
// After windows.h, which they need.
#include <mmddk.h>
#include <mmsystem.h>

#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/wavein_backend.h"
#include "platform/windows/winmm_records.h"

namespace platform {
namespace {

static_assert(winmm::kHeaderDone == WHDR_DONE && winmm::kHeaderPrepared == WHDR_PREPARED &&
              winmm::kHeaderInQueue == WHDR_INQUEUE);
static_assert(kWaveFormat11kStereo8 == WAVE_FORMAT_1S08);
static_assert(sizeof(WAVEINCAPSA{}.szPname) == winmm::kNameFieldSize);

// Four buffers of 23.2 ms each: the system always has one to fill while the
// thread hands another to the service.
constexpr size_t kBuffers = 4;
constexpr DWORD kBufferBytes = 512;

// Device names come in the system's ANSI code page; the service's names are
// UTF-8, as on every other system.
std::string AnsiToUtf8(std::string_view ansi) {
  if (ansi.empty()) return {};
  const int wide_size = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  if (wide_size <= 0) return std::string(ansi);
  std::wstring wide(static_cast<size_t>(wide_size), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(), wide_size);
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_size, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string(ansi);
  std::string utf8(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_size, utf8.data(), size, nullptr, nullptr);
  return utf8;
}

std::string DeviceName(const WAVEINCAPSA& caps) {
  return AnsiToUtf8(winmm::NameFromCaps(std::span<const char>(caps.szPname)));
}

// The device the wave mapper records from, when the system says.
std::optional<UINT> PreferredDevice() {
  DWORD device = 0, flags = 0;
  const MMRESULT result = waveInMessage(reinterpret_cast<HWAVEIN>(static_cast<UINT_PTR>(WAVE_MAPPER)),
                                        DRVM_MAPPER_PREFERRED_GET, reinterpret_cast<DWORD_PTR>(&device),
                                        reinterpret_cast<DWORD_PTR>(&flags));
  if (result != MMSYSERR_NOERROR) return std::nullopt;
  return device;
}

class WinmmStream final : public BackendStream {
 public:
  explicit WinmmStream(CaptureSink& sink) : sink_(sink) {}

  // Null when the device cannot be opened in the capture format.
  static std::unique_ptr<WinmmStream> Open(UINT number, CaptureSink& sink) {
    auto stream = std::make_unique<WinmmStream>(sink);
    stream->buffer_done_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    stream->stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (stream->buffer_done_ == nullptr || stream->stop_ == nullptr) return nullptr;
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = 11025;
    format.wBitsPerSample = 8;
    format.nBlockAlign = 2;
    format.nAvgBytesPerSec = 22050;
    if (waveInOpen(&stream->wave_, number, &format, reinterpret_cast<DWORD_PTR>(stream->buffer_done_), 0,
                   CALLBACK_EVENT) != MMSYSERR_NOERROR) {
      stream->wave_ = nullptr;
      return nullptr;
    }
    for (size_t k = 0; k < kBuffers; ++k) {
      WAVEHDR& header = stream->headers_[k];
      header.lpData = reinterpret_cast<LPSTR>(stream->data_[k].data());
      header.dwBufferLength = kBufferBytes;
      if (waveInPrepareHeader(stream->wave_, &header, sizeof header) != MMSYSERR_NOERROR) return nullptr;
    }
    return stream;
  }

  ~WinmmStream() override {
    Stop();
    if (wave_ != nullptr) {
      waveInReset(wave_);
      for (WAVEHDR& header : headers_)
        if (header.dwFlags & WHDR_PREPARED) waveInUnprepareHeader(wave_, &header, sizeof header);
      waveInClose(wave_);
    }
    if (buffer_done_ != nullptr) CloseHandle(buffer_done_);
    if (stop_ != nullptr) CloseHandle(stop_);
  }

  bool Start() override {
    if (thread_.joinable()) return true;
    // Every buffer is with the service's thread or handed back after a stop,
    // so all of them are queued again, in ring order.
    next_ = 0;
    for (size_t k = 0; k < kBuffers; ++k) {
      queued_[k] = waveInAddBuffer(wave_, &headers_[k], sizeof headers_[k]) == MMSYSERR_NOERROR;
      if (!queued_[k]) {
        waveInReset(wave_);
        return false;
      }
    }
    stopping_.store(false);
    ResetEvent(stop_);
    thread_ = std::thread([this] { Run(); });
    if (waveInStart(wave_) != MMSYSERR_NOERROR) {
      Stop();
      return false;
    }
    return true;
  }

  void Stop() override {
    if (!thread_.joinable()) return;
    stopping_.store(true);
    SetEvent(stop_);
    thread_.join();
    // What the system still holds comes back marked done; none of it reaches
    // the service any more.
    waveInReset(wave_);
  }

 private:
  void Run() {
    const HANDLE events[] = {buffer_done_, stop_};
    for (;;) {
      const DWORD woken = WaitForMultipleObjects(2, events, FALSE, INFINITE);
      if (woken != WAIT_OBJECT_0 || stopping_.load()) return;
      // The system hands buffers back in the order they were queued; each
      // wake-up may stand for several.
      for (size_t k = 0; k < kBuffers && !stopping_.load(); ++k, next_ = (next_ + 1) % kBuffers) {
        if (!queued_[next_]) continue;
        WAVEHDR& header = headers_[next_];
        const uint32_t flags = std::atomic_ref<DWORD>(header.dwFlags).load(std::memory_order_acquire);
        const std::optional<size_t> bytes = winmm::RecordedBytes(flags, header.dwBytesRecorded, header.dwBufferLength);
        if (!bytes) break;
        if (*bytes > 0) sink_.Deliver(data_[next_].data(), *bytes);
        // A buffer the system refuses (the device went away) leaves the
        // ring: the capture then simply gets no more sound.
        queued_[next_] = waveInAddBuffer(wave_, &header, sizeof header) == MMSYSERR_NOERROR;
      }
    }
  }

  CaptureSink& sink_;
  HWAVEIN wave_ = nullptr;
  HANDLE buffer_done_ = nullptr;  // auto-reset, signalled by the system for each buffer handed back
  HANDLE stop_ = nullptr;         // manual-reset, set by Stop
  std::atomic<bool> stopping_{false};  // set by Stop, read by the thread between buffers
  std::array<WAVEHDR, kBuffers> headers_{};
  std::array<std::array<uint8_t, kBufferBytes>, kBuffers> data_{};
  // The next header to come back, and which headers the system holds.
  // Written by Start before the thread starts and by the thread after;
  // joining the thread hands them back to Start.
  size_t next_ = 0;
  std::array<bool, kBuffers> queued_{};
  std::thread thread_;
};

class WinmmBackend final : public WaveInBackend {
 public:
  std::vector<BackendDevice> List() override {
    std::vector<BackendDevice> devices;
    const UINT count = waveInGetNumDevs();
    const std::optional<UINT> preferred = PreferredDevice();
    for (UINT number = 0; number < count; ++number) {
      WAVEINCAPSA caps{};
      if (waveInGetDevCapsA(number, &caps, sizeof caps) != MMSYSERR_NOERROR) continue;
      devices.push_back(winmm::DeviceFromCaps(number, DeviceName(caps), caps.dwFormats, preferred == number));
    }
    return devices;
  }

  std::unique_ptr<BackendStream> Open(const BackendDevice& device, CaptureSink& sink) override {
    const std::optional<unsigned> number = winmm::DeviceNumberOf(device);
    if (!number) return nullptr;
    // Numbers shift when a device is plugged in or out after the listing:
    // open it only while the number still names the same device.
    WAVEINCAPSA caps{};
    if (waveInGetDevCapsA(*number, &caps, sizeof caps) != MMSYSERR_NOERROR || DeviceName(caps) != device.name)
      return nullptr;
    return WinmmStream::Open(*number, sink);
  }
};

}  // namespace

std::unique_ptr<WaveInBackend> MakeWinmmBackend() { return std::make_unique<WinmmBackend>(); }

}  // namespace platform
