// The files wdxprobe asks about: those named on the command line, and those
// in the folders named there. The rules are the same on every system; each
// system's file (file_collection_posix.cpp, file_collection_win.cpp) answers
// the few questions they ask of the file system.
#pragma once

#include "tools/wdxprobe/detect_expression.h"
#include "tools/wdxprobe/file_jobs.h"

#include <string>
#include <vector>

// Collects into `jobs` the files of `paths` that the detect expression
// matches (all of them with `all`): a file as named, a folder's files in the
// order of the tree (by name within each folder, a subfolder's files where
// its name falls; subfolders only with `recursive`), each joined to the
// folder as Windows or POSIX hosts join them. Paths are as this program holds
// them: UTF-8 on Windows, the file system's bytes on Linux. What does not
// exist or cannot be read is named on stderr and makes the result false; a
// file named that the detect string does not match is named there too.
bool CollectFiles(const std::vector<std::string>& paths, bool recursive, bool all,
                  const TDetectExpression& detect, std::vector<TFileJob>& jobs);

// What each system's file gives.
namespace file_system {

inline constexpr char Separator =
#if defined(_WIN32)
    '\\'; // as Windows hosts join a folder and a name
#else
    '/';
#endif

struct TFolderEntry {
  std::string Name; // as the path
  bool IsFolder;    // a folder to descend into (not a link to one)
  bool IsFile;      // anything that is not a folder, links to folders excepted
};

// The entries of one folder, unsorted. Links to folders are neither files
// nor folders to descend into. False when the folder cannot be read.
bool FolderEntries(const std::string& folder, std::vector<TFolderEntry>& entries);

// Whether the path names something, and whether that is a folder.
struct TPathKind {
  bool Exists;
  bool IsFolder;
};
TPathKind KindOf(const std::string& path);

// Whether this program may read the file; opens nothing that could block.
bool Readable(const std::string& path);

// Why the last file-system call failed, where it was for want of permission.
const char* DeniedOrElse(const char* otherwise);

} // namespace file_system
