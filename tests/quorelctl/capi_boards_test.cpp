// Boards that misbehave, through the C interface with FIFO nodes: one whose
// reader stopped, one unplugged and plugged back, boards of different report
// lengths.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "quorelctl.h"
#include "support/fake_sysfs.h"
#include "support/watchdog.h"

namespace {

using testing_support::FakeSysfs;
using testing_support::FifoReader;
using Bytes = std::vector<uint8_t>;

class CapiBoardsTest : public ::testing::Test {
 protected:
  void SetUp() override { tree_.Activate(); }
  void TearDown() override {
    if (control_ != nullptr) quorel_destroy(control_);
    FakeSysfs::Deactivate();
  }
  void Create() {
    control_ = quorel_create(QUOREL_CLASS_NAME, nullptr, nullptr);
    ASSERT_NE(control_, nullptr);
    ASSERT_EQ(quorel_set_bool(control_, "FastCom", 1), 0);
  }
  int Send(const char* board, const char* command) {
    int rc = quorel_set_text(control_, "DeviceNumber", board);
    return rc != 0 ? rc : quorel_set_text(control_, "Command", command);
  }

  FakeSysfs tree_;
  QuorelControl* control_ = nullptr;
};

// Fills a FIFO until it takes no more: a board that stopped reading.
void Fill(const std::string& path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  std::vector<uint8_t> junk(4096, 0xEE);
  while (::write(fd, junk.data(), junk.size()) > 0) {
  }
  ::close(fd);
}

TEST_F(CapiBoardsTest, BoardThatTakesNothingDoesNotHoldTheHostAndTheNextReportPasses) {
  const std::string path = tree_.Add("hidraw0", 0xE7A1, 0x00F0);
  FifoReader reader(path);
  Fill(path);
  testing_support::MustReturnWithin(std::chrono::seconds(30), "creation and a command on a stalled board", [&] {
    Create();
    EXPECT_EQ(Send("1", "SBA:9,9,9,9,9"), 0);
  });
  reader.Drain();  // the board reads again
  EXPECT_EQ(Send("1", "SBA:1,2,3,4,5"), 0);
  EXPECT_EQ(reader.Drain(), (Bytes{0, 64, 1, 2, 3, 4, 5, 0, 0}));
}

TEST_F(CapiBoardsTest, UnpluggedBoardIsWrittenAgainOncePluggedBack) {
  std::string path = tree_.Add("hidraw0", 0xE7A1, 0x00F0);
  auto reader = std::make_unique<FifoReader>(path);
  Create();
  reader->Drain();
  tree_.Remove("hidraw0");
  reader.reset();
  EXPECT_EQ(Send("1", "SBA:2,2,2,2,2"), 0) << "an unplugged board is no error for the host";

  path = tree_.Add("hidraw0", 0xE7A1, 0x00F0);
  reader = std::make_unique<FifoReader>(path);
  Bytes got;
  // Looked for at most once a second: a few seconds of commands find it.
  for (int i = 0; i < 50 && got.empty(); ++i) {
    EXPECT_EQ(Send("1", "SBA:2,2,2,2,2"), 0);
    got = reader->Drain();
    if (got.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  // Back: first all it had been sent (state, then the four profiles), then the command.
  const Bytes state = {0, 64, 2, 2, 2, 2, 2, 0, 0}, profile = {0, 48, 48, 48, 48, 48, 48, 48, 48};
  Bytes want = state;
  for (int r = 0; r < 4; ++r) want.insert(want.end(), profile.begin(), profile.end());
  want.insert(want.end(), state.begin(), state.end());
  EXPECT_EQ(got, want);
  EXPECT_EQ(Send("1", "SBA:3,3,3,3,3"), 0);
  EXPECT_EQ(reader->Drain(), (Bytes{0, 64, 3, 3, 3, 3, 3, 0, 0}));
}

TEST_F(CapiBoardsTest, EachBoardGetsReportsOfItsOwnLength) {
  const std::vector<uint8_t> sixteen = {0x75, 0x08, 0x95, 0x10, 0x91, 0x02};  // 16 bytes of output
  FifoReader wide(tree_.Add("hidraw0", 0xE7A1, 0x00F0, FakeSysfs::Node::kFifo, &sixteen));
  FifoReader board2(tree_.Add("hidraw1", 0xE7A1, 0x00F1));
  Create();
  wide.Drain();
  board2.Drain();
  EXPECT_EQ(Send("1", "SBA:1,2,3,4,5"), 0);
  EXPECT_EQ(Send("2", "SBA:1,2,3,4,5"), 0);
  EXPECT_EQ(wide.Drain(), (Bytes{0, 64, 1, 2, 3, 4, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(board2.Drain(), (Bytes{0, 64, 1, 2, 3, 4, 5, 0, 0}));
}

}  // namespace
