// A sound server that takes the connection and never answers: listing and
// opening give up in bounded time instead of holding the window.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/wavein_backend.h"
#include "support/watchdog.h"

namespace platform {
namespace {

class SilentServer {
 public:
  SilentServer() {
    char pattern[] = "/tmp/sonovar-silent-XXXXXX";
    dir_ = ::mkdtemp(pattern);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = dir_ + "/native";
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // Connections wait in the backlog: accepted by the system, never answered.
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd_, 16) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
    const char* previous = std::getenv("PULSE_SERVER");
    if (previous != nullptr) previous_ = previous;
    ::setenv("PULSE_SERVER", ("unix:" + path).c_str(), 1);
  }
  ~SilentServer() {
    if (previous_.empty()) ::unsetenv("PULSE_SERVER");
    else ::setenv("PULSE_SERVER", previous_.c_str(), 1);
    if (fd_ >= 0) ::close(fd_);
    std::filesystem::remove_all(dir_);
  }
  bool ok() const { return fd_ >= 0; }

 private:
  std::string dir_, previous_;
  int fd_ = -1;
};

TEST(PulseSilentServerTest, ListingAndOpeningGiveUp) {
  auto backend = MakePulseBackend();
  if (!backend) GTEST_SKIP() << "built without the sound-server backend";
  SilentServer server;
  ASSERT_TRUE(server.ok());
  struct Sink : CaptureSink {
    void Deliver(const uint8_t*, size_t, int64_t) override {}
  } sink;
  testing_support::MustReturnWithin(std::chrono::seconds(20), "listing and opening on a silent server", [&] {
    EXPECT_TRUE(backend->List().empty());
    EXPECT_EQ(backend->Open(BackendDevice{"Monitor of Speakers", true, true, "speakers.monitor"}, sink), nullptr);
  });
}

}  // namespace
}  // namespace platform
