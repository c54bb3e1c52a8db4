#include "tools/wdxprobe/plugin_host.h"
#include "pdb/utf.h"

#include <algorithm>
#include <climits>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include "pdb/code_page.h"
#include "pdb/platform.h"

#include <dlfcn.h>
#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#endif

namespace fs = std::filesystem;

namespace {

#if defined(_WIN32)
bool AnsiFromWide(const std::wstring& wide, std::string& ansi);
#endif

template <typename Function> Function Symbol(const TContentPlugin& plugin, const char* name) {
  return reinterpret_cast<Function>(FindExport(plugin, name));
}

// A value buffer with room for a NUL that the plug-in did not write.
struct TValueBuffer {
  alignas(8) char Bytes[ValueBufferSize + 2];
};

std::size_t WideLength(const char* buffer, std::size_t limit) {
  std::size_t bytes = 0;
  while (bytes + 1 < limit && (buffer[bytes] != 0 || buffer[bytes + 1] != 0)) bytes += 2;
  return bytes;
}

// How many bytes of the buffer make up a value of this result.
std::size_t ValueSize(int result, const char* buffer) {
  switch (result) {
  case FieldTypeString:
  case FieldTypeMultipleChoice:
  case FieldTypeFullText:
    return strnlen(buffer, ValueBufferSize);
  case FieldTypeWideString:
  case FieldTypeFullTextWide:
    return WideLength(buffer, ValueBufferSize);
  case FieldTypeInt:
  case FieldTypeBoolean:
    return 4;
  case FieldTypeFloat: // the number, then the text some plug-ins show instead
    return 8 + strnlen(buffer + 8, ValueBufferSize - 8);
  case FieldTypeInt64:
  case FieldTypeDateTime:
    return 8;
  case FieldTypeDate:
  case FieldTypeTime:
    return 6;
  default:
    return 0;
  }
}

// The interface's UTF-16 unit is a 16-bit code unit on every system.
const WideChar* InterfaceName(const TPluginFileName& file) {
  static_assert(sizeof(WideChar) == sizeof(char16_t));
  return reinterpret_cast<const WideChar*>(file.Wide.c_str());
}

int Ask(const TContentPlugin& plugin, const TPluginFileName& file, int fieldIndex, int unitIndex,
        char* buffer, int flags) {
  if (plugin.GetValueW != nullptr) {
    return plugin.GetValueW(InterfaceName(file), fieldIndex, unitIndex, buffer, ValueBufferSize, flags);
  }
  if (!file.HasNarrow) return FieldFileError; // no name the 8-bit export could be given
  return plugin.GetValue(file.Narrow.c_str(), fieldIndex, unitIndex, buffer, ValueBufferSize, flags);
}

TValueRef AskFullText(const TContentPlugin& plugin, const TPluginFileName& file, const TAskedField& field,
                      int flags, std::size_t maxText, std::string& bytes) {
  TValueRef value;
  value.Offset = static_cast<std::uint32_t>(bytes.size());
  TValueBuffer buffer;
  std::size_t offset = 0;
  for (bool first = true;; first = false) {
    std::memset(buffer.Bytes, 0, 2);
    const int result = Ask(plugin, file, field.FieldIndex, static_cast<int>(offset), buffer.Bytes, flags);
    if (first) value.Result = result;
    if (result == FieldDelayed && first) return value; // nothing started, nothing to release
    if (result != FieldTypeFullText && result != FieldTypeFullTextWide) break;
    const std::size_t piece = ValueSize(result, buffer.Bytes);
    if (piece == 0) break;
    std::size_t taken = std::min(piece, maxText - offset);
    if (result == FieldTypeFullTextWide) taken &= ~std::size_t{1}; // whole UTF-16 units
    bytes.append(buffer.Bytes, taken);
    offset += taken;
    value.Result = result;
    if (offset >= maxText || offset > INT_MAX - ValueBufferSize) {
      value.Cut = true;
      if (plugin.GetValueW != nullptr && plugin.StopGetValueW != nullptr) {
        plugin.StopGetValueW(InterfaceName(file));
      } else if (plugin.StopGetValue != nullptr) {
        plugin.StopGetValue(file.Narrow.c_str());
      }
      break;
    }
  }
  Ask(plugin, file, field.FieldIndex, FullTextRelease, buffer.Bytes, flags);
  value.Length = static_cast<std::uint32_t>(offset);
  return value;
}

} // namespace

void* FindExport(const TContentPlugin& plugin, const char* name) {
#if defined(_WIN32)
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(plugin.Module), name));
#else
  return ::dlsym(plugin.Module, name);
#endif
}

bool LoadContentPlugin(const fs::path& given, const std::string& iniPath, TContentPlugin& plugin,
                       std::string& error) {
  // A bare name would send the loader searching the system's folders.
  std::error_code ignored;
  const fs::path path = fs::absolute(given, ignored);
#if defined(_WIN32)
  plugin.Module = reinterpret_cast<void*>(::LoadLibraryW(path.c_str()));
  if (plugin.Module == nullptr) {
    error = "cannot load " + path.string() + ": Windows error " + std::to_string(::GetLastError());
    return false;
  }
#else
  plugin.Module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (plugin.Module == nullptr) {
    error = "cannot load " + path.string() + ": " + ::dlerror();
    return false;
  }
#endif
  plugin.GetDetectString = Symbol<ContentGetDetectStringFunc>(plugin, "ContentGetDetectString");
  plugin.GetSupportedField = Symbol<ContentGetSupportedFieldFunc>(plugin, "ContentGetSupportedField");
  plugin.GetValue = Symbol<ContentGetValueFunc>(plugin, "ContentGetValue");
  plugin.GetValueW = Symbol<ContentGetValueWFunc>(plugin, "ContentGetValueW");
  plugin.SetDefaultParams = Symbol<ContentSetDefaultParamsFunc>(plugin, "ContentSetDefaultParams");
  plugin.PluginUnloading = Symbol<ContentPluginUnloadingFunc>(plugin, "ContentPluginUnloading");
  plugin.StopGetValue = Symbol<ContentStopGetValueFunc>(plugin, "ContentStopGetValue");
  plugin.StopGetValueW = Symbol<ContentStopGetValueWFunc>(plugin, "ContentStopGetValueW");
  plugin.GetSupportedFieldFlags =
      Symbol<ContentGetSupportedFieldFlagsFunc>(plugin, "ContentGetSupportedFieldFlags");
  plugin.GetDefaultSortOrder = Symbol<ContentGetDefaultSortOrderFunc>(plugin, "ContentGetDefaultSortOrder");
  if (plugin.GetSupportedField == nullptr) {
    error = path.string() + " lacks the export ContentGetSupportedField";
    return false;
  }
  if (plugin.GetValue == nullptr && plugin.GetValueW == nullptr) {
    error = path.string() + " lacks the export ContentGetValueW (and ContentGetValue)";
    return false;
  }
  if (plugin.SetDefaultParams != nullptr) {
    ContentDefaultParamStruct params{};
    params.Size = sizeof params;
    params.PluginInterfaceVersionLow = InterfaceVersionLow;
    params.PluginInterfaceVersionHi = InterfaceVersionHigh;
#if defined(_WIN32)
    std::string ansiIni; // an 8-bit text: in the ANSI code page
    AnsiFromWide(fs::path(std::u8string(iniPath.begin(), iniPath.end())).wstring(), ansiIni);
    ansiIni.copy(params.DefaultIniName, sizeof params.DefaultIniName - 1);
#else
    iniPath.copy(params.DefaultIniName, sizeof params.DefaultIniName - 1);
#endif
    plugin.SetDefaultParams(&params);
  }
  return true;
}

void UnloadContentPlugin(TContentPlugin& plugin) {
  if (plugin.Module == nullptr) return;
  if (plugin.PluginUnloading != nullptr) plugin.PluginUnloading();
#if defined(_WIN32)
  ::FreeLibrary(static_cast<HMODULE>(plugin.Module));
#else
  ::dlclose(plugin.Module);
#endif
  plugin = {};
}

std::string DetectString(const TContentPlugin& plugin) {
  if (plugin.GetDetectString == nullptr) return {};
  TValueBuffer text{};
  plugin.GetDetectString(text.Bytes, ValueBufferSize);
  text.Bytes[ValueBufferSize] = '\0';
  return text.Bytes;
}

std::vector<TFieldInfo> EnumerateFields(const TContentPlugin& plugin) {
  std::vector<TFieldInfo> fields;
  for (int index = 0; index < 10000; ++index) {
    TValueBuffer name{};
    TValueBuffer units{};
    const int type = plugin.GetSupportedField(index, name.Bytes, units.Bytes, ValueBufferSize);
    if (type == FieldNoMoreFields) break;
    name.Bytes[ValueBufferSize] = units.Bytes[ValueBufferSize] = '\0';
    TFieldInfo field{index, name.Bytes, type, {}};
    const std::string_view list = units.Bytes;
    for (std::size_t start = 0; !list.empty() && start <= list.size();) {
      const std::size_t bar = std::min(list.find('|', start), list.size());
      field.Units.emplace_back(list.substr(start, bar - start));
      start = bar + 1;
    }
    fields.push_back(std::move(field));
  }
  return fields;
}

std::string JoinedUnits(const TFieldInfo& field) {
  std::string joined;
  for (const auto& unit : field.Units) joined += (joined.empty() ? "" : "|") + unit;
  return joined;
}

#if defined(_WIN32)
namespace {

// UTF-16 in the ANSI code page; false when a character has no form there.
bool AnsiFromWide(const std::wstring& wide, std::string& ansi) {
  ansi.clear();
  if (wide.empty()) return true;
  const UINT codePage = ::GetACP();
  BOOL lossy = FALSE;
  // UTF-8 has every character, and takes no WC_NO_BEST_FIT_CHARS or lossy flag.
  const bool utf8 = codePage == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const int size = static_cast<int>(wide.size());
  const int length = ::WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return false;
  ansi.resize(static_cast<std::size_t>(length));
  ::WideCharToMultiByte(codePage, flags, wide.data(), size, ansi.data(), length, nullptr,
                        utf8 ? nullptr : &lossy);
  return !lossy;
}

} // namespace

std::string Utf8FromSystem(std::string_view ansi) {
  if (ansi.empty()) return {};
  const int size = static_cast<int>(ansi.size());
  std::wstring wide(static_cast<std::size_t>(::MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, nullptr, 0)),
                    L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, wide.data(), static_cast<int>(wide.size()));
  const std::u8string utf8 = fs::path(wide).u8string();
  return std::string(utf8.begin(), utf8.end());
}
#else
// File managers on Linux read 8-bit texts in the charset their locale names
// after its dot, and take UTF-8 where it names none or one iconv lacks.
std::string Utf8FromSystem(std::string_view text) {
  static const std::string charset = [] {
    const std::string_view codeset =
        LocaleCodeset(CharacterLocale(std::getenv("LC_ALL"), std::getenv("LC_CTYPE"), std::getenv("LANG")));
    return NamesUtf8(codeset) ? std::string() : std::string(codeset);
  }();
  if (charset.empty()) return std::string(text);
  const iconv_t converter = ::iconv_open("UTF-8", charset.c_str());
  if (converter == reinterpret_cast<iconv_t>(-1)) return std::string(text);
  std::string utf8(text.size() * 4, '\0');   // no character takes more than four UTF-8 bytes per byte
  char* in = const_cast<char*>(text.data()); // iconv only reads it
  std::size_t inLeft = text.size();
  char* out = utf8.data();
  std::size_t outLeft = utf8.size();
  while (inLeft > 0 && ::iconv(converter, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1)) {
    if ((errno != EILSEQ && errno != EINVAL) || outLeft < ReplacementCharacter.size()) break;
    out = std::copy(ReplacementCharacter.begin(), ReplacementCharacter.end(), out);
    outLeft -= ReplacementCharacter.size();
    ++in;
    --inLeft;
  }
  ::iconv_close(converter);
  utf8.resize(utf8.size() - outLeft);
  return utf8;
}
#endif

void SetPluginFileName(TPluginFileName& name, const std::string& systemPath) {
#if defined(_WIN32)
  const fs::path file(std::u8string(systemPath.begin(), systemPath.end()));
  const std::wstring wide = file.wstring();
  name.Wide.assign(wide.begin(), wide.end());
  // The 8-bit exports get the name in the ANSI code page, as from any Windows
  // host; a name with a character that has no form there goes as its short
  // (8.3) name where the volume keeps one.
  name.HasNarrow = AnsiFromWide(wide, name.Narrow);
  if (!name.HasNarrow) {
    std::wstring shortName(wide.size() + 1, L'\0');
    const DWORD length =
        ::GetShortPathNameW(wide.c_str(), shortName.data(), static_cast<DWORD>(shortName.size()));
    if (length > 0 && length < shortName.size()) {
      shortName.resize(length);
      name.HasNarrow = AnsiFromWide(shortName, name.Narrow);
    }
  }
#else
  // The bytes of the name, read in the locale's charset as the plug-in reads
  // them (a file manager names files so); never more UTF-16 units than bytes.
  name.Narrow = systemPath;
  name.Wide.resize(systemPath.size() + 1);
  name.Wide.resize(SystemNameToUtf16(systemPath.c_str(), name.Wide.data(), name.Wide.size()));
#endif
}

TValueRef AskField(const TContentPlugin& plugin, const TPluginFileName& file, const TAskedField& field,
                   int flags, std::size_t maxText, std::string& bytes) {
  if (field.Type == FieldTypeFullText || field.Type == FieldTypeFullTextWide) {
    return AskFullText(plugin, file, field, flags, maxText, bytes);
  }
  TValueBuffer buffer;
  std::memset(buffer.Bytes, 0, 9); // a number or empty text, and no text after a double, unless written
  TValueRef value;
  value.Result = Ask(plugin, file, field.FieldIndex, field.UnitIndex, buffer.Bytes, flags);
  buffer.Bytes[ValueBufferSize] = buffer.Bytes[ValueBufferSize + 1] = 0;
  value.Offset = static_cast<std::uint32_t>(bytes.size());
  value.Length = static_cast<std::uint32_t>(ValueSize(value.Result, buffer.Bytes));
  bytes.append(buffer.Bytes, value.Length);
  return value;
}
