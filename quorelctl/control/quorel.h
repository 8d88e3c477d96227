// The Quorel control: five properties over the interpreter and the boards.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/hid.h"
#include "quorelctl/boards/board_access.h"
#include "quorelctl/interpreter/led_module.h"

namespace quorelctl {

inline constexpr int kErrorDeviceNumberRange = 16384;
inline constexpr int kErrorNotConnected = 16385;

// The outcome of a property write: 0, or one of the two control errors.
struct ControlError {
  int number = 0;
  std::string description;
  explicit operator bool() const { return number != 0; }
};

// What the control needs of the system; tests replace the defaults.
struct ControlServices {
  platform::HidService* hid = nullptr;  // null: the system's
  std::function<void()> beep;           // empty: the system beep
  std::function<void(int)> suspend;     // empty: sleep (0 ms yields once)
};

class Quorel final : private ReportLink {
 public:
  // Called after every successful property write with the property's name.
  using PropertyChanged = std::function<void(const char* property)>;

  using Services = ControlServices;

  // Initialization runs here: detection and the start-up defaults.
  explicit Quorel(PropertyChanged notify = {}, ControlServices services = ControlServices());
  ~Quorel() override = default;  // the boards close their handles
  Quorel(const Quorel&) = delete;
  Quorel& operator=(const Quorel&) = delete;

  const std::string& Command() const { return command_; }
  void SetCommand(std::string_view value);

  const std::string& DeviceNumber() const { return device_number_; }
  ControlError SetDeviceNumber(std::string_view value);

  const std::string& Detected() const { return Tables().detected; }

  void SetFastCom(bool value);

  int16_t GetCompatibilityDelay() const { return compatibility_delay_; }
  void SetCompatibilityDelay(int16_t value);

  const BoardAccess& boards() const { return boards_; }

 private:
  void Initialize();
  void SendStartupDefaults();
  // Runs the command just written to the selected board, then clears it.
  void RunCommand();
  // Selects the board that device_number_ names.
  ControlError SelectBoard();
  void Notify(const char* property) const;

  // ReportLink: what the interpreter asks of the instance running a command.
  bool FastCom() const override { return fast_com_; }
  int16_t CompatibilityDelay() const override { return compatibility_delay_; }
  void Suspend(int milliseconds) override;
  void SendReport(int board, std::span<const uint8_t, 8> payload) override { boards_.SendReport(board, payload); }
  void SendReports(int board, std::span<const std::array<uint8_t, 8>> payloads) override {
    boards_.SendReports(board, payloads);
  }

  PropertyChanged notify_;
  std::function<void()> beep_;
  std::function<void(int)> suspend_;
  BoardAccess boards_;

  // What the properties hold.
  std::string command_ = "Quorel Command";
  std::string device_number_ = "1";
  bool fast_com_ = false;
  int16_t compatibility_delay_ = 1;
};

// Formats a number in its shortest decimal form ("2.5", "17", "0").
std::string ShortestDecimal(double value);

}  // namespace quorelctl
