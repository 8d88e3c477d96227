// Servers that a neighbour could put where the module looks for olad: one
// that turns hostile after a normal first answer, and one that another user
// runs. The host must live on, and come back to a good server.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <random>

#include "dmx_support.h"

namespace {

using namespace dmx_test;

std::string Header(uint32_t word) { return std::string(reinterpret_cast<const char*>(&word), sizeof word); }

int Listener(uint16_t* port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 4) != 0) return -1;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  *port = ntohs(address.sin_port);
  return fd;
}

// Passes every byte between the module and olad; on the first connection,
// after olad's first answer, sends `bad` in place of the rest.
class Relay {
 public:
  explicit Relay(std::string bad) : bad_(std::move(bad)), listener_(Listener(&port_)) {
    thread_ = std::thread([this] { Run(); });
  }
  ~Relay() {
    stop_ = true;
    thread_.join();
    close(listener_);
  }
  uint16_t port() const { return port_; }
  int connections() const { return connections_; }

 private:
  void Run() {
    int module = -1, olad = -1;
    std::string to_module;  // what waits for the module to read it
    while (!stop_) {
      pollfd p[3] = {{listener_, POLLIN, 0}, {module, POLLIN, 0}, {olad, POLLIN, 0}};
      if (!to_module.empty()) p[1].events |= POLLOUT;
      if (poll(p, 3, 20) <= 0) continue;
      if (p[0].revents & POLLIN) {
        if (module >= 0) close(module), close(olad);
        module = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        olad = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(kPort);
        connect(olad, reinterpret_cast<sockaddr*>(&address), sizeof address);
        to_module.clear();
        ++connections_;
        continue;
      }
      char buffer[65536];
      if (p[1].revents & POLLIN) {
        // Once hostile, the first connection carries nothing to olad.
        const ssize_t n = read(module, buffer, sizeof buffer);
        if (n > 0 && !(connections_ == 1 && injected_)) send(olad, buffer, n, MSG_NOSIGNAL);
      }
      if (p[2].revents & POLLIN) {
        const ssize_t n = read(olad, buffer, sizeof buffer);
        // The first connection's later answers are replaced by the bad bytes.
        if (n > 0 && !(connections_ == 1 && injected_)) to_module.append(buffer, n);
        if (n > 0 && connections_ == 1 && !injected_) to_module += bad_, injected_ = true;
      }
      if ((p[1].revents & (POLLOUT | POLLERR | POLLHUP)) && !to_module.empty()) {
        const ssize_t n = send(module, to_module.data(), to_module.size(), MSG_NOSIGNAL);
        if (n > 0) to_module.erase(0, n);
        else if (errno != EAGAIN) to_module.clear();
      }
    }
    if (module >= 0) close(module), close(olad);
  }

  const std::string bad_;
  uint16_t port_ = 0;
  const int listener_;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  bool injected_ = false;
  std::thread thread_;
};

struct Hostile {
  const char* name;
  std::string bytes;
};

std::string Random(size_t n) {
  std::mt19937 generator(28);
  std::string bytes(n, '\0');
  for (char& c : bytes) c = static_cast<char>(generator());
  return bytes;
}

// Each kind of bad stream after a good answer: the module drops the
// connection at once and shows the board again within about a second.
TEST(HostileServerTest, ABadStreamIsDroppedAndTheBoardComesBack) {
  const Hostile cases[] = {
      {"a header of another version, then 64 KiB", Header((2u << 28) | 0x10000) + std::string(65536, 'x')},
      {"random bytes", Random(65536)},
      {"a size past libola's limit", Header((1u << 28) | 0x0FFFFFFF) + std::string(4096, 'x')},
      {"a message libola cannot read", Header((1u << 28) | 8) + std::string(8, '\xff')},
  };
  OlaFetch ola(kPort);
  for (const Hostile& c : cases) {
    SCOPED_TRACE(c.name);
    {
      // Straight to olad first: nothing lit is left of the case before.
      Bind("board 1 = universe 1 channel 5 " + Server() + "\n");
      Control direct;
      direct.Send(1, "SBA:0,0,0,0,3");
      ASSERT_EQ(Outputs(ola, All(0)), All(0));
    }
    Relay relay(c.bytes);
    Bind("board 1 = universe 1 channel 5 " + Server(relay.port()) + "\n");
    Control control;
    ASSERT_EQ(control.Detected(), "1000000000000000");
    const double sent = Now();
    control.Send(1, "SBA:255,255,255,255,3");
    Channels seen;
    while (Now() - sent < 3 && seen != All(255)) seen = Outputs(ola, All(255));
    EXPECT_EQ(seen, All(255)) << "the board did not come back";
    EXPECT_LT(Now() - sent, 2.0);
    EXPECT_EQ(relay.connections(), 2);
  }
}

// A server on this machine that neither root nor olad runs gets nothing: the
// board is absent with that reason, without waiting for an answer.
TEST(HostileServerTest, AServerOfAnotherUserIsNotTrusted) {
  if (geteuid() != 0) GTEST_SKIP() << "running a server as another user takes root";
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  if (child == 0) {
    uint16_t port = 0;
    int fd = -1;
    if (setgid(65534) == 0 && setuid(65534) == 0) fd = Listener(&port);
    write(ready[1], &port, sizeof port);
    while (fd >= 0) close(accept(fd, nullptr, nullptr));
    _exit(1);
  }
  uint16_t port = 0;
  ASSERT_EQ(read(ready[0], &port, sizeof port), static_cast<ssize_t>(sizeof port));
  ASSERT_NE(port, 0);
  Bind("board 1 = universe 1 channel 5 " + Server(port) + "\n");
  const Clock::time_point start = Clock::now();
  {
    Control control;
    EXPECT_EQ(control.Detected(), "0000000000000000");
  }
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500)) << "told at once";
  const std::vector<QuorelBinding> lines = quorel::ListBindings();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(std::string(lines[0].reason), "OLA server 127.0.0.1:" + std::to_string(port) +
                                              " is not trusted: run by user 65534, not by root, olad or this user");
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  close(ready[0]);
  close(ready[1]);
}

}  // namespace
