#include "sonovar/show/timed_link.h"

namespace sonovar {

bool TimedLink::Hold(int64_t due_us, int64_t now_us) {
  holding_ = due_us > now_us || !entries_.empty();
  if (!holding_) return false;
  Entry& entry = entries_.emplace_back();
  entry.due_us = due_us;
  if (!spare_.empty()) {
    entry.calls = std::move(spare_.back());
    spare_.pop_back();
  }
  return true;
}

void TimedLink::AttachView(const ShowView& view) {
  if (holding_) entries_.back().view = view;
}

TimedLink::Entry* TimedLink::Target() { return entries_.empty() ? nullptr : &entries_.back(); }

int TimedLink::SetDeviceNumber(std::string_view number) {
  Entry* entry = Target();
  if (entry == nullptr) return link_->SetDeviceNumber(number);
  entry->calls.push_back({Kind::kSelect, !holding_, 0, std::string(number)});
  // Taken as selected: whether the board is there is known when it is sent.
  return 0;
}

void TimedLink::SetCommand(std::string_view text) {
  Entry* entry = Target();
  if (entry == nullptr) return link_->SetCommand(text);
  entry->calls.push_back({Kind::kCommand, !holding_, 0, std::string(text)});
}

void TimedLink::SetFastCom(bool on) {
  Entry* entry = Target();
  if (entry == nullptr) return link_->SetFastCom(on);
  entry->calls.push_back({Kind::kFastCom, !holding_, static_cast<int16_t>(on ? 1 : 0), {}});
}

void TimedLink::SetCompatibilityDelay(int16_t milliseconds) {
  Entry* entry = Target();
  if (entry == nullptr) return link_->SetCompatibilityDelay(milliseconds);
  entry->calls.push_back({Kind::kCompatibilityDelay, !holding_, milliseconds, {}});
}

void TimedLink::Send(const Call& call) {
  switch (call.kind) {
    case Kind::kSelect: refused_ = link_->SetDeviceNumber(call.text) != 0; break;
    case Kind::kCommand:
      if (!refused_) link_->SetCommand(call.text);
      break;
    case Kind::kFastCom: link_->SetFastCom(call.value != 0); break;
    case Kind::kCompatibilityDelay: link_->SetCompatibilityDelay(call.value); break;
  }
}

void TimedLink::Recycle(Entry& entry) {
  entry.calls.clear();
  spare_.push_back(std::move(entry.calls));
  entries_.pop_front();
}

void TimedLink::SendDue(int64_t now_us, const std::function<void(const ShowView&)>& publish) {
  // The entry being held is not complete yet.
  const size_t complete = entries_.size() - (holding_ ? 1 : 0);
  for (size_t sent = 0; sent < complete && entries_.front().due_us <= now_us; ++sent) {
    Entry& entry = entries_.front();
    for (const Call& call : entry.calls) Send(call);
    const std::optional<ShowView> view = std::move(entry.view);
    Recycle(entry);
    if (view && publish) publish(*view);
  }
}

void TimedLink::DropSound() {
  holding_ = false;
  while (!entries_.empty()) {
    for (const Call& call : entries_.front().calls)
      if (call.steered) Send(call);
    Recycle(entries_.front());
  }
}

}  // namespace sonovar
