#include "tools/wdxprobe/file_collection.h"
#include "tools/wdxprobe/value_format.h"

#include <algorithm>
#include <iostream>

using namespace file_system;

namespace {

void ReportUnreadable(const std::string& path, const char* what) {
  std::cerr << "wdxprobe: " << Visible(path) << ": " << what << "\n";
}

// The files of a folder, and with `recursive` of its subfolders. A folder
// that cannot be read is named on stderr and makes the result false; the
// others are still listed.
bool ListFolder(const std::string& folder, bool recursive, std::vector<std::string>& files) {
  const bool ends = !folder.empty() && (folder.back() == '/' || folder.back() == Separator);
  const std::string prefix = folder.empty() || ends ? folder : folder + Separator;
  std::vector<TFolderEntry> entries;
  if (!FolderEntries(folder, entries)) {
    ReportUnreadable(folder, DeniedOrElse("cannot read this folder"));
    return false;
  }
  std::sort(entries.begin(), entries.end(),
            [](const TFolderEntry& a, const TFolderEntry& b) { return a.Name < b.Name; });
  bool allRead = true;
  for (const auto& entry : entries) {
    if (entry.IsFolder && recursive) allRead = ListFolder(prefix + entry.Name, true, files) && allRead;
    if (entry.IsFile) files.push_back(prefix + entry.Name);
  }
  return allRead;
}

std::string_view FileName(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  return path.substr(slash == std::string_view::npos ? 0 : slash + 1);
}

} // namespace

bool CollectFiles(const std::vector<std::string>& paths, bool recursive, bool all,
                  const TDetectExpression& detect, std::vector<TFileJob>& jobs) {
  bool allFound = true;
  auto consider = [&](std::string path) {
    if (all || DetectMatches(detect, FileName(path))) jobs.push_back({std::move(path), {}});
  };
  for (const auto& argument : paths) {
    const TPathKind kind = KindOf(argument);
    if (!kind.Exists) {
      ReportUnreadable(argument, DeniedOrElse("no such file or folder"));
      allFound = false;
      continue;
    }
    if (!kind.IsFolder) {
      // Said at once: the plug-in would only answer with an error code per field.
      if (!Readable(argument)) {
        ReportUnreadable(argument, DeniedOrElse("cannot read this file"));
        allFound = false;
      }
      if (!all && !DetectMatches(detect, FileName(argument))) {
        ReportUnreadable(argument,
                         "not asked: the plug-in's detect string does not match it; --all asks anyway");
      }
      consider(argument);
      continue;
    }
    std::vector<std::string> found;
    allFound = ListFolder(argument, recursive, found) && allFound;
    for (auto& file : found) consider(std::move(file));
  }
  return allFound;
}
