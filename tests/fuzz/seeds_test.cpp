// The fuzzers start from their seeds: every seed must reach what it was made
// for, or the fuzzer spends its time elsewhere without a word.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/linux/hidraw_sysfs.h"
#include "quorelctl_input.h"
#include "quorelctl/recording_link.h"

namespace {

std::vector<std::pair<std::string, std::vector<uint8_t>>> Seeds(const char* target) {
  std::vector<std::pair<std::string, std::vector<uint8_t>>> seeds;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(SEEDS_DIR) / target)) {
    std::ifstream in(entry.path(), std::ios::binary);
    seeds.emplace_back(entry.path().filename().string(),
                       std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
  }
  EXPECT_FALSE(seeds.empty()) << target;
  return seeds;
}

// A command seed runs as a command that sends reports; a number seed goes to
// the number conversions.
TEST(FuzzSeedsTest, CommandSeedsRunTheirCommand) {
  for (const auto& [name, bytes] : Seeds("quorelctl")) {
    const auto in = fuzzing::DecodeQuorelctlInput(bytes.data(), bytes.size());
    ASSERT_TRUE(in) << name;
    if (name == "hex" || name == "number") {
      EXPECT_TRUE(in->numbers) << name;
      continue;
    }
    ASSERT_FALSE(in->numbers) << name << " goes to the number conversions";
    quorelctl::ResetModule(in->board);
    quorelctl::RecordingLink link;
    quorelctl::ExecuteCommand(in->text, link);
    EXPECT_FALSE(link.reports.empty()) << name << ": \"" << in->text << "\" sends nothing";
  }
}

TEST(FuzzSeedsTest, DescriptorSeedsDeclareAnOutputReport) {
  for (const auto& [name, bytes] : Seeds("descriptor"))
    EXPECT_GT(platform::linux_hid::OutputReportLength(bytes), 1) << name;
}

TEST(FuzzSeedsTest, UeventSeedsCarryAnId) {
  for (const auto& [name, bytes] : Seeds("uevent"))
    EXPECT_TRUE(platform::linux_hid::ParseUeventHidId({reinterpret_cast<const char*>(bytes.data()), bytes.size()}))
        << name;
}

}  // namespace
