// POSIX file access and text. File names are bytes; Linux file managers hand
// them to plug-ins as UTF-8, and read every 8-bit value as UTF-8, which is
// therefore the 8-bit code page here.
#include "pdb/code_page.h"
#include "pdb/platform.h"
#include "pdb/utf.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// open() takes PATH_MAX bytes with the NUL; a longer path fails with
// ENAMETOOLONG, so it is not even converted.
constexpr std::size_t MaxPathBytes = PATH_MAX;

// A UTF-16 unit becomes at most three UTF-8 bytes (a surrogate pair four for
// two, an escaped byte one).
constexpr std::size_t MaxUtf8BytesPerUnit = 3;
constexpr std::size_t StackPathBytes = StackPathUnits * MaxUtf8BytesPerUnit;

// The path as open() takes it: in `onStack` when the path is shorter than
// StackPathUnits, else in a buffer that `onHeap` gets; nullptr when it cannot
// be converted or open() would not take it. Most paths are ASCII and are
// copied as they are; the rest go through the full conversion.
const char* PathForOpen(const char16_t* path, char (&onStack)[StackPathBytes],
                        std::unique_ptr<char[]>& onHeap) {
  std::size_t units = 0;
  bool ascii = true;
  for (; path[units] != 0; ++units) {
    if (units + 1 >= MaxPathBytes) return nullptr; // every unit takes a byte at least
    ascii = ascii && path[units] < 0x80;
  }
  char* out = onStack;
  std::size_t capacity = sizeof onStack;
  if (units >= StackPathUnits) {
    capacity = std::min(units * MaxUtf8BytesPerUnit + 1, MaxPathBytes);
    onHeap.reset(new (std::nothrow) char[capacity]);
    if (!onHeap) return nullptr;
    out = onHeap.get();
  }
  if (!ascii) return Utf16ToUtf8(path, units, out, capacity) ? out : nullptr;
  for (std::size_t i = 0; i < units; ++i) out[i] = static_cast<char>(path[i]); // ASCII: its byte
  out[units] = '\0';
  return out;
}

// The code page of the user's locale, found on first use and kept for the
// life of the process: the environment a host was started with does not change.
const TCodePageName& LegacyCodePage() {
  static const TCodePageName name = CodePageName(
      AnsiCodePage(CharacterLocale(std::getenv("LC_ALL"), std::getenv("LC_CTYPE"), std::getenv("LANG"))));
  return name;
}

// Opening a converter costs more than the rest of a request, so one is kept
// for the next: a request takes it, or opens its own while another request
// holds it, and puts it back if the place is free. Nobody waits for anybody.
struct TSpareConverter {
  std::atomic<iconv_t> Converter{nullptr};
  ~TSpareConverter() {
    if (const iconv_t converter = Converter.exchange(nullptr)) ::iconv_close(converter);
  }
};
TSpareConverter Spare;

iconv_t TakeConverter() {
  if (const iconv_t spare = Spare.Converter.exchange(nullptr)) return spare;
  return ::iconv_open("UTF-8", LegacyCodePage().data());
}

void GiveBackConverter(iconv_t converter) {
  iconv_t empty = nullptr;
  if (!Spare.Converter.compare_exchange_strong(empty, converter)) ::iconv_close(converter);
}

const iconv_t NoConverter = reinterpret_cast<iconv_t>(-1); // what iconv_open gives on failure

// ASCII is ASCII in every code page; every other byte is shown as undefined.
std::size_t AsciiOnlyToUtf8(std::string_view bytes, char* out, std::size_t capacity) {
  std::size_t used = 0;
  for (const char byte : bytes) {
    const bool ascii = static_cast<unsigned char>(byte) < 0x80;
    const std::string_view piece = ascii ? std::string_view(&byte, 1) : ReplacementCharacter;
    if (capacity - used < piece.size()) break;
    std::copy_n(piece.data(), piece.size(), out + used);
    used += piece.size();
  }
  return used;
}

// Converts legacy 8-bit text to UTF-8 with iconv. A byte or sequence the code
// page does not define becomes U+FFFD, so that a text never disappears; what
// does not fit in `capacity` is left out, whole characters at a time.
//
// What the loop relies on:
// - The converter starts in its initial state: a new one does, and every
//   text ends with the flushing call below, which returns it there before it
//   is given back for the next request.
// - E2BIG does not happen for the texts of a header: callers give room for
//   MaxHostBytesPerByte bytes per stored byte, and no character of these code
//   pages, nor the U+FFFD that stands for one undefined byte, takes more than
//   three UTF-8 bytes per stored byte. Should it come, the text ends there.
// - EINVAL means that the text ends inside a multibyte character (a lead byte
//   of 932 without its trail byte): the whole text is here, so that byte is
//   undefined like any other and shows as U+FFFD.
std::size_t LegacyToUtf8(std::string_view bytes, char* out, std::size_t capacity) {
  const iconv_t converter = TakeConverter();
  if (converter == NoConverter) return AsciiOnlyToUtf8(bytes, out, capacity); // none for it on this system
  char* in = const_cast<char*>(bytes.data()); // iconv's argument is not const, but it only reads
  std::size_t inLeft = bytes.size();
  char* next = out;
  std::size_t outLeft = capacity;
  while (inLeft > 0) {
    if (::iconv(converter, &in, &inLeft, &next, &outLeft) != static_cast<std::size_t>(-1)) break;
    if (errno != EILSEQ && errno != EINVAL) break; // E2BIG: full
    // A letter the converter holds back (1255 and 1258 wait for a combining
    // mark) stood before the undefined byte: it goes out first.
    if (::iconv(converter, nullptr, nullptr, &next, &outLeft) == static_cast<std::size_t>(-1)) break;
    if (outLeft < ReplacementCharacter.size()) break;
    std::memcpy(next, ReplacementCharacter.data(), ReplacementCharacter.size());
    next += ReplacementCharacter.size();
    outLeft -= ReplacementCharacter.size();
    ++in; // an undefined byte, or the first of an undefined or cut sequence
    --inLeft;
  }
  // What a stateful code page still holds (1258 keeps the last letter back in
  // case a combining mark follows); this also returns to the initial state for
  // the next text.
  ::iconv(converter, nullptr, nullptr, &next, &outLeft);
  GiveBackConverter(converter);
  return static_cast<std::size_t>(next - out);
}

} // namespace

bool ReadFileStart(const char16_t* path, void* buffer, std::size_t size) {
  char onStack[StackPathBytes];
  std::unique_ptr<char[]> onHeap;
  const char* utf8Path = PathForOpen(path, onStack, onHeap);
  if (utf8Path == nullptr) return false;

  // Only regular files are opened. A FIFO's waiting bytes belong to its
  // reader, and opening one wakes a writer waiting for a reader, which our
  // close then kills with SIGPIPE; a device (/dev/zero behind a .pdb link)
  // is no database. stat() decides before anything is opened, following
  // links; fstat() confirms it for what was opened, should the name have
  // been given to something else in between. A regular file too short to
  // hold what is asked is not opened either: the pseudo-files of /proc are
  // regular files of size 0 to stat(), and reading one can block
  // for ever (/proc/kmsg while the kernel's log is empty) or take what it
  // gives from others.
  struct stat status;
  if (::stat(utf8Path, &status) != 0 || !S_ISREG(status.st_mode) ||
      status.st_size < static_cast<off_t>(size)) {
    return false;
  }
  // O_NONBLOCK and O_NOCTTY for that case: a FIFO without a writer opens at
  // once instead of holding the host's thread, a terminal does not become ours.
  // A signal may interrupt the open too, on NFS and FUSE mounts: it is tried again.
  int fd;
  do {
    fd = ::open(utf8Path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    ::close(fd);
    return false;
  }
  // Network and FUSE file systems (sshfs, SMB, cloud drives) may hand a
  // regular file over in pieces, and a signal may interrupt the read: read on
  // from where it stopped. End of file and any error (EAGAIN included) end it.
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

std::size_t SystemNameToUtf16(const char* name, char16_t* out, std::size_t capacity) {
  return Utf8ToUtf16(name, out, capacity);
}

std::size_t HeaderTextForHost(std::string_view bytes, char* out, std::size_t capacity) {
  if (!IsValidUtf8(bytes)) return LegacyToUtf8(bytes, out, capacity);
  const std::size_t count = Utf8PrefixLength(bytes, capacity);
  std::copy_n(bytes.data(), count, out);
  return count;
}

std::size_t HostTextCut(std::string_view text, std::size_t limit) { return Utf8PrefixLength(text, limit); }
