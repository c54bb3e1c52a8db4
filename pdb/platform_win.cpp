// Windows file access and the ANSI code page.
#include "pdb/platform.h"

#include <windows.h>

bool ReadFileStart(const WideChar* path, void* buffer, std::size_t size) {
  // Share read and write: the host, a sync tool or an editor may hold the
  // file open, and we must neither fail on that nor lock them out.
  const HANDLE file = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  // Reserved device names (CON.pdb, COM1.pdb) and pipes open fine but a read
  // from them can block for ever: only disk files are read.
  DWORD got = 0;
  const bool read = ::GetFileType(file) == FILE_TYPE_DISK &&
                    ::ReadFile(file, buffer, static_cast<DWORD>(size), &got, nullptr) != FALSE;
  ::CloseHandle(file);
  return read && got == size;
}

std::size_t SystemNameToUtf16(const char* name, WideChar* out, std::size_t capacity) {
  const int limit = capacity > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(capacity);
  const int written = ::MultiByteToWideChar(::GetACP(), 0, name, -1, out, limit);
  if (written > 0) return static_cast<std::size_t>(written) - 1;
  // Too long for `out`: report what it needs. A name that cannot be
  // converted at all counts as the empty name.
  const int needed = ::MultiByteToWideChar(::GetACP(), 0, name, -1, nullptr, 0);
  if (needed > 0) return static_cast<std::size_t>(needed) - 1;
  if (capacity > 0) out[0] = 0;
  return 0;
}
