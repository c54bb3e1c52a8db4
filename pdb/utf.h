// UTF-8 <-> UTF-16 for file names on systems whose file names are bytes.
//
// A byte that is not part of a valid UTF-8 sequence becomes the lone
// surrogate U+DC80..U+DCFF and turns back into the same byte, so that a file
// whose name is not valid UTF-8 can still be named in UTF-16 and opened.
#pragma once

#include "plugin/contplug.h"

#include <cstddef>

// Converts NUL-terminated UTF-8. Returns the number of UTF-16 code units the
// whole text needs, NUL not counted. Writes at most `capacity` units and the
// NUL only when the whole text fits, that is when the result is below `capacity`.
std::size_t Utf8ToUtf16(const char* text, WideChar* out, std::size_t capacity);

// Converts `length` UTF-16 code units into NUL-terminated UTF-8. False when a
// surrogate is unpaired and not an escaped byte, or when `capacity` is too small.
bool Utf16ToUtf8(const WideChar* text, std::size_t length, char* out, std::size_t capacity);
