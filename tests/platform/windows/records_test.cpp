// What the Windows backends read from the system's records, fed as bytes and
// numbers: device paths and attributes, report lengths, write errors, wave
// device names and format bits, and the buffers the system hands back.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "platform/windows/hid_records.h"
#include "platform/windows/winmm_records.h"

namespace platform {
namespace {

std::vector<uint8_t> Detail(const std::string& path_bytes) {
  std::vector<uint8_t> record(4 + path_bytes.size());
  record[0] = 8;  // the size field, as on x64
  std::copy(path_bytes.begin(), path_bytes.end(), record.begin() + 4);
  return record;
}

TEST(HidRecordsTest, PathOfADetailRecord) {
  const struct {
    const char* name;
    std::vector<uint8_t> record;
    std::optional<std::string> path;
  } rows[] = {
      {"path and NUL", Detail(std::string("\\\\?\\hid#vid_e7a1&pid_00f0#1#{x}") + '\0'), "\\\\?\\hid#vid_e7a1&pid_00f0#1#{x}"},
      {"bytes after the NUL", Detail(std::string("ab\0cd", 5)), "ab"},
      {"no NUL: to the end", Detail("abc"), "abc"},
      {"empty path", Detail(std::string("\0", 1)), std::nullopt},
      {"size field only", {8, 0, 0, 0}, std::nullopt},
      {"shorter than the size field", {8, 0}, std::nullopt},
  };
  for (const auto& row : rows) EXPECT_EQ(windows_hid::PathFromDetail(row.record), row.path) << row.name;
}

TEST(HidRecordsTest, IdsOfAUsbInterfacePath) {
  const struct {
    const char* path;
    bool found;
    uint16_t vendor, product;
  } rows[] = {
      {"\\\\?\\hid#vid_e7a1&pid_00f0#7&1a2b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}", true, 0xE7A1, 0x00F0},
      {"\\\\?\\HID#VID_E7A1&PID_00FF&MI_00#8&2B&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}", true, 0xE7A1, 0x00FF},
      {"\\\\?\\hid#vid_046d&pid_c52b&mi_01&col02#8&2b&0&0001#{4d1e55b2}", true, 0x046D, 0xC52B},
      // Bluetooth writes its ids differently; the device's attributes give them.
      {"\\\\?\\hid#{00001124-0000-1000-8000-00805f9b34fb}_vid&0002046d_pid&b012#9&1&0&0000#{4d1e}", false, 0, 0},
      {"\\\\?\\hid#acpi0c50#vid_e7a1&pid_00f0#{4d1e55b2}", false, 0, 0},  // only the hardware-id part counts
      {"\\\\?\\hid#vid_e7a10&pid_00f0#1", false, 0, 0},
      {"\\\\?\\hid#vid_e7g1&pid_00f0#1", false, 0, 0},
      {"\\\\?\\hid#xvid_e7a1&pid_00f0#1", false, 0, 0},
      {"\\\\?\\hid#vid_e7a1#1", false, 0, 0},
      {"vid_e7a1&pid_00f0", false, 0, 0},
  };
  for (const auto& row : rows) {
    const auto ids = windows_hid::IdsFromPath(row.path);
    ASSERT_EQ(ids.has_value(), row.found) << row.path;
    if (row.found) {
      EXPECT_EQ(ids->vendor_id, row.vendor) << row.path;
      EXPECT_EQ(ids->product_id, row.product) << row.path;
    }
  }
}

TEST(HidRecordsTest, WhatAnInterfaceIsListedAs) {
  const std::string board4 = "\\\\?\\hid#vid_e7a1&pid_00f3#1#{4d1e}";
  const struct {
    const char* name;
    windows_hid::InterfaceFacts facts;
    bool listed;
    uint16_t vendor, product, length;
    bool descriptor_read;
  } rows[] = {
      {"a board", {board4, true, 0xE7A1, 0x00F3, true, 9}, true, 0xE7A1, 0x00F3, 9, true},
      {"attributes win over the path", {board4, true, 0x046D, 0xC52B, true, 3}, true, 0x046D, 0xC52B, 3, true},
      {"not opened: ids from the path", {board4, false, 0, 0, false, 0}, true, 0xE7A1, 0x00F3, 0, false},
      {"no output report", {board4, true, 0xE7A1, 0x00F3, true, 0}, true, 0xE7A1, 0x00F3, 0, true},
      {"a longer report", {board4, true, 0xE7A1, 0x00F3, true, 65}, true, 0xE7A1, 0x00F3, 65, true},
      {"a length beyond the cap", {board4, true, 0xE7A1, 0x00F3, true, 65535}, true, 0xE7A1, 0x00F3,
       kMaxHidReportLength, true},
      {"caps unreadable", {board4, true, 0xE7A1, 0x00F3, false, 9}, true, 0xE7A1, 0x00F3, 0, false},
      {"no ids at all", {"\\\\?\\hid#{bluetooth}_vid&0002046d#1", false, 0, 0, true, 9}, false, 0, 0, 0, false},
      {"no path", {"", true, 0xE7A1, 0x00F3, true, 9}, false, 0, 0, 0, false},
  };
  for (const auto& row : rows) {
    const auto info = windows_hid::DescribeInterface(row.facts);
    ASSERT_EQ(info.has_value(), row.listed) << row.name;
    if (!row.listed) continue;
    EXPECT_EQ(info->path, row.facts.path) << row.name;
    EXPECT_EQ(info->vendor_id, row.vendor) << row.name;
    EXPECT_EQ(info->product_id, row.product) << row.name;
    EXPECT_EQ(info->output_report_length, row.length) << row.name;
    EXPECT_EQ(info->descriptor_read, row.descriptor_read) << row.name;
  }
}

TEST(HidRecordsTest, WriteErrorsThatMeanTheDeviceIsGone) {
  const struct {
    uint32_t error;
    HidWriteFailure failure;
  } rows[] = {
      {1167, HidWriteFailure::kDeviceGone},  // ERROR_DEVICE_NOT_CONNECTED
      {31, HidWriteFailure::kDeviceGone},    // ERROR_GEN_FAILURE
      {1617, HidWriteFailure::kDeviceGone},  // ERROR_DEVICE_REMOVED
      {433, HidWriteFailure::kDeviceGone},   // ERROR_NO_SUCH_DEVICE
      {109, HidWriteFailure::kDeviceGone},   // ERROR_BROKEN_PIPE
      {232, HidWriteFailure::kDeviceGone},   // ERROR_NO_DATA
      {233, HidWriteFailure::kDeviceGone},   // ERROR_PIPE_NOT_CONNECTED
      {5, HidWriteFailure::kOther},          // ERROR_ACCESS_DENIED
      {6, HidWriteFailure::kOther},          // ERROR_INVALID_HANDLE
      {87, HidWriteFailure::kOther},         // ERROR_INVALID_PARAMETER: a report of the wrong length
      {995, HidWriteFailure::kOther},        // ERROR_OPERATION_ABORTED
      {0, HidWriteFailure::kOther},
  };
  for (const auto& row : rows) EXPECT_EQ(windows_hid::WriteFailureOf(row.error), row.failure) << row.error;
}

TEST(WinmmRecordsTest, NameFieldUpToItsFirstNul) {
  const struct {
    const char* name;
    std::string field;
    std::string device_name;
  } rows[] = {
      {"padded", std::string("Microphone (USB Audio)") + std::string(10, '\0'), "Microphone (USB Audio)"},
      {"rubbish after the NUL", std::string("Line In\0Mic", 11) + std::string(21, 'x'), "Line In"},
      {"no NUL: the whole field", std::string(32, 'A'), std::string(32, 'A')},
      {"empty", std::string(32, '\0'), ""},
  };
  for (const auto& row : rows) {
    ASSERT_EQ(row.field.size(), winmm::kNameFieldSize) << row.name;
    EXPECT_EQ(winmm::NameFromCaps(row.field), row.device_name) << row.name;
  }
}

TEST(WinmmRecordsTest, FormatBitNumberAndDefault) {
  const BackendDevice usable = winmm::DeviceFromCaps(3, "Stereo Mix", 0x2, true);
  EXPECT_EQ(usable.name, "Stereo Mix");
  EXPECT_TRUE(usable.format_ok);
  EXPECT_TRUE(usable.is_default);
  EXPECT_EQ(winmm::DeviceNumberOf(usable), 3u);
  // Every format but 11.025 kHz stereo 8-bit.
  EXPECT_FALSE(winmm::DeviceFromCaps(0, "Mic", 0xFFFFFFFD, false).format_ok);
  EXPECT_FALSE(winmm::DeviceFromCaps(0, "Mic", 0xFFFFFFFD, false).is_default);

  for (const char* id : {"", "x", "-1", "3a", "99999999999"}) {
    BackendDevice other;
    other.id = id;
    EXPECT_EQ(winmm::DeviceNumberOf(other), std::nullopt) << id;
  }
}

TEST(WinmmRecordsTest, BytesOfABufferHandedBack) {
  const struct {
    const char* name;
    uint32_t flags, recorded, length;
    std::optional<size_t> bytes;
  } rows[] = {
      {"full", 0x03, 512, 512, 512},
      {"returned by a reset", 0x03, 200, 512, 200},
      {"returned empty", 0x03, 0, 512, 0},
      {"half a frame is left out", 0x03, 201, 512, 200},
      {"more than the buffer holds", 0x03, 4096, 512, 512},
      {"queued", 0x12, 0, 512, std::nullopt},
      {"prepared, not done", 0x02, 512, 512, std::nullopt},
      {"done and still queued", 0x13, 512, 512, std::nullopt},
  };
  for (const auto& row : rows) EXPECT_EQ(winmm::RecordedBytes(row.flags, row.recorded, row.length), row.bytes) << row.name;
}

}  // namespace
}  // namespace platform
