#include "tests/support/plugin_loader.h"

#include <gtest/gtest.h>

std::string PluginPath;

const TContentPlugin& LoadedPlugin() {
  static std::string error;
  static const TContentPlugin plugin = [] {
    TContentPlugin loaded;
    LoadContentPlugin(PluginPath, "", loaded, error);
    return loaded;
  }();
  EXPECT_TRUE(error.empty()) << error;
  EXPECT_TRUE(plugin.GetDetectString && plugin.GetSupportedField && plugin.GetValue && plugin.GetValueW)
      << "an export is missing";
  return plugin;
}
