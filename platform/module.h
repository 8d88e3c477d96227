// Loading an optional part of the library at run time: a module file that is
// installed in the folder "quorelctl" beside the library's own file, so that
// the library itself needs nothing of what the module links.
#pragma once

#include <string>

namespace platform {

// What the system's module files end with.
#ifdef _WIN32
inline constexpr const char* kModuleSuffix = ".dll";
#else
inline constexpr const char* kModuleSuffix = ".so";
#endif

// The folder the module files are taken from: "quorelctl" beside the shared
// library, or the build's own folder for them when the library is linked
// into a program; "" when the library's own folder cannot be known. Never
// one that depends on how the program was started or where it runs.
std::string ModuleFolder();

// The address of `symbol` in the module `file_name`, loaded once and kept for
// the life of the process; null with the reason (and the path tried) when the
// module is not there or does not load.
void* ModuleSymbol(const std::string& file_name, const char* symbol, std::string* reason);

}  // namespace platform
