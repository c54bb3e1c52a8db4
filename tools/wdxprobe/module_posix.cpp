#include "tools/wdxprobe/module.h"

#include <cstring>
#include <fstream>

#include <dlfcn.h>

namespace fs = std::filesystem;

namespace {

// The processor an ELF file is built for, from its header; empty for what
// is not ELF.
std::string ElfProcessor(const fs::path& path) {
  constexpr unsigned char ElfMagic[] = {0x7F, 'E', 'L', 'F'};
  std::ifstream in(path, std::ios::binary);
  unsigned char header[20] = {};
  if (!in.read(reinterpret_cast<char*>(header), sizeof header) || std::memcmp(header, ElfMagic, 4) != 0)
    return {};
  const unsigned first = header[18], second = header[19]; // e_machine, in the file's byte order
  const unsigned machine = header[5] == 1 ? first | second << 8 : first << 8 | second;
  switch (machine) {
  case 3:
    return "x86 (32-bit)";
  case 40:
    return "32-bit ARM";
  case 62:
    return "x86-64";
  case 183:
    return "arm64";
  default:
    return "ELF machine " + std::to_string(machine) + (header[4] == 2 ? ", 64-bit" : ", 32-bit");
  }
}

} // namespace

void* OpenModule(const fs::path& path, std::string& error) {
  void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module != nullptr) return module;
  error = "cannot load " + path.string() + ": " + ::dlerror();
  // The C library says "No such file or directory" of a library for another
  // processor, the one users meet with a package of another architecture:
  // say what it is.
  const std::string processor = ElfProcessor(path);
  const std::string own = ElfProcessor("/proc/self/exe");
  if (!processor.empty() && processor != own) {
    error = "cannot load " + path.string() + ": a library for " + processor + ", not for " + own +
            " as this wdxprobe";
  }
  return nullptr;
}

void* ModuleExport(void* module, const char* name) { return ::dlsym(module, name); }

void CloseModule(void* module) { ::dlclose(module); }
