// The few operating-system services the header getters need: file access
// and 8-bit names. One file per system implements them (platform_win.cpp,
// platform_posix.cpp), with the conversions of host_charset.h; nothing else
// in the plug-in calls the operating system.
//
// Paths are UTF-16 as char16_t; the exports turn the interface's own type
// into it, so that nothing here depends on the host interface.
#pragma once

#include <climits>
#include <cstddef>

// The longest path the system opens, in UTF-16 code units; longer paths are
// never opened. Windows opens 32,767 units through the \\?\ form; Linux opens
// PATH_MAX bytes with the NUL, and every unit takes at least one byte.
#if defined(_WIN32)
inline constexpr std::size_t MaxPathLength = 32767;
#else
inline constexpr std::size_t MaxPathLength = PATH_MAX - 1;
#endif

// Paths shorter than this many UTF-16 code units are copied and converted on
// the stack; a longer one goes to the heap, freed before the request returns.
// A host may ask from a thread of the smallest stack its system allows (64 KiB
// reserved on Windows, PTHREAD_STACK_MIN on Linux), so no request keeps a path
// of the system's full length on the stack.
inline constexpr std::size_t StackPathUnits = 260;

// A file name as the host gave it. `Utf16` is always there, NUL-terminated:
// the extension test and the path rules read it. `Bytes` is the host's own
// NUL-terminated 8-bit name when it gave one, or null. Linux names files in
// bytes and opens these as they are: the charset's converters do not give
// every name back as it was. Windows opens the UTF-16 form, which is the name
// CreateFileA would open.
struct TFileName {
  const char16_t* Utf16;
  const char* Bytes = nullptr;
};

// Reads the first `size` bytes of the file named by `name`: one open, one
// read (more only when a read comes back short), one close. True only when
// it is a regular file and all `size` bytes arrived.
// Opened: a path of any length up to the system's limit (on Windows a drive
// or UNC path of 260 units or more through its \\?\ form, made from the full
// path, "\\?\GLOBALROOT\Device\HarddiskVolume..." paths included).
// Not opened: a path past that limit; on Linux anything that stat() shows is
// not a regular file (a FIFO, a device, a folder) or is shorter than `size`
// (the pseudo-files of /proc, which stat() shows as empty regular files and
// whose reads may block or consume); on Windows whatever the running
// Windows takes for a device (a reserved name such as NUL: as it counts them,
// "\\.\" and "\??\" paths, "\\?\" paths that lead to no drive, share or
// volume, a server's pipes), and a file whose data is elsewhere (a cloud
// file that is online only, data moved to offline storage), which reading
// would fetch. What opens but is not a regular file is closed unread. Never
// creates, writes or locks the file, lets others read, write, rename and
// delete it meanwhile, and closes what it opened on every way out.
#if defined(__GNUC__) && !defined(__clang__)
[[gnu::access(write_only, 2, 3)]] // lets fortified builds check the read against `size`
#endif
bool ReadFileStart(const TFileName& name, void* buffer, std::size_t size);

// Converts a NUL-terminated 8-bit file name in the system's code page (on
// Linux the charset of the locale, UTF-8 almost everywhere) to UTF-16.
// Returns the number of code units the whole name needs, NUL not counted;
// `out` holds the name and its NUL only when the result is below `capacity`.
std::size_t SystemNameToUtf16(const char* name, char16_t* out, std::size_t capacity);
