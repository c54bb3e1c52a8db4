// Texts and file names as a host passes them to a plug-in's 8-bit exports
// and reads them back: in the ANSI code page on Windows, in the charset of
// the locale on Linux.
#include "tools/wdxprobe/plugin_host.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include "pdb/code_page.h"
#include "pdb/platform.h"
#include "pdb/utf.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#endif

namespace fs = std::filesystem;

#if defined(_WIN32)
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

std::string Utf8FromSystem(std::string_view ansi) {
  if (ansi.empty()) return {};
  const int size = static_cast<int>(ansi.size());
  std::wstring wide(static_cast<std::size_t>(::MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, nullptr, 0)),
                    L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, wide.data(), static_cast<int>(wide.size()));
  const std::u8string utf8 = fs::path(wide).u8string();
  return std::string(utf8.begin(), utf8.end());
}
#else
// File managers on Linux read 8-bit texts in the charset their locale names
// after its dot, and take UTF-8 where it names none or one iconv lacks.
std::string Utf8FromSystem(std::string_view text) {
  static const std::string charset = [] {
    const std::string_view codeset =
        LocaleCodeset(CharacterLocale(std::getenv("LC_ALL"), std::getenv("LC_CTYPE"), std::getenv("LANG")));
    return NamesUtf8(codeset) ? std::string() : std::string(codeset);
  }();
  if (charset.empty()) return std::string(text);
  const iconv_t converter = ::iconv_open("UTF-8", charset.c_str());
  if (converter == reinterpret_cast<iconv_t>(-1)) return std::string(text);
  std::string utf8(text.size() * 4, '\0');   // no character takes more than four UTF-8 bytes per byte
  char* in = const_cast<char*>(text.data()); // iconv only reads it
  std::size_t inLeft = text.size();
  char* out = utf8.data();
  std::size_t outLeft = utf8.size();
  while (inLeft > 0 && ::iconv(converter, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1)) {
    if ((errno != EILSEQ && errno != EINVAL) || outLeft < ReplacementCharacter.size()) break;
    out = std::copy(ReplacementCharacter.begin(), ReplacementCharacter.end(), out);
    outLeft -= ReplacementCharacter.size();
    ++in;
    --inLeft;
  }
  ::iconv_close(converter);
  utf8.resize(utf8.size() - outLeft);
  return utf8;
}
#endif

void SetPluginFileName(TPluginFileName& name, const std::string& systemPath) {
#if defined(_WIN32)
  const fs::path file(std::u8string(systemPath.begin(), systemPath.end()));
  const std::wstring wide = file.wstring();
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
#else
  // The bytes of the name, read in the locale's charset as the plug-in reads
  // them (a file manager names files so); never more UTF-16 units than bytes.
  name.Narrow = systemPath;
  name.Wide.resize(systemPath.size() + 1);
  name.Wide.resize(SystemNameToUtf16(systemPath.c_str(), name.Wide.data(), name.Wide.size()));
#endif
}
