#include "tools/wdxprobe/host_system.h"

#include <cstdlib>
#include <filesystem>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace fs = std::filesystem;

namespace {

// UTF-16 in the ANSI code page; false when a character has no form there.
bool AnsiFromWide(const std::wstring& wide, std::string& ansi) {
  ansi.clear();
  if (wide.empty()) return true;
  const UINT codePage = ::GetACP();
  BOOL lossy = FALSE;
  // UTF-8 has every character, and takes no WC_NO_BEST_FIT_CHARS or lossy flag.
  const bool utf8 = codePage == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const int size = static_cast<int>(wide.size());
  const int length = ::WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return false;
  ansi.resize(static_cast<std::size_t>(length));
  ::WideCharToMultiByte(codePage, flags, wide.data(), size, ansi.data(), length, nullptr,
                        utf8 ? nullptr : &lossy);
  return !lossy;
}

std::wstring WideFromUtf8(const std::string& utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end())).wstring();
}

std::string Utf8FromWide(const std::wstring& wide) {
  const std::u8string utf8 = fs::path(wide).u8string();
  return std::string(utf8.begin(), utf8.end());
}

} // namespace

void SetPluginFileName(TPluginFileName& name, const std::string& systemPath) {
  const std::wstring wide = WideFromUtf8(systemPath);
  name.Wide.assign(wide.begin(), wide.end());
  // The 8-bit exports get the name in the ANSI code page, as from any Windows
  // host; a name with a character that has no form there goes as its short
  // (8.3) name where the volume keeps one.
  name.HasNarrow = AnsiFromWide(wide, name.Narrow);
  if (!name.HasNarrow) {
    std::wstring shortName(wide.size() + 1, L'\0');
    const DWORD length =
        ::GetShortPathNameW(wide.c_str(), shortName.data(), static_cast<DWORD>(shortName.size()));
    if (length > 0 && length < shortName.size()) {
      shortName.resize(length);
      name.HasNarrow = AnsiFromWide(shortName, name.Narrow);
    }
  }
}

std::string Utf8FromSystem(std::string_view ansi) {
  if (ansi.empty()) return {};
  const int size = static_cast<int>(ansi.size());
  std::wstring wide(static_cast<std::size_t>(::MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, nullptr, 0)),
                    L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, wide.data(), static_cast<int>(wide.size()));
  return Utf8FromWide(wide);
}

std::string Utf8NameFromSystem(std::string_view path) { return std::string(path); }

std::string TerminalText(std::string_view utf8) { return std::string(utf8); }

std::string SystemIniName(const std::string& iniPath) {
  std::string ansi;
  AnsiFromWide(WideFromUtf8(iniPath), ansi);
  return ansi;
}

std::string DefaultIniPath() {
  const char* folder = std::getenv("APPDATA");
  const std::u8string path = (fs::path(folder != nullptr ? folder : ".") / "wdxprobe.ini").generic_u8string();
  return std::string(path.begin(), path.end());
}

std::vector<std::string> Utf8Arguments(int, char**) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(Utf8FromWide(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

void UseBinaryStandardOutput() { _setmode(_fileno(stdout), _O_BINARY); }

bool StandardErrorIsTerminal() { return _isatty(2) != 0; }
