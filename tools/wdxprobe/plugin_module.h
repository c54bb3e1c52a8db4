// A content plug-in hosted as a file manager hosts it: loaded by path and
// told its settings file, its fields and units enumerated, one value asked
// (a full text in pieces), and unloaded.
#pragma once

#include "tools/wdxprobe/host_system.h"
#include "tools/wdxprobe/interface.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

struct TContentPlugin {
  void* Module = nullptr;
  ContentGetSupportedFieldFunc GetSupportedField = nullptr;
  ContentGetValueFunc GetValue = nullptr; // one of the two value functions is required
  ContentGetValueWFunc GetValueW = nullptr;
  // Optional.
  ContentGetDetectStringFunc GetDetectString = nullptr;
  ContentSetDefaultParamsFunc SetDefaultParams = nullptr;
  ContentPluginUnloadingFunc PluginUnloading = nullptr;
  ContentStopGetValueFunc StopGetValue = nullptr;
  ContentStopGetValueWFunc StopGetValueW = nullptr;
  ContentGetSupportedFieldFlagsFunc GetSupportedFieldFlags = nullptr;
  ContentGetDefaultSortOrderFunc GetDefaultSortOrder = nullptr;
};

// Loads the plug-in and, when it has ContentSetDefaultParams, tells it the
// interface version and `iniPath` (cut to the interface's 259 bytes). On
// failure returns false with a one-line reason that names the missing export
// or the loader's complaint.
bool LoadContentPlugin(const std::filesystem::path& path, const std::string& iniPath, TContentPlugin& plugin,
                       std::string& error);

// Tells the plug-in (ContentPluginUnloading, when it has it), then unloads it.
void UnloadContentPlugin(TContentPlugin& plugin);

// The address of an export by name, or null.
void* FindExport(const TContentPlugin& plugin, const char* name);

// The plug-in's detect string; empty without ContentGetDetectString.
std::string DetectString(const TContentPlugin& plugin);

struct TFieldInfo {
  int Index;
  std::string Name;
  int Type;
  std::vector<std::string> Units; // the plug-in's "a|b|c", split
};

// Indexes 0, 1, 2, ... until the plug-in answers FieldNoMoreFields.
std::vector<TFieldInfo> EnumerateFields(const TContentPlugin& plugin);

// The units as the plug-in lists them: "a|b|c".
std::string JoinedUnits(const TFieldInfo& field);

// Hosts hand plug-ins a value buffer of this size.
inline constexpr int ValueBufferSize = 2048;

// One column: a field, and the unit asked for (0 when the field has none).
struct TAskedField {
  int FieldIndex;
  int UnitIndex;
  int Type; // as declared
};

// A value as the plug-in gave it. Its bytes are appended to a buffer that
// all values of a file share: text up to its NUL (UTF-16 for the wide
// types), else as many bytes as the type has.
struct TValueRef {
  int Result = FieldEmpty;
  std::uint32_t Offset = 0;
  std::uint32_t Length = 0;
  bool WasDelayed = false; // answered FieldDelayed first, then asked again
  bool Cut = false;        // a full text cut at the bound
};

// Asks one field of one file, through ContentGetValueW when the plug-in has
// it, else through ContentGetValue. A full-text field (declared type 9 or
// 12) is read in pieces: asked with the byte offset as unit index until the
// plug-in has no more or `maxText` bytes are there (then ContentStopGetValue),
// and finally once with unit index -1 so that it can release what it holds.
TValueRef AskField(const TContentPlugin& plugin, const TPluginFileName& file, const TAskedField& field,
                   int flags, std::size_t maxText, std::string& bytes);

inline std::string_view ValueBytes(const std::string& bytes, const TValueRef& value) {
  return std::string_view(bytes).substr(value.Offset, value.Length);
}
