#include "quorelctl/boards/board_access.h"

#include <gtest/gtest.h>

#include "quorelctl/interpreter/led_module.h"
#include "recording_link.h"
#include "support/fake_hid.h"

namespace quorelctl {
namespace {

using testing_support::FakeHid;

constexpr std::array<uint8_t, 8> kPayload = {1, 2, 3, 4, 5, 6, 7, 8};

class BoardAccessTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetModule(1); }
  FakeHid hid_;
};

TEST_F(BoardAccessTest, NoBoardGivesSixteenZeros) {
  hid_.Add("/dev/mouse", 0x046D, 0xC52B);
  BoardAccess boards(hid_);
  boards.DetectAllBoards();
  EXPECT_EQ(Tables().detected, "0000000000000000");
  EXPECT_EQ(Tables().selected_board, 16);
  EXPECT_TRUE(hid_.opened.empty()) << "devices of other makers are never opened";
}

TEST_F(BoardAccessTest, ProductIdSelectsTheBoardNumber) {
  hid_.Add("/dev/a", 0xE7A1, 0x00F3);
  hid_.Add("/dev/b", 0xE7A1, 0x00EF);   // below board 1
  hid_.Add("/dev/c", 0xE7A1, 0x0100);   // above board 16
  hid_.Add("/dev/d", 0xE7A2, 0x00F0);   // other vendor
  BoardAccess boards(hid_);
  boards.DetectAllBoards();
  EXPECT_EQ(Tables().detected, "0001000000000000");
  EXPECT_EQ(boards.BoardPresent[4], -1);
  EXPECT_EQ(hid_.opened, std::vector<std::string>{"/dev/a"});
}

TEST_F(BoardAccessTest, FirstOfTwoSameBoardsWinsAndTheOtherIsNeverOpened) {
  hid_.Add("/dev/first", 0xE7A1, 0x00F0);
  hid_.Add("/dev/second", 0xE7A1, 0x00F0);
  BoardAccess boards(hid_);
  boards.DetectAllBoards();
  EXPECT_EQ(hid_.opened, std::vector<std::string>{"/dev/first"});
}

TEST_F(BoardAccessTest, DeviceThatCannotBeOpenedIsSkippedAndRemembered) {
  hid_.Add("/dev/locked", 0xE7A1, 0x00F1, 9, true, "Permission denied");
  hid_.Add("/dev/open", 0xE7A1, 0x00F1);
  BoardAccess boards(hid_);
  boards.DetectAllBoards();
  EXPECT_EQ(Tables().detected, "0100000000000000");
  boards.SendReport(2, kPayload);
  EXPECT_EQ(hid_.WritesTo("/dev/open").size(), 1u);
  ASSERT_EQ(boards.probe_failures().size(), 1u);
  EXPECT_EQ(boards.probe_failures()[0].path, "/dev/locked");
  EXPECT_EQ(boards.probe_failures()[0].reason, "Permission denied");
}

TEST_F(BoardAccessTest, EachBoardIsWrittenWithItsOwnReportLength) {
  hid_.Add("/dev/b3", 0xE7A1, 0x00F2, 12);
  hid_.Add("/dev/b1", 0xE7A1, 0x00F0, 5);
  hid_.Add("/dev/b2", 0xE7A1, 0x00F1, 0, false);  // no readable descriptor: 9
  BoardAccess boards(hid_);
  boards.DetectAllBoards();
  EXPECT_EQ(Tables().detected, "1110000000000000");
  for (int n : {1, 2, 3}) boards.SendReport(n, kPayload);
  EXPECT_EQ(hid_.WritesTo("/dev/b1"), (std::vector<std::vector<uint8_t>>{{0, 1, 2, 3, 4}}));
  EXPECT_EQ(hid_.WritesTo("/dev/b2"), (std::vector<std::vector<uint8_t>>{{0, 1, 2, 3, 4, 5, 6, 7, 8}}));
  EXPECT_EQ(hid_.WritesTo("/dev/b3"), (std::vector<std::vector<uint8_t>>{{0, 1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0}}));
}

TEST_F(BoardAccessTest, ReportGoesToTheBoardGivenNotTheSelectedOne) {
  hid_.Add("/dev/b1", 0xE7A1, 0x00F0);
  hid_.Add("/dev/b2", 0xE7A1, 0x00F1);
  BoardAccess boards(hid_);
  boards.DetectAllBoards();
  Tables().selected_board = 1;
  Tables().last_report = {9, 9, 9, 9, 9, 9, 9, 9};
  boards.SendReport(2, kPayload);
  EXPECT_TRUE(hid_.WritesTo("/dev/b1").empty());
  EXPECT_EQ(hid_.WritesTo("/dev/b2"), (std::vector<std::vector<uint8_t>>{{0, 1, 2, 3, 4, 5, 6, 7, 8}}));
}

struct FramingCase {
  const char* name;
  uint16_t length;  // output report length of the board
  std::vector<uint8_t> written;
};

class FramingTest : public BoardAccessTest, public ::testing::WithParamInterface<FramingCase> {};

TEST_P(FramingTest, ReportIdThenPayload) {
  hid_.Add("/dev/b1", 0xE7A1, 0x00F0, GetParam().length);
  BoardAccess boards(hid_);
  boards.DetectAllBoards();
  const std::array<uint8_t, 8> state = {64, 1, 2, 3, 4, 5, 0, 0};
  boards.SendReport(1, state);
  ASSERT_EQ(hid_.writes.size(), 1u);
  EXPECT_EQ(hid_.writes[0].bytes, GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, FramingTest,
    ::testing::Values(FramingCase{"Nine", 9, {0, 64, 1, 2, 3, 4, 5, 0, 0}},
                      FramingCase{"UnknownUsesNine", 0, {0, 64, 1, 2, 3, 4, 5, 0, 0}},
                      FramingCase{"LongerIsPadded", 12, {0, 64, 1, 2, 3, 4, 5, 0, 0, 0, 0, 0}},
                      FramingCase{"ShorterIsCut", 5, {0, 64, 1, 2, 3}},
                      FramingCase{"ReportIdOnly", 1, {0}},
                      FramingCase{"Long", 100, [] {
                                    std::vector<uint8_t> v(100, 0);
                                    const uint8_t p[] = {64, 1, 2, 3, 4, 5};
                                    std::copy(p, p + 6, v.begin() + 1);
                                    return v;
                                  }()}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BoardAccessTest, ReportToAnAbsentBoardProbesAndWritesNothing) {
  BoardAccess boards(hid_);
  boards.DetectAllBoards();
  const int before = hid_.enumerations;
  boards.SendReport(7, kPayload);
  EXPECT_EQ(hid_.enumerations, before + 1);
  EXPECT_TRUE(hid_.writes.empty());
}

TEST_F(BoardAccessTest, BoardPluggedInLaterIsFoundByTheSendPath) {
  BoardAccess boards(hid_);
  boards.DetectAllBoards();
  hid_.Add("/dev/b7", 0xE7A1, 0x00F6);
  boards.SendReport(7, kPayload);
  EXPECT_EQ(boards.BoardPresent[7], -1);
  EXPECT_EQ(hid_.WritesTo("/dev/b7").size(), 1u);
  EXPECT_EQ(Tables().detected, "0000000000000000") << "the detection text is not rebuilt";
}

TEST_F(BoardAccessTest, ProbingAnOpenBoardAgainClosesTheOldHandle) {
  hid_.Add("/dev/b1", 0xE7A1, 0x00F0);
  BoardAccess boards(hid_);
  boards.DetectAllBoards();
  boards.DetectAllBoards();
  EXPECT_EQ(hid_.open_count(), 1u);
  EXPECT_EQ(hid_.bad_closes, 0);
}

TEST_F(BoardAccessTest, DestructionClosesEveryBoard) {
  hid_.Add("/dev/b1", 0xE7A1, 0x00F0);
  hid_.Add("/dev/b16", 0xE7A1, 0x00FF);
  {
    BoardAccess boards(hid_);
    boards.DetectAllBoards();
    EXPECT_EQ(hid_.open_count(), 2u);
  }
  EXPECT_EQ(hid_.open_count(), 0u);
  EXPECT_EQ(hid_.bad_closes, 0);
}

TEST_F(BoardAccessTest, FailedWriteIsIgnoredAndBoardStaysPresent) {
  hid_.Add("/dev/b1", 0xE7A1, 0x00F0);
  BoardAccess boards(hid_);
  boards.DetectAllBoards();
  hid_.Close(boards.BoardHandle[1]);  // the handle fails for another reason than an unplug
  boards.SendReport(1, kPayload);
  boards.SendReport(1, kPayload);
  EXPECT_EQ(hid_.writes_to_closed, 2);
  EXPECT_EQ(boards.BoardPresent[1], -1);
}

TEST_F(BoardAccessTest, StalledBoardLosesTheReportAndTheNextOneIsTried) {
  hid_.Add("/dev/b1", 0xE7A1, 0x00F0);
  BoardAccess boards(hid_);
  boards.DetectAllBoards();
  hid_.Stall("/dev/b1", true);
  boards.SendReport(1, kPayload);
  hid_.Stall("/dev/b1", false);
  boards.SendReport(1, kPayload);
  EXPECT_EQ(hid_.WritesTo("/dev/b1").size(), 1u);
  EXPECT_FALSE(boards.unplugged(1));
  EXPECT_EQ(hid_.opened.size(), 1u) << "a stall is no reason to reopen";
}

// Unplugged during a show: the handle is closed, the board stays present for
// the host, and it is looked for again at most once a second until it is back.
TEST_F(BoardAccessTest, UnpluggedBoardIsLookedForOnceASecondAndWrittenWhenBack) {
  BoardAccess::Clock::time_point now{};
  hid_.Add("/dev/b1", 0xE7A1, 0x00F0);
  hid_.Add("/dev/b2", 0xE7A1, 0x00F1);
  BoardAccess boards(hid_, [&] { return now; });
  boards.DetectAllBoards();
  const int enumerations = hid_.enumerations;
  EXPECT_FALSE(boards.LookAgain(1)) << "a board that is there is not looked for";

  hid_.Unplug("/dev/b1");
  boards.SendReport(1, kPayload);  // fails: gone
  EXPECT_TRUE(boards.unplugged(1));
  EXPECT_EQ(hid_.open_count(), 1u) << "the dead handle is closed";
  EXPECT_EQ(boards.BoardPresent[1], -1);
  boards.SendReport(2, kPayload);
  EXPECT_EQ(hid_.WritesTo("/dev/b2").size(), 1u) << "the other board goes on";

  now += std::chrono::milliseconds(999);
  hid_.Plug("/dev/b1");
  EXPECT_FALSE(boards.LookAgain(1));
  boards.SendReport(1, kPayload);
  EXPECT_EQ(hid_.enumerations, enumerations) << "looked again within the second";
  EXPECT_TRUE(hid_.WritesTo("/dev/b1").empty());

  now += std::chrono::milliseconds(1);
  EXPECT_TRUE(boards.LookAgain(1));
  EXPECT_EQ(hid_.enumerations, enumerations + 1);
  EXPECT_FALSE(boards.unplugged(1));
  boards.SendReport(1, kPayload);
  EXPECT_EQ(hid_.WritesTo("/dev/b1").size(), 1u);
  EXPECT_EQ(hid_.open_count(), 2u);
  EXPECT_EQ(hid_.bad_closes, 0);
}

TEST_F(BoardAccessTest, BoardStillAwayIsLookedForAgainAfterEachSecond) {
  BoardAccess::Clock::time_point now{};
  hid_.Add("/dev/b1", 0xE7A1, 0x00F0);
  BoardAccess boards(hid_, [&] { return now; });
  boards.DetectAllBoards();
  const int enumerations = hid_.enumerations;
  hid_.Unplug("/dev/b1");
  for (int step = 0; step < 30; ++step) {  // three seconds of reports, 100 ms apart
    EXPECT_FALSE(boards.LookAgain(1));
    boards.SendReport(1, kPayload);
    now += std::chrono::milliseconds(100);
  }
  EXPECT_EQ(hid_.enumerations, enumerations + 2);
  EXPECT_TRUE(hid_.writes.empty());
  EXPECT_EQ(boards.BoardPresent[1], -1);
  boards.CloseAllBoards();
  EXPECT_EQ(hid_.bad_closes, 0) << "the closed handle is not closed twice";
}

}  // namespace
}  // namespace quorelctl
