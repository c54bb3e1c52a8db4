// What each system's platform file (platform_win.cpp, platform_posix.cpp)
// tells the shared rules for host text (host_text.cpp): the charset the host
// reads 8-bit text in, and the conversions into and within it. Nothing
// outside the platform layer uses these.
#pragma once

#include <cstddef>
#include <string_view>

enum class THostCharset {
  Utf8,             // Linux almost everywhere; Windows whose ANSI code page is UTF-8
  StoredBytes,      // Windows: the host reads any stored text in its ANSI code page
  HandheldCodePage, // Linux: the locale's charset is the code page the handheld stored its texts in
  OtherCharset,     // Linux: another charset the locale names (KOI8-R, EUC-JP, ISO-8859-1, ...)
};

// Decided once per process: the environment a host started with does not change.
THostCharset HostCharset();

// Text stored in the code page of the handheld's language as UTF-8: a byte
// that code page does not define becomes U+FFFD in its place, and what does
// not fit in `capacity` is left out, whole characters at a time.
std::size_t LegacyToUtf8(std::string_view bytes, char* out, std::size_t capacity);

// UTF-8 text in the host's charset, "?" for a character it lacks; whole
// characters within `capacity`.
std::size_t Utf8ToHostCharset(std::string_view text, char* out, std::size_t capacity);

// How many of the first `limit` bytes of a text in the host's charset (not
// UTF-8) hold whole characters.
std::size_t HostCharsetCut(std::string_view text, std::size_t limit);
