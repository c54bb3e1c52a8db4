// wdxprobe: loads a content plug-in as a file manager does, lists its
// fields, and prints every value it gives for the files named: as a table,
// as CSV or as JSON. This file is the command line. Loading a plug-in and
// asking it one value are in plugin_module, asking every file's values in
// file_jobs, collecting the files in file_collection, the output in output
// and the formatting of values in value_format; what the host takes from
// its system (charsets, module loading) has a file per system.
#include "plugin/version.h"
#include "tools/wdxprobe/detect_expression.h"
#include "tools/wdxprobe/file_collection.h"
#include "tools/wdxprobe/file_jobs.h"
#include "tools/wdxprobe/host_system.h"
#include "tools/wdxprobe/output.h"
#include "tools/wdxprobe/value_format.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <iostream>

namespace fs = std::filesystem;

namespace {

constexpr int ExitOk = 0;
constexpr int ExitMissingFile = 1; // also: a file or folder that cannot be read
constexpr int ExitUsage = 2;       // also: the plug-in cannot be used, a field or unit it does not have

constexpr const char* UsageLine = "Usage: wdxprobe [OPTIONS] PLUGIN [PATH...]";

constexpr const char* ExitCodes = "Exit status:\n"
                                  "  0  every file was asked about, or named on standard error as one\n"
                                  "     the detect string does not match (--all asks those too)\n"
                                  "  1  a PATH does not exist, or a file or folder cannot be read (the\n"
                                  "     others are still shown)\n"
                                  "  2  a usage error, a field or unit the plug-in does not have, or a\n"
                                  "     plug-in that cannot be loaded or lacks a required export\n";

struct TOptions {
  std::string Plugin;
  std::vector<std::string> Paths;
  bool List = false;
  bool Recursive = false;
  bool All = false;
  bool Json = false;
  bool Csv = false;
  std::string Fields;
  std::string Ini;
  TAskOptions Ask;
};

fs::path PathFromUtf8(const std::string& text) { return fs::path(std::u8string(text.begin(), text.end())); }

// "Name" or "Name{unit}", the column syntax of file managers.
bool ParseColumn(const std::string& spec, const std::vector<TFieldInfo>& fields, TColumn& column,
                 std::string& error) {
  std::string name = spec;
  std::string unit;
  const std::size_t brace = spec.find('{');
  if (brace != std::string::npos && spec.back() == '}') {
    name = spec.substr(0, brace);
    unit = spec.substr(brace + 1, spec.size() - brace - 2);
  }
  const auto field =
      std::find_if(fields.begin(), fields.end(), [&](const TFieldInfo& f) { return f.Name == name; });
  if (field == fields.end()) {
    error = "the plug-in has no field named " + name;
    return false;
  }
  column = {{field->Index, 0, field->Type}, field->Name, &*field};
  if (unit.empty()) return true;
  const auto found = std::find(field->Units.begin(), field->Units.end(), unit);
  if (found == field->Units.end()) {
    error = "the field " + name + " has no unit " + unit +
            "; its units: " + (field->Units.empty() ? std::string("none") : JoinedUnits(*field));
    return false;
  }
  column.Asked.UnitIndex = static_cast<int>(found - field->Units.begin());
  column.Title = spec;
  return true;
}

void WriteOut(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

int Run(int argc, char** argv) {
  TOptions options;
  CLI::App app{"Loads a content plug-in as a file manager does and prints the values it gives for files.",
               "wdxprobe"};
  app.allow_windows_style_options(false); // "/tmp/x" is a path, also under Wine
  // The help names each value by what it is, without the parser's own types.
  app.get_formatter()->label("REQUIRED", "");
  app.add_option("PLUGIN", options.Plugin, "the plug-in to load")->required()->type_name("");
  app.add_option("PATH", options.Paths, "files and folders to ask about")->type_name("");
  app.add_flag("-l,--list", options.List,
               "print the detect string and the fields with their types, units, flags "
               "and sort orders");
  app.add_flag("-r,--recursive", options.Recursive, "descend into folders");
  app.add_flag("-a,--all", options.All, "ask about files the detect string does not match, too");
  app.add_option("-f,--fields", options.Fields,
                 "comma-separated fields to ask, each Name or Name{unit} (default: all, in their first unit)")
      ->type_name("LIST");
  app.add_flag("-j,--json", options.Json,
               "one JSON object per file: result codes, value bytes in hex, "
               "values as shown; not with --csv");
  app.add_flag("--csv", options.Csv, "CSV (RFC 4180) instead of the table; not with --json");
  app.add_flag("-d,--delay", options.Ask.Delay,
               "ask with DelayIfSlow first, then again from a worker thread");
  app.add_option("-t,--threads", options.Ask.Threads, "spread the files over N threads, 1 to 256")
      ->check(CLI::Range(1u, 256u).description(""))
      ->type_name("N");
  app.add_option("--ini", options.Ini,
                 "the settings file to tell the plug-in (default: wdxprobe.ini in the user's "
                 "configuration folder)")
      ->type_name("FILE");
  app.add_option("--max-text", options.Ask.MaxText,
                 "read at most this many bytes of a full-text field, up to 1 GiB (default 65536)")
      ->check(CLI::Range(std::size_t{1}, std::size_t{1} << 30).description(""))
      ->type_name("BYTES");
  app.set_version_flag("--version", std::string("wdxprobe ") + KORVEL_VERSION_TEXT);
  app.footer(ExitCodes);
  auto arguments = Utf8Arguments(argc, argv);
  // CLI11 takes the arguments after the program name, last first.
  arguments.erase(arguments.begin());
  std::reverse(arguments.begin(), arguments.end());
  try {
    app.parse(arguments);
  } catch (const CLI::CallForHelp& request) {
    return app.exit(request);
  } catch (const CLI::CallForVersion& request) {
    return app.exit(request);
  } catch (const CLI::ParseError& error) {
    std::cerr << "wdxprobe: " << Visible(error.what()) << "\n"
              << UsageLine << "\nTry 'wdxprobe --help' for more.\n";
    return ExitUsage;
  }
  if (options.Json && options.Csv) {
    std::cerr << "wdxprobe: --json and --csv exclude each other\n"
              << UsageLine << "\nTry 'wdxprobe --help' for more.\n";
    return ExitUsage;
  }
  if (options.Paths.empty() && !options.List) {
    std::cerr << "wdxprobe: no PATH to ask about (or --list for the fields)\n"
              << UsageLine << "\nTry 'wdxprobe --help' for more.\n";
    return ExitUsage;
  }
  if (options.Ini.empty()) options.Ini = DefaultIniPath();

  TContentPlugin plugin;
  std::string error;
  if (!LoadContentPlugin(PathFromUtf8(options.Plugin), options.Ini, plugin, error)) {
    std::cerr << "wdxprobe: " << Visible(error) << "\n";
    return ExitUsage;
  }
  const std::vector<TFieldInfo> fields = EnumerateFields(plugin);
  if (options.List) PrintList(plugin, fields);

  std::vector<TColumn> columns;
  if (options.Fields.empty()) {
    for (const auto& field : fields) columns.push_back({{field.Index, 0, field.Type}, field.Name, &field});
  } else {
    for (const auto& spec : CLI::detail::split(options.Fields, ',')) {
      TColumn column;
      if (!ParseColumn(spec, fields, column, error)) {
        std::cerr << "wdxprobe: " << Visible(error) << "\n";
        UnloadContentPlugin(plugin);
        return ExitUsage;
      }
      columns.push_back(column);
    }
  }
  int status = ExitOk;
  if (!options.Paths.empty()) {
    const TDetectExpression detect = ParseDetectExpression(DetectString(plugin));
    if (!detect.Valid) std::cerr << "wdxprobe: cannot parse the detect string; asking about every file\n";
    for (const auto& term : detect.UnknownTerms) {
      std::cerr << "wdxprobe: detect term not understood, taken as matching: " << Visible(term) << "\n";
    }
    TResults results;
    if (!CollectFiles(options.Paths, options.Recursive, options.All, detect, results.Jobs))
      status = ExitMissingFile;
    AskAll(plugin, columns, options.Ask, results);
    std::string out;
    if (options.Json) {
      PrintJson(columns, results, out);
    } else if (options.Csv) {
      PrintCsv(columns, results, out);
    } else {
      PrintTable(columns, results, out);
      out = TerminalText(out); // JSON and CSV are UTF-8 everywhere
    }
    std::cout.flush();
    WriteOut(out);
  }
  UnloadContentPlugin(plugin);
  return status;
}

} // namespace

int main(int argc, char** argv) {
  UseBinaryStandardOutput();
  try {
    return Run(argc, argv);
  } catch (const std::exception& error) {
    std::cerr << "wdxprobe: " << Visible(error.what()) << "\n";
    return ExitUsage;
  }
}
