#include "quorelctl/control/quorel.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "recording_link.h"
#include "support/fake_hid.h"

namespace quorelctl {
namespace {

using testing_support::FakeHid;
using Bytes = std::vector<uint8_t>;

const Bytes kState = {0, 64, 0, 0, 0, 0, 3, 0, 0};
const Bytes k48 = {0, 48, 48, 48, 48, 48, 48, 48, 48};

class ControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetModule(0);
    hid_.Add("/dev/b1", 0xE7A1, 0x00F0);
    hid_.Add("/dev/b3", 0xE7A1, 0x00F2);
  }

  std::unique_ptr<Quorel> Create() {
    Quorel::Services services;
    services.hid = &hid_;
    services.beep = [this] { ++beeps_; };
    services.suspend = [this](int ms) { waits_.push_back(ms); };
    return std::make_unique<Quorel>([this](const char* p) { notified_.push_back(p); }, services);
  }

  FakeHid hid_;
  int beeps_ = 0;
  std::vector<int> waits_;
  std::vector<std::string> notified_;
};

TEST_F(ControlTest, CreationDetectsAndSendsStartupDefaults) {
  auto control = Create();
  EXPECT_EQ(control->Detected(), "1010000000000000");
  for (const char* path : {"/dev/b1", "/dev/b3"})
    EXPECT_EQ(hid_.WritesTo(path), (std::vector<Bytes>{kState, k48, k48, k48, k48})) << path;
  EXPECT_EQ(waits_, std::vector<int>(10, 1)) << "every report of the defaults waits 1 ms first";
  EXPECT_EQ(Tables().selected_board, 1);
  EXPECT_EQ(control->Command(), "Quorel Command");
  EXPECT_EQ(control->DeviceNumber(), "1");
  EXPECT_EQ(control->GetCompatibilityDelay(), 1);
  EXPECT_TRUE(notified_.empty());
  EXPECT_EQ(beeps_, 0);
}

TEST_F(ControlTest, NoBoardSendsNothing) {
  FakeHid empty;
  Quorel::Services services;
  services.hid = &empty;
  services.beep = [] {};
  Quorel control({}, services);
  EXPECT_EQ(control.Detected(), "0000000000000000");
  EXPECT_TRUE(empty.writes.empty());
}

TEST_F(ControlTest, LowerCaseCommandIsExecutedAndTextCleared) {
  auto control = Create();
  hid_.writes.clear();
  control->SetFastCom(true);
  EXPECT_FALSE(control->SetDeviceNumber("3"));
  control->SetCommand("sba:255,255,255,255,3");
  EXPECT_EQ(hid_.WritesTo("/dev/b3"), (std::vector<Bytes>{{0, 64, 255, 255, 255, 255, 3, 0, 0}}));
  EXPECT_TRUE(hid_.WritesTo("/dev/b1").empty());
  EXPECT_EQ(control->Command(), "");
  EXPECT_EQ(notified_, (std::vector<std::string>{"FastCom", "DeviceNumber", "Command"}));
}

TEST_F(ControlTest, SameCommandTwiceRunsTwice) {
  auto control = Create();
  hid_.writes.clear();
  control->SetCommand("S01:1");
  control->SetCommand("S01:1");
  EXPECT_EQ(hid_.writes.size(), 2u);
}

TEST_F(ControlTest, EmptyCommandSendsNothingAndDoesNotBeep) {
  auto control = Create();
  hid_.writes.clear();
  control->SetCommand("");
  EXPECT_TRUE(hid_.writes.empty());
  EXPECT_EQ(beeps_, 0);
  EXPECT_EQ(control->Command(), "");
}

struct SelectionCase {
  const char* written;
  int error;                // 0, 16384 or 16385
  const char* caption;      // DeviceNumber read back
  int16_t board_after;      // selected_board after the write (it was 1)
};

class SelectionTest : public ControlTest, public ::testing::WithParamInterface<SelectionCase> {};

TEST_P(SelectionTest, DeviceNumberWrite) {
  const SelectionCase& c = GetParam();
  auto control = Create();
  notified_.clear();
  ControlError error = control->SetDeviceNumber(c.written);
  EXPECT_EQ(error.number, c.error);
  EXPECT_EQ(control->DeviceNumber(), c.caption);
  EXPECT_EQ(Tables().selected_board, c.board_after);
  EXPECT_EQ(beeps_, c.error != 0 ? 1 : 0);
  EXPECT_EQ(notified_.size(), c.error != 0 ? 0u : 1u);
  if (c.error == 16384) {
    EXPECT_EQ(error.description, "Device Numbers 1-16 Only");
  } else if (c.error == 16385) {
    EXPECT_EQ(error.description, "Device Number " + std::to_string(c.board_after) + " Not Connected");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SelectionTest,
    ::testing::Values(SelectionCase{"3", 0, "3", 3}, SelectionCase{"1", 0, "1", 1},
                      SelectionCase{"17", 16384, "17", 1}, SelectionCase{"0", 16384, "0", 1},
                      SelectionCase{"abc", 16384, "0", 1}, SelectionCase{"16.7", 16384, "16.7", 1},
                      SelectionCase{"2.4", 16385, "2.4", 2}, SelectionCase{"2.50", 16385, "2.5", 2},
                      SelectionCase{"3.5", 16385, "3.5", 4}, SelectionCase{" 3 ", 0, "3", 3},
                      SelectionCase{"-1", 16384, "-1", 1}, SelectionCase{"&H3", 0, "3", 3},
                      SelectionCase{"16", 16385, "16", 16}, SelectionCase{"1E400", 16384, "inf", 1}));

TEST_F(ControlTest, CommandToAbsentBoardBeepsAndSendsNothing) {
  auto control = Create();
  hid_.writes.clear();
  EXPECT_EQ(control->SetDeviceNumber("2").number, 16385);
  EXPECT_EQ(beeps_, 1);
  control->SetCommand("SBA:1,2,3,4,5");
  EXPECT_EQ(beeps_, 2);
  EXPECT_TRUE(hid_.writes.empty());
  EXPECT_EQ(control->Command(), "");
  EXPECT_EQ(Tables().states[2][1], 0) << "a dropped command changes no table";
}

TEST_F(ControlTest, AbsentBoardErrorRepeatsOnEveryWrite) {
  auto control = Create();
  EXPECT_EQ(control->SetDeviceNumber("2").number, 16385);
  EXPECT_EQ(control->SetDeviceNumber("2").number, 16385);
  EXPECT_EQ(beeps_, 2);
}

TEST_F(ControlTest, RefusedSelectionKeepsCommandsOnThePreviousBoard) {
  auto control = Create();
  control->SetFastCom(true);
  control->SetDeviceNumber("3");
  hid_.writes.clear();
  EXPECT_EQ(control->SetDeviceNumber("17").number, 16384);
  control->SetCommand("GPS:9");
  EXPECT_EQ(hid_.WritesTo("/dev/b3").size(), 1u);
}

TEST_F(ControlTest, TwoInstancesOnOneThreadShareTheSelection) {
  auto first = Create();
  auto second = Create();
  first->SetFastCom(true);
  hid_.writes.clear();
  second->SetDeviceNumber("3");
  first->SetCommand("GPS:9");
  ASSERT_EQ(hid_.writes.size(), 1u);
  EXPECT_EQ(hid_.writes[0].bytes, (Bytes{0, 64, 0, 0, 0, 0, 9, 0, 0}));
}

TEST_F(ControlTest, CompatibilityDelayPacesEveryReport) {
  auto control = Create();
  waits_.clear();
  control->SetCompatibilityDelay(7);
  control->SetCommand("P01:1");
  EXPECT_EQ(waits_, (std::vector<int>{7, 7, 7, 7}));
  control->SetCompatibilityDelay(-3);
  EXPECT_EQ(control->GetCompatibilityDelay(), -3);
  waits_.clear();
  control->SetCommand("S01:1");
  EXPECT_EQ(waits_, (std::vector<int>{0}));
  control->SetFastCom(true);
  waits_.clear();
  hid_.gathered.clear();
  control->SetCommand("P01:2");
  EXPECT_TRUE(waits_.empty());
  EXPECT_EQ(hid_.gathered, std::vector<size_t>{4}) << "nothing between them, so one hand-over";
  control->SetFastCom(false);
  hid_.gathered.clear();
  control->SetCommand("P01:3");
  EXPECT_EQ(waits_.size(), 4u);
  EXPECT_EQ(hid_.gathered, std::vector<size_t>(4, 1));
}

TEST_F(ControlTest, DestructionClosesTheBoards) {
  {
    auto control = Create();
    EXPECT_EQ(hid_.open_count(), 2u);
  }
  EXPECT_EQ(hid_.open_count(), 0u);
}

TEST(ShortestDecimalTest, Forms) {
  EXPECT_EQ(ShortestDecimal(2.5), "2.5");
  EXPECT_EQ(ShortestDecimal(17), "17");
  EXPECT_EQ(ShortestDecimal(-0.0), "0");
  EXPECT_EQ(ShortestDecimal(-3), "-3");
  EXPECT_EQ(ShortestDecimal(0.1), "0.1");
}

}  // namespace
}  // namespace quorelctl
