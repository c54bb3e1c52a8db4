// POSIX file access. File names are bytes; Linux file managers hand them to
// plug-ins as UTF-8, which is therefore the 8-bit code page here.
#include "pdb/platform.h"
#include "pdb/utf.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Paths reach us at 259 UTF-16 code units at most; each unit takes at most
// three UTF-8 bytes (a surrogate pair, two units, takes four).
constexpr std::size_t MaxPathUnits = 259;
constexpr std::size_t MaxPathBytes = MaxPathUnits * 3 + 1;

// Converts the path for open(); most paths are ASCII and are copied as
// they are scanned, the rest go through the full conversion.
bool PathForOpen(const WideChar* path, char (&utf8Path)[MaxPathBytes]) {
  std::size_t length = 0;
  for (; path[length] != 0 && path[length] < 0x80; ++length) {
    if (length == MaxPathUnits) return false;
    utf8Path[length] = static_cast<char>(path[length]);
  }
  if (path[length] == 0) {
    utf8Path[length] = '\0';
    return true;
  }
  while (path[length] != 0) {
    if (++length > MaxPathUnits) return false;
  }
  return Utf16ToUtf8(path, length, utf8Path, sizeof utf8Path);
}

} // namespace

bool ReadFileStart(const WideChar* path, void* buffer, std::size_t size) {
  char utf8Path[MaxPathBytes];
  if (!PathForOpen(path, utf8Path)) return false;

  // O_NONBLOCK: a FIFO without a writer or a terminal answers the read at
  // once with nothing instead of holding the host's thread; a directory fails
  // the read. O_NOCTTY: opening a terminal must not make it ours.
  const int fd = ::open(utf8Path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  // Network and FUSE file systems (sshfs, SMB, cloud drives) may hand a
  // regular file over in pieces, and a signal may interrupt the read: read on
  // from where it stopped. End of file, EAGAIN (a FIFO or device with nothing
  // to give) and any other error end it.
  auto* bytes = static_cast<unsigned char*>(buffer);
  std::size_t got = 0;
  while (got < size) {
    const ssize_t count = ::read(fd, bytes + got, size - got);
    if (count > 0) {
      got += static_cast<std::size_t>(count);
    } else if (count < 0 && errno == EINTR) {
      continue;
    } else {
      break;
    }
  }
  ::close(fd);
  return got == size;
}

std::size_t SystemNameToUtf16(const char* name, WideChar* out, std::size_t capacity) {
  return Utf8ToUtf16(name, out, capacity);
}
