// Systems whose build carries no run-time modules.
#include "platform/module.h"

namespace platform {

std::string ModuleFolder() { return {}; }

void* ModuleSymbol(const std::string& file_name, const char*, std::string* reason) {
  *reason = file_name + ": this build of the library takes no modules";
  return nullptr;
}

}  // namespace platform
