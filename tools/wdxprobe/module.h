// Loading a library and finding its exports, as the system does it for any
// host: one file per system (module_posix.cpp, module_win.cpp).
#pragma once

#include <filesystem>
#include <string>

// Loads the library at `path` (made absolute, so that no search path is
// asked). Null on failure, with a one-line reason in `error` that says what
// users meet: a library of the other width or for another processor.
void* OpenModule(const std::filesystem::path& path, std::string& error);

// The address of an export by name, or null.
void* ModuleExport(void* module, const char* name);

void CloseModule(void* module);
