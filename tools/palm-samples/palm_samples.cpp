// palm-samples: writes a folder of sample Palm databases, as devices and
// desktop converters make them, plus the awkward cases a plug-in meets.
#include "plugin/version.h"
#include "tools/palm-samples/sample_folder.h"

#include <charconv>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr const char* Usage =
    "Usage: palm-samples FOLDER [COUNT]\n"
    "  or:  palm-samples --names FOLDER\n"
    "Writes sample Palm OS databases (PDB and PRC files) into FOLDER: without COUNT\n"
    "the samples, as devices and desktop converters make them, and awkward cases;\n"
    "with COUNT, that many generated databases.\n"
    "\n"
    "Options:\n"
    "  --names    databases named in Western, Cyrillic and Japanese code pages, and in UTF-8\n"
    "  --help     print this help and exit\n"
    "  --version  print the version and exit\n";

constexpr int ExitUsage = 2;

int UsageError(const std::string& problem) {
  std::cerr << "palm-samples: " << problem << "\n" << Usage;
  return ExitUsage;
}

// A positive whole number in decimal, nothing before or after it.
bool ParseCount(std::string_view text, int& count) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
  return error == std::errc{} && end == text.data() + text.size() && count > 0;
}

} // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  bool names = false;
  std::vector<std::string_view> operands;
  for (const auto argument : arguments) {
    if (argument == "--help" || argument == "-h") {
      std::cout << Usage;
      return 0;
    }
    if (argument == "--version") {
      std::cout << "palm-samples " KORVEL_VERSION_TEXT "\n";
      return 0;
    }
    if (argument == "--names") {
      names = true;
    } else if (argument.size() > 1 && argument[0] == '-') {
      return UsageError("unknown option " + std::string(argument));
    } else {
      operands.push_back(argument);
    }
  }
  if (operands.empty() || operands.size() > (names ? 1u : 2u)) return UsageError("wrong number of arguments");
  int count = 0;
  if (operands.size() == 2 && !ParseCount(operands[1], count)) {
    return UsageError("COUNT must be a positive whole number, not " + std::string(operands[1]));
  }
  try {
    const std::string folder(operands[0]);
    if (names) {
      WriteInternationalSamples(folder);
    } else if (count > 0) {
      WriteGeneratedDatabases(folder, count);
    } else {
      WriteSampleFolder(folder);
    }
  } catch (const std::exception& error) {
    std::cerr << "palm-samples: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
