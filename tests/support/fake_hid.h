// An in-memory HID service: devices listed in a fixed order, writes recorded,
// devices that can be unplugged and plugged in again or stall.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/hid.h"

namespace testing_support {

class FakeHid final : public platform::HidService {
 public:
  struct Written {
    std::string path;
    std::vector<uint8_t> bytes;
  };

  // Adds a device; `open_error` non-empty makes Open fail with that reason.
  void Add(std::string path, uint16_t vendor, uint16_t product, uint16_t length = 9, bool descriptor = true,
           std::string open_error = {}) {
    devices_.push_back({path, vendor, product, length, descriptor});
    if (!open_error.empty()) open_errors_[path] = std::move(open_error);
  }

  std::vector<platform::HidDeviceInfo> Enumerate() override {
    ++enumerations;
    std::vector<platform::HidDeviceInfo> present;
    for (const auto& d : devices_)
      if (unplugged_.count(d.path) == 0) present.push_back(d);
    return present;
  }

  // An unplugged device is not listed, and writes to its open handles fail
  // as gone; plugged in again, it must be opened anew.
  void Unplug(const std::string& path) { unplugged_.insert(path); }
  void Plug(const std::string& path) { unplugged_.erase(path); }
  // Writes to a stalled device time out.
  void Stall(const std::string& path, bool stalled) {
    if (stalled) stalled_.insert(path);
    else stalled_.erase(path);
  }

  platform::HidHandle Open(const std::string& path, platform::HidOpenError* error) override {
    opened.push_back(path);
    if (unplugged_.count(path) != 0) {
      *error = {"No such file or directory", false};
      return platform::kInvalidHidHandle;
    }
    if (auto it = open_errors_.find(path); it != open_errors_.end()) {
      *error = {it->second, it->second == "Permission denied"};
      return platform::kInvalidHidHandle;
    }
    platform::HidHandle handle = next_handle_++;
    open_[handle] = path;
    return handle;
  }

  bool Write(platform::HidHandle handle, std::span<const uint8_t> report,
             platform::HidWriteFailure* failure) override {
    auto fail = [&](platform::HidWriteFailure why) {
      if (failure != nullptr) *failure = why;
      return false;
    };
    auto it = open_.find(handle);
    if (it == open_.end()) {
      ++writes_to_closed;
      return fail(platform::HidWriteFailure::kOther);
    }
    if (unplugged_.count(it->second) != 0) return fail(platform::HidWriteFailure::kDeviceGone);
    if (stalled_.count(it->second) != 0) return fail(platform::HidWriteFailure::kTimedOut);
    writes.push_back({it->second, {report.begin(), report.end()}});
    if (failure != nullptr) *failure = platform::HidWriteFailure::kNone;
    return true;
  }

  size_t WriteReports(platform::HidHandle handle, std::span<const uint8_t> reports, size_t length,
                      platform::HidWriteFailure* failure) override {
    gathered.push_back(length == 0 ? 0 : reports.size() / length);
    return WriteEach(handle, reports, length, failure);
  }

  void Close(platform::HidHandle handle) override {
    if (open_.erase(handle) == 0) ++bad_closes;
  }

  size_t open_count() const { return open_.size(); }

  // Writes to one device, in order.
  std::vector<std::vector<uint8_t>> WritesTo(const std::string& path) const {
    std::vector<std::vector<uint8_t>> out;
    for (const auto& w : writes)
      if (w.path == path) out.push_back(w.bytes);
    return out;
  }

  std::vector<Written> writes;
  std::vector<size_t> gathered;  // reports handed over in each WriteReports call
  std::vector<std::string> opened;
  int enumerations = 0;
  int writes_to_closed = 0;
  int bad_closes = 0;

 private:
  std::vector<platform::HidDeviceInfo> devices_;
  std::map<std::string, std::string> open_errors_;
  std::set<std::string> unplugged_, stalled_;
  std::map<platform::HidHandle, std::string> open_;
  platform::HidHandle next_handle_ = 100;
};

}  // namespace testing_support
