// Ends an OLA client connection watched by a select server, freeing what
// the client itself leaves behind.
#pragma once

#include <ola/Callback.h>
#include <ola/client/OlaClient.h>
#include <ola/io/SelectServer.h>
#include <ola/network/TCPSocket.h>

#include <memory>

namespace quorelctl {

// `close_handler` is the single-use callback given to SetCloseHandler;
// `closed` says whether it has run (and so freed itself). The client
// forgets its close handler without freeing it.
template <typename Socket>
void StopOlaClient(ola::io::SelectServer& ss, std::unique_ptr<Socket>& socket,
                          std::unique_ptr<ola::client::OlaClient>& client,
                          ola::SingleUseCallback0<void>* close_handler, bool closed) {
  if (!client) return;
  ss.RemoveReadDescriptor(socket.get());
  client->SetCloseHandler(nullptr);
  if (!closed) delete close_handler;
  client->Stop();
  client.reset();
  socket.reset();
}

}  // namespace quorelctl
