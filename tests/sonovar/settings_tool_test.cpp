// The settings files the scripts write through sonovar-settings: byte for
// byte what they wrote by hand before, and what the encoder gives.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sonovar/app/settings_file.h"

namespace {

namespace fs = std::filesystem;

struct ScriptCase {
  const char* script;
  const char* arguments;  // as the script passes them
  std::vector<int> fixed;   // the 32 fixed bytes it wrote by hand, before "Select File"
};

// Delay, decay 3, three biases 128 ... TURBO, delay 1, the first input.
std::vector<int> Fixed(int delay, std::vector<int> boards, int effect) {
  std::vector<int> b = {delay, 0, 3, 0, 0x80, 0, 0x80, 0, 0x80, 0};
  for (int n = 1; n <= 4; ++n) b.insert(b.end(), 2, boards[n - 1] ? 0xFF : 0);
  b.insert(b.end(), {0xFF, 0xFF, 1, 0, 0, 0});
  for (int n = 1; n <= 3; ++n) b.insert(b.end(), 2, n == effect ? 0xFF : 0);
  b.insert(b.end(), {11, 0});
  return b;
}

class SettingsToolTest : public ::testing::TestWithParam<ScriptCase> {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("settings_tool_test." + std::to_string(::getpid()));
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  // The tool's exit status, writing `file` with `arguments`.
  int Run(const std::string& arguments) {
    const std::string command = std::string("'") + SONOVAR_SETTINGS_TOOL + "' '" + File() + "' " + arguments +
                                " 2>/dev/null";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string File() const { return (folder_ / "Sonovar.SET").string(); }
  std::vector<uint8_t> Read() const {
    std::ifstream in(File(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  fs::path folder_;
};

TEST_P(SettingsToolTest, WritesWhatTheScriptWroteByHand) {
  ASSERT_EQ(Run(GetParam().arguments), 0);
  std::vector<uint8_t> want(GetParam().fixed.begin(), GetParam().fixed.end());
  for (char c : std::string("Select File")) want.push_back(static_cast<uint8_t>(c));
  std::vector<uint8_t> got = Read();
  // Then a tail without an effect id: the Booleans tell.
  EXPECT_EQ(got.size(),
            want.size() + sonovar::kEffectTailBytes + sonovar::kAutoLevelTailBytes + sonovar::kLightOffsetTailBytes);
  EXPECT_EQ(sonovar::DecodeSettings(got).EffectId, "");
  got.resize(std::min(got.size(), want.size()));
  EXPECT_EQ(got, want) << GetParam().script;
  EXPECT_EQ(sonovar::EncodeSettings(sonovar::DecodeSettings(Read())), Read());
}

// What every script passes besides the fields below.
#define SAME "Decay=3 CyanBias=128 YellowBias=128 RedBias=128 Turbo=1 NonTurboDelay=1 InputDevice=0 'Name=Select File' "

INSTANTIATE_TEST_SUITE_P(
    Scripts, SettingsToolTest,
    ::testing::Values(
        ScriptCase{"main-job desktop", SAME "Delay=0 Board1Active=0 Board2Active=0 Board3Active=0 Board4Active=0 "
                                            "Effect1Selected=1", Fixed(0, {0, 0, 0, 0}, 1)},
        ScriptCase{"main-job headless", SAME "Delay=2 Board1Active=1 Board2Active=1 Board3Active=1 Board4Active=1 "
                                             "Effect2Selected=1", Fixed(2, {1, 1, 1, 1}, 2)},
        ScriptCase{"startup_end_to_end", SAME "Delay=0 Board1Active=1 Board3Active=1 Effect2Selected=1 AutoLevel=0",
                   Fixed(0, {1, 0, 1, 0}, 2)},
        ScriptCase{"window_cpu", SAME "Delay=0 Board1Active=1 Board2Active=1 Board3Active=1 Board4Active=1 "
                                      "Effect2Selected=1", Fixed(0, {1, 1, 1, 1}, 2)}));

TEST_F(SettingsToolTest, EveryFieldLandsInItsPlace) {
  ASSERT_EQ(Run("Delay=1 Decay=2 CyanBias=3 YellowBias=4 RedBias=5 Board2Active=1 Board4Active=1 Turbo=0 "
                "NonTurboDelay=6 InputDevice=-7 Effect3Selected=1 Name=chase Effect=some-later-effect AutoLevel=0 "
                "LightOffset=-13"),
            0);
  sonovar::SettingsRecord want;
  want.Delay = 1, want.Decay = 2, want.CyanBias = 3, want.YellowBias = 4, want.RedBias = 5;
  want.BoardActive = {false, false, true, false, true};
  want.NonTurboDelay = 6, want.InputDevice = -7, want.EffectSelected[3] = true, want.Name = "chase";
  want.EffectId = "some-later-effect", want.AutoLevel = false, want.LightOffset = -13;
  EXPECT_EQ(Read(), sonovar::EncodeSettings(want));
}

TEST_F(SettingsToolTest, RefusesWhatIsNoFieldAndWritesNothing) {
  for (const char* arguments : {"Delay=x", "Delay=32768", "Delay=", "Turbo=-1", "Board5Active=1", "Effect4Selected=1",
                                "delay=1", "Delay", "Effect=an-id-longer-than-thirty-two-letters", "AutoLevel=2",
                                "AutoLevel=on", "LightOffset=32768", "LightOffset=5ms"}) {
    EXPECT_EQ(Run(arguments), 2) << arguments;
    EXPECT_FALSE(fs::exists(File())) << arguments;
  }
  // A FIFO named by mistake is left a FIFO.
  ASSERT_EQ(::mkfifo(File().c_str(), 0600), 0);
  EXPECT_EQ(Run("Delay=1"), 1);
  EXPECT_TRUE(fs::is_fifo(File()));
  fs::remove(File());
  EXPECT_EQ(Run("InputDevice=-1 Name="), 0);
  EXPECT_EQ(sonovar::DecodeSettings(Read()).InputDevice, -1);
  EXPECT_EQ(Read().size(), sonovar::kSettingsFixedBytes + sonovar::kEffectTailBytes + sonovar::kAutoLevelTailBytes +
                               sonovar::kLightOffsetTailBytes);
  EXPECT_TRUE(sonovar::DecodeSettings(Read()).AutoLevel) << "on when not named";
  EXPECT_EQ(sonovar::DecodeSettings(Read()).LightOffset, 0) << "0 when not named";
  // Any 16-bit value is written, and read back within the range.
  EXPECT_EQ(Run("LightOffset=-32768"), 0);
  EXPECT_EQ(sonovar::DecodeSettings(Read()).LightOffset, sonovar::kSettingsLightOffsetMin);
}

}  // namespace
