// Texts and file names as a host passes them to a plug-in's 8-bit exports
// and reads them back: in the ANSI code page on Windows, in the charset of
// the locale on Linux.
#include "tools/wdxprobe/plugin_host.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include "pdb/system/code_page.h"
#include "pdb/system/platform.h"
#include "pdb/system/utf.h"

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

std::string Utf8NameFromSystem(std::string_view path) { return std::string(path); }

std::string TerminalText(std::string_view utf8) { return std::string(utf8); }
#else
namespace {

// File managers on Linux read 8-bit texts in the charset their locale names
// after its dot, and take UTF-8 where it names none or one iconv lacks (the
// empty name here).
const std::string& LocaleCharset() {
  static const std::string charset = [] {
    const std::string_view codeset =
        LocaleCodeset(CharacterLocale(std::getenv("LC_ALL"), std::getenv("LC_CTYPE"), std::getenv("LANG")));
    if (NamesUtf8(codeset)) return std::string();
    const iconv_t probe = ::iconv_open("UTF-8", std::string(codeset).c_str());
    if (probe == reinterpret_cast<iconv_t>(-1)) return std::string();
    ::iconv_close(probe);
    return std::string(codeset);
  }();
  return charset;
}

// A byte that is no character of a file name, as the outputs show it.
void AppendEscapedByte(std::string& out, unsigned char byte) {
  constexpr char Digits[] = "0123456789abcdef";
  out += "\\udc";
  out += Digits[byte >> 4];
  out += Digits[byte & 0x0F];
}

// The whole of `text` through `converter`, a chunk at a time. Where a byte
// sequence cannot be converted, what the converter holds back (BIG5-HKSCS
// after Ê, say) goes out first; then `undefined(out, rest)` appends what
// stands for it and returns how many bytes of `rest` that is.
template <typename Undefined>
std::string ConvertAll(iconv_t converter, std::string_view text, Undefined undefined) {
  std::string converted;
  char chunk[256];
  const auto drain = [&](char* in, std::size_t* inLeft) {
    char* out = chunk;
    std::size_t outLeft = sizeof chunk;
    const bool failed = ::iconv(converter, in == nullptr ? nullptr : &in, inLeft, &out, &outLeft) ==
                        static_cast<std::size_t>(-1);
    const int error = failed ? errno : 0;
    converted.append(chunk, sizeof chunk - outLeft);
    return std::pair{error, in};
  };
  char* in = const_cast<char*>(text.data()); // iconv only reads it
  std::size_t inLeft = text.size();
  while (inLeft > 0) {
    const auto [error, next] = drain(in, &inLeft);
    in = next;
    if (error == E2BIG) continue;
    if (error != EILSEQ && error != EINVAL) break;
    drain(nullptr, nullptr);
    const std::size_t skipped = std::min(undefined(converted, std::string_view(in, inLeft)), inLeft);
    in += skipped;
    inLeft -= skipped;
  }
  drain(nullptr, nullptr); // what a stateful charset still holds
  return converted;
}

// 8-bit text in the locale's charset as UTF-8; `undefined` is called for
// each byte that is no character there.
template <typename Undefined> std::string Utf8FromLocale(std::string_view text, Undefined undefined) {
  const std::string& charset = LocaleCharset();
  const iconv_t converter =
      charset.empty() ? reinterpret_cast<iconv_t>(-1) : ::iconv_open("UTF-8", charset.c_str());
  if (converter == reinterpret_cast<iconv_t>(-1)) { // UTF-8 already: its stray bytes
    std::string utf8;
    while (!text.empty()) {
      char32_t codePoint;
      const std::size_t length = DecodeUtf8(text, codePoint);
      if (length == 0) {
        undefined(utf8, static_cast<unsigned char>(text[0]));
        text.remove_prefix(1);
      } else {
        utf8.append(text.substr(0, length));
        text.remove_prefix(length);
      }
    }
    return utf8;
  }
  std::string utf8 = ConvertAll(converter, text, [&](std::string& out, std::string_view rest) {
    undefined(out, static_cast<unsigned char>(rest[0]));
    return std::size_t{1};
  });
  ::iconv_close(converter);
  return utf8;
}

} // namespace

std::string Utf8FromSystem(std::string_view text) {
  if (LocaleCharset().empty()) return std::string(text);
  return Utf8FromLocale(text, [](std::string& out, unsigned char) { out += ReplacementCharacter; });
}

std::string Utf8NameFromSystem(std::string_view path) { return Utf8FromLocale(path, AppendEscapedByte); }

// "?" for a character the charset lacks, or a byte of no UTF-8 character.
std::string TerminalText(std::string_view utf8) {
  const std::string& charset = LocaleCharset();
  if (charset.empty()) return std::string(utf8);
  const iconv_t converter = ::iconv_open(charset.c_str(), "UTF-8");
  if (converter == reinterpret_cast<iconv_t>(-1)) return std::string(utf8);
  std::string text = ConvertAll(converter, utf8, [](std::string& out, std::string_view rest) {
    out += '?';
    char32_t codePoint;
    return std::max<std::size_t>(DecodeUtf8(rest, codePoint), 1);
  });
  ::iconv_close(converter);
  return text;
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
