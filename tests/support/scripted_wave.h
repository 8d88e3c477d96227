// A wave-input backend whose stream delivers only when the test says so.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <string>
#include <vector>

#include "platform/wavein_backend.h"

namespace testing_support {

class ScriptedBackend final : public platform::WaveInBackend {
 public:
  struct Stream final : platform::BackendStream {
    Stream(ScriptedBackend& b, platform::CaptureSink& s) : backend(b), sink(s) { backend.stream = this; }
    ~Stream() override { backend.stream = nullptr; }
    bool Start() override { return started = backend.start_ok.load(); }
    void Stop() override {
      started = false;
      ++backend.stops;
    }
    ScriptedBackend& backend;
    platform::CaptureSink& sink;
    std::atomic<bool> started{false};
  };

  std::vector<platform::BackendDevice> List() override { return devices; }
  std::unique_ptr<platform::BackendStream> Open(const platform::BackendDevice& device, platform::CaptureSink& sink) override {
    opened.push_back(device.id);
    if (!open_ok) return nullptr;
    return std::make_unique<Stream>(*this, sink);
  }

  // Hands `bytes` over as the stream's thread would, once the stream has
  // started: the owner may start it from a thread of its own, a little later.
  void Deliver(std::vector<uint8_t> bytes, int64_t played_at_us = platform::kPlayTimeUnknown) {
    for (int waited = 0; waited < 5000 && !(stream.load() != nullptr && stream.load()->started.load()); ++waited)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    stream.load()->sink.Deliver(bytes.data(), bytes.size(), played_at_us);
  }

  std::vector<platform::BackendDevice> devices;
  std::vector<std::string> opened;
  std::atomic<bool> open_ok{true};
  std::atomic<bool> start_ok{true};
  std::atomic<int> stops{0};
  std::atomic<Stream*> stream{nullptr};
};

// A wave-input service whose only backend is a scripted one offering
// `device`; `*backend` is set to it (the service owns it).
inline std::unique_ptr<platform::WaveIn> ScriptedWaveIn(platform::BackendDevice device, ScriptedBackend** backend) {
  auto owned = std::make_unique<ScriptedBackend>();
  owned->devices = {std::move(device)};
  *backend = owned.get();
  std::vector<std::unique_ptr<platform::WaveInBackend>> backends;
  backends.push_back(std::move(owned));
  return platform::MakeWaveIn(std::move(backends));
}

}  // namespace testing_support
