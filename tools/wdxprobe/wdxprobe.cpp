// wdxprobe: loads a content plug-in, lists its fields, and prints every
// value it gives for the files named, as a file manager would show them.
#include "tools/wdxprobe/detect_expression.h"
#include "tools/wdxprobe/plugin_host.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <thread>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#define KORVEL_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define KORVEL_ISATTY(fd) isatty(fd)
#endif

namespace fs = std::filesystem;

namespace {

constexpr int ExitOk = 0;
constexpr int ExitMissingFile = 1;
constexpr int ExitPluginProblem = 2;

struct TOptions {
  std::string Plugin;
  std::vector<std::string> Paths;
  bool List = false;
  bool Recursive = false;
  bool All = false;
  bool Json = false;
  bool Delay = false;
  std::string Fields;
  unsigned Threads = 1;
};

struct TFileJob {
  fs::path Path;
  std::string Shown; // the name printed: relative to the folder it was found in
  std::vector<TFieldValue> Values;
};

fs::path PathFromUtf8(const std::string& text) { return fs::path(std::u8string(text.begin(), text.end())); }

std::string Utf8FromPath(const fs::path& path) {
  const std::u8string text = path.generic_u8string();
  return std::string(text.begin(), text.end());
}

// A file manager asks with DelayIfSlow on its drawing thread and, when the
// plug-in defers, again without it from a worker thread.
TFieldValue AskAsHostDoes(const TContentPlugin& plugin, const fs::path& file, int index, bool delay) {
  if (!delay) return AskField(plugin, file, index, 0);
  TFieldValue first = AskField(plugin, file, index, DelayIfSlow);
  if (first.Result != FieldDelayed) return first;
  TFieldValue second;
  std::thread worker([&] { second = AskField(plugin, file, index, 0); });
  worker.join();
  second.WasDelayed = true;
  return second;
}

void PrintList(const TContentPlugin& plugin, const std::vector<TFieldInfo>& fields) {
  const std::string detect = DetectString(plugin);
  std::cout << "Detect string: " << (plugin.GetDetectString ? detect : "(no ContentGetDetectString)") << "\n";
  std::cout << "Index  Name                    Type  Units\n";
  for (const auto& field : fields) {
    char line[160];
    std::snprintf(line, sizeof line, "%5d  %-22s  %4d  %s\n", field.Index, field.Name.c_str(), field.Type,
                  field.Units.empty() ? "(none)" : field.Units.c_str());
    std::cout << line;
  }
}

void PrintTable(const std::vector<TFieldInfo>& fields, const std::vector<TFileJob>& jobs) {
  std::vector<std::vector<std::string>> rows;
  rows.push_back({"File"});
  for (const auto& field : fields) rows[0].push_back(field.Name);
  for (const auto& job : jobs) {
    rows.push_back({job.Shown});
    for (const auto& value : job.Values) rows.back().push_back(FormatValue(value));
  }
  std::vector<std::size_t> widths(rows[0].size(), 0);
  for (const auto& row : rows) {
    for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  }
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line += std::string(widths[i] - row[i].size() + 2, ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    std::cout << line << "\n";
  }
}

void PrintJson(const std::vector<TFieldInfo>& fields, const std::vector<TFileJob>& jobs) {
  for (const auto& job : jobs) {
    nlohmann::ordered_json values = nlohmann::ordered_json::array();
    for (std::size_t i = 0; i < fields.size(); ++i) {
      const TFieldValue& value = job.Values[i];
      nlohmann::ordered_json entry = {{"index", fields[i].Index},
                                      {"name", fields[i].Name},
                                      {"result", value.Result},
                                      {"bytes", HexBytes(value.Bytes)},
                                      {"shown", FormatValue(value)}};
      if (value.WasDelayed) entry["delayed"] = true;
      values.push_back(entry);
    }
    const nlohmann::ordered_json line = {{"file", job.Shown}, {"fields", values}};
    std::cout << line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
  }
}

// Collects the files to ask about; false when an argument does not exist.
bool CollectFiles(const TOptions& options, const TDetectExpression& detect, std::vector<TFileJob>& jobs) {
  bool allExist = true;
  auto consider = [&](const fs::path& path, std::string shown) {
    if (options.All || DetectMatches(detect, Utf8FromPath(path.filename()))) {
      jobs.push_back({path, std::move(shown), {}});
    }
  };
  for (const auto& argument : options.Paths) {
    const fs::path path = PathFromUtf8(argument);
    std::error_code error;
    const auto status = fs::status(path, error);
    if (!fs::exists(status) && !fs::is_symlink(fs::symlink_status(path, error))) {
      std::cerr << "wdxprobe: " << argument << ": no such file or folder\n";
      allExist = false;
      continue;
    }
    if (!fs::is_directory(status)) {
      consider(path, argument);
      continue;
    }
    std::vector<fs::path> found;
    const auto walkOptions = fs::directory_options::skip_permission_denied;
    if (options.Recursive) {
      for (const auto& entry : fs::recursive_directory_iterator(path, walkOptions, error)) {
        if (!entry.is_directory(error)) found.push_back(entry.path());
      }
    } else {
      for (const auto& entry : fs::directory_iterator(path, walkOptions, error)) {
        if (!entry.is_directory(error)) found.push_back(entry.path());
      }
    }
    std::sort(found.begin(), found.end());
    for (const auto& file : found) consider(file, Utf8FromPath(file.lexically_relative(path)));
  }
  return allExist;
}

void AskAll(const TContentPlugin& plugin, const std::vector<int>& indexes, const TOptions& options,
            std::vector<TFileJob>& jobs) {
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> done{0};
  auto work = [&] {
    for (std::size_t i = next++; i < jobs.size(); i = next++) {
      for (const int index : indexes) {
        jobs[i].Values.push_back(AskAsHostDoes(plugin, jobs[i].Path, index, options.Delay));
      }
      ++done;
    }
  };
  const bool showProgress = KORVEL_ISATTY(2) && jobs.size() >= 50;
  std::vector<std::thread> threads;
  for (unsigned t = 0; t < std::max(1u, options.Threads); ++t) threads.emplace_back(work);
  while (showProgress && done < jobs.size()) {
    std::fprintf(stderr, "\r%zu of %zu files", done.load(), jobs.size());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  for (auto& thread : threads) thread.join();
  if (showProgress) std::fprintf(stderr, "\r%zu of %zu files\n", jobs.size(), jobs.size());
}

std::vector<std::string> Utf8Arguments([[maybe_unused]] int argc, [[maybe_unused]] char** argv) {
#if defined(_WIN32)
  // The 8-bit argv of Windows loses what the ANSI code page lacks.
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) {
    const std::u8string text = fs::path(wide[i]).u8string();
    arguments.emplace_back(text.begin(), text.end());
  }
  ::LocalFree(wide);
  return arguments;
#else
  return {argv, argv + argc};
#endif
}

int Run(int argc, char** argv) {
  TOptions options;
  CLI::App app{"Loads a content plug-in and prints the values it gives for files, as a file manager "
               "would show them."};
  app.allow_windows_style_options(false); // "/tmp/x" is a path, also under Wine
  app.add_option("plugin", options.Plugin, "the plug-in to load")->required();
  app.add_option("paths", options.Paths, "files and folders to ask about");
  app.add_flag("-l,--list", options.List, "print the detect string and the fields");
  app.add_flag("-r,--recursive", options.Recursive, "descend into folders");
  app.add_flag("-a,--all", options.All, "ask about files the detect string does not match, too");
  app.add_option("-f,--fields", options.Fields, "comma-separated field names to ask (default: all)");
  app.add_flag("-j,--json", options.Json, "one JSON object per file: result codes and value bytes");
  app.add_flag("-d,--delay", options.Delay, "ask with DelayIfSlow first, then again from a worker thread");
  app.add_option("-t,--threads", options.Threads, "spread the files over this many threads")
      ->check(CLI::Range(1u, 256u));
  auto arguments = Utf8Arguments(argc, argv);
  // CLI11 takes the arguments after the program name, last first.
  arguments.erase(arguments.begin());
  std::reverse(arguments.begin(), arguments.end());
  try {
    app.parse(arguments);
  } catch (const CLI::ParseError& error) {
    return app.exit(error);
  }

  TContentPlugin plugin;
  std::string error;
  if (!LoadContentPlugin(PathFromUtf8(options.Plugin), plugin, error)) {
    std::cerr << "wdxprobe: " << error << "\n";
    return ExitPluginProblem;
  }
  const std::vector<TFieldInfo> fields = EnumerateFields(plugin);
  if (options.List) PrintList(plugin, fields);

  std::vector<TFieldInfo> asked;
  if (options.Fields.empty()) {
    asked = fields;
  } else {
    for (const auto& name : CLI::detail::split(options.Fields, ',')) {
      const auto found =
          std::find_if(fields.begin(), fields.end(), [&](const TFieldInfo& f) { return f.Name == name; });
      if (found == fields.end()) {
        std::cerr << "wdxprobe: the plug-in has no field named " << name << "\n";
        return ExitPluginProblem;
      }
      asked.push_back(*found);
    }
  }
  if (options.Paths.empty()) return ExitOk;

  const TDetectExpression detect = ParseDetectExpression(DetectString(plugin));
  if (!detect.Valid) std::cerr << "wdxprobe: cannot parse the detect string; asking about every file\n";
  for (const auto& term : detect.UnknownTerms) {
    std::cerr << "wdxprobe: detect term not understood, taken as matching: " << term << "\n";
  }
  std::vector<TFileJob> jobs;
  const bool allExist = CollectFiles(options, detect, jobs);
  std::vector<int> indexes;
  for (const auto& field : asked) indexes.push_back(field.Index);
  AskAll(plugin, indexes, options, jobs);
  if (options.Json) {
    PrintJson(asked, jobs);
  } else {
    PrintTable(asked, jobs);
  }
  return allExist ? ExitOk : ExitMissingFile;
}

} // namespace

int main(int argc, char** argv) {
#if defined(_WIN32)
  // Bytes out as the plug-in gave them, lines ended alike on both systems.
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  try {
    return Run(argc, argv);
  } catch (const std::exception& error) {
    std::cerr << "wdxprobe: " << error.what() << "\n";
    return ExitPluginProblem;
  }
}
