// What the plug-in offers, independent of any file: the detection expression
// and the eight fields.
#pragma once

#include <array>
#include <string_view>

// Tells the host which files to offer: those whose extension is PDB or PRC.
// A request checks a wider rule of its own (a lowered extension that contains
// "pdb" or "prc") and answers any other name with 0, as a delayed value.
inline constexpr std::string_view DetectExpression = R"(EXT="PDB"|EXT="PRC")";

inline constexpr std::array<std::string_view, 8> FieldNames = {
    "DBName", "DBType", "CreatorID", "DataCreated", "DataModified", "DataBackedUp", "NumRecords", "Version",
};
inline constexpr int FieldCount = static_cast<int>(FieldNames.size());

// Copies `text` into the caller's buffer of `size` bytes: at most size-1
// bytes, then a NUL. A null buffer or a size below 1 is left alone.
void CopyTextToBuffer(std::string_view text, char* buffer, int size);

// Describes field `fieldIndex`: its name into `name` (cut to `size`), the
// empty units text into `units`. Returns the declared type, FieldTypeString
// for every field, even the dates, which a request answers as dates: that is
// how the interface has always declared them, and hosts keep what they were
// told (column sets, search templates). FieldNoMoreFields past the last field.
int DescribeField(int fieldIndex, char* name, char* units, int size);
