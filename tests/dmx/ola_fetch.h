// Reading a universe back from an olad on a private port, for the tests and
// the figures: one connection, one request at a time, each given up after a
// deadline so that a stuck server holds nothing.
#pragma once

#include <ola/Callback.h>
#include <ola/DmxBuffer.h>
#include <ola/client/OlaClient.h>
#include <ola/io/SelectServer.h>
#include <ola/network/IPV4Address.h>
#include <ola/network/SocketAddress.h>
#include <ola/network/TCPSocket.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "quorelctl/dmx/ola/ola_client_stop.h"

class OlaFetch {
 public:
  explicit OlaFetch(uint16_t port) : port_(port) {}
  ~OlaFetch() { Drop(); }

  // The universe's channels; nullopt when the server is not there (the next
  // call connects again) or did not answer within `timeout_ms`.
  std::optional<std::vector<uint8_t>> Fetch(unsigned universe, int timeout_ms = 1000) {
    if (!client_ && !Connect()) return std::nullopt;
    done_ = false;
    ok_ = false;
    client_->FetchDMX(universe, ola::NewSingleCallback(this, &OlaFetch::Fetched));
    const auto timeout = ss_.RegisterSingleTimeout(timeout_ms, ola::NewSingleCallback(this, &OlaFetch::Stop));
    while (!done_ && !closed_) ss_.RunOnce(ola::TimeInterval(0, 10000));
    ss_.RemoveTimeout(timeout);
    if (!done_ || closed_) {
      Drop();
      return std::nullopt;
    }
    if (!ok_) return std::vector<uint8_t>();  // a universe nobody sent to yet
    return data_;
  }

  // Patches output port `port_id` of device `device` to `universe`.
  bool Patch(unsigned device, unsigned port_id, unsigned universe) {
    if (!client_ && !Connect()) return false;
    done_ = false;
    client_->Patch(device, port_id, ola::client::OUTPUT_PORT, ola::client::PATCH, universe,
                   ola::NewSingleCallback(this, &OlaFetch::Set));
    while (!done_ && !closed_) ss_.RunOnce(ola::TimeInterval(0, 10000));
    return done_ && ok_;
  }

 private:
  bool Connect() {
    socket_.reset(ola::network::TCPSocket::Connect(
        ola::network::IPV4SocketAddress(ola::network::IPV4Address::Loopback(), port_)));
    if (!socket_) return false;
    closed_ = false;
    client_ = std::make_unique<ola::client::OlaClient>(socket_.get());
    client_->Setup();
    close_handler_ = ola::NewSingleCallback(this, &OlaFetch::Closed);
    client_->SetCloseHandler(close_handler_);
    ss_.AddReadDescriptor(socket_.get());
    return true;
  }
  void Drop() {
    quorelctl::StopOlaClient(ss_, socket_, client_, close_handler_, closed_);
  }
  void Fetched(const ola::client::Result& result, const ola::client::DMXMetadata&, const ola::DmxBuffer& data) {
    done_ = true;
    ok_ = result.Success();
    data_.assign(data.GetRaw(), data.GetRaw() + data.Size());
  }
  void Set(const ola::client::Result& result) {
    done_ = true;
    ok_ = result.Success();
  }
  void Stop() { closed_ = true; }
  void Closed() { closed_ = true; }

  uint16_t port_;
  ola::io::SelectServer ss_;
  std::unique_ptr<ola::network::TCPSocket> socket_;
  std::unique_ptr<ola::client::OlaClient> client_;
  std::vector<uint8_t> data_;
  ola::SingleUseCallback0<void>* close_handler_ = nullptr;  // ours until it runs (closed_)
  bool done_ = false, ok_ = false, closed_ = false;
};
