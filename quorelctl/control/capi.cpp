// The C interface: property dispatch by name over the Quorel control, with
// C++ exceptions kept on this side of the boundary.
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "platform/hid.h"
#include "quorelctl/boards/board_access.h"
#include "quorelctl/control/quorel.h"
#include "quorelctl/dmx/dmx_boards.h"
#include "quorelctl/include/quorelctl.h"

struct QuorelControl {
  std::unique_ptr<quorelctl::Quorel> control;
  std::string last_error;
};

namespace {

enum class Type { kText, kBool, kInt16 };

struct Property {
  const char* name;
  Type type;
  bool readable;
  bool writable;
};

constexpr Property kCommand{"Command", Type::kText, true, true};
constexpr Property kDeviceNumber{"DeviceNumber", Type::kText, true, true};
constexpr Property kDetected{"Detected", Type::kText, true, false};
constexpr Property kFastCom{"FastCom", Type::kBool, false, true};
constexpr Property kCompatibilityDelay{"CompatibilityDelay", Type::kInt16, true, true};
constexpr const Property* kProperties[] = {&kCommand, &kDeviceNumber, &kDetected, &kFastCom,
                                           &kCompatibilityDelay};

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (quorelctl::AsciiUpper(a[i]) != quorelctl::AsciiUpper(b[i])) return false;
  return true;
}

const char* TypeName(Type type) {
  switch (type) {
    case Type::kText: return "text";
    case Type::kBool: return "Boolean";
    case Type::kInt16: return "16-bit integer";
  }
  return "";
}

int Fail(QuorelControl* c, int code, std::string text) {
  c->last_error = std::move(text);
  return code;
}

// Finds the property and checks its type and access; 0 or a misuse code.
int Resolve(QuorelControl* c, const char* name, Type type, bool write, const Property** out) {
  for (const Property* p : kProperties) {
    if (!EqualNoCase(name, p->name)) continue;
    if (p->type != type)
      return Fail(c, QUOREL_E_WRONG_TYPE,
                  std::string("Property ") + p->name + " is " + TypeName(p->type) + ", not " + TypeName(type));
    if (write ? !p->writable : !p->readable)
      return Fail(c, QUOREL_E_ACCESS,
                  std::string("Property ") + p->name + (write ? " is read-only" : " is write-only"));
    *out = p;
    return 0;
  }
  return Fail(c, QUOREL_E_UNKNOWN_PROPERTY, std::string("Unknown property \"") + name + "\"");
}

// Runs a call with the common argument checks and no exception escaping.
template <typename Body>
int Call(QuorelControl* c, const char* property, const void* argument, Body body) {
  if (c == nullptr) return QUOREL_E_NULL_ARGUMENT;
  try {
    if (property == nullptr || argument == nullptr)
      return Fail(c, QUOREL_E_NULL_ARGUMENT, "A required argument is NULL");
    c->last_error.clear();
    return body();
  } catch (const std::bad_alloc&) {
    c->last_error = "Out of memory";
    return QUOREL_E_NO_MEMORY;
  }
}

// The smallest entries a host may pass: the fields of the first version of
// each structure. Fields added later lie beyond them.
constexpr size_t kFirstDeviceSize = offsetof(QuorelDevice, reason) + sizeof(QuorelDevice::reason);
constexpr size_t kFirstBindingSize = offsetof(QuorelBinding, reason) + sizeof(QuorelBinding::reason);
// Larger than any version will grow to: such a size is garbage, not a newer host.
constexpr size_t kLargestEntrySize = 65536;

// The entry size the caller set in its first entry, or 0 when it cannot be taken.
template <typename Entry>
size_t CallerEntrySize(const Entry* entries, size_t first_size) {
  const size_t size = entries[0].size;
  return size < first_size || size > kLargestEntrySize ? 0 : size;
}

// Copies `entry` into the caller's i-th entry of `size` bytes: as many bytes
// as both know, zeros for the fields only the caller knows.
template <typename Entry>
void StoreEntry(const Entry& entry, size_t size, Entry* entries, size_t i) {
  auto* bytes = reinterpret_cast<unsigned char*>(entries) + i * size;
  const size_t known = std::min(size, sizeof entry);
  std::memcpy(bytes, &entry, known);
  std::memset(bytes + known, 0, size - known);
  std::memcpy(bytes + offsetof(Entry, size), &size, sizeof size);
}

const std::string& TextOf(const QuorelControl* c, const Property* p) {
  if (p == &kCommand) return c->control->Command();
  if (p == &kDeviceNumber) return c->control->DeviceNumber();
  return c->control->Detected();
}

}  // namespace

extern "C" {

QUORELCTL_API uint32_t quorel_version(void) { return QUORELCTL_VERSION; }

QUORELCTL_API QuorelControl* quorel_create(const char* class_name, QuorelPropertyChanged notify, void* container) {
  if (class_name == nullptr || std::strcmp(class_name, QUOREL_CLASS_NAME) != 0) return nullptr;
  try {
    auto handle = std::make_unique<QuorelControl>();
    quorelctl::Quorel::PropertyChanged changed;
    if (notify != nullptr) changed = [notify, container](const char* property) { notify(container, property); };
    handle->control = std::make_unique<quorelctl::Quorel>(std::move(changed));
    return handle.release();
  } catch (const std::exception&) {
    return nullptr;
  }
}

QUORELCTL_API void quorel_destroy(QuorelControl* control) { delete control; }

QUORELCTL_API int quorel_set_text(QuorelControl* c, const char* property, const char* value) {
  return Call(c, property, value, [&] {
    const Property* p = nullptr;
    if (int rc = Resolve(c, property, Type::kText, true, &p)) return rc;
    if (p == &kCommand) {
      c->control->SetCommand(value);
      return 0;
    }
    quorelctl::ControlError error = c->control->SetDeviceNumber(value);
    if (error) c->last_error = std::move(error.description);
    return error.number;
  });
}

QUORELCTL_API int quorel_set_bool(QuorelControl* c, const char* property, int value) {
  return Call(c, property, &value, [&] {
    const Property* p = nullptr;
    if (int rc = Resolve(c, property, Type::kBool, true, &p)) return rc;
    c->control->SetFastCom(value != 0);
    return 0;
  });
}

QUORELCTL_API int quorel_set_int16(QuorelControl* c, const char* property, int16_t value) {
  return Call(c, property, &value, [&] {
    const Property* p = nullptr;
    if (int rc = Resolve(c, property, Type::kInt16, true, &p)) return rc;
    c->control->SetCompatibilityDelay(value);
    return 0;
  });
}

QUORELCTL_API int quorel_get_text(QuorelControl* c, const char* property, char* buffer, size_t size) {
  return Call(c, property, buffer, [&] {
    const Property* p = nullptr;
    if (int rc = Resolve(c, property, Type::kText, false, &p)) return rc;
    const std::string& text = TextOf(c, p);
    if (text.size() + 1 > size)
      return Fail(c, QUOREL_E_BUFFER_TOO_SMALL,
                  "Buffer too small: " + std::to_string(text.size() + 1) + " bytes needed");
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return 0;
  });
}

QUORELCTL_API int quorel_get_int16(QuorelControl* c, const char* property, int16_t* value) {
  return Call(c, property, value, [&] {
    const Property* p = nullptr;
    if (int rc = Resolve(c, property, Type::kInt16, false, &p)) return rc;
    *value = c->control->GetCompatibilityDelay();
    return 0;
  });
}

QUORELCTL_API int quorel_list_devices(QuorelDevice* devices, size_t capacity) {
  try {
    const bool filling = devices != nullptr && capacity != 0;
    const size_t size = filling ? CallerEntrySize(devices, kFirstDeviceSize) : 0;
    if (filling && size == 0) return QUOREL_E_STRUCT_SIZE;
    platform::HidService& hid = platform::SystemHid();
    const std::vector<platform::HidDeviceInfo> found = hid.Enumerate();
    if (!filling) return static_cast<int>(found.size());
    std::vector<QuorelDevice> listed(found.size());
    for (size_t i = 0; i < found.size(); ++i) {
      const platform::HidDeviceInfo& d = found[i];
      QuorelDevice& out = listed[i];
      std::snprintf(out.path, sizeof out.path, "%s", d.path.c_str());
      out.vendor_id = d.vendor_id;
      out.product_id = d.product_id;
      out.output_report_length = d.output_report_length;
      out.board = quorelctl::BoardNumberOf(d.vendor_id, d.product_id);
      if (out.board == 0)
        std::snprintf(out.reason, sizeof out.reason, "not a board (vendor %04x, product %04x)", d.vendor_id,
                      d.product_id);
    }
    // The devices a control would take, by the control's own rule.
    auto entry = [&](const platform::HidDeviceInfo& d) -> QuorelDevice& { return listed[&d - found.data()]; };
    // A bound number is its DMX universe; no Quorel board stands for it.
    const quorelctl::BindingsFile bound = quorelctl::LoadBindings();
    for (int n = 1; n <= quorelctl::kBoards; ++n) {
      auto binding = std::find_if(bound.bindings.begin(), bound.bindings.end(),
                                  [n](const quorelctl::Binding& b) { return b.board == n; });
      if (binding != bound.bindings.end()) {
        for (QuorelDevice& d : listed)
          if (d.board == n)
            std::snprintf(d.reason, sizeof d.reason, "board %d is bound to DMX universe %u (%s, line %d)", n,
                          static_cast<unsigned>(binding->universe), bound.path.c_str(), binding->line);
        continue;
      }
      quorelctl::OpenedBoard opened = quorelctl::OpenBoard(hid, found, n, [&](const auto& d, const auto& error) {
        entry(d).permission_denied = error.permission_denied;
        std::snprintf(entry(d).reason, sizeof entry(d).reason, "cannot be opened: %s", error.text.c_str());
      });
      if (opened.device == nullptr) continue;
      hid.Close(opened.handle);
      entry(*opened.device).usable = 1;
      for (const platform::HidDeviceInfo* d = opened.device + 1; d != found.data() + found.size(); ++d)
        if (entry(*d).board == n)
          std::snprintf(entry(*d).reason, sizeof entry(*d).reason, "board %d is already an earlier device", n);
    }
    for (size_t i = 0; i < std::min(capacity, listed.size()); ++i) StoreEntry(listed[i], size, devices, i);
    return static_cast<int>(found.size());
  } catch (const std::bad_alloc&) {
    return QUOREL_E_NO_MEMORY;
  }
}

QUORELCTL_API int quorel_list_bindings(QuorelBinding* bindings, size_t capacity) {
  try {
    const bool filling = bindings != nullptr && capacity != 0;
    const size_t size = filling ? CallerEntrySize(bindings, kFirstBindingSize) : 0;
    if (filling && size == 0) return QUOREL_E_STRUCT_SIZE;
    const quorelctl::DmxBoards dmx(quorelctl::LoadBindings());
    std::vector<QuorelBinding> listed;
    const std::string& file = dmx.file().path;
    for (const quorelctl::BindingStatus& s : dmx.status()) {
      QuorelBinding& b = listed.emplace_back();
      b.line = s.binding.line;
      b.board = s.binding.board;
      b.universe = s.binding.universe;
      b.first_channel = s.binding.first_channel;
      std::snprintf(b.server, sizeof b.server, "%s", s.binding.server().c_str());
      b.usable = s.usable;
      std::snprintf(b.description, sizeof b.description, "%s", s.description().c_str());
      std::snprintf(b.reason, sizeof b.reason, "%s", s.reason.c_str());
    }
    for (const quorelctl::BindingProblem& p : dmx.file().problems) {
      QuorelBinding& b = listed.emplace_back();
      b.line = p.line;
      std::snprintf(b.reason, sizeof b.reason, "%s", p.reason.c_str());
    }
    for (QuorelBinding& b : listed) std::snprintf(b.file, sizeof b.file, "%s", file.c_str());
    std::stable_sort(listed.begin(), listed.end(),
                     [](const QuorelBinding& a, const QuorelBinding& b) { return a.line < b.line; });
    if (filling)
      for (size_t i = 0; i < std::min(capacity, listed.size()); ++i) StoreEntry(listed[i], size, bindings, i);
    return static_cast<int>(listed.size());
  } catch (const std::bad_alloc&) {
    return QUOREL_E_NO_MEMORY;
  }
}

QUORELCTL_API const char* quorel_error_description(const QuorelControl* control) {
  if (control == nullptr) return "Invalid control: NULL";
  return control->last_error.c_str();
}

}  // extern "C"
