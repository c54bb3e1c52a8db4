#include "tools/wdxprobe/plugin_host.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <fstream>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#define KORVEL_ISATTY(fd) _isatty(fd)
#else
#include <dlfcn.h>
#include <unistd.h>
#define KORVEL_ISATTY(fd) isatty(fd)
#endif

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

#if !defined(_WIN32)
// The processor an ELF file is built for, from its header; empty for what
// is not ELF.
std::string ElfProcessor(const fs::path& path) {
  constexpr unsigned char ElfMagic[] = {0x7F, 'E', 'L', 'F'};
  std::ifstream in(path, std::ios::binary);
  unsigned char header[20] = {};
  if (!in.read(reinterpret_cast<char*>(header), sizeof header) || std::memcmp(header, ElfMagic, 4) != 0)
    return {};
  const unsigned first = header[18], second = header[19]; // e_machine, in the file's byte order
  const unsigned machine = header[5] == 1 ? first | second << 8 : first << 8 | second;
  switch (machine) {
  case 3:
    return "x86 (32-bit)";
  case 40:
    return "32-bit ARM";
  case 62:
    return "x86-64";
  case 183:
    return "arm64";
  default:
    return "ELF machine " + std::to_string(machine) + (header[4] == 2 ? ", 64-bit" : ", 32-bit");
  }
}
#endif

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
    const DWORD code = ::GetLastError();
    error = "cannot load " + path.string() + ": Windows error " + std::to_string(code);
    // The one users meet: a DLL of the other width, as a 64-bit host meets a 32-bit plug-in.
    if (code == ERROR_BAD_EXE_FORMAT) {
      error += sizeof(void*) == 8 ? ", not a 64-bit DLL (wdxprobe.exe loads 32-bit ones)"
                                  : ", not a 32-bit DLL (wdxprobe64.exe loads 64-bit ones)";
    }
    return false;
  }
#else
  plugin.Module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (plugin.Module == nullptr) {
    error = "cannot load " + path.string() + ": " + ::dlerror();
    // The C library says "No such file or directory" of a library for
    // another processor, the one users meet with a package of another
    // architecture: say what it is.
    const std::string processor = ElfProcessor(path);
    if (!processor.empty() && processor != ElfProcessor("/proc/self/exe")) {
      error = "cannot load " + path.string() + ": a library for " + processor + ", not for " +
              ElfProcessor("/proc/self/exe") + " as this wdxprobe";
    }
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

namespace {

// A file manager asks with DelayIfSlow on its drawing thread and, when the
// plug-in defers, again without it from a worker thread.
TValueRef AskAsHostDoes(const TContentPlugin& plugin, const TPluginFileName& name, const TAskedField& field,
                        const TAskOptions& options, std::string& bytes) {
  if (!options.Delay) return AskField(plugin, name, field, 0, options.MaxText, bytes);
  const std::size_t before = bytes.size();
  TValueRef first = AskField(plugin, name, field, DelayIfSlow, options.MaxText, bytes);
  if (first.Result != FieldDelayed) return first;
  bytes.resize(before);
  TValueRef second;
  std::thread worker([&] { second = AskField(plugin, name, field, 0, options.MaxText, bytes); });
  worker.join();
  second.WasDelayed = true;
  return second;
}

} // namespace

void AskAll(const TContentPlugin& plugin, const std::vector<TColumn>& columns, const TAskOptions& options,
            TResults& results) {
  results.Columns = columns.size();
  results.Values.resize(results.Jobs.size() * columns.size());
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> done{0};
  auto work = [&] {
    TPluginFileName name; // once per file, not per value, in memory kept from file to file
    for (std::size_t i = next++; i < results.Jobs.size(); i = next++) {
      TFileJob& job = results.Jobs[i];
      SetPluginFileName(name, job.Path);
      for (std::size_t column = 0; column < columns.size(); ++column) {
        results.Values[i * columns.size() + column] =
            AskAsHostDoes(plugin, name, columns[column].Asked, options, job.Bytes);
      }
      ++done;
    }
  };
  const bool showProgress = KORVEL_ISATTY(2) && results.Jobs.size() >= 50;
  std::vector<std::thread> threads;
  for (unsigned t = 1; t < std::max(1u, options.Threads); ++t) threads.emplace_back(work);
  if (showProgress) {
    threads.emplace_back(work);
    while (done < results.Jobs.size()) {
      std::fprintf(stderr, "\r%zu of %zu files", done.load(), results.Jobs.size());
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  } else {
    work(); // the main thread is one of the workers
  }
  for (auto& thread : threads) thread.join();
  if (showProgress) std::fprintf(stderr, "\r%zu of %zu files\n", results.Jobs.size(), results.Jobs.size());
}
