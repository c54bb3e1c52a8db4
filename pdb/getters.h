// One field of one file: read the header afresh, decode it, and give the
// field as text or as a day count.
#pragma once

#include "pdb/bounded_text.h"
#include "pdb/header.h"
#include "plugin/contplug.h"

#include <string_view>

// Ends every text value.
inline constexpr std::string_view FieldSuffix = " ";

// A field's text: at most the 32 name bytes and the suffix.
using TFieldText = TBoundedText<33>;

// Paths of more UTF-16 code units than this are never opened.
inline constexpr std::size_t MaxPathLength = 259;

// Fills `header` from the first 78 bytes of the file. False when the path is
// too long, the file cannot be opened, or it holds fewer than 78 bytes.
bool ReadHeader(const WideChar* path, TPDBRawHeader& header);

// The text of field 0, 1, 2, 6 or 7; empty for any other index and for a file
// whose header cannot be read.
TFieldText GetHeaderText(const WideChar* path, int fieldIndex);

// The day count of field 3, 4 or 5; 0.0 for any other index and for a file
// whose header cannot be read.
TDateTime GetHeaderDate(const WideChar* path, int fieldIndex);
