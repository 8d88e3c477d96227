#include "sonovar/effects/quorel_link.h"

#include <quorelctl.hpp>

namespace sonovar {

namespace {

class QuorelLink final : public BoardLink {
 public:
  std::string Detected() override { return control_.Detected(); }

  // The control raises its two errors from this write only.
  int SetDeviceNumber(std::string_view number) override {
    return quorel_set_text(control_.get(), "DeviceNumber", Terminated(number));
  }
  void SetCommand(std::string_view text) override { quorel_set_text(control_.get(), "Command", Terminated(text)); }
  void SetFastCom(bool on) override { control_.SetFastCom(on); }
  void SetCompatibilityDelay(int16_t milliseconds) override { control_.SetCompatibilityDelay(milliseconds); }

 private:
  // The C interface takes NUL-terminated text; one buffer serves every write.
  const char* Terminated(std::string_view text) {
    text_.assign(text);
    return text_.c_str();
  }

  quorel::Control control_;
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

}  // namespace sonovar
