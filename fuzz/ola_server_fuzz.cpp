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
#include <memory>
#include <vector>

#include "quorelctl/dmx/ola/checked_socket.h"
#include "quorelctl/dmx/ola/ola_client_stop.h"

namespace {

void Listed(const ola::client::Result&, const std::vector<ola::client::OlaUniverse>&) {}
void Sent(const ola::client::Result&) {}

struct Session {
  ola::io::SelectServer ss;
  std::unique_ptr<quorelctl::CheckedSocket> socket;
  std::unique_ptr<ola::client::OlaClient> client;
  ola::SingleUseCallback0<void>* close_handler = nullptr;
  bool closed = false;
  void Closed() { closed = true; }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  ola::InitLogging(ola::OLA_LOG_NONE, ola::OLA_LOG_STDERR);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // All of it must fit in the socket's buffer, written before the client runs.
  if (size > 64 * 1024) return 0;
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return 0;
  const int buffer = 256 * 1024;
  setsockopt(ends[1], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
  setsockopt(ends[0], SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
  for (size_t sent = 0; sent < size;) {
    const ssize_t n = send(ends[1], data + sent, size - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  shutdown(ends[1], SHUT_WR);

  Session s;
  s.socket = std::make_unique<quorelctl::CheckedSocket>(ends[0]);
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
