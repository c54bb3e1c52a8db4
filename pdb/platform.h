// The few operating-system services the header getters need. One file per
// platform implements them (platform_win.cpp, platform_posix.cpp); nothing
// else in the plug-in calls the operating system.
#pragma once

#include "plugin/contplug.h"

#include <cstddef>

// Reads the first `size` bytes of the file named by the NUL-terminated UTF-16
// `path`: one open, one read (more only when a read comes back short), one
// close. True only when it is a regular file that opened and all `size` bytes
// arrived. Never creates, writes or locks the file, lets others read, write,
// rename and delete it meanwhile, never blocks on a device or pipe, and closes
// what it opened on every way out.
bool ReadFileStart(const WideChar* path, void* buffer, std::size_t size);

// Converts a NUL-terminated 8-bit file name in the system's code page to
// UTF-16. Returns the number of code units the whole name needs, NUL not
// counted; `out` holds the name and its NUL only when the result is below
// `capacity`.
std::size_t SystemNameToUtf16(const char* name, WideChar* out, std::size_t capacity);
