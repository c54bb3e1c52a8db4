// Hosting any content plug-in: loading it by path, enumerating its fields
// and asking for values, as a file manager does.
#pragma once

#include "plugin/contplug.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct TContentPlugin {
  void* Module = nullptr;
  ContentGetDetectStringFunc GetDetectString = nullptr; // optional
  ContentGetSupportedFieldFunc GetSupportedField = nullptr;
  ContentGetValueFunc GetValue = nullptr; // one of the two value functions is required
  ContentGetValueWFunc GetValueW = nullptr;
};

struct TFieldInfo {
  int Index;
  std::string Name;
  int Type;
  std::string Units;
};

// Loads the plug-in; on failure returns false with a one-line reason that
// names the missing export or the loader's complaint.
bool LoadContentPlugin(const std::filesystem::path& path, TContentPlugin& plugin, std::string& error);

// The address of an export by name, or null.
void* FindExport(const TContentPlugin& plugin, const char* name);

std::string DetectString(const TContentPlugin& plugin);

// Indexes 0, 1, 2, ... until the plug-in answers FieldNoMoreFields.
std::vector<TFieldInfo> EnumerateFields(const TContentPlugin& plugin);

// Hosts hand plug-ins a buffer of this size.
inline constexpr int ValueBufferSize = 2048;

struct TFieldValue {
  int Result = FieldEmpty;
  std::vector<std::uint8_t> Bytes; // the value as the plug-in wrote it: text up to its NUL, else by type
  bool WasDelayed = false;         // answered FieldDelayed first, then asked again
};

// Asks one field of one file, through ContentGetValueW when the plug-in has
// it, else through ContentGetValue.
TFieldValue AskField(const TContentPlugin& plugin, const std::filesystem::path& file, int fieldIndex,
                     int flags);

// A value as a person reads it: text as returned, dates as YYYY-MM-DD, and
// the codes without a value as words.
std::string FormatValue(const TFieldValue& value);

// Lower-case hexadecimal of the bytes.
std::string HexBytes(const std::vector<std::uint8_t>& bytes);
