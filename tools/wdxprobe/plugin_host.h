// Hosting any content plug-in as a file manager does: loading it by path and
// telling it its settings file, enumerating its fields and units, asking for
// values (full texts in pieces; every file's values, on worker threads), and
// unloading it.
#pragma once

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

// A file's name in both forms the exports take, made once per file; one
// of these serves file after file without asking for memory again.
struct TPluginFileName {
  std::string Narrow; // the system's 8-bit code page: ANSI on Windows, the locale's charset on Linux
  std::u16string Wide;
  bool HasNarrow = true; // false where the name has no ANSI form, not even a short name
};
// `systemPath` as this program holds paths: UTF-8 on Windows, the file
// system's own bytes on Linux.
void SetPluginFileName(TPluginFileName& name, const std::string& systemPath);

// An 8-bit text of the plug-in as a host reads it, given here as UTF-8: on
// Windows in the ANSI code page (UTF-8 where that is 65001); on Linux in the
// charset of the locale (LC_ALL, LC_CTYPE or LANG; UTF-8 where it names none),
// a byte that charset does not define as U+FFFD.
std::string Utf8FromSystem(std::string_view text);

// A file name held as this program holds paths, as UTF-8 for the outputs: on
// Linux read in the locale's charset, a byte that is no character of it shown
// as \udc and its value in two hex digits (\udcff for 0xFF), so that the name
// can be told back; on Windows, where paths are held in UTF-8, as it is.
std::string Utf8NameFromSystem(std::string_view path);

// UTF-8 text as the terminal takes it: on Linux in the locale's charset, "?"
// for a character it lacks; on Windows as it is.
std::string TerminalText(std::string_view utf8);

#if defined(_WIN32)
// UTF-16 in the ANSI code page; false when a character has no form there.
bool AnsiFromWide(const std::wstring& wide, std::string& ansi);
#endif

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

// A column of the output: a field and the unit asked for.
struct TColumn {
  TAskedField Asked;
  std::string Title;       // the field's name, with {unit} when one was asked
  const TFieldInfo* Field; // as the plug-in listed it
};

struct TFileJob {
  std::string Path;  // as this program holds paths: a folder argument joined with the path found in it
  std::string Bytes; // every value's bytes, one after the other
};

// The values of all files, file after file, a column each.
struct TResults {
  std::vector<TFileJob> Jobs;
  std::vector<TValueRef> Values;
  std::size_t Columns = 0;

  const TValueRef& Value(std::size_t job, std::size_t column) const { return Values[job * Columns + column]; }
};

// How the values are asked.
struct TAskOptions {
  bool Delay = false; // DelayIfSlow first, then again from a worker thread, as file managers do
  std::size_t MaxText = 64 * 1024;
  unsigned Threads = 1;
};

// Asks every column of every job, spreading the files over the threads, and
// shows the progress on a terminal's stderr for 50 files or more.
void AskAll(const TContentPlugin& plugin, const std::vector<TColumn>& columns, const TAskOptions& options,
            TResults& results);
