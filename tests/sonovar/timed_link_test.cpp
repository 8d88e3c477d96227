// The light delay's link: nothing goes out before its time, everything goes
// out in the order the show made it, and a stop drops only the sound's part.
#include "sonovar/show/timed_link.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/recording_board_link.h"

namespace sonovar {
namespace {

using testing_support::RecordingBoardLink;
using Writes = std::vector<std::string>;

struct TimedCase {
  const char* name;
  // Runs against the link; `sent(now)` sends what is due and returns the
  // writes that reached the boards so far.
  std::function<void(TimedLink&, const std::function<Writes(int64_t)>& sent)> script;
  Writes last;  // every write, in order, once the script ends
};

class TimedLinkTest : public ::testing::TestWithParam<TimedCase> {};

TEST_P(TimedLinkTest, SendsOnTimeInOrder) {
  auto recording = std::make_unique<RecordingBoardLink>();
  RecordingBoardLink& boards = *recording;
  boards.absent = {"3"};
  TimedLink link(std::move(recording));
  GetParam().script(link, [&](int64_t now) {
    link.SendDue(now, nullptr);
    return boards.writes;
  });
  EXPECT_EQ(boards.writes, GetParam().last);
}

void Buffer(TimedLink& link, int64_t due, int64_t now, int board, std::string_view command) {
  link.Hold(due, now);
  SendCommands(link, board, {command});
  link.EndHold();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TimedLinkTest,
    ::testing::Values(TimedCase{"DueNowGoesAtOnce",
                                [](TimedLink& link, auto& sent) {
                                  EXPECT_FALSE(link.Hold(100, 100));
                                  SendCommands(link, 1, {"A"});
                                  link.EndHold();
                                  EXPECT_EQ(sent(0).size(), 2u);
                                },
                                {"DeviceNumber 1", "Command A"}},
                      TimedCase{"NothingBeforeItsTimeAndNoneOvertakes",
                                [](TimedLink& link, auto& sent) {
                                  Buffer(link, 200, 100, 1, "A");
                                  // The speaker's delay shrank: due earlier, still behind A.
                                  Buffer(link, 150, 100, 2, "B");
                                  EXPECT_TRUE(sent(199).empty());
                                  EXPECT_EQ(link.NextDue(), 200);
                                  EXPECT_EQ(sent(200).size(), 4u);
                                  EXPECT_FALSE(link.Waiting());
                                },
                                {"DeviceNumber 1", "Command A", "DeviceNumber 2", "Command B"}},
                      TimedCase{"DueWhileOthersWaitQueuesBehindThem",
                                [](TimedLink& link, auto& sent) {
                                  Buffer(link, 200, 100, 1, "A");
                                  EXPECT_TRUE(link.Hold(100, 100));
                                  link.EndHold();
                                  EXPECT_TRUE(sent(150).empty());
                                  sent(200);
                                },
                                {"DeviceNumber 1", "Command A"}},
                      TimedCase{"StopDropsTheSoundButNotTheSteering",
                                [](TimedLink& link, auto&) {
                                  Buffer(link, 200, 100, 1, "A");
                                  link.SetFastCom(false);
                                  PrepareBoard(link, 2);
                                  Buffer(link, 250, 100, 1, "B");
                                  link.SetCompatibilityDelay(7);
                                  link.DropSound();
                                  EXPECT_FALSE(link.Waiting());
                                },
                                {"FastCom 0", "DeviceNumber 2",
                                 "Command pba:0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0",
                                 "Command sba:255,255,255,255,3", "CompatibilityDelay 7"}},
                      TimedCase{"LongOverdueSoundGivesWayToTheNewest",
                  [](TimedLink& link, auto& sent) {
                    Buffer(link, 200000, 100000, 1, "A");
                    Buffer(link, 210000, 100000, 1, "B");
                    link.SetFastCom(true);
                    Buffer(link, 300000, 100000, 1, "C");
                    EXPECT_EQ(sent(205000).size(), 2u);
                    // B is 90 ms late and C is due too: only B's steering goes.
                    sent(300000);
                  },
                  {"DeviceNumber 1", "Command A", "FastCom 1", "DeviceNumber 1", "Command C"}},
        TimedCase{"ALittleLateIsStillShown",
                  [](TimedLink& link, auto& sent) {
                    Buffer(link, 200000, 100000, 1, "A");
                    Buffer(link, 210000, 100000, 1, "B");
                    sent(250000);
                  },
                  {"DeviceNumber 1", "Command A", "DeviceNumber 1", "Command B"}},
        TimedCase{"ARefusedSelectionSendsNothingBehindIt",
                                [](TimedLink& link, auto& sent) {
                                  link.Hold(200, 100);
                                  SendCommands(link, 3, {"X", "Y"});
                                  SendCommands(link, 1, {"Z"});
                                  link.EndHold();
                                  sent(300);
                                },
                                {"DeviceNumber 3", "DeviceNumber 1", "Command Z"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TimedLinkView, PublishedWhenItsEntryGoesOut) {
  TimedLink link(std::make_unique<RecordingBoardLink>());
  ShowView view;
  view.peak = 7;
  link.Hold(200, 100);
  link.AttachView(view);
  link.EndHold();
  std::vector<int> published;
  const auto publish = [&](const ShowView& v) { published.push_back(v.peak); };
  link.SendDue(199, publish);
  EXPECT_TRUE(published.empty());
  link.SendDue(200, publish);
  EXPECT_EQ(published, std::vector<int>{7});
}

}  // namespace
}  // namespace sonovar
