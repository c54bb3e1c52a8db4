#include "tests/support/plugin_loader.h"

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

std::string PluginPath;

namespace {

#if defined(_WIN32)
// The build runs on Linux and hands over a Linux path; Wine shows the root
// file system as drive Z:.
std::wstring WindowsPath(const std::string& path) {
  std::wstring result = path.starts_with('/') ? L"Z:" : L"";
  for (const char c : path) result += c == '/' ? L'\\' : static_cast<wchar_t>(c);
  return result;
}

void* OpenModule(const std::string& path) {
  return reinterpret_cast<void*>(::LoadLibraryW(WindowsPath(path).c_str()));
}
#else
void* OpenModule(const std::string& path) { return ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }
#endif

template <typename Function> Function Export(const TPlugin& plugin, const char* name) {
  return reinterpret_cast<Function>(FindExport(plugin, name));
}

} // namespace

void* FindExport(const TPlugin& plugin, const char* name) {
#if defined(_WIN32)
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(plugin.Module), name));
#else
  return ::dlsym(plugin.Module, name);
#endif
}

const TPlugin& LoadedPlugin() {
  static const TPlugin plugin = [] {
    TPlugin loaded;
    loaded.Module = OpenModule(PluginPath);
    if (loaded.Module == nullptr) return loaded;
    loaded.GetDetectString = Export<ContentGetDetectStringFunc>(loaded, "ContentGetDetectString");
    loaded.GetSupportedField = Export<ContentGetSupportedFieldFunc>(loaded, "ContentGetSupportedField");
    loaded.GetValue = Export<ContentGetValueFunc>(loaded, "ContentGetValue");
    loaded.GetValueW = Export<ContentGetValueWFunc>(loaded, "ContentGetValueW");
    return loaded;
  }();
  EXPECT_NE(plugin.Module, nullptr) << "cannot load " << PluginPath;
  EXPECT_TRUE(plugin.GetDetectString && plugin.GetSupportedField && plugin.GetValue && plugin.GetValueW)
      << "an export is missing";
  return plugin;
}
