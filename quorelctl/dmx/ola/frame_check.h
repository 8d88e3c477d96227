// What an OLA server may send a client, checked before libola reads it.
// libola trusts the stream: after a header of a version it does not know it
// keeps the announced size and reads the next body into a buffer never sized
// for it, and a size past its own limit makes it close the channel without
// telling its owner. Every frame is held to what olad itself sends instead.
#pragma once

#include <cstdint>
#include <cstring>

namespace quorelctl {

// A frame: a header in the machine's byte order (the protocol's version in
// the top 4 bits, the body's size in the other 28), then the body.
inline constexpr uint32_t kOlaProtocolVersion = 1;
inline constexpr unsigned kOlaHeaderBytes = 4;
// Far above olad's answers to what the module asks (a universe list, an
// acknowledged frame) and below libola's own limit, so that no frame this
// lets through makes libola close the channel for its size.
inline constexpr uint32_t kLargestOlaFrame = 256 * 1024;

class OlaFrameCheck {
 public:
  // The next bytes are a header (none of a body is left to come).
  bool AtHeader() const { return body_left_ == 0; }
  uint32_t BodyLeft() const { return body_left_; }

  // A whole header: false when no frame of its version or size may follow;
  // the stream is then beyond saving.
  bool TakeHeader(const uint8_t (&header)[kOlaHeaderBytes]) {
    uint32_t word = 0;
    std::memcpy(&word, header, sizeof word);
    const uint32_t version = word >> 28, size = word & 0x0FFFFFFF;
    if (version != kOlaProtocolVersion || size == 0 || size > kLargestOlaFrame) return false;
    body_left_ = size;
    return true;
  }

  void TookBody(uint32_t bytes) { body_left_ -= bytes < body_left_ ? bytes : body_left_; }

 private:
  uint32_t body_left_ = 0;
};

}  // namespace quorelctl
