// The Windows HID service where no board is at hand (wine, a bare Windows):
// the class enumeration runs, and opens and bounded writes work on named
// pipes standing in for devices: one whose reader reads, one whose reader
// has stalled, one whose reader has gone.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/hid.h"
#include "platform/windows/hid_records.h"
#include "support/watchdog.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

// The server end of a pipe; the service opens its name like a device path.
class PipeDevice {
 public:
  explicit PipeDevice(DWORD buffer_size) {
    static std::atomic<int> counter{0};
    name_ = "\\\\.\\pipe\\quorel-test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
    pipe_ = CreateNamedPipeA(name_.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1, buffer_size,
                             buffer_size, 0, nullptr);
  }
  ~PipeDevice() { Hang(); }

  bool ok() const { return pipe_ != INVALID_HANDLE_VALUE; }
  const std::string& path() const { return name_; }

  Bytes Read(size_t size) {
    Bytes bytes(size);
    size_t done = 0;
    while (done < size) {
      DWORD n = 0;
      if (!ReadFile(pipe_, bytes.data() + done, static_cast<DWORD>(size - done), &n, nullptr) || n == 0) break;
      done += n;
    }
    bytes.resize(done);
    return bytes;
  }

  // Everything the pipe holds now.
  Bytes Drain() {
    DWORD available = 0;
    PeekNamedPipe(pipe_, nullptr, 0, nullptr, &available, nullptr);
    return Read(available);
  }

  // The device's end goes away, as an unplugged board's does.
  void Hang() {
    if (pipe_ != INVALID_HANDLE_VALUE) CloseHandle(pipe_);
    pipe_ = INVALID_HANDLE_VALUE;
  }

 private:
  std::string name_;
  HANDLE pipe_ = INVALID_HANDLE_VALUE;
};

class HidWindowsTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (handle_ != platform::kInvalidHidHandle) hid_.Close(handle_);
  }
  // Opens the pipe as the service opens a board, into handle_.
  void Open(const PipeDevice& device) {
    ASSERT_TRUE(device.ok());
    platform::HidOpenError error;
    handle_ = hid_.Open(device.path(), &error);
    ASSERT_NE(handle_, platform::kInvalidHidHandle) << error.text;
  }

  platform::HidService& hid_ = platform::SystemHid();
  platform::HidHandle handle_ = platform::kInvalidHidHandle;
};

TEST_F(HidWindowsTest, EnumerationListsOnlyDevicesWithPaths) {
  std::vector<platform::HidDeviceInfo> devices;
  testing_support::MustReturnWithin(30s, "Enumerate", [&] { devices = hid_.Enumerate(); });
  // Wine presents a virtual keyboard and mouse; a Windows machine its own
  // devices. Where a path carries USB ids, they are the device's own.
  for (const auto& d : devices) {
    std::printf("%04x:%04x report %u  %s\n", d.vendor_id, d.product_id, d.output_report_length, d.path.c_str());
    EXPECT_FALSE(d.path.empty());
    EXPECT_LE(d.output_report_length, platform::kMaxHidReportLength);
    if (const auto ids = platform::windows_hid::IdsFromPath(d.path)) {
      EXPECT_EQ(ids->vendor_id, d.vendor_id) << d.path;
      EXPECT_EQ(ids->product_id, d.product_id) << d.path;
    }
  }
}

TEST_F(HidWindowsTest, OpenOfAMissingDeviceSaysWhy) {
  platform::HidOpenError error;
  EXPECT_EQ(hid_.Open("\\\\.\\pipe\\quorel-test-nobody-here", &error), platform::kInvalidHidHandle);
  EXPECT_FALSE(error.text.empty());
  EXPECT_FALSE(error.permission_denied);

  platform::HidWriteFailure failure = platform::HidWriteFailure::kNone;
  const uint8_t report[9] = {};
  EXPECT_FALSE(hid_.Write(platform::kInvalidHidHandle, report, &failure));
  EXPECT_EQ(failure, platform::HidWriteFailure::kOther);
  hid_.Close(platform::kInvalidHidHandle);
}

TEST_F(HidWindowsTest, ReportArrivesByteForByte) {
  PipeDevice device(4096);
  ASSERT_NO_FATAL_FAILURE(Open(device));
  const Bytes report = {0, 64, 1, 2, 3, 4, 5, 0, 0};
  platform::HidWriteFailure failure = platform::HidWriteFailure::kOther;
  EXPECT_TRUE(hid_.Write(handle_, report, &failure));
  EXPECT_EQ(failure, platform::HidWriteFailure::kNone);
  EXPECT_EQ(device.Read(report.size()), report);
}

TEST_F(HidWindowsTest, StalledDeviceCostsTheDeadlineAndTheHandleStaysUsable) {
  PipeDevice device(16);
  ASSERT_NO_FATAL_FAILURE(Open(device));
  // Nobody reads: once the pipe is full, a write waits for the deadline and
  // is given up.
  const Bytes report = {0, 48, 48, 48, 48, 48, 48, 48, 48};
  platform::HidWriteFailure failure = platform::HidWriteFailure::kNone;
  std::chrono::steady_clock::duration took{};
  testing_support::MustReturnWithin(60s, "writes to a stalled device", [&] {
    for (int k = 0; k < 1000 && failure != platform::HidWriteFailure::kTimedOut; ++k) {
      const auto start = std::chrono::steady_clock::now();
      hid_.Write(handle_, report, &failure);
      took = std::chrono::steady_clock::now() - start;
    }
  });
  ASSERT_EQ(failure, platform::HidWriteFailure::kTimedOut);
  EXPECT_GE(took, platform::kHidWriteTimeout - 10ms);

  // The reader catches up: the next report goes through whole.
  device.Drain();
  const Bytes next = {0, 64, 9, 9, 9, 9, 9, 0, 0};
  EXPECT_TRUE(hid_.Write(handle_, next, &failure));
  EXPECT_EQ(device.Read(next.size()), next);
}

TEST_F(HidWindowsTest, DeviceThatWentAwayIsGone) {
  PipeDevice device(4096);
  ASSERT_NO_FATAL_FAILURE(Open(device));
  device.Hang();
  const Bytes report = {0, 64, 0, 0, 0, 0, 3, 0, 0};
  platform::HidWriteFailure failure = platform::HidWriteFailure::kNone;
  testing_support::MustReturnWithin(10s, "a write to a device that went away",
                                    [&] { EXPECT_FALSE(hid_.Write(handle_, report, &failure)); });
  EXPECT_EQ(failure, platform::HidWriteFailure::kDeviceGone);
}

}  // namespace
