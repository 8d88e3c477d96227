// The settings record and its file: layout, what reads as what, and saves
// that keep the old file whole when they fail.
#include "sonovar/app/settings_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <atomic>
#include <iterator>
#include <thread>

#include "platform/files.h"
#include "platform/posix/replace_file_posix.h"
#include "support/watchdog.h"

using namespace sonovar;

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> values) { return {values.begin(), values.end()}; }

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// 32 bytes of fields, "Select File", and the tail with the effect's id.
const std::vector<uint8_t> kSaved = [] {
  std::vector<uint8_t> b = Bytes({5, 0, 3, 0, 10, 0, 128, 0, 200, 0,          // delay, decay, biases
                                  0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0, 0,         // boards 1 and 3
                                  0xFF, 0xFF, 2, 0, 0xFF, 0xFF,               // turbo, delay 2, device -1
                                  0, 0, 0xFF, 0xFF, 0, 0, 11, 0});            // Pulse/Sweep, name length
  for (char c : std::string("Select FileEFX\x0bpulse-sweep")) b.push_back(static_cast<uint8_t>(c));
  b.insert(b.end(), {217, 67});  // the check, low byte first
  return b;
}();

// kSaved as this version writes it: auto level's tail follows, on, then the
// light offset's, 0 ms.
const std::vector<uint8_t> kSavedNow = [] {
  std::vector<uint8_t> b = kSaved;
  for (char c : std::string("LVL\x01\x01")) b.push_back(static_cast<uint8_t>(c));
  b.insert(b.end(), {231, 127});  // the check of all 65 bytes before it
  for (char c : std::string("DLY\x02")) b.push_back(static_cast<uint8_t>(c));
  b.insert(b.end(), {0, 0, 59, 252});  // 0 ms, and the check of all 73 bytes before it
  return b;
}();

SettingsRecord SavedRecord() {
  SettingsRecord r;
  r.Delay = 5;
  r.Decay = 3;
  r.CyanBias = 10;
  r.YellowBias = 128;
  r.RedBias = 200;
  r.BoardActive[1] = r.BoardActive[3] = true;
  r.Turbo = true;
  r.NonTurboDelay = 2;
  r.InputDevice = -1;
  r.Name = "Select File";
  StoreEffectChoice(r, kPulseSweep);
  return r;
}

TEST(SettingsRecordTest, LayoutIsThirtyTwoBytesTheNameAndTheTails) {
  EXPECT_EQ(EncodeSettings(SavedRecord()), kSavedNow);
  EXPECT_EQ(kSavedNow.size(), 60u + kAutoLevelTailBytes + kLightOffsetTailBytes);
  EXPECT_EQ(EncodeSettings(DecodeSettings(kSavedNow)), kSavedNow);
  // What an earlier version wrote comes back with auto level on.
  EXPECT_EQ(EncodeSettings(DecodeSettings(kSaved)), kSavedNow);
}

// What today's three Booleans and the tail choose, as written by this
// program, by one that knows only the Booleans, and by a newer one.
TEST(SettingsRecordTest, TheChosenEffectComesFromItsIdThenTheBooleans) {
  auto with_tail = [](std::vector<uint8_t> record, std::string_view tail_of) {
    SettingsRecord other = DecodeSettings(record);
    other.EffectId = tail_of;
    const std::vector<uint8_t> tail = EncodeSettings(other);
    record.insert(record.end(), tail.begin() + static_cast<long>(record.size()), tail.end());
    return record;
  };
  std::vector<uint8_t> booleans_only(kSaved.begin(), kSaved.begin() + 43);  // as an older program saves
  std::vector<uint8_t> overwritten = with_tail(booleans_only, "qra-link");
  overwritten[0] = 9;  // an older program saved another Delay over it: the check no longer holds
  std::vector<uint8_t> no_name =
      Bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    int chosen;
  } rows[] = {
      {"Booleans alone", booleans_only, kPulseSweep},
      {"an id beside the Booleans", with_tail(booleans_only, "qra-link"), kQraLink},
      {"an id the program does not know", with_tail(no_name, "strobe-burst"), kPulse},
      {"an empty id leaves it to the Booleans", with_tail(booleans_only, ""), kPulseSweep},
      {"a tail left behind another record", overwritten, kPulseSweep},
      {"a tail cut short", std::vector<uint8_t>(kSaved.begin(), kSaved.end() - 1), kPulseSweep},
      {"nothing chosen", no_name, 0},
  };
  for (const auto& row : rows) EXPECT_EQ(ChosenEffect(DecodeSettings(row.bytes)), row.chosen) << row.name;
}

// Every effect of the table, the ones after the three included, comes back
// from a saved file; the choice of none too.
TEST(SettingsRecordTest, EveryEffectOfTheTableSurvivesASaveAndALoad) {
  for (int n = 0; n <= kEffectCount; ++n) {
    SettingsRecord r = SavedRecord();
    StoreEffectChoice(r, n);
    EXPECT_EQ(ChosenEffect(DecodeSettings(EncodeSettings(r))), n) << n;
    const int boolean = n == 0 ? 0 : kEffects[n - 1].stored_as;
    for (int field = 1; field <= kStoredEffects; ++field) EXPECT_EQ(r.EffectSelected[field], field == boolean) << n;
  }
}

TEST(SettingsRecordTest, WhatShortOrOddFilesReadAs) {
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    int16_t delay, decay;
    bool board1, turbo;
    std::string file_name;
  } rows[] = {
      {"empty: every field 0", {}, 0, 0, false, false, ""},
      {"three bytes", Bytes({7, 0, 9}), 7, 0, false, false, ""},
      {"a Boolean of 1 is false", Bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF}), 0, 0,
       false, true, ""},
      {"a name longer than the file reads as none",
       Bytes({1, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9, 0,
              'a', 'b'}),
       1, 2, true, false, ""},
  };
  for (const auto& row : rows) {
    const SettingsRecord r = DecodeSettings(row.bytes);
    EXPECT_EQ(r.Delay, row.delay) << row.name;
    EXPECT_EQ(r.Decay, row.decay) << row.name;
    EXPECT_EQ(r.BoardActive[1], row.board1) << row.name;
    EXPECT_EQ(r.Turbo, row.turbo) << row.name;
    EXPECT_EQ(r.Name, row.file_name) << row.name;
  }
}

class SettingsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/settings-test-XXXXXX";
    dir_ = ::mkdtemp(pattern);
    path_ = dir_ + "/" + kSettingsFileName;
  }
  void TearDown() override {
    ::chmod(dir_.c_str(), 0700);
    std::filesystem::remove_all(dir_);
  }
  std::string dir_, path_;
};

TEST_F(SettingsFileTest, FirstStartCreatesAnEmptyFile) {
  const SettingsRecord r = LoadSettingsFile(path_);
  EXPECT_EQ(r.RedBias, 0);
  EXPECT_FALSE(r.EffectSelected[1]);
  ASSERT_TRUE(std::filesystem::exists(path_));
  EXPECT_EQ(std::filesystem::file_size(path_), 0u);
}

TEST_F(SettingsFileTest, ASaveKeepsWhatALongerEarlierSaveLeftBehind) {
  SettingsRecord longer = SavedRecord();
  longer.Name = "a much longer animation name";
  ASSERT_EQ(SaveSettingsFile(path_, longer), "");
  ASSERT_EQ(SaveSettingsFile(path_, SavedRecord()), "");
  const std::vector<uint8_t> file = ReadAll(path_), longer_bytes = EncodeSettings(longer);
  ASSERT_EQ(file.size(), longer_bytes.size());
  const long ours = static_cast<long>(kSavedNow.size());
  EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.begin() + ours), kSavedNow);
  EXPECT_EQ(std::vector<uint8_t>(file.begin() + ours, file.end()),
            std::vector<uint8_t>(longer_bytes.begin() + ours, longer_bytes.end()));
  EXPECT_EQ(LoadSettingsFile(path_).Name, "Select File");
}

TEST_F(SettingsFileTest, ASaveInterruptedBeforeTheRenameLeavesTheOldFileWhole) {
  WriteAll(path_, kSaved);
  const std::vector<uint8_t> other(50, 7);
  EXPECT_EQ(platform::ReplaceFileContents(path_, other, [] { return false; }), "interrupted");
  EXPECT_EQ(ReadAll(path_), kSaved);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), std::filesystem::directory_iterator()), 1)
      << "the temporary file is gone";
}

// As root, a folder's permissions stop nobody: the check runs as "nobody".
TEST_F(SettingsFileTest, AReadOnlyFolderGivesTheReasonAndKeepsTheOldFile) {
  WriteAll(path_, kSaved);
  ::chmod(path_.c_str(), 0644);
  ::chmod(dir_.c_str(), 0555);
  auto check = [&] {
    SettingsRecord changed = SavedRecord();
    changed.Delay = 9;
    const std::string error = SaveSettingsFile(path_, changed);
    return !error.empty() && ReadAll(path_) == kSaved && LoadSettingsFile(path_).Delay == 5;
  };
  if (::geteuid() != 0) {
    EXPECT_TRUE(check());
    return;
  }
  const pid_t child = ::fork();
  if (child == 0) {
    const bool ok = ::setgid(65534) == 0 && ::setuid(65534) == 0 && check();
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(SettingsFileTest, SomethingThatIsNotAFileIsNeitherReadNorWaitedFor) {
  ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);
  EXPECT_EQ(LoadSettingsFile(path_).Delay, 0);  // would block for ever if opened
  EXPECT_NE(SaveSettingsFile(path_, SavedRecord()), "");
  struct stat node {};
  EXPECT_TRUE(::lstat(path_.c_str(), &node) == 0 && S_ISFIFO(node.st_mode)) << "not replaced";
}

// A name that turns into a FIFO between a check and the open.
TEST_F(SettingsFileTest, AFifoSwappedInForTheFileHoldsNothingUp) {
  const std::string file = dir_ + "/file", fifo = dir_ + "/fifo";
  std::atomic<bool> stop{false};
  std::thread swapper([&] {
    for (bool turn = false; !stop; turn = !turn) {
      if (turn) WriteAll(file, kSaved); else ::mkfifo(fifo.c_str(), 0600);
      ::rename((turn ? file : fifo).c_str(), path_.c_str());
    }
  });
  testing_support::MustReturnWithin(std::chrono::seconds(20), "settings loads", [&] {
    for (int i = 0; i < 3000; ++i) {
      const int16_t delay = LoadSettingsFile(path_).Delay;
      ASSERT_TRUE(delay == 0 || delay == 5);
    }
  });
  stop = true;
  swapper.join();
}

// A link planted as Sonovar.SET: followed only when it is the user's own,
// nothing created through it, no bytes or permissions copied through it.
TEST_F(SettingsFileTest, LinksAreFollowedOnlyWhenTheUserOwnsThem) {
  const std::string target = dir_ + "/private";
  ASSERT_EQ(::symlink("private", path_.c_str()), 0);
  EXPECT_EQ(LoadSettingsFile(path_).Delay, 0);
  EXPECT_NE(SaveSettingsFile(path_, SavedRecord()), "");
  EXPECT_FALSE(std::filesystem::exists(target)) << "created through a link to nothing";

  WriteAll(target, kSaved);
  ::chmod(target.c_str(), 0600);
  EXPECT_EQ(LoadSettingsFile(path_).Delay, 5) << "the user's own link";
  SettingsRecord changed = SavedRecord();
  changed.Delay = 9;
  ASSERT_EQ(SaveSettingsFile(path_, changed), "");
  EXPECT_EQ(LoadSettingsFile(target).Delay, 9);
  EXPECT_TRUE(std::filesystem::is_symlink(path_)) << "the link stays";

  if (::geteuid() != 0) GTEST_SKIP() << "making another user's link takes root";
  ASSERT_EQ(::lchown(path_.c_str(), 65534, 65534), 0);
  EXPECT_EQ(LoadSettingsFile(path_).Delay, 0) << "another user's link is not followed";
  EXPECT_NE(SaveSettingsFile(path_, SavedRecord()), "");
  EXPECT_EQ(LoadSettingsFile(target).Delay, 9) << "nor written through";
  EXPECT_TRUE(std::filesystem::is_symlink(path_));
}

// The mode a save gives the new file, by the old file's owner and mode,
// both ways of saving: never setuid, setgid or sticky, and nothing of a file
// that another user planted.
TEST_F(SettingsFileTest, ASaveTakesOnlyPlainPermissionsAndOnlyFromTheUsersOwnFile) {
  const mode_t umask_now = ::umask(022);
  struct Case {
    uid_t owner;
    mode_t old_mode, new_mode;
  };
  const uid_t self = ::geteuid();
  const Case cases[] = {{self, 0600, 0600}, {self, 06755, 0755}, {self, 01777, 0777},
                        {65534, 06777, 0644}, {65534, 0600, 0644}};
  for (bool named : {false, true}) {
    for (const Case& c : cases) {
      if (c.owner != self && self != 0) continue;  // planting another user's file takes root
      SCOPED_TRACE(testing::Message() << "named " << named << ", owner " << c.owner << ", mode " << std::oct << c.old_mode);
      ::unlink(path_.c_str());
      WriteAll(path_, kSaved);
      ASSERT_EQ(::chown(path_.c_str(), c.owner, c.owner), 0);
      ASSERT_EQ(::chmod(path_.c_str(), c.old_mode), 0);
      const std::vector<uint8_t> other(40, 3);
      ASSERT_EQ(named ? platform::posix::ReplaceThroughNamedFile(path_, other, {})
                      : platform::ReplaceFileContents(path_, other, {}),
                "");
      struct stat now {};
      ASSERT_EQ(::stat(path_.c_str(), &now), 0);
      EXPECT_EQ(now.st_mode & 07777, c.new_mode);
      EXPECT_EQ(now.st_uid, self);
    }
  }
  ::umask(umask_now);
}

// Every name an earlier version would have tried, planted: the save still
// goes through, under a name no one could know ahead.
TEST_F(SettingsFileTest, PlantedTemporaryNamesDoNotStopASave) {
  WriteAll(path_, kSaved);
  for (int attempt = 0; attempt < 100; ++attempt)
    WriteAll(path_ + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt), {});
  const std::vector<uint8_t> other(40, 3);
  EXPECT_EQ(platform::posix::ReplaceThroughNamedFile(path_, other, {}), "");
  EXPECT_EQ(ReadAll(path_), other);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), std::filesystem::directory_iterator()), 101)
      << "the planted names stay as they were, and no temporary file is left";
}

TEST_F(SettingsFileTest, AHugeOldFileCostsNoMoreThanTheLongestRecord) {
  WriteAll(path_, kSaved);
  ASSERT_EQ(::truncate(path_.c_str(), 256 << 20), 0);  // sparse
  ASSERT_EQ(SaveSettingsFile(path_, SavedRecord()), "");
  EXPECT_EQ(std::filesystem::file_size(path_), kLongestSettingsRecord);
}

// SIGTERM while the new content is written: nothing is left beside the old file.
TEST_F(SettingsFileTest, ASaveEndedByASignalLeavesNoTemporaryFile) {
  for (bool named : {false, true}) {
    WriteAll(path_, kSaved);
    const pid_t child = ::fork();
    if (child == 0) {
      const std::vector<uint8_t> other(50, 7);
      auto die = [] { return ::raise(SIGTERM) == 0; };
      named ? platform::posix::ReplaceThroughNamedFile(path_, other, die)
            : platform::ReplaceFileContents(path_, other, die);
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << named;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), std::filesystem::directory_iterator()), 1)
        << "named " << named;
    EXPECT_EQ(ReadAll(path_).size(), named ? 50u : kSaved.size()) << "the named way finishes, then ends";
  }
}

}  // namespace
