// A wave-input backend whose stream delivers only when the test says so.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/wavein_backend.h"

namespace testing_support {

class ScriptedBackend final : public platform::WaveInBackend {
 public:
  struct Stream final : platform::BackendStream {
    Stream(ScriptedBackend& b, platform::CaptureSink& s) : backend(b), sink(s) { backend.stream = this; }
    ~Stream() override { backend.stream = nullptr; }
    bool Start() override { return started = backend.start_ok; }
    void Stop() override { started = false; ++backend.stops; }
    ScriptedBackend& backend;
    platform::CaptureSink& sink;
    bool started = false;
  };

  std::vector<platform::BackendDevice> List() override { return devices; }
  std::unique_ptr<platform::BackendStream> Open(const platform::BackendDevice& device, platform::CaptureSink& sink) override {
    opened.push_back(device.id);
    if (!open_ok) return nullptr;
    return std::make_unique<Stream>(*this, sink);
  }

  void Deliver(std::vector<uint8_t> bytes) { stream->sink.Deliver(bytes.data(), bytes.size()); }

  std::vector<platform::BackendDevice> devices;
  std::vector<std::string> opened;
  bool open_ok = true;
  bool start_ok = true;
  int stops = 0;
  Stream* stream = nullptr;
};

}  // namespace testing_support
