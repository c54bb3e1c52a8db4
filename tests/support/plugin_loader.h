// Test support: the built plug-in, loaded by path the way the command-line
// host loads any plug-in.
#pragma once

#include "tools/wdxprobe/plugin_module.h"

#include <string>

// The plug-in's path, given to the test program as its first argument.
extern std::string PluginPath;

// Loads the plug-in once per test program; fails the calling test if it cannot.
const TContentPlugin& LoadedPlugin();
