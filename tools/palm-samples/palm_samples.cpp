// palm-samples: writes a folder of sample Palm databases, as devices and
// desktop converters make them, plus the awkward cases a plug-in meets.
#include "tools/palm-samples/sample_folder.h"

#include <cstdlib>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
  const bool international = argc == 3 && std::string(argv[1]) == "--names";
  if (argc != 2 && argc != 3) {
    std::cerr << "usage: palm-samples FOLDER [COUNT]\n"
                 "       palm-samples --names FOLDER\n"
                 "  without COUNT: the sample databases; with it: COUNT generated ones;\n"
                 "  --names: databases named in Western, Cyrillic and Japanese code pages, and in UTF-8\n";
    return 2;
  }
  try {
    if (international) {
      WriteInternationalSamples(argv[2]);
    } else if (argc == 3) {
      WriteGeneratedDatabases(argv[1], std::atoi(argv[2]));
    } else {
      WriteSampleFolder(argv[1]);
    }
  } catch (const std::exception& error) {
    std::cerr << "palm-samples: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
