#include "tools/wdxprobe/plugin_host.h"
#include "pdb/utf.h"

#include <charconv>
#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

// Value types of the interface beyond the two this plug-in answers with.
constexpr int FieldTypeInt = 1;
constexpr int FieldTypeInt64 = 2;
constexpr int FieldTypeFloat = 3;
constexpr int FieldTypeTime = 5;
constexpr int FieldTypeBoolean = 6;
constexpr int FieldTypeMultipleChoice = 7;
constexpr int FieldTypeFullText = 9;
constexpr int FieldTypeDateTime = 10;
constexpr int FieldTypeWideString = 11;
constexpr int FieldFileError = -2;

template <typename Function> Function Symbol(const TContentPlugin& plugin, const char* name) {
  return reinterpret_cast<Function>(FindExport(plugin, name));
}

std::size_t ValueSize(int result, const std::uint8_t* buffer) {
  switch (result) {
  case FieldTypeString:
  case FieldTypeMultipleChoice:
  case FieldTypeFullText:
    return strnlen(reinterpret_cast<const char*>(buffer), ValueBufferSize);
  case FieldTypeWideString: {
    std::size_t units = 0;
    while (units * 2 + 1 < ValueBufferSize && (buffer[units * 2] != 0 || buffer[units * 2 + 1] != 0)) ++units;
    return units * 2;
  }
  case FieldTypeInt:
  case FieldTypeBoolean:
    return 4;
  case FieldTypeInt64:
  case FieldTypeFloat:
  case FieldTypeDateTime:
    return 8;
  case FieldTypeDate:
  case FieldTypeTime:
    return 6;
  default:
    return 0;
  }
}

template <typename T> T Read(const std::vector<std::uint8_t>& bytes) {
  T value{};
  std::memcpy(&value, bytes.data(), std::min(sizeof value, bytes.size()));
  return value;
}

std::string Printf(const char* format, auto... values) {
  char text[64];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

} // namespace

void* FindExport(const TContentPlugin& plugin, const char* name) {
#if defined(_WIN32)
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(plugin.Module), name));
#else
  return ::dlsym(plugin.Module, name);
#endif
}

bool LoadContentPlugin(const std::filesystem::path& given, TContentPlugin& plugin, std::string& error) {
  // A bare name would send the loader searching the system's folders.
  std::error_code ignored;
  const std::filesystem::path path = std::filesystem::absolute(given, ignored);
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
  if (plugin.GetSupportedField == nullptr) {
    error = path.string() + " lacks the export ContentGetSupportedField";
    return false;
  }
  if (plugin.GetValue == nullptr && plugin.GetValueW == nullptr) {
    error = path.string() + " lacks the export ContentGetValueW (and ContentGetValue)";
    return false;
  }
  return true;
}

std::string DetectString(const TContentPlugin& plugin) {
  if (plugin.GetDetectString == nullptr) return {};
  char text[ValueBufferSize] = {};
  plugin.GetDetectString(text, sizeof text);
  text[sizeof text - 1] = '\0';
  return text;
}

std::vector<TFieldInfo> EnumerateFields(const TContentPlugin& plugin) {
  std::vector<TFieldInfo> fields;
  for (int index = 0; index < 10000; ++index) {
    char name[ValueBufferSize] = {};
    char units[ValueBufferSize] = {};
    const int type = plugin.GetSupportedField(index, name, units, sizeof name);
    if (type == FieldNoMoreFields) break;
    name[sizeof name - 1] = units[sizeof units - 1] = '\0';
    fields.push_back({index, name, type, units});
  }
  return fields;
}

TFieldValue AskField(const TContentPlugin& plugin, const std::filesystem::path& file, int fieldIndex,
                     int flags) {
  std::vector<std::uint8_t> buffer(ValueBufferSize + 2, 0);
  TFieldValue value;
  if (plugin.GetValueW != nullptr) {
#if defined(_WIN32)
    const std::wstring name = file.wstring();
    value.Result = plugin.GetValueW(name.c_str(), fieldIndex, 0, buffer.data(), ValueBufferSize, flags);
#else
    const std::string native = file.string();
    std::vector<char16_t> name(Utf8ToUtf16(native.c_str(), nullptr, 0) + 1);
    Utf8ToUtf16(native.c_str(), name.data(), name.size());
    value.Result = plugin.GetValueW(reinterpret_cast<const WideChar*>(name.data()), fieldIndex, 0,
                                    buffer.data(), ValueBufferSize, flags);
#endif
  } else {
    value.Result =
        plugin.GetValue(file.string().c_str(), fieldIndex, 0, buffer.data(), ValueBufferSize, flags);
  }
  value.Bytes.assign(buffer.begin(),
                     buffer.begin() + static_cast<long>(ValueSize(value.Result, buffer.data())));
  return value;
}

std::string FormatValue(const TFieldValue& value) {
  const auto& bytes = value.Bytes;
  switch (value.Result) {
  case FieldTypeString:
  case FieldTypeMultipleChoice:
  case FieldTypeFullText:
    return std::string(bytes.begin(), bytes.end());
  case FieldTypeDate: {
    const auto date = Read<FieldDate>(bytes);
    return Printf("%04u-%02u-%02u", unsigned{date.Year}, unsigned{date.Month}, unsigned{date.Day});
  }
  case FieldTypeTime: {
    const auto time = Read<FieldDate>(bytes); // three words: hour, minute, second
    return Printf("%02u:%02u:%02u", unsigned{time.Year}, unsigned{time.Month}, unsigned{time.Day});
  }
  case FieldTypeInt:
    return std::to_string(Read<std::int32_t>(bytes));
  case FieldTypeInt64:
    return std::to_string(Read<std::int64_t>(bytes));
  case FieldTypeFloat:
    return Printf("%g", Read<double>(bytes));
  case FieldTypeBoolean:
    return Read<std::int32_t>(bytes) != 0 ? "true" : "false";
  case FieldTypeDateTime:
    return "filetime " + std::to_string(Read<std::uint64_t>(bytes));
  case FieldTypeWideString: {
    std::vector<char16_t> units(bytes.size() / 2);
    std::memcpy(units.data(), bytes.data(), units.size() * 2);
    std::string text(units.size() * 4 + 1, '\0');
    if (!Utf16ToUtf8(units.data(), units.size(), text.data(), text.size())) return "(not UTF-16)";
    text.resize(std::strlen(text.c_str()));
    return text;
  }
  case FieldDelayed:
    return "delayed";
  case FieldNoSuchField:
    return "no such field";
  case FieldFileError:
    return "file error";
  case FieldEmpty:
    return "empty";
  default:
    return "code " + std::to_string(value.Result);
  }
}

std::string HexBytes(const std::vector<std::uint8_t>& bytes) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string hex;
  for (const std::uint8_t value : bytes) {
    hex += digits[value >> 4];
    hex += digits[value & 15];
  }
  return hex;
}
