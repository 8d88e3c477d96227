// Pacing of a capture thread that a sound server wakes for every piece it
// sends. A server's pieces follow its own rendering, often a fifth of a
// capture buffer each; waking for every one costs more than the sound's
// analysis. Between a buffer's pieces nothing can be done with them anyway,
// so the thread may leave them waiting in the connection until the buffer
// could be nearly full, and read them all at one wake-up.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>

namespace platform {

class ReadPacer {
 public:
  explicit ReadPacer(double bytes_per_second) : bytes_per_second_(bytes_per_second) {}

  // A piece the server sent. The largest recent piece is what may arrive
  // at once (a server often sends a large piece and a tiny one together);
  // it fades by a sixty-fourth a piece, so that a server that changes to
  // smaller pieces is followed within a second or two.
  void Piece(size_t bytes) { largest_piece_ = std::max(static_cast<double>(bytes), largest_piece_ * 63 / 64); }

  // How long the pieces may wait once everything the connection held has
  // been read and `bytes_until_done` more complete the owner's buffer: the
  // time those bytes take at the stream's pace, less one largest piece, so
  // that the completing piece still finds the thread listening even when
  // it comes a piece early. Zero (listen at once) when the wait would not
  // span a piece (what is missing is less than two pieces), and when the
  // owner is behind (nothing missing).
  std::chrono::microseconds Hold(size_t bytes_until_done) const {
    const double missing = static_cast<double>(bytes_until_done);
    if (largest_piece_ <= 0 || missing < 2 * largest_piece_) return std::chrono::microseconds(0);
    return std::chrono::microseconds(static_cast<long long>((missing - largest_piece_) * 1e6 / bytes_per_second_));
  }

 private:
  const double bytes_per_second_;
  double largest_piece_ = 0;  // bytes; 0 until the first piece
};

}  // namespace platform
