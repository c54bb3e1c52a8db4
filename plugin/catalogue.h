// What the plug-in offers, independent of any file: the detection expression
// and the table of the eight fields.
#pragma once

#include "plugin/contplug.h"

#include <array>
#include <string_view>

// Tells the host which files to offer: those whose extension is PDB or PRC.
// A request checks a wider rule of its own (a lowered extension that contains
// "pdb" or "prc") and answers any other name with 0, as a delayed value.
inline constexpr std::string_view DetectExpression = R"(EXT="PDB"|EXT="PRC")";

// The values of a Palm database header that fields show.
enum class THeaderValue { Name, DBType, CreatorID, Created, Modified, BackedUp, NumRecords, Version };

struct TField {
  std::string_view Name; // as the host lists it
  // What ContentGetSupportedField declares: text for every field, even the
  // dates, which a request answers as dates. That is how the interface has
  // always declared them, and hosts keep what they were told (column sets,
  // search templates).
  int DeclaredType;
  bool AnsweredAsDate; // a request gives a FieldDate; else the header value as text
  THeaderValue Shows;
};

// The field index is the position in this table.
inline constexpr std::array<TField, 8> Fields = {{
    {"DBName", FieldTypeString, false, THeaderValue::Name},
    {"DBType", FieldTypeString, false, THeaderValue::DBType},
    {"CreatorID", FieldTypeString, false, THeaderValue::CreatorID},
    {"DataCreated", FieldTypeString, true, THeaderValue::Created},
    {"DataModified", FieldTypeString, true, THeaderValue::Modified},
    {"DataBackedUp", FieldTypeString, true, THeaderValue::BackedUp},
    {"NumRecords", FieldTypeString, false, THeaderValue::NumRecords},
    {"Version", FieldTypeString, false, THeaderValue::Version},
}};
inline constexpr int FieldCount = static_cast<int>(Fields.size());

// The field of an index, or null past either end of the table.
constexpr const TField* FieldAt(int fieldIndex) {
  return fieldIndex >= 0 && fieldIndex < FieldCount ? &Fields[static_cast<std::size_t>(fieldIndex)] : nullptr;
}

// Copies `text` into the caller's buffer of `size` bytes: at most size-1
// bytes, then a NUL. A null buffer or a size below 1 is left alone.
void CopyTextToBuffer(std::string_view text, char* buffer, int size);

// Describes field `fieldIndex`: its name into `name` (cut to `size`), the
// empty units text into `units`. Returns the declared type, or
// FieldNoMoreFields past the last field.
int DescribeField(int fieldIndex, char* name, char* units, int size);
