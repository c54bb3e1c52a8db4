// Which legacy 8-bit code page a user's Windows would take as its ANSI code
// page, told from a POSIX locale name: Palm handhelds stored their texts in
// the code page of their language, as Windows does, never in UTF-8.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <string_view>

// The locale the C library would take for character types: the first of
// LC_ALL, LC_CTYPE and LANG that is set and not empty; null counts as unset.
std::string_view CharacterLocale(const char* lcAll, const char* lcCtype, const char* lang);

// The ANSI code page of a locale such as "ja_JP.UTF-8" or "sr_RS@latin",
// chosen by its language (and, for Chinese and Serbian, its territory or
// script); 1252 for C, POSIX, an empty name and every language without one.
unsigned AnsiCodePage(std::string_view locale);

// The codeset a locale names after its dot, "CP1251" of "ru_RU.CP1251@x";
// empty when it names none.
std::string_view LocaleCodeset(std::string_view locale);

// Whether a codeset is UTF-8, however it is spelled ("UTF-8", "utf8").
bool NamesUtf8(std::string_view codeset);

// Whether a codeset is the given Windows code page ("CP1251", "cp1251",
// "WINDOWS-1251").
bool NamesCodePage(std::string_view codeset, unsigned codePage);

// The code page's name as iconv knows it: "CP1252", "CP932", ...
using TCodePageName = std::array<char, 8>;
TCodePageName CodePageName(unsigned codePage);

// The bytes that start a two-byte character in a double-byte code page (932,
// 936, 949, 950): a set of 256. A single-byte code page has none.
using TLeadBytes = std::bitset<256>;

// How many of the first `limit` bytes of text in such a code page can be
// kept without cutting a two-byte character in two.
std::size_t DoubleByteCut(std::string_view text, std::size_t limit, const TLeadBytes& leadBytes);
