#include <dlfcn.h>
#include <link.h>

#include <string>

#include "platform/module.h"

namespace platform {

namespace {

struct Search {
  const void* address;
  std::string name;  // of the object the address lies in; "" for the program itself
  bool found = false;
};

int Visit(dl_phdr_info* info, size_t, void* data) {
  auto* search = static_cast<Search*>(data);
  const auto address = reinterpret_cast<ElfW(Addr)>(search->address);
  for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& segment = info->dlpi_phdr[i];
    const ElfW(Addr) start = info->dlpi_addr + segment.p_vaddr;
    if (segment.p_type != PT_LOAD || address < start || address >= start + segment.p_memsz) continue;
    search->name = info->dlpi_name != nullptr ? info->dlpi_name : "";
    search->found = true;
    return 1;
  }
  return 0;
}

}  // namespace

std::string ModuleFolder() {
  // The loader names a shared library by the path it opened it from; the
  // program itself it does not name, and what dladdr would say for it is
  // argv[0], which whoever starts the program chooses (a bare name means the
  // working folder). Linked into a program (only the build's own programs
  // link it so) the library looks in the build's folder; loaded by a relative
  // path, which means a working folder that may have changed, nowhere.
  Search search{reinterpret_cast<const void*>(&ModuleFolder), {}};
  dl_iterate_phdr(Visit, &search);
  if (!search.found) return {};
  if (search.name.empty()) return QUORELCTL_LINKED_MODULE_FOLDER;
  if (search.name[0] != '/') return {};
  return search.name.substr(0, search.name.rfind('/')) + "/quorelctl";
}

void* ModuleSymbol(const std::string& file_name, const char* symbol, std::string* reason) {
  const std::string folder = ModuleFolder();
  if (folder.empty()) {
    *reason = file_name + ": the library was loaded by a relative path, so its folder is not known";
    return nullptr;
  }
  const std::string path = folder + "/" + file_name;
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
