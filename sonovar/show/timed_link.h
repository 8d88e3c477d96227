// The board link with a light delay: what a buffer makes the show send is
// held until that buffer's sound is heard, then sent in the order it was
// made. An input that monitors what the computer plays hands its sound over
// long before the speaker plays it (hundreds of milliseconds on wireless
// speakers); sent at once, the lights would run ahead of the music.
//
// Threads: the show's thread only, like the link it wraps.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sonovar/effects/board_link.h"
#include "sonovar/show/show_core.h"

namespace sonovar {

class TimedLink final : public BoardLink {
 public:
  explicit TimedLink(std::unique_ptr<BoardLink> link) : link_(std::move(link)) {}

  // Until EndHold, what the link is told waits to go out at `due_us`
  // (steady clock, microseconds), unless it is due by `now_us` and nothing
  // waits before it: then it goes at once, as without a delay. True when
  // it waits.
  bool Hold(int64_t due_us, int64_t now_us);
  void EndHold() { holding_ = false; }
  // The view to publish once the held entry goes out (a tick ran in it).
  void AttachView(const ShowView& view);

  // What the user steers while entries wait (a board click, TURBO) goes
  // out behind them, so that the boards get everything in the order the
  // show made it.
  bool Waiting() const { return !entries_.empty(); }
  int64_t NextDue() const { return entries_.front().due_us; }

  // Sends every entry due by `now_us`, oldest first, and hands each view
  // that went with one to `publish`. The sound's writes of an entry more
  // than kStaleUs overdue are left out when a newer entry is due as well.
  static constexpr int64_t kStaleUs = 50000;
  void SendDue(int64_t now_us, const std::function<void(const ShowView&)>& publish);
  // The capture ended: what the sound made is dropped, what the user
  // steered still goes out, at once.
  void DropSound();

  std::string Detected() override { return link_->Detected(); }
  int SetDeviceNumber(std::string_view number) override;
  void SetCommand(std::string_view text) override;
  void SetFastCom(bool on) override;
  void SetCompatibilityDelay(int16_t milliseconds) override;
  std::string UnusableBoardsReport() override { return link_->UnusableBoardsReport(); }

 private:
  enum class Kind : uint8_t { kSelect, kCommand, kFastCom, kCompatibilityDelay };
  struct Call {
    Kind kind;
    bool steered;  // from the user's steering, not from the sound
    int16_t value;
    uint32_t text_at, text_size;  // in the entry's text
  };
  // An entry's texts share one string, and emptied entries are kept for
  // their capacity: holding costs no allocation once the queue has grown.
  struct Entry {
    int64_t due_us = 0;
    std::vector<Call> calls;
    std::string text;
    std::optional<ShowView> view;
  };

  // Where a call goes: the held entry, behind the waiting ones, or at once.
  Entry* Target();
  void Keep(Entry& entry, Kind kind, int16_t value, std::string_view text);
  void Send(const Entry& entry, const Call& call);
  void Recycle();

  std::unique_ptr<BoardLink> link_;
  std::deque<Entry> entries_;
  std::vector<Entry> spare_;
  bool holding_ = false;
  // A selection refused while sending: the commands behind it are not
  // sent, as a refused selection sends nothing without a delay.
  bool refused_ = false;
};

}  // namespace sonovar
