// wdxprobe's look at files and folders on POSIX systems, where paths are the
// file system's bytes.
#include "tools/wdxprobe/file_collection.h"

#include <cerrno>
#include <filesystem>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace file_system {

bool FolderEntries(const std::string& folder, std::vector<TFolderEntry>& entries) {
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
  errno = failure;
  return failure == 0;
}

TPathKind KindOf(const std::string& path) {
  // A dangling link exists too: it names something that cannot be read.
  const std::filesystem::path name(path);
  std::error_code error;
  const auto status = std::filesystem::status(name, error);
  const bool exists = std::filesystem::exists(status) ||
                      std::filesystem::is_symlink(std::filesystem::symlink_status(name, error));
  errno = error.value();
  return {exists, std::filesystem::is_directory(status)};
}

bool Readable(const std::string& path) {
  return ::access(path.c_str(), R_OK) == 0; // opens nothing, so a FIFO does not block it
}

const char* DeniedOrElse(const char* otherwise) {
  return errno == EACCES || errno == EPERM ? "permission denied" : otherwise;
}

} // namespace file_system
