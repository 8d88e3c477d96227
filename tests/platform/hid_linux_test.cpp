#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/hid.h"
#include "support/fake_sysfs.h"
#include "support/watchdog.h"

namespace {

using testing_support::FakeSysfs;
using testing_support::FifoReader;

class HidLinuxTest : public ::testing::Test {
 protected:
  void SetUp() override { tree_.Activate(); }
  void TearDown() override { FakeSysfs::Deactivate(); }
  FakeSysfs tree_;
  platform::HidService& hid_ = platform::SystemHid();
};

TEST_F(HidLinuxTest, ListsDevicesInKernelNumberOrder) {
  tree_.Add("hidraw10", 0xE7A1, 0x00F2);
  tree_.Add("hidraw2", 0x046D, 0xC52B);
  tree_.Add("hidraw0", 0xE7A1, 0x00F0, FakeSysfs::Node::kFile);
  auto devices = hid_.Enumerate();
  ASSERT_EQ(devices.size(), 3u);
  EXPECT_EQ(devices[0].path, tree_.dev() + "/hidraw0");
  EXPECT_EQ(devices[1].path, tree_.dev() + "/hidraw2");
  EXPECT_EQ(devices[2].path, tree_.dev() + "/hidraw10");
  EXPECT_EQ(devices[0].vendor_id, 0xE7A1);
  EXPECT_EQ(devices[0].product_id, 0x00F0);
  EXPECT_EQ(devices[1].vendor_id, 0x046D);
  EXPECT_EQ(devices[2].output_report_length, 9);
  EXPECT_TRUE(devices[2].descriptor_read);
}

TEST_F(HidLinuxTest, DeviceWithoutDescriptorHasUnknownLength) {
  tree_.Add("hidraw0", 0xE7A1, 0x00F0, FakeSysfs::Node::kFifo, nullptr);
  auto devices = hid_.Enumerate();
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_FALSE(devices[0].descriptor_read);
  EXPECT_EQ(devices[0].output_report_length, 0);
}

TEST_F(HidLinuxTest, DeviceWithoutUeventIsLeftOut) {
  tree_.Add("hidraw0", 0xE7A1, 0x00F0);
  std::filesystem::remove(tree_.sysfs() + "/class/hidraw/hidraw0/device/uevent");
  tree_.Add("hidraw1", 0xE7A1, 0x00F1);
  auto devices = hid_.Enumerate();
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].product_id, 0x00F1);
}

TEST_F(HidLinuxTest, NoHidrawClassGivesEmptyList) {
  ::setenv("QUOREL_SYSFS_ROOT", "/nonexistent/sysfs", 1);
  EXPECT_TRUE(hid_.Enumerate().empty());
}

TEST_F(HidLinuxTest, WritesReachTheNodeByteForByte) {
  std::string path = tree_.Add("hidraw0", 0xE7A1, 0x00F0);
  FifoReader reader(path);
  ASSERT_TRUE(reader.ok());
  platform::HidOpenError error;
  platform::HidHandle handle = hid_.Open(path, &error);
  ASSERT_NE(handle, platform::kInvalidHidHandle) << error.text;
  const std::vector<uint8_t> report = {0, 64, 1, 2, 3, 4, 5, 0, 0};
  EXPECT_TRUE(hid_.Write(handle, report, nullptr));
  EXPECT_TRUE(hid_.Write(handle, report, nullptr));
  hid_.Close(handle);
  std::vector<uint8_t> twice = report;
  twice.insert(twice.end(), report.begin(), report.end());
  EXPECT_EQ(reader.Drain(), twice);
}

// A node whose reader stopped taking bytes: once it is full, a write gives up
// at its deadline, and a write after the reader has caught up goes through.
TEST_F(HidLinuxTest, WriteToAStalledNodeGivesUpAndTheNextOneIsTried) {
  std::string path = tree_.Add("hidraw0", 0xE7A1, 0x00F0);
  FifoReader reader(path);
  platform::HidHandle handle = hid_.Open(path, nullptr);
  ASSERT_NE(handle, platform::kInvalidHidHandle);
  const std::vector<uint8_t> report = {0, 48, 48, 48, 48, 48, 48, 48, 48};
  platform::HidWriteFailure failure = platform::HidWriteFailure::kNone;
  size_t taken = 0;
  testing_support::MustReturnWithin(std::chrono::seconds(30), "a write to a full node", [&] {
    while (hid_.Write(handle, report, &failure)) ++taken;
  });
  EXPECT_EQ(failure, platform::HidWriteFailure::kTimedOut);
  EXPECT_GT(taken, 0u);
  EXPECT_EQ(reader.Drain().size(), taken * report.size()) << "whole reports only";
  EXPECT_TRUE(hid_.Write(handle, report, &failure));
  EXPECT_EQ(failure, platform::HidWriteFailure::kNone);
  hid_.Close(handle);
}

// Reports handed over together reach the node whole and in order, however
// much room it has: all of them, room for one report only (the gathered write
// is refused), or room that cuts a long report in two.
TEST_F(HidLinuxTest, ReportsHandedOverTogetherArriveWholeAndInOrder) {
  struct Case {
    const char* name;
    size_t length, count;
    int pipe_bytes;       // capacity of the node, 0: as it comes
    size_t prefill;       // bytes already waiting in it
  } cases[] = {
      {"room for all", 9, 4, 0, 0},
      {"room for one report", 9, 4, 4096, 4096 - 13},
      {"a long report cut short", 3000, 2, 8192, 3692},
  };
  int node = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = tree_.Add("hidraw" + std::to_string(node++), 0xE7A1, 0x00F0);
    FifoReader reader(path);
    platform::HidHandle handle = hid_.Open(path, nullptr);
    ASSERT_NE(handle, platform::kInvalidHidHandle);
    const int fd = static_cast<int>(handle);
    if (c.pipe_bytes != 0) {
      ASSERT_EQ(::fcntl(fd, F_SETPIPE_SZ, c.pipe_bytes), c.pipe_bytes);
    }
    std::vector<uint8_t> expected(c.prefill, 0xEE);
    ASSERT_EQ(::write(fd, expected.data(), expected.size()), static_cast<ssize_t>(expected.size()));
    std::vector<uint8_t> reports(c.length * c.count);
    for (size_t i = 0; i < reports.size(); ++i) reports[i] = static_cast<uint8_t>(i % c.length == 0 ? 0 : i / c.length + 1);
    expected.insert(expected.end(), reports.begin(), reports.end());

    // The reader catches up a little later, well inside one write's bound.
    std::vector<uint8_t> early;
    std::thread catch_up([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      early = reader.Drain();
    });
    platform::HidWriteFailure failure = platform::HidWriteFailure::kTimedOut;
    EXPECT_EQ(hid_.WriteReports(handle, reports, c.length, &failure), c.count);
    catch_up.join();
    EXPECT_EQ(failure, platform::HidWriteFailure::kNone);
    const std::vector<uint8_t> rest = reader.Drain();
    early.insert(early.end(), rest.begin(), rest.end());
    EXPECT_EQ(early, expected);
    hid_.Close(handle);
  }
}

TEST_F(HidLinuxTest, WriteToARemovedNodeSaysTheDeviceIsGone) {
  std::string path = tree_.Add("hidraw0", 0xE7A1, 0x00F0);
  FifoReader reader(path);
  platform::HidHandle handle = hid_.Open(path, nullptr);
  ASSERT_NE(handle, platform::kInvalidHidHandle);
  std::filesystem::remove(path);
  platform::HidWriteFailure failure = platform::HidWriteFailure::kNone;
  EXPECT_FALSE(hid_.Write(handle, std::vector<uint8_t>(9, 0), &failure));
  EXPECT_EQ(failure, platform::HidWriteFailure::kDeviceGone);
  failure = platform::HidWriteFailure::kNone;
  EXPECT_EQ(hid_.WriteReports(handle, std::vector<uint8_t>(36, 0), 9, &failure), 0u);
  EXPECT_EQ(failure, platform::HidWriteFailure::kDeviceGone);
  EXPECT_TRUE(reader.Drain().empty());
  hid_.Close(handle);
}

// A node whose reader never catches up: the reports that fit are taken whole,
// each of the others gives up at its own deadline, and none is half written.
TEST_F(HidLinuxTest, ReportsHandedOverToAStalledNodeAreTakenWholeOrNotAtAll) {
  std::string path = tree_.Add("hidraw0", 0xE7A1, 0x00F0);
  FifoReader reader(path);
  platform::HidHandle handle = hid_.Open(path, nullptr);
  ASSERT_NE(handle, platform::kInvalidHidHandle);
  const int fd = static_cast<int>(handle);
  ASSERT_EQ(::fcntl(fd, F_SETPIPE_SZ, 4096), 4096);
  const std::vector<uint8_t> filler(4096 - 13, 0xEE);
  ASSERT_EQ(::write(fd, filler.data(), filler.size()), static_cast<ssize_t>(filler.size()));
  std::vector<uint8_t> reports(4 * 9, 7);
  platform::HidWriteFailure failure = platform::HidWriteFailure::kNone;
  size_t taken = 0;
  testing_support::MustReturnWithin(std::chrono::seconds(30), "reports to a full node",
                                    [&] { taken = hid_.WriteReports(handle, reports, 9, &failure); });
  EXPECT_EQ(taken, 1u) << "room for one report of nine bytes";
  EXPECT_EQ(failure, platform::HidWriteFailure::kTimedOut);
  EXPECT_EQ(reader.Drain().size(), filler.size() + 9);
  hid_.Close(handle);
}

// The link count is not looked at before every report: a node removed after
// its descriptor was written is noticed within a tenth of a second, and a
// descriptor number that comes back for another node looks at its first write.
TEST_F(HidLinuxTest, RemovalIsNoticedSoonAndAReusedNumberLooksAtOnce) {
  const std::vector<uint8_t> report(9, 0);
  std::string path = tree_.Add("hidraw0", 0xE7A1, 0x00F0);
  platform::HidHandle handle = hid_.Open(path, nullptr);
  FifoReader reader(path);
  ASSERT_NE(handle, platform::kInvalidHidHandle);
  EXPECT_TRUE(hid_.Write(handle, report, nullptr));
  std::filesystem::remove(path);
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  platform::HidWriteFailure failure = platform::HidWriteFailure::kNone;
  EXPECT_FALSE(hid_.Write(handle, report, &failure));
  EXPECT_EQ(failure, platform::HidWriteFailure::kDeviceGone);
  hid_.Close(handle);

  // Written just now, so its number is not due for a look for a while.
  platform::HidHandle first = hid_.Open(tree_.Add("hidraw1", 0xE7A1, 0x00F1), nullptr);
  EXPECT_TRUE(hid_.Write(first, report, nullptr));
  hid_.Close(first);
  std::string again = tree_.Add("hidraw2", 0xE7A1, 0x00F2);
  platform::HidHandle second = hid_.Open(again, nullptr);
  ASSERT_EQ(second, first) << "the lowest free descriptor number";
  std::filesystem::remove(again);
  failure = platform::HidWriteFailure::kNone;
  EXPECT_FALSE(hid_.Write(second, report, &failure));
  EXPECT_EQ(failure, platform::HidWriteFailure::kDeviceGone);
  hid_.Close(second);
}

TEST_F(HidLinuxTest, OpenFailureKeepsTheReason) {
  platform::HidOpenError error;
  EXPECT_EQ(hid_.Open(tree_.dev() + "/hidraw9", &error), platform::kInvalidHidHandle);
  EXPECT_EQ(error.text, "No such file or directory");
  EXPECT_FALSE(error.permission_denied);
  // A directory where the node should be: not writable.
  std::filesystem::create_directory(tree_.dev() + "/hidraw8");
  EXPECT_EQ(hid_.Open(tree_.dev() + "/hidraw8", &error), platform::kInvalidHidHandle);
  EXPECT_EQ(error.text, "Is a directory");
}

// A link in place of a node is never followed; outside a test tree only a
// character device is a node.
TEST_F(HidLinuxTest, OnlyCharacterDevicesOutsideATestTreeAndNoLinks) {
  const std::string file = tree_.Add("hidraw0", 0xE7A1, 0x00F0, FakeSysfs::Node::kFile);
  std::filesystem::create_symlink(file, tree_.dev() + "/hidraw1");
  platform::HidOpenError error;
  EXPECT_EQ(hid_.Open(tree_.dev() + "/hidraw1", &error), platform::kInvalidHidHandle);
  const platform::HidHandle in_tree = hid_.Open(file, &error);
  EXPECT_NE(in_tree, platform::kInvalidHidHandle);
  hid_.Close(in_tree);
  FakeSysfs::Deactivate();
  EXPECT_EQ(hid_.Open(file, &error), platform::kInvalidHidHandle);
  EXPECT_EQ(error.text, "not a character device");
  const platform::HidHandle device = hid_.Open("/dev/null", &error);
  EXPECT_NE(device, platform::kInvalidHidHandle);
  hid_.Close(device);
}

}  // namespace
