// Test support: loads the built plug-in the way a host does, by path, and
// looks its functions up by name.
#pragma once

#include "plugin/contplug.h"

#include <string>

struct TPlugin {
  void* Module = nullptr;
  ContentGetDetectStringFunc GetDetectString = nullptr;
  ContentGetSupportedFieldFunc GetSupportedField = nullptr;
  ContentGetValueFunc GetValue = nullptr;
  ContentGetValueWFunc GetValueW = nullptr;
};

// The plug-in's path, given to the test program as its first argument.
extern std::string PluginPath;

// Loads the plug-in once per test program; fails the calling test if it cannot.
const TPlugin& LoadedPlugin();

// The address of an export by name, or null.
void* FindExport(const TPlugin& plugin, const char* name);
