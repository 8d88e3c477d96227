#include "quorelctl/dmx/dmx_boards.h"

#include <algorithm>

#include "platform/module.h"

namespace quorelctl {

namespace {

const QuorelDmxModule* LoadModule(std::string* reason) {
  void* entry = platform::ModuleSymbol(QUORELCTL_DMX_MODULE_FILE, QUORELCTL_DMX_MODULE_ENTRY, reason);
  if (entry == nullptr) return nullptr;
  const QuorelDmxModule* module = reinterpret_cast<QuorelDmxModuleEntry>(entry)();
  if (module == nullptr || module->abi != QUORELCTL_DMX_MODULE_ABI) {
    *reason = std::string(QUORELCTL_DMX_MODULE_FILE) + " is of another version of the library";
    return nullptr;
  }
  return module;
}

// Why a link's server serves no board: silent, or not trusted.
std::string Unanswered(const QuorelDmxModule& module, QuorelDmxLink* link, const std::string& server) {
  uint32_t uid = 0;
  if (module.refused_owner(link, &uid) == 0) return "OLA server " + server + " does not answer";
  const std::string who = uid == QUORELCTL_DMX_UNKNOWN_OWNER ? "a user that cannot be told" : "user " + std::to_string(uid);
  return "OLA server " + server + " is not trusted: run by " + who + ", not by root, olad or this user";
}

}  // namespace

std::string BindingStatus::description() const {
  return "DMX universe " + std::to_string(binding.universe) + ", channels " + std::to_string(binding.first_channel) +
         "-" + std::to_string(binding.first_channel + 31) + ", via " + binding.server();
}

DmxBoards::DmxBoards(BindingsFile file) : file_(std::move(file)) {
  binding_.fill(-1);
  for (const Binding& b : file_.bindings) {
    binding_[b.board] = static_cast<int>(status_.size());
    status_.push_back({b, false, {}});
  }
  if (status_.empty()) return;

  std::string reason;
  module_ = LoadModule(&reason);
  if (module_ == nullptr) {
    for (BindingStatus& s : status_) s.reason = "no OLA support: " + reason;
    return;
  }
  // Every link starts connecting at once, so that servers that do not answer
  // cost the creation one wait, not one each.
  for (BindingStatus& s : status_) {
    const std::string server = s.binding.server();
    auto it = std::find_if(links_.begin(), links_.end(), [&](const Link& l) { return l.server == server; });
    if (it == links_.end()) {
      links_.push_back({server, module_->open(s.binding.host.c_str(), s.binding.port)});
      it = links_.end() - 1;
    }
    link_of_[s.binding.board] = it->link;
  }
  const auto deadline = std::chrono::steady_clock::now() + kServerAnswerWait;
  std::vector<bool> answered(links_.size());
  for (size_t i = 0; i < links_.size(); ++i) {
    if (links_[i].link == nullptr) continue;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    answered[i] = module_->wait_answer(links_[i].link, static_cast<int>(std::max<int64_t>(0, left.count()))) == 1;
  }
  for (BindingStatus& s : status_) {
    const size_t i = std::find_if(links_.begin(), links_.end(),
                                  [&](const Link& l) { return l.server == s.binding.server(); }) -
                     links_.begin();
    s.usable = answered[i];
    if (links_[i].link == nullptr) s.reason = "no thread could be started for OLA server " + s.binding.server();
    else if (!s.usable) s.reason = Unanswered(*module_, links_[i].link, s.binding.server());
  }
  // A server that did not answer serves no board: its link stops now.
  for (size_t i = 0; i < links_.size(); ++i) {
    if (answered[i] || links_[i].link == nullptr) continue;
    module_->close(links_[i].link);
    for (QuorelDmxLink*& l : link_of_)
      if (l == links_[i].link) l = nullptr;
    links_[i].link = nullptr;
  }
}

DmxBoards::~DmxBoards() {
  for (Link& l : links_)
    if (l.link != nullptr) module_->close(l.link);
}

void DmxBoards::Show(int n, const LedModule& m) {
  if (!Present(n) || link_of_[n] == nullptr) return;
  const Binding& b = status_[binding_[n]].binding;
  QuorelDmxBoard state{};
  state.universe = b.universe;
  state.first_channel = static_cast<uint16_t>(b.first_channel);
  // The commands keep every slot within a byte.
  for (int bank = 0; bank < 4; ++bank) state.banks[bank] = static_cast<uint8_t>(m.BankState[n][bank + 1]);
  state.gps = static_cast<uint8_t>(m.BankState[n][5]);
  for (int k = 0; k < kOutputs; ++k) state.profile[k] = static_cast<uint8_t>(m.OutputProfile[n][k]);
  module_->show(link_of_[n], n, &state);
}

QuorelDmxStats DmxBoards::Stats() const {
  QuorelDmxStats sum{};
  for (const Link& l : links_) {
    if (l.link == nullptr) continue;
    QuorelDmxStats s{};
    module_->stats(l.link, &s);
    sum.frames_sent += s.frames_sent;
    sum.frames_acknowledged += s.frames_acknowledged;
    sum.connects += s.connects;
  }
  return sum;
}

}  // namespace quorelctl
