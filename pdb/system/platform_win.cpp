// Windows file access and the ANSI code page.
#include "pdb/system/code_page.h"
#include "pdb/system/host_charset.h"
#include "pdb/system/platform.h"
#include "pdb/system/utf.h"
#include "pdb/system/windows_path.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <new>

namespace {

// char16_t and wchar_t are both UTF-16 code units on Windows; the system's
// functions spell them wchar_t.
const wchar_t* SystemText(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
wchar_t* SystemText(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }

TLeadBytes LeadBytes(UINT codePage) {
  TLeadBytes set;
  CPINFO info;
  if (!::GetCPInfo(codePage, &info)) return set;
  for (std::size_t i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2) {
    for (unsigned byte = info.LeadByte[i]; byte <= info.LeadByte[i + 1]; ++byte) set.set(byte);
  }
  return set;
}

// The lead bytes of the ANSI code page, which the host reads our texts in;
// it is the system's and does not change while a process runs.
const TLeadBytes& AnsiLeadBytes() {
  static const TLeadBytes leadBytes = LeadBytes(CP_ACP);
  return leadBytes;
}

// Windows 10 and 11 can make UTF-8 the ANSI code page, for the whole system
// or for a program whose manifest asks for it: the host then reads our texts
// as UTF-8, as hosts on Linux do.
bool HostReadsUtf8() {
  static const bool utf8 = ::GetACP() == CP_UTF8;
  return utf8;
}

// The code page the handheld of the user's language stored its names in:
// the default ANSI code page of the user's locale, which GetACP no longer
// gives once the ANSI code page is UTF-8.
UINT LegacyCodePage() {
  static const UINT codePage = [] {
    wchar_t digits[8] = {};
    UINT number = 0;
    if (::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE, digits, 8) > 0) {
      for (const wchar_t* digit = digits; *digit >= L'0' && *digit <= L'9'; ++digit) {
        number = number * 10 + static_cast<UINT>(*digit - L'0');
      }
    }
    return number == 0 || number == CP_UTF8 ? 1252u : number;
  }();
  return codePage;
}

// MinGW-w64's headers name only the first of the three attributes.
static_assert(AttributeOffline == FILE_ATTRIBUTE_OFFLINE);
static_assert(ShareEverything == (FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE));

// Room on the stack for a full path that opens as it is, and for the long
// form's prefix in front of it; a longer full path opens in its long form
// from the heap.
constexpr std::size_t StackOpenUnits = LongFormRoom + ShortPathLimit;

// The NUL-terminated path to open, written into `onStack`, or into a buffer
// that `onHeap` gets when the full path is too long for it; the empty text
// when there is none: a device, or a path too long to be opened at all.
std::u16string_view PathForOpen(const char16_t* path, char16_t (&onStack)[StackOpenUnits],
                                std::unique_ptr<char16_t[]>& onHeap) {
  const std::u16string_view given(path);
  // Windows takes \\?\ as it stands: no device names, no full path to make.
  if (IsVerbatimPath(given)) return NamesDevice(given) ? std::u16string_view() : given;
  if (NamesDevice(given)) return {};
  // Windows' own rule makes the full path: the folder of a relative path,
  // "." and ".." resolved, trailing dots and spaces dropped, and a reserved
  // device name (CON, NUL:, COM1.pdb, as this Windows counts them) turned
  // into "\\.\NAME". Nothing is opened to find it. Given too little room, it
  // tells how much the full path needs, its NUL included.
  char16_t* buffer = onStack;
  DWORD room = StackOpenUnits - LongFormRoom;
  DWORD length = ::GetFullPathNameW(SystemText(path), room, SystemText(buffer + LongFormRoom), nullptr);
  if (length >= room && length <= MaxPathLength + 1) {
    room = length;
    onHeap.reset(new (std::nothrow) char16_t[LongFormRoom + room]);
    if (!onHeap) return {};
    buffer = onHeap.get();
    length = ::GetFullPathNameW(SystemText(path), room, SystemText(buffer + LongFormRoom), nullptr);
  }
  if (length == 0 || length >= room) return {}; // past the longest path, or the folder changed meanwhile
  return PathToOpen(buffer, length);            // ends where the full path's NUL is
}

} // namespace

// The UTF-16 name alone: an 8-bit name's bytes are what Windows converts
// into it.
bool ReadFileStart(const TFileName& name, void* buffer, std::size_t size) {
  // A device is never opened: a serial port or the console can hold the open
  // or the read for ever, and a pipe's bytes belong to its reader. A path of
  // 260 units or more opens in its long form, which the old limit does not bind.
  char16_t onStack[StackOpenUnits];
  std::unique_ptr<char16_t[]> onHeap;
  const std::u16string_view openPath = PathForOpen(name.Utf16, onStack, onHeap);
  if (openPath.empty()) return false;
  // A file whose data is in the cloud or in offline storage is left there: a
  // column is not worth a download. Its attributes say so before it is
  // opened, asked by name, which reads no data (file managers ask the same
  // for every file they list). A folder, or a name that is not there, ends
  // here too.
  const DWORD attributes = ::GetFileAttributesW(SystemText(openPath.data()));
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
      DataIsElsewhere(attributes)) {
    return false;
  }
  // Shared with whatever others do meanwhile. Should the data move away, the
  // open asks that it be left where it is.
  const HANDLE file = ::CreateFileW(SystemText(openPath.data()), GENERIC_READ, ShareEverything, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_NO_RECALL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  // What the name did not show (a link to a device, say): only disk files are read.
  bool readable = ::GetFileType(file) == FILE_TYPE_DISK;
  // A network redirector may answer with fewer bytes than asked: read on
  // until all are there, the file ends (a read of 0) or a read fails.
  auto* bytes = static_cast<unsigned char*>(buffer);
  std::size_t got = 0;
  while (readable && got < size) {
    DWORD count = 0;
    readable = ::ReadFile(file, bytes + got, static_cast<DWORD>(size - got), &count, nullptr) != FALSE;
    if (count == 0) break;
    got += count;
  }
  ::CloseHandle(file);
  return readable && got == size;
}

std::size_t SystemNameToUtf16(const char* name, char16_t* out, std::size_t capacity) {
  const int limit = capacity > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(capacity);
  const int written = ::MultiByteToWideChar(::GetACP(), 0, name, -1, reinterpret_cast<wchar_t*>(out), limit);
  if (written > 0) return static_cast<std::size_t>(written) - 1;
  // Too long for `out`: report what it needs. A name that cannot be
  // converted at all counts as the empty name.
  const int needed = ::MultiByteToWideChar(::GetACP(), 0, name, -1, nullptr, 0);
  if (needed > 0) return static_cast<std::size_t>(needed) - 1;
  if (capacity > 0) out[0] = 0;
  return 0;
}

// The host reads 8-bit values in the ANSI code page, the one the handheld's
// language used when the user's Windows speaks it: the bytes go out
// unchanged. Where the ANSI code page is UTF-8, the host reads UTF-8.
THostCharset HostCharset() { return HostReadsUtf8() ? THostCharset::Utf8 : THostCharset::StoredBytes; }

// A character at a time (one byte, or a lead and a trail byte). A character
// takes at most three UTF-8 bytes per stored byte.
std::size_t LegacyToUtf8(std::string_view bytes, char* out, std::size_t capacity) {
  const UINT codePage = LegacyCodePage();
  static const TLeadBytes leadBytes = LeadBytes(codePage);
  std::size_t used = 0;
  for (std::size_t i = 0; i < bytes.size();) {
    const bool lead = leadBytes.test(static_cast<unsigned char>(bytes[i])) && i + 1 < bytes.size();
    const int length = lead ? 2 : 1;
    wchar_t wide[2];
    const int units =
        ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data() + i, length, wide, 2);
    char utf8[8];
    const int count =
        units > 0 ? ::WideCharToMultiByte(CP_UTF8, 0, wide, units, utf8, sizeof utf8, nullptr, nullptr) : 0;
    const std::string_view piece =
        count > 0 ? std::string_view(utf8, static_cast<std::size_t>(count)) : ReplacementCharacter;
    if (capacity - used < piece.size()) break;
    std::copy_n(piece.data(), piece.size(), out + used);
    used += piece.size();
    i += count > 0 ? static_cast<std::size_t>(length)
                   : 1; // an undefined byte, or the first of an undefined pair
  }
  return used;
}

// Through UTF-16 into the ANSI code page, "?" for what it lacks. (The rules
// never ask it here: a Windows host reads UTF-8 or the stored bytes.)
std::size_t Utf8ToHostCharset(std::string_view text, char* out, std::size_t capacity) {
  if (text.empty() || capacity == 0) return 0;
  wchar_t wide[128];
  const int units = ::MultiByteToWideChar(
      CP_UTF8, 0, text.data(), static_cast<int>(std::min<std::size_t>(text.size(), 128)), wide, 128);
  if (units <= 0) return 0;
  char ansi[256];
  const int length = ::WideCharToMultiByte(CP_ACP, 0, wide, units, ansi, sizeof ansi, "?", nullptr);
  if (length <= 0) return 0;
  const std::size_t count =
      HostCharsetCut(std::string_view(ansi, static_cast<std::size_t>(length)), capacity);
  std::copy_n(ansi, count, out);
  return count;
}

// In a double-byte ANSI code page (932, 936, 949, 950) a cut stops before a
// character that does not fit, so that no lead byte is left alone.
std::size_t HostCharsetCut(std::string_view text, std::size_t limit) {
  return DoubleByteCut(text, limit, AnsiLeadBytes());
}
