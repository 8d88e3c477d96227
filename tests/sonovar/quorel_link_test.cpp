// The program's link to the board control: a board that is there but cannot
// be opened is explained, with the rule that mends it.
#include "sonovar/effects/quorel_link.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/fake_sysfs.h"

namespace {

TEST(QuorelLinkTest, ABoardThatCannotBeOpenedIsExplainedWithTheRule) {
  testing_support::FakeSysfs tree;
  const std::string node = tree.Add("hidraw0", 0xE7A1, 0x00F0);  // board 1
  ::chmod(node.c_str(), 0);
  ::chmod(std::filesystem::path(tree.sysfs()).parent_path().c_str(), 0755);
  tree.Activate();
  // As root a node's permissions stop nobody: the link is made as "nobody".
  auto check = [&] {
    auto link = sonovar::CreateQuorelLink();
    const std::string report = link->UnusableBoardsReport();
    return link->Detected() == std::string(16, '0') &&
           report.find(node + ": board 1, not usable: cannot be opened: Permission denied") != std::string::npos &&
           report.find("SUBSYSTEM==\"hidraw\"") != std::string::npos;
  };
  bool ok;
  if (::geteuid() != 0) {
    ok = check();
  } else {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(::setgid(65534) == 0 && ::setuid(65534) == 0 && check() ? 0 : 1);
    int status = 0;
    ok = ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  EXPECT_TRUE(ok);
  // Once it can be opened there is nothing to explain.
  ::chmod(node.c_str(), 0600);
  if (::geteuid() == 0) {
    EXPECT_EQ(sonovar::CreateQuorelLink()->UnusableBoardsReport(), "");
  }
  tree.Deactivate();
}

}  // namespace
