// What the plug-in offers, independent of any file: the detection expression
// and the eight fields.
#pragma once

#include <array>
#include <string_view>

// The host offers the plug-in only files whose extension is PDB or PRC.
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
// for every field, even the dates; FieldNoMoreFields past the last field.
int DescribeField(int fieldIndex, char* name, char* units, int size);
