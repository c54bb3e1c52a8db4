#include "tools/wdxprobe/module.h"

#include <windows.h>

namespace fs = std::filesystem;

void* OpenModule(const fs::path& path, std::string& error) {
  HMODULE module = ::LoadLibraryW(path.c_str());
  if (module != nullptr) return reinterpret_cast<void*>(module);
  const DWORD code = ::GetLastError();
  error = "cannot load " + path.string() + ": Windows error " + std::to_string(code);
  // The one users meet: a DLL of the other width, as a 64-bit host meets a 32-bit plug-in.
  if (code == ERROR_BAD_EXE_FORMAT) {
    error += sizeof(void*) == 8 ? ", not a 64-bit DLL (wdxprobe.exe loads 32-bit ones)"
                                : ", not a 32-bit DLL (wdxprobe64.exe loads 64-bit ones)";
  }
  return nullptr;
}

void* ModuleExport(void* module, const char* name) {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(module), name));
}

void CloseModule(void* module) { ::FreeLibrary(static_cast<HMODULE>(module)); }
