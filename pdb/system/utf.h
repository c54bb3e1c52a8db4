// UTF-8 <-> UTF-16 for file names on systems whose file names are bytes, and
// the UTF-8 checks that header texts need there.
//
// A byte that is not part of a valid UTF-8 sequence becomes the lone
// surrogate U+DC80..U+DCFF and turns back into the same byte, so that a file
// whose name is not valid UTF-8 can still be named in UTF-16 and opened.
#pragma once

#include <cstddef>
#include <string_view>

// U+FFFD, what a byte that a text's encoding does not define is shown as.
inline constexpr std::string_view ReplacementCharacter = "\xEF\xBF\xBD";

// Converts NUL-terminated UTF-8. Returns the number of UTF-16 code units the
// whole text needs, NUL not counted. Writes at most `capacity` units and the
// NUL only when the whole text fits, that is when the result is below `capacity`.
std::size_t Utf8ToUtf16(const char* text, char16_t* out, std::size_t capacity);

// Converts `length` UTF-16 code units into NUL-terminated UTF-8. False when a
// surrogate is unpaired and not an escaped byte, or when `capacity` is too small.
bool Utf16ToUtf8(const char16_t* text, std::size_t length, char* out, std::size_t capacity);

// True when every byte belongs to a well-formed UTF-8 sequence (no overlong
// forms, no encoded surrogates, nothing above U+10FFFF); ASCII is UTF-8.
bool IsValidUtf8(std::string_view text);

// The length of the well-formed UTF-8 sequence that `text` starts with (1 for
// ASCII), its code point in `codePoint`; 0 when the text is empty or its
// first byte starts no such sequence.
std::size_t DecodeUtf8(std::string_view text, char32_t& codePoint);

// Writes the UTF-8 form of a code point (at most U+10FFFF, not a surrogate)
// to `out` and returns its length, 1 to 4.
std::size_t EncodeUtf8(char32_t codePoint, char* out);

// The length of the longest prefix of at most `limit` bytes that does not end
// inside a UTF-8 sequence: cutting there keeps whole characters only.
std::size_t Utf8PrefixLength(std::string_view text, std::size_t limit);
