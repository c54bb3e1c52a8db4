#include "tools/wdxprobe/plugin_module.h"
#include "tools/wdxprobe/module.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace fs = std::filesystem;

namespace {

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
  const TValueType* type = ValueTypeOf(result);
  if (type == nullptr) return 0;
  switch (type->Layout) {
  case TValueLayout::Text:
    return strnlen(buffer, ValueBufferSize);
  case TValueLayout::WideText:
    return WideLength(buffer, ValueBufferSize);
  case TValueLayout::Int32:
  case TValueLayout::Boolean:
    return 4;
  case TValueLayout::Float: // the number, then the text some plug-ins show instead
    return 8 + strnlen(buffer + 8, ValueBufferSize - 8);
  case TValueLayout::Int64:
  case TValueLayout::FileTime:
    return 8;
  case TValueLayout::Date:
  case TValueLayout::Time:
    return 6;
  }
  return 0;
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
    const TValueType* type = ValueTypeOf(result);
    if (type == nullptr || !type->InPieces) break;
    const std::size_t piece = ValueSize(result, buffer.Bytes);
    if (piece == 0) break;
    std::size_t taken = std::min(piece, maxText - offset);
    if (type->Layout == TValueLayout::WideText) taken &= ~std::size_t{1}; // whole UTF-16 units
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

void* FindExport(const TContentPlugin& plugin, const char* name) { return ModuleExport(plugin.Module, name); }

bool LoadContentPlugin(const fs::path& given, const std::string& iniPath, TContentPlugin& plugin,
                       std::string& error) {
  // A bare name would send the loader searching the system's folders.
  std::error_code ignored;
  const fs::path path = fs::absolute(given, ignored);
  plugin.Module = OpenModule(path, error);
  if (plugin.Module == nullptr) return false;
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
    SystemIniName(iniPath).copy(params.DefaultIniName, sizeof params.DefaultIniName - 1);
    plugin.SetDefaultParams(&params);
  }
  return true;
}

void UnloadContentPlugin(TContentPlugin& plugin) {
  if (plugin.Module == nullptr) return;
  if (plugin.PluginUnloading != nullptr) plugin.PluginUnloading();
  CloseModule(plugin.Module);
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

TValueRef AskField(const TContentPlugin& plugin, const TPluginFileName& file, const TAskedField& field,
                   int flags, std::size_t maxText, std::string& bytes) {
  if (const TValueType* type = ValueTypeOf(field.Type); type != nullptr && type->InPieces) {
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
