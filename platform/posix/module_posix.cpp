#include <dlfcn.h>

#include <string>

#include "platform/module.h"

namespace platform {

void* ModuleSymbol(const std::string& file_name, const char* symbol, std::string* reason) {
  // The folder of the file this code lies in: the library when it is shared,
  // the program when it is linked in.
  Dl_info self{};
  std::string folder = ".";
  if (dladdr(reinterpret_cast<void*>(&ModuleSymbol), &self) != 0 && self.dli_fname != nullptr) {
    const std::string own = self.dli_fname;
    const size_t slash = own.rfind('/');
    if (slash != std::string::npos) folder = own.substr(0, slash);
  }
  const std::string path = folder + "/quorelctl/" + file_name;
  // Never closed: threads of the module may outlive any one caller's use.
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    const char* error = dlerror();
    *reason = error != nullptr ? error : path + ": cannot be loaded";
    return nullptr;
  }
  void* address = dlsym(module, symbol);
  if (address == nullptr) *reason = path + ": has no " + symbol;
  return address;
}

}  // namespace platform
