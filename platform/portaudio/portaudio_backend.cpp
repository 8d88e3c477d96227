// Wave-input backend over PortAudio: the input devices of ALSA and JACK on
// systems without a sound server (and, later, of other systems).
#include <portaudio.h>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif
#ifdef SONOVAR_HAVE_ALSA
#include <alsa/asoundlib.h>
#endif

#include <string>
#include <vector>

#include "platform/wavein_backend.h"

namespace platform {
namespace {

// ALSA and JACK print pages of probing noise to stderr when PortAudio starts
// and there is nothing to find; the user learns nothing from it.
class QuietStderr {
 public:
  QuietStderr() {
#ifndef _WIN32
    saved_ = ::dup(STDERR_FILENO);
    int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved_ >= 0 && null >= 0) ::dup2(null, STDERR_FILENO);
    if (null >= 0) ::close(null);
#endif
  }
  ~QuietStderr() {
#ifndef _WIN32
    if (saved_ >= 0) {
      ::dup2(saved_, STDERR_FILENO);
      ::close(saved_);
    }
#endif
  }
  QuietStderr(const QuietStderr&) = delete;
  QuietStderr& operator=(const QuietStderr&) = delete;

 private:
  int saved_ = -1;
};

// PortAudio's ALSA part aborts the process when the ALSA configuration
// defines no "default" device, so such a system gets no PortAudio devices.
bool AlsaConfigUsable() {
#ifdef SONOVAR_HAVE_ALSA
  snd_config_t* definition = nullptr;
  if (snd_config_update() < 0 || snd_config == nullptr) return false;
  if (snd_config_search_definition(snd_config, "pcm", "default", &definition) < 0) return false;
  snd_config_delete(definition);
#endif
  return true;
}

PaStreamParameters InputParameters(PaDeviceIndex device) {
  PaStreamParameters p{};
  p.device = device;
  p.channelCount = 2;
  p.sampleFormat = paUInt8;
  p.suggestedLatency = Pa_GetDeviceInfo(device)->defaultLowInputLatency;
  return p;
}

class PortAudioStream final : public BackendStream {
 public:
  PortAudioStream(CaptureSink& sink, int* open_streams) : sink_(sink), open_streams_(open_streams) {}
  ~PortAudioStream() override {
    if (stream_ == nullptr) return;
    Stop();
    Pa_CloseStream(stream_);
    --*open_streams_;
  }

  bool Open(PaDeviceIndex index) {
    PaStreamParameters in = InputParameters(index);
    QuietStderr quiet;
    // 64 frames a callback: a 512-byte buffer completes close to its 23 ms.
    if (Pa_OpenStream(&stream_, &in, nullptr, 11025, 64, paClipOff, &PortAudioStream::OnInput, this) != paNoError) {
      stream_ = nullptr;
      return false;
    }
    ++*open_streams_;
    return true;
  }

  bool Start() override {
    if (Pa_IsStreamActive(stream_) == 1) return true;
    return Pa_StartStream(stream_) == paNoError;
  }

  // Pa_StopStream returns after the last callback has finished.
  void Stop() override {
    if (Pa_IsStreamStopped(stream_) == 0) Pa_StopStream(stream_);
  }

  static int OnInput(const void* input, void*, unsigned long frames, const PaStreamCallbackTimeInfo*,
                     PaStreamCallbackFlags, void* self) {
    if (input != nullptr) static_cast<PortAudioStream*>(self)->sink_.Deliver(static_cast<const uint8_t*>(input), frames * 2);
    return paContinue;
  }

 private:
  PaStream* stream_ = nullptr;
  CaptureSink& sink_;
  int* open_streams_;
};

class PortAudioBackend final : public WaveInBackend {
 public:
  ~PortAudioBackend() override {
    if (initialized_ && open_streams_ == 0) {
      QuietStderr quiet;
      Pa_Terminate();
    }
  }

  std::vector<BackendDevice> List() override {
    QuietStderr quiet;
    // PortAudio sees devices as they were when it started: start it again
    // for a fresh list, unless a capture is running on it.
    if (initialized_ && open_streams_ == 0) {
      Pa_Terminate();
      initialized_ = false;
    }
    if (!initialized_) initialized_ = AlsaConfigUsable() && Pa_Initialize() == paNoError;
    if (!initialized_) return {};
    std::vector<BackendDevice> devices;
    const PaDeviceIndex default_input = Pa_GetDefaultInputDevice();
    for (PaDeviceIndex i = 0; i < Pa_GetDeviceCount(); ++i) {
      const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
      if (info == nullptr || info->maxInputChannels < 1) continue;
      const PaHostApiInfo* api = Pa_GetHostApiInfo(info->hostApi);
      bool format_ok = false;
      if (info->maxInputChannels >= 2) {
        PaStreamParameters in = InputParameters(i);
        format_ok = Pa_IsFormatSupported(&in, nullptr, 11025) == paFormatIsSupported;
      }
      std::string name = (api != nullptr ? std::string(api->name) + ": " : std::string()) + info->name;
      devices.push_back({name, format_ok, i == default_input, std::to_string(i)});
    }
    return devices;
  }

  std::unique_ptr<BackendStream> Open(const BackendDevice& device, CaptureSink& sink) override {
    if (!initialized_) return nullptr;
    const PaDeviceIndex index = std::stoi(device.id);
    if (index < 0 || index >= Pa_GetDeviceCount()) return nullptr;
    auto stream = std::make_unique<PortAudioStream>(sink, &open_streams_);
    if (!stream->Open(index)) return nullptr;
    return stream;
  }

 private:
  bool initialized_ = false;
  int open_streams_ = 0;  // streams alive on this backend; owner's thread only
};

}  // namespace

std::unique_ptr<WaveInBackend> MakePortAudioBackend() { return std::make_unique<PortAudioBackend>(); }

}  // namespace platform
