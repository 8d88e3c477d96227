// The connection to an OLA server as libola sees it: libola reads a header,
// then the body it announced, and this hands over only headers the frame
// check accepts, each whole, and never more of a body than announced, so
// that what libola keeps of the stream always matches what arrived.
#pragma once

#include <ola/network/TCPSocket.h>

#include <algorithm>
#include <cstring>

#include "quorelctl/dmx/ola/frame_check.h"

namespace quorelctl {

class CheckedSocket : public ola::network::TCPSocket {
 public:
  using ola::network::TCPSocket::TCPSocket;

  // A frame broke the rules: the connection is to be dropped, and until then
  // libola gets nothing more from it.
  bool refused() const { return refused_; }
  // libola closes the channel itself on a message it cannot read, and runs
  // no close handler then; the select server would keep the record of a
  // descriptor that can no longer be taken out, and find it again under
  // the next connection's number. So the socket is only marked here, and
  // dropped as any other lost connection is (the destructor closes it).
  bool Close() override {
    closed_by_libola_ = true;
    return true;
  }
  bool closed_by_libola() const { return closed_by_libola_; }

  int Receive(uint8_t* buffer, unsigned int size, unsigned int& data_read) override {
    data_read = 0;
    if (refused_ || closed_by_libola_) return -1;
    if (!check_.AtHeader()) {
      // Never past the body's end: the next header stays in the socket, so
      // the socket stays ready to read while a frame is left in it.
      const int result = TCPSocket::Receive(buffer, std::min<unsigned>(size, check_.BodyLeft()), data_read);
      if (result == 0) check_.TookBody(data_read);
      return result;
    }
    // libola asks for a header whole and takes a short read for one (it
    // decodes whatever bytes it got): a part of one is kept here instead.
    if (size != kOlaHeaderBytes) return Refuse();
    unsigned int got = 0;
    const int result = TCPSocket::Receive(header_ + have_, kOlaHeaderBytes - have_, got);
    if (result != 0) return result;
    have_ += got;
    if (have_ < kOlaHeaderBytes) return 0;
    have_ = 0;
    if (!check_.TakeHeader(header_)) return Refuse();
    std::memcpy(buffer, header_, kOlaHeaderBytes);
    data_read = kOlaHeaderBytes;
    return 0;
  }

 private:
  int Refuse() {
    refused_ = true;
    return -1;
  }

  OlaFrameCheck check_;
  uint8_t header_[kOlaHeaderBytes] = {};
  unsigned have_ = 0;
  bool refused_ = false;
  bool closed_by_libola_ = false;
};

}  // namespace quorelctl
