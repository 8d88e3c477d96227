// Backends whose library this build does not have list nothing.
#include "platform/wavein_backend.h"

namespace platform {

#ifndef SONOVAR_HAVE_WINMM
std::unique_ptr<WaveInBackend> MakeWinmmBackend() { return nullptr; }
#endif
#ifndef SONOVAR_HAVE_PULSE
std::unique_ptr<WaveInBackend> MakePulseBackend() { return nullptr; }
#endif
#ifndef SONOVAR_HAVE_PORTAUDIO
std::unique_ptr<WaveInBackend> MakePortAudioBackend() { return nullptr; }
#endif
#ifndef SONOVAR_HAVE_AUDIOFILE
std::unique_ptr<WaveInBackend> MakeFileBackend() { return nullptr; }
#endif

}  // namespace platform
