// Test programs that load the plug-in take its path as their first argument.
#include "tests/support/plugin_loader.h"

#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s PLUGIN\n", argv[0]);
    return 2;
  }
  PluginPath = argv[1];
  return RUN_ALL_TESTS();
}
