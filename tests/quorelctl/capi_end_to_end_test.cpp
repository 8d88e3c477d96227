// Through the C interface only: boards 1 and 3 as FIFO nodes in a temporary
// sysfs tree, read back byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "quorelctl.h"
#include "support/fake_sysfs.h"

namespace {

using testing_support::FakeSysfs;
using testing_support::FifoReader;
using Bytes = std::vector<uint8_t>;

Bytes Concat(const std::vector<Bytes>& parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

const Bytes kDefaultState = {0, 64, 0, 0, 0, 0, 3, 0, 0};
const Bytes k48 = {0, 48, 48, 48, 48, 48, 48, 48, 48};

std::string GetText(QuorelControl* c, const char* property) {
  char buffer[64];
  EXPECT_EQ(quorel_get_text(c, property, buffer, sizeof buffer), 0) << property;
  return buffer;
}

class CapiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    board1_ = tree_.Add("hidraw0", 0xE7A1, 0x00F0);
    tree_.Add("hidraw1", 0x046D, 0xC52B);  // a mouse, never touched
    board3_ = tree_.Add("hidraw2", 0xE7A1, 0x00F2);
    tree_.Activate();
  }
  void TearDown() override { FakeSysfs::Deactivate(); }

  FakeSysfs tree_;
  std::string board1_, board3_;
};

struct Notified {
  std::vector<std::string> names;
  static void Record(void* container, const char* property) {
    static_cast<Notified*>(container)->names.emplace_back(property);
  }
};

TEST_F(CapiTest, BoardsReceiveExactlyWhatTheHostSends) {
  FifoReader fifo1(board1_), fifo3(board3_);
  ASSERT_TRUE(fifo1.ok() && fifo3.ok());
  Notified notified;
  QuorelControl* c = quorel_create("Quorel_Control.Quorel", &Notified::Record, &notified);
  ASSERT_NE(c, nullptr);

  EXPECT_EQ(GetText(c, "Detected"), "1010000000000000");
  const Bytes defaults = Concat({kDefaultState, k48, k48, k48, k48});
  EXPECT_EQ(fifo1.Drain(), defaults);
  EXPECT_EQ(fifo3.Drain(), defaults);

  EXPECT_EQ(quorel_set_bool(c, "FastCom", 1), 0);
  EXPECT_EQ(quorel_set_text(c, "DeviceNumber", "3"), 0);
  EXPECT_STREQ(quorel_error_description(c), "");
  EXPECT_EQ(quorel_set_text(c, "Command", "SBA:255,255,255,255,4"), 0);
  EXPECT_EQ(quorel_set_text(c, "command", "p05:saw"), 0);
  EXPECT_EQ(quorel_set_text(c, "Command", "not a command"), 0);
  EXPECT_EQ(fifo3.Drain(), Concat({{0, 64, 255, 255, 255, 255, 4, 0, 0},
                                   {0, 48, 48, 48, 48, 129, 48, 48, 48}, k48, k48, k48}));
  EXPECT_TRUE(fifo1.Drain().empty());

  EXPECT_EQ(quorel_set_text(c, "DeviceNumber", "1"), 0);
  EXPECT_EQ(quorel_set_text(c, "Command", "RGB:1,10,20,30"), 0);
  EXPECT_EQ(fifo1.Drain(), Concat({{0, 10, 20, 30, 48, 48, 48, 48, 48}, k48, k48, k48,
                                   {0, 64, 7, 0, 0, 0, 3, 0, 0}}));
  EXPECT_TRUE(fifo3.Drain().empty());

  EXPECT_EQ(notified.names, (std::vector<std::string>{"FastCom", "DeviceNumber", "Command", "Command", "Command",
                                                      "DeviceNumber", "Command"}));
  quorel_destroy(c);
}

TEST_F(CapiTest, ControlErrorsComeBackWithTheirDescriptions) {
  QuorelControl* c = quorel_create(QUOREL_CLASS_NAME, nullptr, nullptr);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(quorel_set_text(c, "DeviceNumber", "17"), QUOREL_E_DEVICE_RANGE);
  EXPECT_STREQ(quorel_error_description(c), "Device Numbers 1-16 Only");
  EXPECT_EQ(GetText(c, "DeviceNumber"), "17");
  EXPECT_EQ(quorel_set_text(c, "DeviceNumber", "2"), QUOREL_E_NOT_CONNECTED);
  EXPECT_STREQ(quorel_error_description(c), "Device Number 2 Not Connected");
  EXPECT_EQ(quorel_set_text(c, "DeviceNumber", "1"), 0);
  EXPECT_STREQ(quorel_error_description(c), "");
  quorel_destroy(c);
}

TEST_F(CapiTest, InitialPropertyValues) {
  QuorelControl* c = quorel_create(QUOREL_CLASS_NAME, nullptr, nullptr);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(GetText(c, "Command"), "Quorel Command");
  EXPECT_EQ(GetText(c, "DEVICENUMBER"), "1");
  int16_t delay = 0;
  EXPECT_EQ(quorel_get_int16(c, "CompatibilityDelay", &delay), 0);
  EXPECT_EQ(delay, 1);
  EXPECT_EQ(quorel_set_int16(c, "compatibilitydelay", 25), 0);
  EXPECT_EQ(quorel_get_int16(c, "CompatibilityDelay", &delay), 0);
  EXPECT_EQ(delay, 25);
  quorel_destroy(c);
}

struct MisuseCase {
  const char* name;
  int (*call)(QuorelControl*);
  int code;
};

class MisuseTest : public CapiTest, public ::testing::WithParamInterface<MisuseCase> {};

TEST_P(MisuseTest, ReturnsItsCodeAndADescription) {
  QuorelControl* c = quorel_create(QUOREL_CLASS_NAME, nullptr, nullptr);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(GetParam().call(c), GetParam().code);
  EXPECT_STRNE(quorel_error_description(c), "");
  quorel_destroy(c);
}

char g_buffer[8];

INSTANTIATE_TEST_SUITE_P(
    Calls, MisuseTest,
    ::testing::Values(
        MisuseCase{"UnknownProperty", [](QuorelControl* c) { return quorel_set_text(c, "Colour", "x"); },
                   QUOREL_E_UNKNOWN_PROPERTY},
        MisuseCase{"TextToBool", [](QuorelControl* c) { return quorel_set_text(c, "FastCom", "1"); },
                   QUOREL_E_WRONG_TYPE},
        MisuseCase{"BoolToText", [](QuorelControl* c) { return quorel_set_bool(c, "Command", 1); },
                   QUOREL_E_WRONG_TYPE},
        MisuseCase{"Int16ToText",
                   [](QuorelControl* c) { return quorel_set_int16(c, "DeviceNumber", 3); }, QUOREL_E_WRONG_TYPE},
        MisuseCase{"ReadBoolAsText",
                   [](QuorelControl* c) { return quorel_get_text(c, "FastCom", g_buffer, sizeof g_buffer); },
                   QUOREL_E_WRONG_TYPE},
        MisuseCase{"WriteDetected", [](QuorelControl* c) { return quorel_set_text(c, "Detected", "1"); },
                   QUOREL_E_ACCESS},
        MisuseCase{"NullProperty", [](QuorelControl* c) { return quorel_set_text(c, nullptr, "1"); },
                   QUOREL_E_NULL_ARGUMENT},
        MisuseCase{"NullValue", [](QuorelControl* c) { return quorel_set_text(c, "Command", nullptr); },
                   QUOREL_E_NULL_ARGUMENT},
        MisuseCase{"NullBuffer", [](QuorelControl* c) { return quorel_get_text(c, "Detected", nullptr, 17); },
                   QUOREL_E_NULL_ARGUMENT},
        MisuseCase{"NullInt", [](QuorelControl* c) { return quorel_get_int16(c, "CompatibilityDelay", nullptr); },
                   QUOREL_E_NULL_ARGUMENT},
        MisuseCase{"SmallBuffer",
                   [](QuorelControl* c) { return quorel_get_text(c, "Detected", g_buffer, sizeof g_buffer); },
                   QUOREL_E_BUFFER_TOO_SMALL}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CapiTest, TooSmallBufferIsLeftUntouched) {
  QuorelControl* c = quorel_create(QUOREL_CLASS_NAME, nullptr, nullptr);
  char buffer[17];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(quorel_get_text(c, "Detected", buffer, 16), QUOREL_E_BUFFER_TOO_SMALL);
  EXPECT_EQ(std::string(buffer, 17), std::string(17, 'x'));
  EXPECT_EQ(quorel_get_text(c, "Detected", buffer, 17), 0);
  EXPECT_STREQ(buffer, "1010000000000000");
  quorel_destroy(c);
}

TEST_F(CapiTest, WrongClassAndNullHandles) {
  EXPECT_EQ(quorel_create("Quorel_Control.Other", nullptr, nullptr), nullptr);
  EXPECT_EQ(quorel_create(nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(quorel_set_text(nullptr, "Command", "x"), QUOREL_E_NULL_ARGUMENT);
  EXPECT_NE(quorel_error_description(nullptr), nullptr);
  quorel_destroy(nullptr);
}

TEST_F(CapiTest, DestroyClosesTheBoardNodes) {
  FifoReader fifo1(board1_);
  QuorelControl* c = quorel_create(QUOREL_CLASS_NAME, nullptr, nullptr);
  ASSERT_NE(c, nullptr);
  const std::string fd_dir = "/proc/self/fd";
  auto count_open = [&] {
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(fd_dir)) {
      std::error_code ec;
      auto target = std::filesystem::read_symlink(entry.path(), ec);
      if (!ec && (target == board1_ || target == board3_)) ++n;
    }
    return n;
  };
  EXPECT_EQ(count_open(), 3);  // two boards + our reader
  quorel_destroy(c);
  EXPECT_EQ(count_open(), 1);
}

}  // namespace

namespace {

TEST_F(CapiTest, ListDevicesExplainsEachDevice) {
  tree_.Add("hidraw3", 0xE7A1, 0x00F2);                                              // second board 3
  tree_.Add("hidraw4", 0xE7A1, 0x00F4, testing_support::FakeSysfs::Node::kNone);    // board 5, no node
  ASSERT_EQ(quorel_list_devices(nullptr, 0), 5);
  QuorelDevice devices[5];
  devices[0].size = sizeof(QuorelDevice);
  ASSERT_EQ(quorel_list_devices(devices, 5), 5);
  struct Want {
    int board;
    int usable;
    const char* reason;
  };
  const Want want[] = {{1, 1, ""},
                       {0, 0, "not a board (vendor 046d, product c52b)"},
                       {3, 1, ""},
                       {3, 0, "board 3 is already an earlier device"},
                       {5, 0, "cannot be opened: No such file or directory"}};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(devices[i].board, want[i].board) << i;
    EXPECT_EQ(devices[i].usable, want[i].usable) << i;
    EXPECT_STREQ(devices[i].reason, want[i].reason) << i;
    EXPECT_EQ(devices[i].permission_denied, 0) << i;
  }
  EXPECT_EQ(devices[0].output_report_length, 9);
  EXPECT_EQ(std::string(devices[2].path), board3_);
  // A smaller array is filled as far as it goes; the count is still all of them.
  QuorelDevice two[2];
  two[0].size = sizeof two[0];
  EXPECT_EQ(quorel_list_devices(two, 2), 5);
  EXPECT_EQ(two[1].board, 0);
  EXPECT_EQ(two[1].size, sizeof two[1]);
}

// Hosts built with another version of the header pass another size: the
// entries are that far apart, filled as far as both know, zeros beyond.
TEST_F(CapiTest, ListDevicesHonoursTheCallersSize) {
  constexpr size_t kFirst = offsetof(QuorelDevice, reason) + sizeof(QuorelDevice::reason);
  struct Case {
    size_t size;
    int result;
  };
  const Case cases[] = {{0, QUOREL_E_STRUCT_SIZE},          {kFirst - 1, QUOREL_E_STRUCT_SIZE},
                        {65537, QUOREL_E_STRUCT_SIZE},      {kFirst, 3},
                        {sizeof(QuorelDevice), 3},          {sizeof(QuorelDevice) + 40, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    const size_t stride = std::max(c.size, sizeof(QuorelDevice));
    std::vector<unsigned char> memory(3 * stride + 16, 0xAB);
    std::memcpy(memory.data(), &c.size, sizeof c.size);
    ASSERT_EQ(quorel_list_devices(reinterpret_cast<QuorelDevice*>(memory.data()), 2), c.result);
    if (c.result < 0) {
      EXPECT_EQ(memory[sizeof c.size], 0xAB) << "nothing is written";
      continue;
    }
    for (size_t i = 0; i < 2; ++i) {
      QuorelDevice entry;
      std::memcpy(&entry, memory.data() + i * c.size, std::min(c.size, sizeof entry));
      EXPECT_EQ(entry.size, c.size);
      EXPECT_EQ(entry.board, i == 0 ? 1 : 0);
      EXPECT_EQ(std::string(entry.path), i == 0 ? board1_ : tree_.dev() + "/hidraw1");
      for (size_t k = sizeof entry; k < c.size; ++k) ASSERT_EQ(memory[i * c.size + k], 0) << "byte " << k;
    }
    EXPECT_EQ(memory[2 * c.size], 0xAB) << "the third entry is not touched";
  }
}

// The bindings' lines grow by the same rule; lines that bind nothing need no
// server, so the listing answers at once.
TEST(CapiBindings, ListBindingsHonoursTheCallersSize) {
  const std::string file = ::testing::TempDir() + "capi-boards.conf";
  std::FILE* out = std::fopen(file.c_str(), "w");
  ASSERT_NE(out, nullptr);
  std::fputs("# two lines that bind nothing\nboard 17 = universe 1 channel 1\nboard 1 = universe 1 channel 482\n", out);
  std::fclose(out);
  ::setenv("QUORELCTL_BOARDS", file.c_str(), 1);
  QuorelBinding lines[3] = {};
  EXPECT_EQ(quorel_list_bindings(lines, 3), QUOREL_E_STRUCT_SIZE);
  lines[0].size = sizeof lines[0];
  EXPECT_EQ(quorel_list_bindings(lines, 3), 2);
  EXPECT_EQ(lines[1].size, sizeof lines[1]);
  EXPECT_EQ(lines[0].line, 2);
  EXPECT_EQ(lines[1].line, 3);
  EXPECT_EQ(lines[1].usable, 0);
  EXPECT_EQ(lines[2].size, 0u) << "the third entry is not touched";
  EXPECT_EQ(quorel_list_bindings(nullptr, 0), 2);
  ::unsetenv("QUORELCTL_BOARDS");
  std::remove(file.c_str());
}

TEST(CapiVersion, TheLibraryIsTheVersionOfItsHeader) {
  EXPECT_EQ(quorel_version(), QUORELCTL_VERSION);
  EXPECT_EQ(QUORELCTL_MAKE_VERSION(1, 2, 3), 0x010203u);
  EXPECT_GE(quorel_version(), QUORELCTL_MAKE_VERSION(1, 0, 0));
}

}  // namespace
