// wdxprobe: loads a content plug-in as a file manager does, lists its
// fields, and prints every value it gives for the files named: as a table,
// as CSV or as JSON. This file is the command line, the collecting of files
// from folders, the asking of every file's values as a host asks them (on
// worker threads; with --delay, DelayIfSlow first) and the output; loading a
// plug-in and asking one value are in plugin_host, formatting in value_format.
#include "pdb/windows_path.h"
#include "plugin/version.h"
#include "tools/wdxprobe/detect_expression.h"
#include "tools/wdxprobe/plugin_host.h"
#include "tools/wdxprobe/value_format.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <thread>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#define KORVEL_ISATTY(fd) _isatty(fd)
#else
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#define KORVEL_ISATTY(fd) isatty(fd)
#endif

namespace fs = std::filesystem;

namespace {

constexpr int ExitOk = 0;
constexpr int ExitMissingFile = 1; // also: a file or folder that cannot be read
constexpr int ExitUsage = 2;       // also: the plug-in cannot be used, a field or unit it does not have

constexpr const char* UsageLine = "Usage: wdxprobe [OPTIONS] PLUGIN [PATH...]";

constexpr const char* ExitCodes = "Exit status:\n"
                                  "  0  every file was asked about\n"
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
  bool Delay = false;
  std::string Fields;
  std::string Ini;
  std::size_t MaxText = 64 * 1024;
  unsigned Threads = 1;
};

// A column of the output: a field and the unit asked for.
struct TColumn {
  TAskedField Asked;
  std::string Title;       // the field's name, with {unit} when one was asked
  const TFieldInfo* Field; // as the plug-in listed it
};

struct TFileJob {
  std::string Path;  // UTF-8, as given: a folder argument joined with the path found in it
  std::string Bytes; // every value's bytes, one after the other
};

// The values of all files, file after file, a column each.
struct TResults {
  std::vector<TFileJob> Jobs;
  std::vector<TValueRef> Values;
  std::size_t Columns = 0;

  const TValueRef& Value(std::size_t job, std::size_t column) const { return Values[job * Columns + column]; }
};

fs::path PathFromUtf8(const std::string& text) { return fs::path(std::u8string(text.begin(), text.end())); }

#if defined(_WIN32)
// The path for our own look at a file or folder. Windows' file functions stop
// at 259 units unless given the \\?\ form of the full path, and the C++
// library's folder listing cannot take that form: a long path takes it here,
// made by the rule the plug-in opens files by, for the system's own calls.
// The plug-in still gets the path as given, as from any Windows host.
std::wstring SystemPath(const std::string& text) {
  std::wstring path = PathFromUtf8(text).wstring();
  if (path.size() < ShortPathLimit) return path;
  std::vector<char16_t> full(LongFormRoom + 32768);
  const auto room = static_cast<DWORD>(full.size() - LongFormRoom);
  const DWORD length =
      ::GetFullPathNameW(path.c_str(), room, reinterpret_cast<wchar_t*>(full.data() + LongFormRoom), nullptr);
  if (length == 0 || length >= room) return path;
  const std::u16string_view open = PathToOpen(full.data(), length);
  return open.empty() ? path : std::wstring(open.begin(), open.end());
}
#endif

#if defined(_WIN32)
std::string Utf8FromPath(const fs::path& path) {
  const std::u8string text = path.generic_u8string();
  return std::string(text.begin(), text.end());
}
#endif

// Where a host keeps its settings file unless told otherwise.
std::string DefaultIniPath() {
#if defined(_WIN32)
  const char* folder = std::getenv("APPDATA");
  return Utf8FromPath(fs::path(folder != nullptr ? folder : ".") / "wdxprobe.ini");
#else
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return std::string(config) + "/wdxprobe.ini";
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : ".") + "/.config/wdxprobe.ini";
#endif
}

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

// A file manager asks with DelayIfSlow on its drawing thread and, when the
// plug-in defers, again without it from a worker thread.
TValueRef AskAsHostDoes(const TContentPlugin& plugin, const TPluginFileName& name, const TAskedField& field,
                        const TOptions& options, std::string& bytes) {
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

// What the plug-in or the file system gave, as it may reach a terminal.
std::string Visible(std::string_view text) {
  std::string shown;
  AppendVisible(shown, text);
  return shown;
}

std::string_view TypeName(int type) {
  static constexpr std::string_view Names[] = {"",         "int32",   "int64",    "float",  "date",
                                               "time",     "boolean", "choice",   "string", "fulltext",
                                               "datetime", "wstring", "fulltextw"};
  return type >= 1 && type <= 12 ? Names[type] : "?";
}

std::string FlagNames(int flags) {
  static constexpr std::string_view Substitutes[] = {
      "", "size", "datetime", "date", "time", "attributes", "attribute string", "size as float"};
  std::string names;
  auto add = [&](std::string_view name) { names += (names.empty() ? "" : ",") + std::string(name); };
  if ((flags & FieldFlagEdit) != 0) add("edit");
  if ((flags & FieldFlagSubstituteMask) != 0) add(Substitutes[(flags & FieldFlagSubstituteMask) / 2]);
  if ((flags & FieldFlagFieldEdit) != 0) add("fieldedit");
  return names.empty() ? "-" : names;
}

void PrintList(const TContentPlugin& plugin, const std::vector<TFieldInfo>& fields) {
  std::cout << "Detect string: "
            << (plugin.GetDetectString ? Visible(DetectString(plugin))
                                       : std::string("(no ContentGetDetectString)"))
            << "\n";
  const bool flags = plugin.GetSupportedFieldFlags != nullptr;
  const bool sort = plugin.GetDefaultSortOrder != nullptr;
  std::size_t nameWidth = 4;
  for (const auto& field : fields) nameWidth = std::max(nameWidth, DisplayWidth(Visible(field.Name)));
  auto line = [&](const std::string& index, const std::string& name, const std::string& type,
                  const std::string& flagText, const std::string& sortText, const std::string& units) {
    std::string text(index.size() < 5 ? 5 - index.size() : 0, ' ');
    text += index + "  " + name + std::string(nameWidth - DisplayWidth(name) + 2, ' ');
    text += type + std::string(type.size() < 14 ? 14 - type.size() : 1, ' ');
    if (flags) text += flagText + std::string(flagText.size() < 18 ? 18 - flagText.size() : 1, ' ');
    if (sort) text += sortText + std::string(sortText.size() < 12 ? 12 - sortText.size() : 1, ' ');
    text += units;
    while (!text.empty() && text.back() == ' ') text.pop_back();
    std::cout << text << "\n";
  };
  line("Index", "Name", "Type", "Flags", "Sort", "Units");
  for (const auto& field : fields) {
    const std::string sortText = !sort                                         ? ""
                                 : plugin.GetDefaultSortOrder(field.Index) < 0 ? "descending"
                                                                               : "ascending";
    line(std::to_string(field.Index), Visible(field.Name),
         std::to_string(field.Type) + " " + std::string(TypeName(field.Type)),
         flags ? FlagNames(plugin.GetSupportedFieldFlags(field.Index)) : "", sortText,
         field.Units.empty() ? "(none)" : Visible(JoinedUnits(field)));
  }
  if (flags)
    std::cout << "Flags of the plug-in as a whole: " << FlagNames(plugin.GetSupportedFieldFlags(-1)) << "\n";
}

void AppendCell(std::string& out, const TResults& results, std::size_t job, std::size_t column) {
  const TValueRef& value = results.Value(job, column);
  const std::string_view bytes = ValueBytes(results.Jobs[job].Bytes, value);
  // A host reads 8-bit texts in the system's code page: the ANSI one on
  // Windows, the locale's charset on Linux.
  if (value.Result == FieldTypeString || value.Result == FieldTypeMultipleChoice ||
      value.Result == FieldTypeFullText) {
    AppendShown(out, value.Result, Utf8FromSystem(bytes));
    return;
  }
  AppendShown(out, value.Result, bytes);
}

// The table: every cell formatted once into one buffer, then padded to its
// column's display width.
void PrintTable(const std::vector<TColumn>& columns, const TResults& results, std::string& out) {
  std::string cells;
  std::vector<std::pair<std::size_t, std::size_t>> spans; // offset, length of each cell, row by row
  spans.reserve((results.Jobs.size() + 1) * (columns.size() + 1));
  // One line per file, and nothing a terminal would act on: control
  // characters, line breaks and tabs included, are shown escaped.
  auto add = [&](std::string_view text) {
    const std::size_t start = cells.size();
    AppendVisible(cells, text);
    spans.emplace_back(start, cells.size() - start);
  };
  add("File");
  for (const auto& column : columns) add(column.Title);
  std::string value;
  for (std::size_t job = 0; job < results.Jobs.size(); ++job) {
    add(results.Jobs[job].Path);
    for (std::size_t column = 0; column < columns.size(); ++column) {
      value.clear();
      AppendCell(value, results, job, column);
      add(value);
    }
  }
  const std::size_t perRow = columns.size() + 1;
  std::vector<std::size_t> widths(perRow, 0);
  std::vector<std::size_t> cellWidths(spans.size());
  for (std::size_t i = 0; i < spans.size(); ++i) {
    cellWidths[i] = DisplayWidth(std::string_view(cells).substr(spans[i].first, spans[i].second));
    widths[i % perRow] = std::max(widths[i % perRow], cellWidths[i]);
  }
  for (std::size_t row = 0; row * perRow < spans.size(); ++row) {
    const std::size_t lineStart = out.size();
    for (std::size_t column = 0; column < perRow; ++column) {
      const std::size_t i = row * perRow + column;
      out.append(cells, spans[i].first, spans[i].second);
      if (column + 1 < perRow) out.append(widths[column] - cellWidths[i] + 2, ' ');
    }
    while (out.size() > lineStart && out.back() == ' ') out.pop_back();
    out += '\n';
  }
}

// RFC 4180: a field holding a comma, a quote or a line break is quoted,
// quotes doubled; lines end with CR LF. Tabs and line feeds stay as they
// are, inside the quotes, where spreadsheets read them; a carriage return,
// which alone sends a terminal's cursor back over the line, and every other
// control or format character are shown escaped.
void AppendCsvField(std::string& out, std::string_view text) {
  std::string clean;
  AppendVisible(clean, text, "\t\n");
  if (clean.find_first_of(",\"\r\n") == std::string::npos) {
    out += clean;
    return;
  }
  out += '"';
  for (const char c : clean) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

void PrintCsv(const std::vector<TColumn>& columns, const TResults& results, std::string& out) {
  AppendCsvField(out, "File");
  for (const auto& column : columns) {
    out += ',';
    AppendCsvField(out, column.Title);
  }
  out += "\r\n";
  std::string cell;
  for (std::size_t job = 0; job < results.Jobs.size(); ++job) {
    AppendCsvField(out, results.Jobs[job].Path);
    for (std::size_t column = 0; column < columns.size(); ++column) {
      out += ',';
      cell.clear();
      AppendCell(cell, results, job, column);
      AppendCsvField(out, cell);
    }
    out += "\r\n";
  }
}

void PrintJson(const std::vector<TColumn>& columns, const TResults& results, std::string& out) {
  std::string text;
  for (std::size_t job = 0; job < results.Jobs.size(); ++job) {
    nlohmann::ordered_json values = nlohmann::ordered_json::array();
    for (std::size_t i = 0; i < columns.size(); ++i) {
      const TValueRef& value = results.Value(job, i);
      const std::string_view bytes = ValueBytes(results.Jobs[job].Bytes, value);
      text.clear();
      AppendCell(text, results, job, i);
      std::string shown;
      AppendValidUtf8(shown, text);
      std::string hex;
      AppendHex(hex, bytes);
      nlohmann::ordered_json entry = {{"index", columns[i].Asked.FieldIndex},
                                      {"name", columns[i].Field->Name}};
      // A multiple-choice field lists its choices where others list units.
      const TFieldInfo& field = *columns[i].Field;
      if (!field.Units.empty() && field.Type != FieldTypeMultipleChoice) {
        entry["unit"] = field.Units[static_cast<std::size_t>(columns[i].Asked.UnitIndex)];
      }
      entry["result"] = value.Result;
      entry["bytes"] = hex;
      entry["shown"] = shown;
      if (value.WasDelayed) entry["delayed"] = true;
      if (value.Cut) entry["cut"] = true;
      values.push_back(entry);
    }
    std::string file;
    AppendValidUtf8(file, results.Jobs[job].Path);
    const nlohmann::ordered_json line = {{"file", file}, {"fields", values}};
    AppendJsonEscapingControls(out, line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    out += '\n';
  }
}

struct TFolderEntry {
  std::string Name; // UTF-8
  bool IsFolder;    // a folder to descend into (not a link to one)
  bool IsFile;      // anything that is not a folder, links to folders excepted
};

// The entries of one folder, sorted by name. Links to folders are neither
// files nor folders to descend into. False when the folder cannot be read.
bool FolderEntries(const std::string& folder, std::vector<TFolderEntry>& entries) {
#if defined(_WIN32)
  WIN32_FIND_DATAW found;
  const HANDLE search = ::FindFirstFileExW((SystemPath(folder) + L"\\*").c_str(), FindExInfoBasic, &found,
                                           FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND; // an empty drive
  do {
    const std::wstring_view name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool isLink = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    entries.push_back({Utf8FromPath(fs::path(name)), isFolder && !isLink, !isFolder});
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
#else
  // readdir gives each entry's type without a stat of its own, which the
  // listing of a large folder notices.
  DIR* directory = ::opendir(folder.c_str());
  if (directory == nullptr) return false;
  // readdir ends a listing and reports a failure the same way: by null,
  // telling them apart by errno.
  errno = 0;
  while (const dirent* entry = ::readdir(directory)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    bool isFolder = entry->d_type == DT_DIR;
    if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
      struct stat status;
      isFolder = ::stat((folder + '/' + entry->d_name).c_str(), &status) == 0 && S_ISDIR(status.st_mode);
    }
    entries.push_back({std::string(name), isFolder && entry->d_type != DT_LNK, !isFolder});
    errno = 0;
  }
  const int failure = errno;
  ::closedir(directory);
  if (failure != 0) {
    errno = failure;
    return false;
  }
#endif
  std::sort(entries.begin(), entries.end(),
            [](const TFolderEntry& a, const TFolderEntry& b) { return a.Name < b.Name; });
  return true;
}

void ReportUnreadable(const std::string& path, const char* what) {
  std::cerr << "wdxprobe: " << Visible(path) << ": " << what << "\n";
}

// Why the last file-system call failed, where it was for want of permission.
const char* DeniedOrElse(const char* otherwise) {
#if defined(_WIN32)
  const bool denied = ::GetLastError() == ERROR_ACCESS_DENIED;
#else
  const bool denied = errno == EACCES || errno == EPERM;
#endif
  return denied ? "permission denied" : otherwise;
}

// The files of a folder, and with `recursive` of its subfolders, as UTF-8
// paths in the order of the tree: by name within each folder, a subfolder's
// files where its name falls. A folder that cannot be read is named on
// stderr and makes the result false; the others are still listed.
bool ListFolder(const std::string& folder, bool recursive, std::vector<std::string>& files) {
#if defined(_WIN32)
  constexpr char Separator = '\\'; // as Windows hosts join a folder and a name
#else
  constexpr char Separator = '/';
#endif
  const bool ends = !folder.empty() && (folder.back() == '/' || folder.back() == Separator);
  const std::string prefix = folder.empty() || ends ? folder : folder + Separator;
  std::vector<TFolderEntry> entries;
  if (!FolderEntries(folder, entries)) {
    ReportUnreadable(folder, DeniedOrElse("cannot read this folder"));
    return false;
  }
  bool allRead = true;
  for (const auto& entry : entries) {
    if (entry.IsFolder && recursive) allRead = ListFolder(prefix + entry.Name, true, files) && allRead;
    if (entry.IsFile) files.push_back(prefix + entry.Name);
  }
  return allRead;
}

// A file named on the command line that cannot be read is said at once; the
// plug-in would only answer for it with an error code per field.
bool Readable(const std::string& path) {
#if defined(_WIN32)
  const HANDLE file = ::CreateFileW(SystemPath(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(file);
  return true;
#else
  return ::access(path.c_str(), R_OK) == 0; // opens nothing, so a FIFO does not block it
#endif
}

std::string_view FileName(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  return path.substr(slash == std::string_view::npos ? 0 : slash + 1);
}

// Collects the files to ask about; false when an argument does not exist or
// a file or folder cannot be read.
bool CollectFiles(const TOptions& options, const TDetectExpression& detect, std::vector<TFileJob>& jobs) {
  bool allFound = true;
  auto consider = [&](std::string path) {
    if (options.All || DetectMatches(detect, FileName(path))) jobs.push_back({std::move(path), {}});
  };
  for (const auto& argument : options.Paths) {
#if defined(_WIN32)
    const DWORD attributes = ::GetFileAttributesW(SystemPath(argument).c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    const bool isFolder = exists && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
#else
    const fs::path path = PathFromUtf8(argument);
    std::error_code error;
    const auto status = fs::status(path, error);
    const bool exists = fs::exists(status) || fs::is_symlink(fs::symlink_status(path, error));
    const bool isFolder = fs::is_directory(status);
    errno = error.value();
#endif
    if (!exists) {
      ReportUnreadable(argument, DeniedOrElse("no such file or folder"));
      allFound = false;
      continue;
    }
    if (!isFolder) {
      if (!Readable(argument)) {
        ReportUnreadable(argument, DeniedOrElse("cannot read this file"));
        allFound = false;
      }
      if (!options.All && !DetectMatches(detect, FileName(argument))) {
        ReportUnreadable(argument,
                         "not asked: the plug-in's detect string does not match it; --all asks anyway");
      }
      consider(argument);
      continue;
    }
    std::vector<std::string> found;
    allFound = ListFolder(argument, options.Recursive, found) && allFound;
    for (auto& file : found) consider(std::move(file));
  }
  return allFound;
}

void AskAll(const TContentPlugin& plugin, const std::vector<TColumn>& columns, const TOptions& options,
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

void WriteOut(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

int Run(int argc, char** argv) {
  TOptions options;
  CLI::App app{"Loads a content plug-in as a file manager does and prints the values it gives for files.",
               "wdxprobe"};
  app.allow_windows_style_options(false); // "/tmp/x" is a path, also under Wine
  app.add_option("PLUGIN", options.Plugin, "the plug-in to load")->required();
  app.add_option("PATH", options.Paths, "files and folders to ask about");
  app.add_flag("-l,--list", options.List,
               "print the detect string and the fields with their types, units, flags "
               "and sort orders");
  app.add_flag("-r,--recursive", options.Recursive, "descend into folders");
  app.add_flag("-a,--all", options.All, "ask about files the detect string does not match, too");
  app.add_option(
      "-f,--fields", options.Fields,
      "comma-separated fields to ask, each Name or Name{unit} (default: all, in their first unit)");
  auto* json = app.add_flag("-j,--json", options.Json,
                            "one JSON object per file: result codes, value bytes in hex, "
                            "values as shown");
  app.add_flag("--csv", options.Csv, "CSV (RFC 4180) instead of the table")->excludes(json);
  app.add_flag("-d,--delay", options.Delay, "ask with DelayIfSlow first, then again from a worker thread");
  app.add_option("-t,--threads", options.Threads, "spread the files over this many threads")
      ->check(CLI::Range(1u, 256u));
  app.add_option("--ini", options.Ini,
                 "the settings file to tell the plug-in (default: wdxprobe.ini in the user's "
                 "configuration folder)");
  app.add_option("--max-text", options.MaxText,
                 "read at most this many bytes of a full-text field (default 65536)")
      ->check(CLI::Range(std::size_t{1}, std::size_t{1} << 30));
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
    if (!CollectFiles(options, detect, results.Jobs)) status = ExitMissingFile;
    AskAll(plugin, columns, options, results);
    std::string out;
    if (options.Json) {
      PrintJson(columns, results, out);
    } else if (options.Csv) {
      PrintCsv(columns, results, out);
    } else {
      PrintTable(columns, results, out);
    }
    std::cout.flush();
    WriteOut(out);
  }
  UnloadContentPlugin(plugin);
  return status;
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
    std::cerr << "wdxprobe: " << Visible(error.what()) << "\n";
    return ExitUsage;
  }
}
