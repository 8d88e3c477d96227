// What the library's report header tells a person: where the bindings file
// was looked for, why a board number is not usable, and the devices report.
#include <gtest/gtest.h>

#include <cstring>

#include "quorelctl_report.hpp"

namespace {

QuorelDevice Device(const char* path, int board, bool usable, const char* reason) {
  QuorelDevice d{};
  std::strcpy(d.path, path);
  d.board = board;
  d.usable = usable;
  std::strcpy(d.reason, reason);
  return d;
}

QuorelBinding Binding(int board, bool usable, const char* reason) {
  QuorelBinding b{};
  std::strcpy(b.file, "/home/u/.config/quorelctl/boards.conf");
  b.line = 1;
  b.board = board;
  b.usable = usable;
  std::strcpy(b.description, "DMX universe 1, channels 1-32, via 127.0.0.1:9010");
  std::strcpy(b.reason, reason);
  return b;
}

TEST(ReportTest, BindingsPlacesFollowTheLibrarysOrder) {
  using Places = std::vector<std::string>;
  EXPECT_EQ(quorel::BindingsPlaces("/tmp/b.conf", "/x", "/home/u"), Places{"/tmp/b.conf"});
  EXPECT_EQ(quorel::BindingsPlaces("", "/x", "/home/u"), (Places{"/x/quorelctl/boards.conf", "/etc/quorelctl/boards.conf"}));
  EXPECT_EQ(quorel::BindingsPlaces(nullptr, "rel", "/home/u"),
            (Places{"/home/u/.config/quorelctl/boards.conf", "/etc/quorelctl/boards.conf"}));
  EXPECT_EQ(quorel::BindingsPlaces(nullptr, nullptr, nullptr), Places{"/etc/quorelctl/boards.conf"});
}

TEST(ReportTest, BoardAbsenceGivesTheReasonThatCounts) {
  const std::vector<QuorelDevice> devices = {Device("/dev/hidraw0", 1, false, "cannot be opened: Permission denied"),
                                             Device("/dev/hidraw1", 2, true, ""),
                                             Device("/dev/hidraw2", 3, false, "board 3 is bound to DMX universe 1")};
  const std::vector<QuorelBinding> bindings = {Binding(3, false, "OLA server 127.0.0.1:9010 does not answer")};
  const struct {
    int board;
    std::string why;
  } rows[] = {{1, "/dev/hidraw0 cannot be used: cannot be opened: Permission denied"},
              {2, ""},
              {3, "DMX universe 1, channels 1-32, via 127.0.0.1:9010, not usable: OLA server 127.0.0.1:9010 does not answer"},
              {4, "not connected (neither plugged in nor bound to a DMX universe)"}};
  for (const auto& row : rows) EXPECT_EQ(quorel::BoardAbsence(row.board, devices, bindings), row.why) << row.board;
}

TEST(ReportTest, DevicesReportNamesThePlacesWhenNoFileWasFound) {
  const std::string none = quorel::DevicesReport({}, {}, {"/home/u/.config/quorelctl/boards.conf", "/etc/x"}, "RULE");
  EXPECT_EQ(none, "no HID devices found\n\nno bindings file, so no board is bound to a DMX universe; looked for:\n"
                  "  /home/u/.config/quorelctl/boards.conf\n  /etc/x\n");
  QuorelDevice denied = Device("/dev/hidraw0", 1, false, "cannot be opened: Permission denied");
  denied.vendor_id = 0xE7A1;
  denied.output_report_length = 9;
  denied.permission_denied = 1;
  const std::string report = quorel::DevicesReport({denied}, {Binding(2, true, "")}, {}, "RULE");
  EXPECT_EQ(report.substr(0, report.find("\n\nA board")),
            "device                   vid:pid   report status\n"
            "/dev/hidraw0             e7a1:0000 9      board 1, not usable: cannot be opened: Permission denied\n"
            "\nboards bound to DMX universes (/home/u/.config/quorelctl/boards.conf):\n"
            "board 2  DMX universe 1, channels 1-32, via 127.0.0.1:9010");
  EXPECT_NE(report.find("echo 'RULE'"), std::string::npos);
}

}  // namespace
