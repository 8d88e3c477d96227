#include "sonovar/effects/quorel_link.h"

#include <quorelctl_report.hpp>

#include <cstdlib>
#include <vector>

#include "udev_rule.h"

namespace sonovar {

namespace {

// The boards that are there but cannot be used, as "quorel devices" tells
// them, and the rule that lets the user reach them.
std::string DescribeUnusableBoards() {
  try {
    return quorel::UnusableBoards(quorel::ListDevices(), quorel::ListBindings(), QUOREL_UDEV_RULE);
  } catch (const quorel::Error&) {
    return {};  // memory ran out: the start-up message goes without the details
  }
}

class QuorelLink final : public BoardLink {
 public:
  // Creates and owns the control.
  QuorelLink() : owned_(std::make_unique<quorel::Control>()), control_(*owned_) {}
  explicit QuorelLink(quorel::Control& control) : control_(control) {}

  std::string Detected() override { return control_.Detected(); }

  // The control raises its two errors from this write only.
  int SetDeviceNumber(std::string_view number) override {
    return quorel_set_text(control_.get(), "DeviceNumber", Terminated(number));
  }
  void SetCommand(std::string_view text) override { quorel_set_text(control_.get(), "Command", Terminated(text)); }
  void SetFastCom(bool on) override { control_.SetFastCom(on); }
  void SetCompatibilityDelay(int16_t milliseconds) override { control_.SetCompatibilityDelay(milliseconds); }
  std::string UnusableBoardsReport() override { return DescribeUnusableBoards(); }

 private:
  // The C interface takes NUL-terminated text; one buffer serves every write.
  const char* Terminated(std::string_view text) {
    text_.assign(text);
    return text_.c_str();
  }

  std::unique_ptr<quorel::Control> owned_;
  quorel::Control& control_;
  std::string text_;
};

// Stands in when the control cannot be created (memory ran out): no board.
class NoControl final : public BoardLink {
 public:
  std::string Detected() override { return std::string(16, '0'); }
  int SetDeviceNumber(std::string_view) override { return QUOREL_E_NOT_CONNECTED; }
  void SetCommand(std::string_view) override {}
  void SetFastCom(bool) override {}
  void SetCompatibilityDelay(int16_t) override {}
};

}  // namespace

std::unique_ptr<BoardLink> CreateQuorelLink() {
  try {
    return std::make_unique<QuorelLink>();
  } catch (const quorel::Error&) {
    return std::make_unique<NoControl>();
  }
}

BoardKnowledge AskLibraryAboutBoards() {
  BoardKnowledge knowledge;
  try {
    const std::vector<QuorelDevice> devices = quorel::ListDevices();
    const std::vector<QuorelBinding> bindings = quorel::ListBindings();
    const std::vector<std::string> places =
        quorel::BindingsPlaces(std::getenv("QUORELCTL_BOARDS"), std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
    knowledge.report = quorel::DevicesReport(devices, bindings, places, QUOREL_UDEV_RULE);
    for (int n = 1; n <= kProgramBoards; ++n) knowledge.absence[n] = quorel::BoardAbsence(n, devices, bindings);
  } catch (const quorel::Error& error) {
    knowledge.report = error.what();  // memory ran out
  }
  return knowledge;
}

std::unique_ptr<BoardLink> LinkToQuorel(quorel::Control* control) {
  if (control == nullptr) return std::make_unique<NoControl>();
  return std::make_unique<QuorelLink>(*control);
}

}  // namespace sonovar
