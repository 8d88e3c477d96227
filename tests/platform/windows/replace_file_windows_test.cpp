// Whole-file replacement on Windows: the file holds the old or the new bytes,
// never a mix, and no temporary file is left behind.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/files.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

class ReplaceFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("quorel-files-" + std::to_string(GetCurrentProcessId()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    path_ = (dir_ / "Sonovar.SET").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  static Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir_;
  std::string path_;
};

TEST_F(ReplaceFileTest, NewAndExistingFilesGetExactlyTheNewBytes) {
  const Bytes first(100, 7), second = {1, 2, 3};
  ASSERT_EQ(platform::ReplaceFileContents(path_, first), "");
  EXPECT_EQ(ReadAll(path_), first);
  ASSERT_EQ(platform::ReplaceFileContents(path_, second), "");
  EXPECT_EQ(ReadAll(path_), second);
  EXPECT_EQ(Names(), std::vector<std::string>{"Sonovar.SET"});
}

// The program saves "Sonovar.SET" in the working folder, by a relative name.
TEST_F(ReplaceFileTest, RelativeNameInTheWorkingFolder) {
  char previous[MAX_PATH];
  ASSERT_GT(GetCurrentDirectoryA(MAX_PATH, previous), 0u);
  ASSERT_TRUE(SetCurrentDirectoryA(dir_.string().c_str()));
  const std::string first = platform::ReplaceFileContents("Sonovar.SET", Bytes{1, 2});
  const std::string second = platform::ReplaceFileContents("Sonovar.SET", Bytes{3});
  SetCurrentDirectoryA(previous);
  EXPECT_EQ(first, "");
  EXPECT_EQ(second, "");
  EXPECT_EQ(ReadAll(path_), Bytes{3});
  EXPECT_EQ(Names(), std::vector<std::string>{"Sonovar.SET"});
}

TEST_F(ReplaceFileTest, InterruptedReplacementLeavesTheOldFileAlone) {
  ASSERT_EQ(platform::ReplaceFileContents(path_, Bytes{9, 9}), "");
  EXPECT_EQ(platform::ReplaceFileContents(path_, Bytes{1, 2, 3, 4}, [] { return false; }), "interrupted");
  EXPECT_EQ(ReadAll(path_), (Bytes{9, 9}));
  EXPECT_EQ(Names(), std::vector<std::string>{"Sonovar.SET"});
}

TEST_F(ReplaceFileTest, ImpossibleTargetsSayWhyAndLeaveNothing) {
  const std::string missing_folder = (dir_ / "gone" / "Sonovar.SET").string();
  EXPECT_NE(platform::ReplaceFileContents(missing_folder, Bytes{1}), "");
  fs::create_directory(dir_ / "folder");
  EXPECT_NE(platform::ReplaceFileContents((dir_ / "folder").string(), Bytes{1}), "");
  EXPECT_TRUE(fs::is_directory(dir_ / "folder"));
  // A file the user made read-only stays as it is.
  ASSERT_EQ(platform::ReplaceFileContents(path_, Bytes{5}), "");
  ASSERT_TRUE(SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_NE(platform::ReplaceFileContents(path_, Bytes{6, 6}), "");
  SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(ReadAll(path_), Bytes{5});
  EXPECT_EQ(Names(), (std::vector<std::string>{"Sonovar.SET", "folder"}));
}

}  // namespace
