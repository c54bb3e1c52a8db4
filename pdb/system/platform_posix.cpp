// POSIX file access and text. File names are bytes, and a Linux host names
// its files and reads every 8-bit value in the charset of its locale: UTF-8
// almost everywhere, a legacy charset (CP1251, KOI8-R, EUC-JP, ...) where the
// locale names one. Header texts were stored in the code page of the
// handheld's language and are converted to that charset.
#include "pdb/system/code_page.h"
#include "pdb/system/host_charset.h"
#include "pdb/system/platform.h"
#include "pdb/system/utf.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
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

// A UTF-16 unit becomes at most four bytes of a locale's charset (GB18030),
// three of UTF-8 (a surrogate pair four for two, an escaped byte one).
constexpr std::size_t MaxBytesPerUnit = 4;
constexpr std::size_t StackPathBytes = StackPathUnits * MaxBytesPerUnit;

// The locale the plug-in runs in, as the C library would take it for
// character types. The environment a host was started with does not change,
// so everything told from it is found on first use and kept.
std::string_view Locale() {
  return CharacterLocale(std::getenv("LC_ALL"), std::getenv("LC_CTYPE"), std::getenv("LANG"));
}

// The code page the handheld of the user's language stored its texts in.
const TCodePageName& LegacyCodePage() {
  static const TCodePageName name = CodePageName(AnsiCodePage(Locale()));
  return name;
}

const iconv_t NoConverter = reinterpret_cast<iconv_t>(-1); // what iconv_open gives on failure

// The charset the host reads our texts and names its files in: the codeset
// its locale names after the dot (Double Commander takes the same), UTF-8
// when it names none or one this system's iconv does not know.
struct TLocaleCharset {
  std::array<char, 32> Name{};   // as iconv knows it; empty: UTF-8
  bool IsLegacyCodePage = false; // the handheld's code page itself: stored texts go out as they are
};

const TLocaleCharset& LocaleCharset() {
  static const TLocaleCharset charset = [] {
    TLocaleCharset found;
    const std::string_view codeset = LocaleCodeset(Locale());
    if (codeset.empty() || NamesUtf8(codeset) || codeset.size() >= found.Name.size()) return found;
    std::copy(codeset.begin(), codeset.end(), found.Name.begin());
    const iconv_t probe = ::iconv_open(found.Name.data(), "UTF-8");
    if (probe == NoConverter) return TLocaleCharset{};
    ::iconv_close(probe);
    found.IsLegacyCodePage = NamesCodePage(codeset, AnsiCodePage(Locale()));
    return found;
  }();
  return charset;
}

bool LocaleIsUtf8() { return LocaleCharset().Name[0] == '\0'; }

// iconv's name for char16_t text as it lies in memory.
constexpr const char* Utf16Name = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

// The conversions a request may make.
enum TConversion {
  LegacyToUtf8Kind,  // a header text, from the handheld's code page
  Utf8ToLocaleKind,  // a header text, to the locale's charset
  LocaleToUtf32Kind, // a text of the locale's charset, a character at a time (for cuts)
  Utf16ToLocaleKind, // a path, to open it
  LocaleToUtf16Kind, // an 8-bit file name
  ConversionCount
};

iconv_t OpenConverter(TConversion kind) {
  const char* locale = LocaleCharset().Name.data();
  switch (kind) {
  case LegacyToUtf8Kind:
    return ::iconv_open("UTF-8", LegacyCodePage().data());
  case Utf8ToLocaleKind:
    return ::iconv_open(locale, "UTF-8");
  case LocaleToUtf32Kind:
    return ::iconv_open("UTF-32LE", locale);
  case Utf16ToLocaleKind:
    return ::iconv_open(locale, Utf16Name);
  case LocaleToUtf16Kind:
    return ::iconv_open(Utf16Name, locale);
  case ConversionCount:
    break;
  }
  return NoConverter;
}

// Opening a converter costs more than the rest of a request, so one of each
// kind is kept for the next: a request takes it, or opens its own while
// another request holds it, and puts it back if the place is free. Nobody
// waits for anybody.
struct TSpareConverter {
  std::atomic<iconv_t> Converter{nullptr};
  ~TSpareConverter() {
    if (const iconv_t converter = Converter.exchange(nullptr)) ::iconv_close(converter);
  }
};
TSpareConverter Spares[ConversionCount];

iconv_t TakeConverter(TConversion kind) {
  if (const iconv_t spare = Spares[kind].Converter.exchange(nullptr)) return spare;
  return OpenConverter(kind);
}

// Given back in its initial state, for the next text.
void GiveBackConverter(TConversion kind, iconv_t converter) {
  ::iconv(converter, nullptr, nullptr, nullptr, nullptr);
  iconv_t empty = nullptr;
  if (!Spares[kind].Converter.compare_exchange_strong(empty, converter)) ::iconv_close(converter);
}

// What iconv failed with, 0 when it did not.
int IconvError(iconv_t converter, char** in, std::size_t* inLeft, char** out, std::size_t* outLeft) {
  return ::iconv(converter, in, inLeft, out, outLeft) == static_cast<std::size_t>(-1) ? errno : 0;
}

// A path in the locale's charset: escaped bytes (a name that was not valid in
// it) go back to the bytes they stand for; a character the charset lacks
// names no file here.
bool Utf16ToLocale(const char16_t* path, std::size_t units, char* out, std::size_t capacity) {
  const iconv_t converter = TakeConverter(Utf16ToLocaleKind);
  if (converter == NoConverter) return false;
  char* in = reinterpret_cast<char*>(const_cast<char16_t*>(path)); // iconv only reads it
  std::size_t inLeft = units * sizeof(char16_t);
  char* next = out;
  std::size_t outLeft = capacity - 1; // and the NUL
  bool converted = true;
  while (converted && inLeft > 0) {
    const int error = IconvError(converter, &in, &inLeft, &next, &outLeft);
    if (error == 0) break;
    char16_t unit;
    std::memcpy(&unit, in, sizeof unit);
    // A letter the converter holds back (BIG5-HKSCS waits after Ê and ê for a
    // combining mark) stood before the escaped byte: it goes out first.
    converted = error == EILSEQ && unit >= 0xDC80 && unit <= 0xDCFF &&
                IconvError(converter, nullptr, nullptr, &next, &outLeft) == 0 && outLeft > 0;
    if (converted) {
      *next++ = static_cast<char>(unit - 0xDC00);
      --outLeft;
      in += sizeof unit;
      inLeft -= sizeof unit;
    }
  }
  converted = converted && IconvError(converter, nullptr, nullptr, &next, &outLeft) == 0;
  GiveBackConverter(Utf16ToLocaleKind, converter);
  *next = '\0';
  return converted;
}

// The path as open() takes it: in `onStack` when the path is shorter than
// StackPathUnits, else in a buffer that `onHeap` gets; nullptr when it cannot
// be converted or open() would not take it. Most paths are ASCII, the same
// bytes in every charset, and are copied as they are.
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
    capacity = std::min(units * MaxBytesPerUnit + 1, MaxPathBytes);
    onHeap.reset(new (std::nothrow) char[capacity]);
    if (!onHeap) return nullptr;
    out = onHeap.get();
  }
  if (ascii) {
    for (std::size_t i = 0; i < units; ++i) out[i] = static_cast<char>(path[i]); // ASCII: its byte
    out[units] = '\0';
    return out;
  }
  if (!LocaleIsUtf8()) return Utf16ToLocale(path, units, out, capacity) ? out : nullptr;
  return Utf16ToUtf8(path, units, out, capacity) ? out : nullptr;
}

// An 8-bit file name in the locale's charset as UTF-16: a byte that starts no
// character of the charset is escaped as in a name that is not valid UTF-8,
// so that the name still opens its file.
std::size_t LocaleToUtf16(const char* name, char16_t* out, std::size_t capacity) {
  const iconv_t converter = TakeConverter(LocaleToUtf16Kind);
  if (converter == NoConverter) return Utf8ToUtf16(name, out, capacity);
  std::size_t needed = 0;
  const auto put = [&](char16_t unit) {
    if (needed < capacity) out[needed] = unit;
    ++needed;
  };
  char* in = const_cast<char*>(name);
  std::size_t inLeft = std::strlen(name);
  while (inLeft > 0) {
    char16_t chunk[64];
    char* next = reinterpret_cast<char*>(chunk);
    std::size_t outLeft = sizeof chunk;
    const int error = IconvError(converter, &in, &inLeft, &next, &outLeft);
    for (const char16_t* unit = chunk; unit != reinterpret_cast<char16_t*>(next); ++unit) put(*unit);
    if (error == EILSEQ || error == EINVAL) {
      const auto byte = static_cast<unsigned char>(*in++);
      --inLeft;
      put(static_cast<char16_t>(byte >= 0x80 ? 0xDC00 + byte : byte));
    } else if (error != 0 && error != E2BIG) {
      break;
    }
  }
  GiveBackConverter(LocaleToUtf16Kind, converter);
  if (needed < capacity) out[needed] = 0;
  return needed;
}

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

} // namespace

// The host's own bytes when it gave them, else the UTF-16 name in the
// locale's charset.
bool ReadFileStart(const TFileName& name, void* buffer, std::size_t size) {
  char onStack[StackPathBytes];
  std::unique_ptr<char[]> onHeap;
  const char* systemPath = name.Bytes != nullptr ? name.Bytes : PathForOpen(name.Utf16, onStack, onHeap);
  if (systemPath == nullptr) return false;

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
  if (::stat(systemPath, &status) != 0 || !S_ISREG(status.st_mode) ||
      status.st_size < static_cast<off_t>(size)) {
    return false;
  }
  // O_NONBLOCK and O_NOCTTY for that case: a FIFO without a writer opens at
  // once instead of holding the host's thread, a terminal does not become ours.
  // A signal may interrupt the open too, on NFS and FUSE mounts: it is tried again.
  int fd;
  do {
    fd = ::open(systemPath, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
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
  return LocaleIsUtf8() ? Utf8ToUtf16(name, out, capacity) : LocaleToUtf16(name, out, capacity);
}

// Where the locale's charset is the handheld's code page, stored texts go
// out as they are.
THostCharset HostCharset() {
  if (LocaleIsUtf8()) return THostCharset::Utf8;
  return LocaleCharset().IsLegacyCodePage ? THostCharset::HandheldCodePage : THostCharset::OtherCharset;
}

// With iconv. What the loop relies on:
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
  const iconv_t converter = TakeConverter(LegacyToUtf8Kind);
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
  GiveBackConverter(LegacyToUtf8Kind, converter);
  return static_cast<std::size_t>(next - out);
}

// With iconv; without a converter, ASCII (the same everywhere) and "?".
std::size_t Utf8ToHostCharset(std::string_view text, char* out, std::size_t capacity) {
  const iconv_t converter = TakeConverter(Utf8ToLocaleKind);
  char* next = out;
  std::size_t outLeft = capacity;
  char* in = const_cast<char*>(text.data()); // iconv only reads it
  std::size_t inLeft = text.size();
  while (inLeft > 0) {
    if (converter != NoConverter && IconvError(converter, &in, &inLeft, &next, &outLeft) != EILSEQ) break;
    // Lacking, or no converter at all (ASCII is the same everywhere).
    char32_t codePoint = 0;
    const std::size_t length = std::max<std::size_t>(DecodeUtf8({in, inLeft}, codePoint), 1);
    if (outLeft == 0) break;
    *next++ = codePoint < 0x80 ? static_cast<char>(codePoint) : '?';
    --outLeft;
    in += length;
    inLeft -= length;
  }
  if (converter != NoConverter) {
    ::iconv(converter, nullptr, nullptr, &next, &outLeft); // what a stateful charset still holds
    GiveBackConverter(Utf8ToLocaleKind, converter);
  }
  return static_cast<std::size_t>(next - out);
}

// The converter takes one character at a time, giving one UTF-32 unit, and a
// byte that starts no character counts as one.
std::size_t HostCharsetCut(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text.size();
  const iconv_t converter = TakeConverter(LocaleToUtf32Kind);
  if (converter == NoConverter) return limit;
  char* in = const_cast<char*>(text.data()); // iconv only reads it
  std::size_t inLeft = text.size();
  std::size_t kept = 0;
  while (inLeft > 0) {
    const std::size_t before = inLeft;
    char32_t unit;
    char* next = reinterpret_cast<char*>(&unit);
    std::size_t outLeft = sizeof unit;
    const int error = IconvError(converter, &in, &inLeft, &next, &outLeft);
    if ((error == EILSEQ || error == EINVAL) && inLeft == before) {
      ++in;
      --inLeft;
    }
    const std::size_t length = before - inLeft;
    if (kept + length > limit) break;
    kept += length;
  }
  GiveBackConverter(LocaleToUtf32Kind, converter);
  return kept;
}
