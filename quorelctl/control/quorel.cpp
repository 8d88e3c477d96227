#include "quorelctl/control/quorel.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <thread>

#include "platform/beep.h"
#include "common/numbers.h"

namespace quorelctl {

namespace {

constexpr std::string_view kStartupState = "SBA:0,0,0,0,3";
constexpr std::string_view kStartupProfile =
    "PBA:48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48";

void SleepFor(int milliseconds) {
  if (milliseconds <= 0) std::this_thread::yield();
  else std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace

std::string ShortestDecimal(double value) {
  if (value == 0.0) return "0";  // also turns -0 into 0
  char text[32];
  auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

Quorel::Quorel(PropertyChanged notify, Services services)
    : notify_(std::move(notify)),
      beep_(services.beep ? std::move(services.beep) : std::function<void()>(platform::Beep)),
      suspend_(services.suspend ? std::move(services.suspend) : std::function<void(int)>(SleepFor)),
      boards_(services.hid != nullptr ? *services.hid : platform::SystemHid()) {
  Initialize();
}

void Quorel::Initialize() {
  Tables().selected_board = 1;
  boards_.DetectAllBoards();
  SendStartupDefaults();
}

void Quorel::SendStartupDefaults() {
  BoardTables& m = Tables();
  for (int n = 1; n <= kBoards; ++n) {
    m.selected_board = static_cast<int16_t>(n);
    if (boards_.BoardPresent[n] != 0) {
      ExecuteCommand(kStartupState, *this);
      ExecuteCommand(kStartupProfile, *this);
      boards_.CommandDone(n);
    }
  }
  m.selected_board = 1;
}

void Quorel::Suspend(int milliseconds) { suspend_(milliseconds); }

void Quorel::Notify(const char* property) const {
  if (notify_) notify_(property);
}

void Quorel::SetCommand(std::string_view value) {
  if (value != command_) {
    command_.assign(value);
    RunCommand();
  }
  Notify("Command");
}

void Quorel::RunCommand() {
  if (command_.empty()) return;
  if (boards_.BoardPresent[Tables().selected_board] == 0) {
    command_.clear();
    beep_();
    return;
  }
  for (char& c : command_) c = AsciiUpper(c);
  // A board plugged back in after an unplug is looked for between commands,
  // so that it takes whole groups of reports, and is first told everything
  // it had been sent, so that it shows what it showed before.
  if (boards_.LookAgain(Tables().selected_board)) {
    SendStateReport(*this);
    SendProfileReports(*this);
  }
  ExecuteCommand(command_, *this);
  boards_.CommandDone(Tables().selected_board);
  command_.clear();
}

ControlError Quorel::SetDeviceNumber(std::string_view value) {
  device_number_ = ShortestDecimal(common::LeadingNumber(value));
  // The selection runs on every write, also when the caption stays the same,
  // so a host hears about an absent board each time it selects it.
  ControlError error = SelectBoard();
  if (!error) Notify("DeviceNumber");
  return error;
}

ControlError Quorel::SelectBoard() {
  const double v = common::RoundHalfEven(common::LeadingNumber(device_number_));
  if (!(v >= 1 && v <= kBoards)) {
    beep_();
    return {kErrorDeviceNumberRange, "Device Numbers 1-16 Only"};
  }
  const int n = static_cast<int>(v);
  Tables().selected_board = static_cast<int16_t>(n);
  if (boards_.BoardPresent[n] == 0) {
    beep_();
    return {kErrorNotConnected, "Device Number " + std::to_string(n) + " Not Connected"};
  }
  return {};
}

void Quorel::SetFastCom(bool value) {
  fast_com_ = value;
  Notify("FastCom");
}

void Quorel::SetCompatibilityDelay(int16_t value) {
  compatibility_delay_ = value;
  Notify("CompatibilityDelay");
}

}  // namespace quorelctl
