// Header texts as the host reads 8-bit text. The rules are the same on every
// system (host_text.cpp); each system's platform file tells which charset the
// host reads and converts into it (host_charset.h).
#pragma once

#include <cstddef>
#include <string_view>

// The longest stored text given here: a database name, 32 bytes.
inline constexpr std::size_t MaxStoredTextBytes = 32;

// A byte of a handheld's code page takes at most three bytes of UTF-8 (U+FFFD,
// for a byte the code page does not define, takes three too).
inline constexpr std::size_t MaxUtf8BytesPerByte = 3;

// A header text becomes at most this many bytes of host text per stored byte:
// three in UTF-8, four in GB18030 (where U+FFFD takes four).
inline constexpr std::size_t MaxHostBytesPerByte = 4;

// A header text (a database name up to its NUL, a type or creator code) as
// the host reads 8-bit text, in the system's 8-bit charset (Windows' ANSI
// code page, the charset of the locale on Linux):
// - where that is UTF-8 (Linux almost everywhere, Windows set to UTF-8): the
//   text unchanged when it is UTF-8 already, else read in the code page of
//   the user's language and given as UTF-8;
// - the stored bytes on Windows of any other ANSI code page, which the host
//   reads them in, and on Linux where the locale's charset is the code page
//   they were read in;
// - in any other charset of a Linux locale: the text as UTF-8, then in that
//   charset, "?" for a character it lacks.
// Writes at most `capacity` bytes, whole characters only, and returns how many.
std::size_t HeaderTextForHost(std::string_view bytes, char* out, std::size_t capacity);

// How many of the first `limit` bytes of a host text can be kept without
// cutting a character in two.
std::size_t HostTextCut(std::string_view text, std::size_t limit);
