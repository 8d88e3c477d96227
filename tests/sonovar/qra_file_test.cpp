// Animation files: the field reader, the count and frames, the folders.
#include "sonovar/animation/qra_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/watchdog.h"

using namespace sonovar;

namespace {

struct ReadRow {
  const char* name;
  std::string text;
  bool ok;
  int16_t count;  // the count before the read is 7
  std::vector<std::string> frames;  // frames 1, 2, ... after the read
};

void PrintTo(const ReadRow& row, std::ostream* os) { *os << row.name; }

class ReadQraFramesTest : public ::testing::TestWithParam<ReadRow> {};

TEST_P(ReadQraFramesTest, CountAndFrames) {
  const ReadRow& row = GetParam();
  QraAnimation animation;
  animation.QraFrameCount = 7;
  for (int i = 1; i <= 4; ++i) animation.QraFrames[i] = "old";
  std::istringstream in(row.text);
  EXPECT_EQ(ReadQraFrames(in, animation), row.ok);
  EXPECT_EQ(animation.QraFrameCount, row.count);
  for (size_t i = 0; i < row.frames.size(); ++i) EXPECT_EQ(animation.QraFrames[i + 1], row.frames[i]) << i + 1;
}

INSTANTIATE_TEST_SUITE_P(
    Files, ReadQraFramesTest,
    ::testing::Values(
        ReadRow{"ThreeQuotedFramesCrLf", "3\r\n\"QRL-PBA:1,2\"\r\n\"QRL-SBA:255,0,0,0,4\"\r\n\"x, y\"\r\n", true, 3,
                {"QRL-PBA:1,2", "QRL-SBA:255,0,0,0,4", "x, y", "old"}},
        ReadRow{"UnquotedFramesComeApart", "2\nQRL-PBA:1,2,3\n", true, 2, {"QRL-PBA:1", "2", "old"}},
        ReadRow{"BlanksBeforeAndTextAfterTheQuoteDropped", " 2 , \"A\" junk,  \"B\"\"C\"\n", true, 2, {"A", "B"}},
        ReadRow{"TabBelongsToTheField", "2\n\t\"QRL-SBA:255,0,0,0,4\"\n", true, 2, {"\t\"QRL-SBA:255", "0", "old"}},
        ReadRow{"CountRoundsHalfToEven", "2.5\nA\nB\nC\n", true, 2, {"A", "B", "old"}},
        ReadRow{"CountAbove10000Fails", "20000\nA\n", false, 7, {"old"}},
        ReadRow{"CountBeyond16BitsFails", "40000\nA\n", false, 7, {"old"}},
        ReadRow{"NegativeCountReadsNothing", "-1\nA\n", true, -1, {"old"}},
        ReadRow{"EndsBeforeTheAnnouncedFrames", "4\n\"A\"\n\"B\"\n", false, 4, {"A", "B", "old"}},
        ReadRow{"QuoteThatNeverCloses", "2\n\"QRL-PBA:1,2\nmore", false, 2, {"QRL-PBA:1,2\nmore", "old"}},
        ReadRow{"EmptyFile", "", false, 7, {"old"}},
        ReadRow{"LoneCrEndsALine", "2\r\"A\"\r\"B\"", true, 2, {"A", "B"}}),
    [](const ::testing::TestParamInfo<ReadRow>& info) { return info.param.name; });

TEST(QraFieldReaderTest, OverlongFieldsAndFilesStopTheRead) {
  const std::string field(kMaxQraFieldBytes, 'x');
  std::istringstream one("1\n\"" + field + "x\"");
  QraAnimation animation;
  EXPECT_FALSE(ReadQraFrames(one, animation));
  std::string many = "10000\n";
  for (size_t i = 0; i <= kMaxQraFileFrameBytes / field.size(); ++i) many += field + "\n";
  std::istringstream all(many);
  EXPECT_FALSE(ReadQraFrames(all, animation));
  EXPECT_EQ(animation.QraFrames[kMaxQraFileFrameBytes / field.size()], field) << "frames read before stay";
}

// Loads one after the other, each failing after a different run of frames:
// what earlier loads left stays only while all frames fit one file's worth.
TEST(QraFieldReaderTest, LoadsAfterLoadsKeepNoMoreThanOneFilesWorth) {
  const std::string big(60000, '7');
  const size_t per_file = kMaxQraFileFrameBytes / big.size() + 1;
  QraAnimation animation;
  for (size_t load = 0; load < 3; ++load) {
    std::string text = "10000\n";
    const size_t offset = (2 - load) * per_file;  // each load's frames below the last one's
    for (size_t i = 0; i < offset; ++i) text += "x\n";
    for (size_t i = 0; i < per_file; ++i) text += big + "\n";
    std::istringstream in(text);
    EXPECT_FALSE(ReadQraFrames(in, animation));
    EXPECT_EQ(animation.QraFrames[offset + 1], big) << "this load's frames stay";
  }
  size_t held = 0;
  for (const std::string& frame : animation.QraFrames) held += frame.size();
  EXPECT_LE(held, kMaxQraFileFrameBytes);
}

class QraFoldersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qra-test-XXXXXX";
    root_ = ::mkdtemp(pattern);
    for (const char* f : {"program", "user", "shipped"}) {
      std::filesystem::create_directory(root_ / f);
      folders_.push_back(root_ / f);
    }
  }
  void TearDown() override { std::filesystem::remove_all(root_); }
  void Write(const char* folder, const char* name, const std::string& text) {
    std::ofstream(root_ / folder / name, std::ios::binary) << text;
  }

  std::filesystem::path root_;
  AnimationFolders folders_;
};

TEST_F(QraFoldersTest, ListsEveryLoadableNameOnceAndTheFirstFolderWins) {
  Write("program", "b.qra", "1\n\"program\"\n");
  Write("user", "b.qra", "1\n\"user\"\n");
  Write("user", "SHOW.QRA", "1\n\"show\"\n");
  Write("shipped", "a.qra", "1\n\"shipped\"\n");
  Write("shipped", "notes.txt", "");
  std::filesystem::create_directory(root_ / "shipped" / "folder.qra");
  ::mkfifo((root_ / "user" / "pipe.qra").c_str(), 0600);
  EXPECT_EQ(ListQraFiles(folders_), (std::vector<std::string>{"a.qra", "b.qra", "SHOW.QRA"}));

  QraAnimation animation;
  ASSERT_TRUE(LoadQraFile("b", folders_, animation));
  EXPECT_EQ(animation.QraFrames[1], "program");
  EXPECT_EQ(animation.QraFilePath, (root_ / "program" / "b.qra").string());
  ASSERT_TRUE(LoadQraFile("SHOW.QRA", folders_, animation));  // no ".qra" appended
  EXPECT_EQ(animation.QraFrames[1], "show");
  ASSERT_TRUE(LoadQraFile("a.qra", folders_, animation));
  EXPECT_EQ(animation.QraFrames[1], "shipped");
  EXPECT_EQ(animation.QraFramePos, 1);
}

TEST_F(QraFoldersTest, WhatCannotLoadLeavesTheFramesAndStillResetsThePosition) {
  Write("program", "good.qra", "2\n\"A\"\n\"B\"\n");
  QraAnimation animation;
  ASSERT_TRUE(LoadQraFile("good", folders_, animation));
  ::mkfifo((root_ / "program" / "pipe.qra").c_str(), 0600);  // would block an open for ever
  for (const char* name : {"missing", "pipe", "../program/good", "program/good", "", ".."}) {
    animation.QraFramePos = 2;
    EXPECT_FALSE(LoadQraFile(name, folders_, animation)) << name;
    EXPECT_EQ(animation.QraFrameCount, 2) << name;
    EXPECT_EQ(animation.QraFrames[2], "B") << name;
    EXPECT_EQ(animation.QraFramePos, 1) << name;
  }
  EXPECT_EQ(animation.QraFilePath, "..");
  LoadQraFile("missing", folders_, animation);
  EXPECT_EQ(animation.QraFilePath, (root_ / "program" / "missing.qra").string());
}

// 4 GiB of nothing after a closing quote, and frames cut off by the end of
// what is read: neither is read to its end, nor taken for a whole file.
TEST_F(QraFoldersTest, OnlyABoundedPartOfAHugeFileIsRead) {
  Write("program", "sparse.qra", "1\n\"x\"");
  ASSERT_EQ(::truncate((root_ / "program" / "sparse.qra").c_str(), 4ll << 30), 0);
  QraAnimation animation;
  EXPECT_FALSE(LoadQraFile("sparse", folders_, animation));
  EXPECT_EQ(animation.QraFrames[1], "x") << "what was read before stays";
  std::string text = "2\n\"a\"\n" + std::string(kMaxQraFileBytes, ' ') + "\"b\"\n";
  Write("program", "blanks.qra", text);
  EXPECT_FALSE(LoadQraFile("blanks", folders_, animation));
  text.erase(10, 64);
  Write("program", "blanks.qra", text);
  EXPECT_TRUE(LoadQraFile("blanks", folders_, animation));
}

// A name that turns into a FIFO between a check and the open.
TEST_F(QraFoldersTest, AFifoSwappedInForTheFileHoldsNothingUp) {
  const std::filesystem::path path = root_ / "program" / "swap.qra", file = root_ / "file", fifo = root_ / "fifo";
  std::atomic<bool> stop{false};
  std::thread swapper([&] {
    for (bool turn = false; !stop; turn = !turn) {
      if (turn) std::ofstream(file) << "1\n\"f\"\n"; else ::mkfifo(fifo.c_str(), 0600);
      ::rename((turn ? file : fifo).c_str(), path.c_str());
    }
  });
  QraAnimation animation;
  testing_support::MustReturnWithin(std::chrono::seconds(20), "animation loads", [&] {
    for (int i = 0; i < 3000; ++i) LoadQraFile("swap", folders_, animation);
  });
  stop = true;
  swapper.join();
}

// Whatever the list shows loads, and its short name (what the caption shows
// and "Make Default" stores) loads the same file again.
TEST_F(QraFoldersTest, EveryListedNameAndItsShortNameLoadTheSameFile) {
  const struct {
    const char* file;
    const char* short_name;
  } rows[] = {{"plain.qra", "plain"}, {"SHOW.QRA", "SHOW.QRA"}, {"Mixed.Qra", "Mixed.Qra"}, {".qra", ".qra"},
              {"x.qra.qra", "x.qra.qra"}, {"\xff\xfe latin-1 \xe9.qra", "\xff\xfe latin-1 \xe9"}};
  for (const auto& row : rows) Write("user", row.file, std::string("1\n\"") + row.file + "\"\n");
  Write("user", "back\\slash.qra", "1\n\"x\"\n");
  EXPECT_EQ(ListQraFiles(folders_).size(), std::size(rows)) << "a name the loader refuses is not listed";
  std::filesystem::create_symlink(root_ / "user" / "plain.qra", root_ / "program" / "link.qra");
  QraAnimation linked;
  EXPECT_TRUE(LoadQraFile("link", folders_, linked)) << "a link to an animation loads";
  for (const auto& row : rows) {
    EXPECT_EQ(QraShortName(row.file), row.short_name);
    QraAnimation animation;
    EXPECT_TRUE(LoadQraFile(row.file, folders_, animation)) << row.file;
    EXPECT_TRUE(LoadQraFile(QraShortName(row.file), folders_, animation)) << row.file;
    EXPECT_EQ(animation.QraFrames[1], row.file);
  }
  EXPECT_EQ(QraShortName("typed"), "typed");
}

}  // namespace
