// Sound files for the tests and figures that feed the file backend: capture
// format byte for byte, a WAV of any declared rate, and a FLAC with
// undecodable frames.
#pragma once

#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace testing_support {

// Capture-format sound (11025 Hz, stereo, unsigned 8-bit) as a WAV, byte for byte.
inline bool WriteU8Wav(const std::string& path, const std::vector<uint8_t>& bytes) {
  SF_INFO info{};
  info.samplerate = 11025;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_U8;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (f == nullptr) return false;
  const bool ok = sf_write_raw(f, bytes.data(), static_cast<sf_count_t>(bytes.size())) ==
                  static_cast<sf_count_t>(bytes.size());
  return sf_close(f) == 0 && ok;
}

// A 16-bit PCM WAV written byte by byte, so that any rate can be declared.
inline void WriteWav(const std::string& path, uint32_t rate, uint16_t channels, size_t frames) {
  auto le = [](std::ofstream& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.put(static_cast<char>((v >> (8 * i)) & 0xFF));
  };
  const uint32_t data = static_cast<uint32_t>(frames * channels * 2);
  std::ofstream out(path, std::ios::binary);
  out << "RIFF";
  le(out, 36 + data, 4);
  out << "WAVEfmt ";
  le(out, 16, 4);
  le(out, 1, 2);  // PCM
  le(out, channels, 2);
  le(out, rate, 4);
  le(out, rate * channels * 2, 4);
  le(out, channels * 2u, 2);
  le(out, 16, 2);
  out << "data";
  le(out, data, 4);
  for (size_t i = 0; i < frames * channels; ++i) le(out, static_cast<uint16_t>(std::lrint(12000 * std::sin(i * 0.7))), 2);
}

// A FLAC whose header is sound but whose frames are not: a second of sine,
// everything after the metadata overwritten. False when it cannot be made.
inline bool WriteUndecodableFlac(const std::string& path) {
  SF_INFO info{};
  info.samplerate = 44100;
  info.channels = 2;
  info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (f == nullptr) return false;
  std::vector<float> sine(44100 * 2);
  for (size_t i = 0; i < sine.size(); ++i) sine[i] = 0.5f * std::sin(static_cast<float>(i) * 0.05f);
  sf_writef_float(f, sine.data(), 44100);
  sf_close(f);
  std::fstream io(path, std::ios::in | std::ios::out | std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(io)), std::istreambuf_iterator<char>());
  size_t frame = 4;  // the first frame header: sync code 0xFFF8
  while (frame + 1 < bytes.size() &&
         !(static_cast<uint8_t>(bytes[frame]) == 0xFF && (static_cast<uint8_t>(bytes[frame + 1]) & 0xFE) == 0xF8))
    ++frame;
  if (frame + 1 >= bytes.size()) return false;
  for (size_t i = frame; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7919 % 251);
  io.seekp(0);
  io.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(io);
}

}  // namespace testing_support
