#include "quorelctl/dmx/dmx_boards.h"

#include <algorithm>

#include "platform/module.h"

namespace quorelctl {

namespace {

// The module of `transport`: its own file beside the library, with the
// system's suffix for modules.
const QuorelDmxModule* LoadModule(const Transport& transport, std::string* reason) {
  const std::string file = std::string(transport.module) + platform::kModuleSuffix;
  void* entry = platform::ModuleSymbol(file, QUORELCTL_DMX_MODULE_ENTRY, reason);
  if (entry == nullptr) return nullptr;
  const QuorelDmxModule* module = reinterpret_cast<QuorelDmxModuleEntry>(entry)();
  if (module == nullptr || module->abi != QUORELCTL_DMX_MODULE_ABI) {
    *reason = file + " is of another version of the library";
    return nullptr;
  }
  return module;
}

// Why a link's server serves no board: silent, or not trusted.
// Why a server did not answer: `server` names it ("OLA server 127.0.0.1:9010").
std::string Unanswered(const QuorelDmxModule& module, QuorelDmxLink* link, const std::string& server) {
  uint32_t uid = 0;
  if (module.refused_owner(link, &uid) == 0) return server + " does not answer";
  const std::string who = uid == QUORELCTL_DMX_UNKNOWN_OWNER ? "a user that cannot be told" : "user " + std::to_string(uid);
  return server + " is not trusted: run by " + who + ", not by root, olad or this user";
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
  OpenLinks();
  AwaitAnswers();
}

void DmxBoards::OpenLinks() {
  // Each transport's module is loaded once, and only when a binding names it.
  std::array<const QuorelDmxModule*, std::size(kTransports)> modules{};
  std::array<std::string, std::size(kTransports)> failures;
  for (BindingStatus& s : status_) {
    const size_t t = static_cast<size_t>(s.binding.transport - kTransports);
    if (modules[t] == nullptr && failures[t].empty()) modules[t] = LoadModule(kTransports[t], &failures[t]);
    if (modules[t] == nullptr) s.reason = std::string("no ") + s.binding.transport->shown + " support: " + failures[t];
  }
  // Every link starts connecting at once, so that servers that do not answer
  // cost the creation one wait, not one each.
  for (BindingStatus& s : status_) {
    const QuorelDmxModule* module = modules[static_cast<size_t>(s.binding.transport - kTransports)];
    if (module == nullptr) continue;
    const size_t i = LinkIndex(s.binding, module);
    if (i == links_.size())
      links_.push_back({s.binding.server(), module, module->open(s.binding.host.c_str(), s.binding.port)});
    link_of_[s.binding.board] = links_[i].link;
    module_of_[s.binding.board] = module;
  }
}

size_t DmxBoards::LinkIndex(const Binding& b, const QuorelDmxModule* module) const {
  return static_cast<size_t>(std::find_if(links_.begin(), links_.end(),
                                          [&](const Link& l) { return l.server == b.server() && l.module == module; }) -
                             links_.begin());
}

void DmxBoards::AwaitAnswers() {
  const auto deadline = std::chrono::steady_clock::now() + kServerAnswerWait;
  std::vector<bool> answered(links_.size());
  for (size_t i = 0; i < links_.size(); ++i) {
    if (links_[i].link == nullptr) continue;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    answered[i] =
        links_[i].module->wait_answer(links_[i].link, static_cast<int>(std::max<int64_t>(0, left.count()))) == 1;
  }
  for (BindingStatus& s : status_) {
    const QuorelDmxModule* module = module_of_[s.binding.board];
    if (module == nullptr) continue;  // its module did not load: the reason says so
    const size_t i = LinkIndex(s.binding, module);
    s.usable = answered[i];
    const std::string server = std::string(s.binding.transport->shown) + " server " + s.binding.server();
    if (links_[i].link == nullptr) s.reason = "no thread could be started for " + server;
    else if (!s.usable) s.reason = Unanswered(*links_[i].module, links_[i].link, server);
  }
  // A server that did not answer serves no board: its link stops now.
  for (size_t i = 0; i < links_.size(); ++i) {
    if (answered[i] || links_[i].link == nullptr) continue;
    links_[i].module->close(links_[i].link);
    for (QuorelDmxLink*& l : link_of_)
      if (l == links_[i].link) l = nullptr;
    links_[i].link = nullptr;
  }
}

DmxBoards::~DmxBoards() {
  for (Link& l : links_)
    if (l.link != nullptr) l.module->close(l.link);
}

void DmxBoards::Show(int n, const BoardTables& m) {
  if (!Present(n) || link_of_[n] == nullptr) return;
  const Binding& b = status_[binding_[n]].binding;
  QuorelDmxBoard state{};
  state.universe = b.universe;
  state.first_channel = static_cast<uint16_t>(b.first_channel);
  // The commands keep every slot within a byte.
  for (int bank = 0; bank < 4; ++bank) state.banks[bank] = static_cast<uint8_t>(m.states[n][bank + 1]);
  state.gps = static_cast<uint8_t>(m.states[n][5]);
  for (int k = 0; k < kOutputs; ++k) state.profile[k] = static_cast<uint8_t>(m.profiles[n][k]);
  module_of_[n]->show(link_of_[n], n, &state);
}

QuorelDmxStats DmxBoards::Stats() const {
  QuorelDmxStats sum{};
  for (const Link& l : links_) {
    if (l.link == nullptr) continue;
    QuorelDmxStats s{};
    l.module->stats(l.link, &s);
    sum.frames_sent += s.frames_sent;
    sum.frames_acknowledged += s.frames_acknowledged;
    sum.connects += s.connects;
  }
  return sum;
}

}  // namespace quorelctl
