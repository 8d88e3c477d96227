// Boards that are DMX universes: the bindings of one control, the links of
// their transports' modules that carry them, and the hand-over of a board's
// tables after each command.
#pragma once

#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "quorelctl/dmx/bindings.h"
#include "quorelctl/dmx/dmx_module.h"
#include "quorelctl/interpreter/led_module.h"

namespace quorelctl {

// The longest the first answers of all servers are waited for, together.
inline constexpr std::chrono::milliseconds kServerAnswerWait{900};

struct BindingStatus {
  Binding binding;
  bool usable = false;
  std::string reason;  // why not usable; "" when it is
  // "DMX universe U, channels C-C+31, via HOST:PORT"
  std::string description() const;
};

class DmxBoards {
 public:
  // Loads the modules of the transports that `file` names, opens one link per
  // transport and server and
  // waits for the servers' first answers, all at once, at most
  // kServerAnswerWait. Without bindings nothing is loaded and nothing waits.
  explicit DmxBoards(BindingsFile file);
  ~DmxBoards();
  DmxBoards(const DmxBoards&) = delete;
  DmxBoards& operator=(const DmxBoards&) = delete;

  // Board n is bound in the file (so no Quorel board stands for it).
  bool Bound(int n) const { return n >= 1 && n <= kBoards && binding_[n] >= 0; }
  // Bound, and its server answered at creation.
  bool Present(int n) const { return Bound(n) && status_[binding_[n]].usable; }
  // The universe now shows board n's tables in `module`.
  void Show(int n, const BoardTables& module);

  const BindingsFile& file() const { return file_; }
  const std::vector<BindingStatus>& status() const { return status_; }
  // Sum of the counters of every link.
  QuorelDmxStats Stats() const;

 private:
  struct Link {
    std::string server;
    const QuorelDmxModule* module = nullptr;  // of the binding's transport
    QuorelDmxLink* link = nullptr;
  };

  // Loads the modules and starts a link per transport and server.
  void OpenLinks();
  // Waits for the servers' first answers and stops the links of the silent.
  void AwaitAnswers();
  // The link of `b`'s server through `module`; links_.size() when none yet.
  size_t LinkIndex(const Binding& b, const QuorelDmxModule* module) const;

  BindingsFile file_;
  std::vector<BindingStatus> status_;   // one per binding of file_
  std::array<int, kBoards + 1> binding_;  // index into status_, -1 when unbound
  std::array<QuorelDmxLink*, kBoards + 1> link_of_{};
  std::array<const QuorelDmxModule*, kBoards + 1> module_of_{};
  std::vector<Link> links_;
};

}  // namespace quorelctl
