// Test support: the loaded DLL's own PE image, as Windows mapped it.
#pragma once

#include "tests/support/plugin_loader.h"

#include <cstdint>

#include <windows.h>

inline const std::uint8_t* ModuleBase() { return static_cast<const std::uint8_t*>(LoadedPlugin().Module); }

inline const IMAGE_NT_HEADERS* NtHeaders() {
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(ModuleBase());
  return reinterpret_cast<const IMAGE_NT_HEADERS*>(ModuleBase() + dos->e_lfanew);
}

inline const IMAGE_DATA_DIRECTORY& Directory(int entry) {
  return NtHeaders()->OptionalHeader.DataDirectory[entry];
}

inline const char* TextAt(DWORD rva) { return reinterpret_cast<const char*>(ModuleBase() + rva); }
