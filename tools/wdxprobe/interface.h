// The content plug-in interface as a host sees it: everything beyond the
// four functions and codes that plugin/contplug.h declares for our own
// plug-in: the other value types and results, the optional exports, and the
// structure of ContentSetDefaultParams.
#pragma once

#include "plugin/contplug.h"

#include <cstdint>
#include <string_view>

// Value types, declared by ContentGetSupportedField and returned by a value
// request; FieldTypeDate (4) and FieldTypeString (8) come from contplug.h.
inline constexpr int FieldTypeInt = 1;            // 32-bit signed
inline constexpr int FieldTypeInt64 = 2;          // 64-bit signed
inline constexpr int FieldTypeFloat = 3;          // double, optionally followed by its text
inline constexpr int FieldTypeTime = 5;           // three 16-bit words: hour, minute, second
inline constexpr int FieldTypeBoolean = 6;        // 32-bit, 0 is false
inline constexpr int FieldTypeMultipleChoice = 7; // 8-bit text, one of the field's units
inline constexpr int FieldTypeFullText = 9;       // 8-bit text in pieces, see AskFullText
inline constexpr int FieldTypeDateTime = 10;      // FILETIME: 100 ns since 1601-01-01 UTC
inline constexpr int FieldTypeWideString = 11;    // UTF-16 text
inline constexpr int FieldTypeFullTextWide = 12;  // UTF-16 text in pieces

// How a value of each type lies in the buffer.
enum class TValueLayout {
  Text,     // 8-bit, up to its NUL
  WideText, // UTF-16, up to its NUL unit
  Int32,
  Int64,
  Float, // a double, then the text some plug-ins show instead, up to its NUL
  Date,  // three 16-bit words: year, month, day
  Time,
  Boolean,  // 32-bit
  FileTime, // 64-bit
};

// The one table of value types: their codes, the names the output gives
// them, how their values lie, and whether they are asked in pieces.
struct TValueType {
  int Code;
  std::string_view Name;
  TValueLayout Layout;
  bool InPieces = false; // a full text: asked with the byte offset as unit index
};
inline constexpr TValueType ValueTypes[] = {
    {FieldTypeInt, "int32", TValueLayout::Int32},
    {FieldTypeInt64, "int64", TValueLayout::Int64},
    {FieldTypeFloat, "float", TValueLayout::Float},
    {FieldTypeDate, "date", TValueLayout::Date},
    {FieldTypeTime, "time", TValueLayout::Time},
    {FieldTypeBoolean, "boolean", TValueLayout::Boolean},
    {FieldTypeMultipleChoice, "choice", TValueLayout::Text},
    {FieldTypeString, "string", TValueLayout::Text},
    {FieldTypeFullText, "fulltext", TValueLayout::Text, true},
    {FieldTypeDateTime, "datetime", TValueLayout::FileTime},
    {FieldTypeWideString, "wstring", TValueLayout::WideText},
    {FieldTypeFullTextWide, "fulltextw", TValueLayout::WideText, true},
};

// The type of a code, or null for a result without a value.
constexpr const TValueType* ValueTypeOf(int code) {
  for (const TValueType& type : ValueTypes) {
    if (type.Code == code) return &type;
  }
  return nullptr;
}

// Results of a value request without a value; FieldDelayed (0),
// FieldNoSuchField (-1) and FieldEmpty (-3) come from contplug.h.
inline constexpr int FieldFileError = -2;
inline constexpr int FieldOnDemand = -4;
inline constexpr int FieldNotSupported = -5;
inline constexpr int FieldSetCancel = -6;

// The unit index that asks a full-text field to release what it holds.
inline constexpr int FullTextRelease = -1;

// The interface version this host implements, told to ContentSetDefaultParams.
inline constexpr std::uint32_t InterfaceVersionHigh = 2;
inline constexpr std::uint32_t InterfaceVersionLow = 12;

inline constexpr int MaxIniPath = 260;

// What ContentSetDefaultParams receives; `Size` lets a plug-in tell versions apart.
struct ContentDefaultParamStruct {
  std::int32_t Size;
  std::uint32_t PluginInterfaceVersionLow;
  std::uint32_t PluginInterfaceVersionHi;
  char DefaultIniName[MaxIniPath];
};

// Bits of ContentGetSupportedFieldFlags.
inline constexpr int FieldFlagEdit = 1;
inline constexpr int FieldFlagSubstituteMask = 14; // which file property the field may stand in for
inline constexpr int FieldFlagFieldEdit = 16;

using ContentSetDefaultParamsFunc = void(KORVEL_CALL*)(ContentDefaultParamStruct*);
using ContentPluginUnloadingFunc = void(KORVEL_CALL*)();
using ContentStopGetValueFunc = void(KORVEL_CALL*)(const char*);
using ContentStopGetValueWFunc = void(KORVEL_CALL*)(const WideChar*);
using ContentGetSupportedFieldFlagsFunc = int(KORVEL_CALL*)(int);
using ContentGetDefaultSortOrderFunc = int(KORVEL_CALL*)(int);
