// One field of one file: read the header afresh, decode it, and give the
// value the field table names as text or as a day count.
#pragma once

#include "pdb/format/bounded_text.h"
#include "pdb/format/header.h"
#include "pdb/system/host_text.h"
#include "pdb/system/platform.h"

#include <string_view>

// Ends every text value: the interface's texts have always ended in one
// space, and what hosts keep of them (renaming rules, search templates that
// look for a value with its space) relies on it.
inline constexpr std::string_view FieldSuffix = " ";

// A field's text: at most the 32 name bytes as host text, and the suffix.
using TFieldText = TBoundedText<sizeof(TPDBRawHeader::Name) * MaxHostBytesPerByte + FieldSuffix.size()>;

// Fills `header` from the first 78 bytes of the file. False when the path is
// too long, the file cannot be opened, or it holds fewer than 78 bytes.
bool ReadHeader(const TFileName& file, TPDBRawHeader& header);

// The text of a field answered as text (0, 1, 2, 6 and 7) as the host reads
// 8-bit text; empty for any other index, for a file whose header cannot be
// read, and for a file whose header shows another format. The name is its
// name proper, then the NUL and the bytes after it as stored (which the host
// never sees), then the suffix.
TFieldText GetHeaderText(const TFileName& file, int fieldIndex);

// The day count of a field answered as a date (3, 4 and 5); 0.0 for any
// other index and for the files that give no text.
TDateTime GetHeaderDate(const TFileName& file, int fieldIndex);
