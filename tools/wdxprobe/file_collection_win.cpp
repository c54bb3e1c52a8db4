// wdxprobe's look at files and folders on Windows, where this program holds
// paths as UTF-8 and the system takes UTF-16.
#include "pdb/system/windows_path.h"
#include "tools/wdxprobe/file_collection.h"

#include <filesystem>

#include <windows.h>

namespace {

namespace fs = std::filesystem;

// The path for our own look at a file or folder. Windows' file functions stop
// at 259 units unless given the \\?\ form of the full path, and the C++
// library's folder listing cannot take that form: a long path takes it here,
// made by the rule the plug-in opens files by, for the system's own calls.
// The plug-in still gets the path as given, as from any Windows host.
std::wstring SystemPath(const std::string& text) {
  std::wstring path = fs::path(std::u8string(text.begin(), text.end())).wstring();
  if (path.size() < ShortPathLimit) return path;
  std::vector<char16_t> full(LongFormRoom + 32768);
  const auto room = static_cast<DWORD>(full.size() - LongFormRoom);
  const DWORD length =
      ::GetFullPathNameW(path.c_str(), room, reinterpret_cast<wchar_t*>(full.data() + LongFormRoom), nullptr);
  if (length == 0 || length >= room) return path;
  const std::u16string_view open = PathToOpen(full.data(), length);
  return open.empty() ? path : std::wstring(open.begin(), open.end());
}

} // namespace

namespace file_system {

bool FolderEntries(const std::string& folder, std::vector<TFolderEntry>& entries) {
  WIN32_FIND_DATAW found;
  const HANDLE search = ::FindFirstFileExW((SystemPath(folder) + L"\\*").c_str(), FindExInfoBasic, &found,
                                           FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND; // an empty drive
  do {
    const std::wstring_view name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool isLink = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    const std::u8string utf8 = fs::path(name).generic_u8string();
    entries.push_back({std::string(utf8.begin(), utf8.end()), isFolder && !isLink, !isFolder});
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  return true;
}

TPathKind KindOf(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(SystemPath(path).c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  return {exists, exists && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0};
}

// Opened as the plug-in opens files, shared with whatever others do.
bool Readable(const std::string& path) {
  const HANDLE file = ::CreateFileW(SystemPath(path).c_str(), GENERIC_READ, ShareEverything, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(file);
  return true;
}

const char* DeniedOrElse(const char* otherwise) {
  return ::GetLastError() == ERROR_ACCESS_DENIED ? "permission denied" : otherwise;
}

} // namespace file_system
