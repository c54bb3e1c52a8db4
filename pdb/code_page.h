// Which legacy 8-bit code page a user's Windows would take as its ANSI code
// page, told from a POSIX locale name: Palm handhelds stored their texts in
// the code page of their language, as Windows does, never in UTF-8.
#pragma once

#include <array>
#include <string_view>

// The locale the C library would take for character types: the first of
// LC_ALL, LC_CTYPE and LANG that is set and not empty; null counts as unset.
std::string_view CharacterLocale(const char* lcAll, const char* lcCtype, const char* lang);

// The ANSI code page of a locale such as "ja_JP.UTF-8" or "sr_RS@latin",
// chosen by its language (and, for Chinese and Serbian, its territory or
// script); 1252 for C, POSIX, an empty name and every language without one.
unsigned AnsiCodePage(std::string_view locale);

// The code page's name as iconv knows it: "CP1252", "CP932", ...
using TCodePageName = std::array<char, 8>;
TCodePageName CodePageName(unsigned codePage);
