// An OLA server's side of the module's connection: the client asks what the
// module asks (the universe list, then a frame), and the input is everything
// the server sends back. libola itself is not instrumented, but the sanitizer
// checks every read() it makes into its buffers.
#include <sys/socket.h>
#include <unistd.h>

#include <ola/Callback.h>
#include <ola/DmxBuffer.h>
#include <ola/Logging.h>
#include <ola/client/OlaClient.h>
#include <ola/io/SelectServer.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "quorelctl/dmx/ola/checked_socket.h"
#include "quorelctl/dmx/ola/ola_client_stop.h"

namespace {

void Listed(const ola::client::Result&, const std::vector<ola::client::OlaUniverse>&) {}
void Sent(const ola::client::Result&) {}

// What libola gets, checked again on its own: whole headers of the one
// version within the size limit, and bodies no longer than announced. libola
// is not instrumented, so a frame it mishandles may corrupt its heap without
// a report; handing it one is the finding.
class Witness : public quorelctl::CheckedSocket {
 public:
  using CheckedSocket::CheckedSocket;
  int Receive(uint8_t* buffer, unsigned int size, unsigned int& data_read) override {
    const int result = CheckedSocket::Receive(buffer, size, data_read);
    if (result != 0 || data_read == 0) return result;
    if (body_left_ == 0) {
      uint32_t word = 0;
      if (data_read != sizeof word) std::abort();
      std::memcpy(&word, buffer, sizeof word);
      body_left_ = word & 0x0FFFFFFF;
      if (word >> 28 != 1 || body_left_ == 0 || body_left_ > quorelctl::kLargestOlaFrame) std::abort();
    } else {
      if (data_read > body_left_) std::abort();
      body_left_ -= data_read;
    }
    return result;
  }

 private:
  uint32_t body_left_ = 0;
};

struct Session {
  ola::io::SelectServer ss;
  std::unique_ptr<Witness> socket;
  std::unique_ptr<ola::client::OlaClient> client;
  ola::SingleUseCallback0<void>* close_handler = nullptr;
  bool closed = false;
  void Closed() { closed = true; }
};

}  // namespace

// libola 0.10.9 frees neither a request still waiting for its answer nor
// its callback when the client is stopped (tests/dmx/lsan.supp too).
extern "C" const char* __lsan_default_suppressions() {
  return "leak:ola::rpc::RpcChannel::CallMethod\nleak:ola::client::OlaClientCore::FetchUniverseList\n";
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  ola::InitLogging(ola::OLA_LOG_NONE, ola::OLA_LOG_STDERR);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // All of it must fit in the socket's buffer, written before the client
  // runs. Not blocking, as the module's socket: libola reads until a read
  // would block.
  if (size > 64 * 1024) return 0;
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends) != 0) return 0;
  const int buffer = 256 * 1024;
  setsockopt(ends[1], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
  setsockopt(ends[0], SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
  for (size_t sent = 0; sent < size;) {
    const ssize_t n = send(ends[1], data + sent, size - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  // The server's end stays open: the select server takes a closed peer for
  // gone at once, before reading what it left.

  Session s;
  s.socket = std::make_unique<Witness>(ends[0]);
  s.client = std::make_unique<ola::client::OlaClient>(s.socket.get());
  s.client->Setup();
  s.close_handler = ola::NewSingleCallback(&s, &Session::Closed);
  s.client->SetCloseHandler(s.close_handler);
  s.ss.AddReadDescriptor(s.socket.get());
  s.client->FetchUniverseList(ola::NewSingleCallback(&Listed));
  const uint8_t levels[32] = {1, 2, 3};
  s.client->SendDMX(1, ola::DmxBuffer(levels, sizeof levels),
                    ola::client::SendDMXArgs(ola::NewSingleCallback(&Sent)));
  // Each turn reads one part of a frame at most; the input has fewer parts.
  for (size_t turn = 0; turn < size + 4 && !s.closed && !s.socket->refused() && !s.socket->closed_by_libola(); ++turn)
    s.ss.RunOnce(ola::TimeInterval(0, 0));
  quorelctl::StopOlaClient(s.ss, s.socket, s.client, s.close_handler, s.closed);
  close(ends[1]);
  return 0;
}
