// What the winmm wave-input backend makes of the records the system fills.
// Free of Windows types, so that tests can feed it bytes and numbers on any
// system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/wavein.h"
#include "platform/wavein_backend.h"

namespace platform::winmm {

// WAVEINCAPSA.szPname: 32 bytes of ANSI text, padded with NUL bytes.
inline constexpr size_t kNameFieldSize = 32;

// The name in the field: up to its first NUL, or the whole field when it
// holds none.
std::string_view NameFromCaps(std::span<const char> field);

// The device as the service lists it: `name` already converted to UTF-8,
// `formats` the WAVEINCAPSA.dwFormats mask (its WAVE_FORMAT_1S08 bit is the
// service's own format bit), `preferred` when it is the system's default input.
BackendDevice DeviceFromCaps(unsigned number, std::string name, uint32_t formats, bool preferred);

// The device number a listed device was made from.
std::optional<unsigned> DeviceNumberOf(const BackendDevice& device);

// WAVEHDR.dwFlags bits (mmsystem.h); the service's header flags have the
// same values.
inline constexpr uint32_t kHeaderDone = 0x01;      // WHDR_DONE
inline constexpr uint32_t kHeaderPrepared = 0x02;  // WHDR_PREPARED
inline constexpr uint32_t kHeaderInQueue = 0x10;   // WHDR_INQUEUE
static_assert(kHeaderDone == kWaveHeaderDone && kHeaderPrepared == kWaveHeaderPrepared &&
              kHeaderInQueue == kWaveHeaderInQueue);

// What a buffer handed back by the system holds for the service: nothing
// while the system still has it (done flag clear, or still queued); else the
// bytes it recorded, never more than the buffer and in whole stereo frames.
std::optional<size_t> RecordedBytes(uint32_t flags, uint32_t bytes_recorded, uint32_t buffer_length);

}  // namespace platform::winmm
