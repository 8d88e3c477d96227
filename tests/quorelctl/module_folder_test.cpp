// Where the library looks for its OLA module when it is linked into a
// program, as here: never where argv[0] or the working folder points.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/module.h"
#include "quorelctl/dmx/dmx_module.h"

namespace {

// The OLA transport's module, as the transports table names it.
const std::string kOlaModule = std::string("quorelctl-ola") + platform::kModuleSuffix;

// In the program started under another name by the test below: what the
// library makes of the module, on standard output, before any test runs.
[[maybe_unused]] const bool kReported = [] {
  if (std::getenv("QUORELCTL_TEST_MODULE_REPORT") == nullptr) return false;
  std::string reason;
  const void* entry = platform::ModuleSymbol(kOlaModule, QUORELCTL_DMX_MODULE_ENTRY, &reason);
  std::printf("folder [%s] %s\n", platform::ModuleFolder().c_str(), entry != nullptr ? "loaded" : reason.c_str());
  std::fflush(stdout);
  ::_exit(0);
}();

// The program started by a bare name from a folder where someone planted
// quorelctl/quorelctl-ola.so, as from a PATH entry there.
TEST(ModuleFolderTest, APlantedModuleBesideTheWorkingFolderIsNeverTried) {
  char pattern[] = "/tmp/module-folder-XXXXXX";
  const std::string planted = ::mkdtemp(pattern);
  std::filesystem::create_directory(planted + "/quorelctl");
  std::ofstream(planted + "/quorelctl/" + kOlaModule) << "planted";
  const std::string self = std::filesystem::read_symlink("/proc/self/exe");
  const std::string out = planted + "/out";
  const pid_t child = ::fork();
  if (child == 0) {
    const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || ::dup2(fd, STDOUT_FILENO) < 0 || ::chdir(planted.c_str()) != 0) ::_exit(2);
    ::setenv("QUORELCTL_TEST_MODULE_REPORT", "1", 1);
    ::execl(self.c_str(), "quorelctl_tests", nullptr);
    ::_exit(3);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  std::ifstream in(out);
  const std::string report{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::filesystem::remove_all(planted);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << report;
  ASSERT_NE(report.find("folder ["), std::string::npos) << report;
  EXPECT_EQ(report.find("folder [/"), report.find("folder [")) << "an absolute folder: " << report;
  EXPECT_EQ(report.find("./quorelctl"), std::string::npos) << report;
  EXPECT_EQ(report.find(planted), std::string::npos) << report;
}

}  // namespace
