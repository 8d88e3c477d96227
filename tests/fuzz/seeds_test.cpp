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
#include "quorelctl/dmx/ola/frame_check.h"

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

// A server's answers reach libola's reader only when every header passes the
// check: such seeds must be whole frames; the others must be refused.
TEST(FuzzSeedsTest, OlaServerSeedsAreWholeFramesOrRefused) {
  for (const auto& [name, bytes] : Seeds("ola_server")) {
    const bool good = name == "universe_list_answer" || name == "two_answers" || name == "unreadable_message";
    quorelctl::OlaFrameCheck check;
    size_t at = 0;
    bool refused = false;
    while (!refused && at + quorelctl::kOlaHeaderBytes <= bytes.size()) {
      uint8_t header[quorelctl::kOlaHeaderBytes];
      std::copy_n(bytes.begin() + at, sizeof header, header);
      refused = !check.TakeHeader(header);
      at += sizeof header + check.BodyLeft();
      check.TookBody(check.BodyLeft());
    }
    if (good) EXPECT_TRUE(!refused && at == bytes.size()) << name;
    else EXPECT_TRUE(refused || at != bytes.size()) << name;
  }
}

}  // namespace
