#include "sonovar/show/timed_link.h"

namespace sonovar {

bool TimedLink::Hold(int64_t due_us, int64_t now_us) {
  holding_ = due_us > now_us || !entries_.empty();
  if (!holding_) return false;
  if (spare_.empty()) {
    entries_.emplace_back();
  } else {
    entries_.push_back(std::move(spare_.back()));
    spare_.pop_back();
  }
  entries_.back().due_us = due_us;
  return true;
}

void TimedLink::AttachView(const ShowView& view) {
  if (holding_) entries_.back().view = view;
}

TimedLink::Entry* TimedLink::Target() { return entries_.empty() ? nullptr : &entries_.back(); }

void TimedLink::Keep(Entry& entry, Kind kind, int16_t value, std::string_view text) {
  entry.calls.push_back({kind, !holding_, value, static_cast<uint32_t>(entry.text.size()),
                         static_cast<uint32_t>(text.size())});
  entry.text.append(text);
}

int TimedLink::SetDeviceNumber(std::string_view number) {
  Entry* entry = Target();
  if (entry == nullptr) return link_->SetDeviceNumber(number);
  Keep(*entry, Kind::kSelect, 0, number);
  // Taken as selected: whether the board is there is known when it is sent.
  return 0;
}

void TimedLink::SetCommand(std::string_view text) {
  Entry* entry = Target();
  if (entry == nullptr) return link_->SetCommand(text);
  Keep(*entry, Kind::kCommand, 0, text);
}

void TimedLink::SetFastCom(bool on) {
  Entry* entry = Target();
  if (entry == nullptr) return link_->SetFastCom(on);
  Keep(*entry, Kind::kFastCom, on ? 1 : 0, {});
}

void TimedLink::SetCompatibilityDelay(int16_t milliseconds) {
  Entry* entry = Target();
  if (entry == nullptr) return link_->SetCompatibilityDelay(milliseconds);
  Keep(*entry, Kind::kCompatibilityDelay, milliseconds, {});
}

void TimedLink::Send(const Entry& entry, const Call& call) {
  const std::string_view text = std::string_view(entry.text).substr(call.text_at, call.text_size);
  switch (call.kind) {
    case Kind::kSelect: refused_ = link_->SetDeviceNumber(text) != 0; break;
    case Kind::kCommand:
      if (!refused_) link_->SetCommand(text);
      break;
    case Kind::kFastCom: link_->SetFastCom(call.value != 0); break;
    case Kind::kCompatibilityDelay: link_->SetCompatibilityDelay(call.value); break;
  }
}

void TimedLink::Recycle() {
  Entry& entry = entries_.front();
  entry.calls.clear();
  entry.text.clear();
  entry.view.reset();
  spare_.push_back(std::move(entry));
  entries_.pop_front();
}

void TimedLink::SendDue(int64_t now_us, const std::function<void(const ShowView&)>& publish) {
  // The entry being held is not complete yet.
  const size_t complete = entries_.size() - (holding_ ? 1 : 0);
  for (size_t sent = 0; sent < complete && entries_.front().due_us <= now_us; ++sent) {
    Entry& entry = entries_.front();
    // Long overdue with a newer entry due behind it (the delay shrank, or
    // the thread was held): its sound's writes are the past, and played
    // through in a burst they would flicker; the newer one shows the
    // present. What the user steered still goes.
    const bool stale = entry.due_us < now_us - kStaleUs && sent + 1 < complete && entries_[1].due_us <= now_us;
    for (const Call& call : entry.calls)
      if (!stale || call.steered) Send(entry, call);
    const std::optional<ShowView> view = entry.view;
    Recycle();
    if (view && publish) publish(*view);
  }
}

void TimedLink::DropSound() {
  holding_ = false;
  while (!entries_.empty()) {
    for (const Call& call : entries_.front().calls)
      if (call.steered) Send(entries_.front(), call);
    Recycle();
  }
}

}  // namespace sonovar
