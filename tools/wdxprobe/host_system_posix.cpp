#include "tools/wdxprobe/host_system.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <utility>

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <unistd.h>

namespace {

constexpr std::string_view Utf8 = "UTF-8";
constexpr std::string_view ReplacementUtf8 = "\xEF\xBF\xBD"; // U+FFFD

// The charset of the locale the environment names for characters (LC_ALL,
// LC_CTYPE, LANG), as the C library reads it. File managers take UTF-8 where
// the locale is plain ASCII (C, POSIX), is not installed, or names a charset
// iconv lacks, as GTK programs name files.
const std::string& LocaleCharset() {
  static const std::string charset = [] {
    const locale_t locale = ::newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr)) return std::string(Utf8);
    std::string codeset = ::nl_langinfo_l(CODESET, locale);
    ::freelocale(locale);
    if (codeset == "ANSI_X3.4-1968") return std::string(Utf8);
    const iconv_t probe = ::iconv_open("UTF-8", codeset.c_str());
    if (probe == reinterpret_cast<iconv_t>(-1)) return std::string(Utf8);
    ::iconv_close(probe);
    return codeset;
  }();
  return charset;
}

bool LocaleIsUtf8() { return LocaleCharset() == Utf8; }

// A byte that is no character of a file name, as the outputs show it.
void AppendEscapedByte(std::string& out, unsigned char byte) {
  constexpr char Digits[] = "0123456789abcdef";
  out += "\\udc";
  out += Digits[byte >> 4];
  out += Digits[byte & 0x0F];
}

// The whole of `text` from charset `from` into `to`, a chunk at a time. Where
// a byte sequence cannot be converted, what the converter holds back
// (BIG5-HKSCS after Ê, say) goes out first; then `undefined(out, rest)`
// appends what stands for it and returns how many bytes of `rest` that is.
template <typename Undefined>
std::string ConvertAll(const char* to, const char* from, std::string_view text, Undefined undefined) {
  const iconv_t converter = ::iconv_open(to, from);
  if (converter == reinterpret_cast<iconv_t>(-1)) return std::string(text);
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
  ::iconv_close(converter);
  return converted;
}

// 8-bit text in the locale's charset as UTF-8, `undefined(out, byte)` called
// for each byte that is no character there (of UTF-8 too).
template <typename Undefined> std::string Utf8FromLocale(std::string_view text, Undefined undefined) {
  return ConvertAll("UTF-8", LocaleCharset().c_str(), text, [&](std::string& out, std::string_view rest) {
    undefined(out, static_cast<unsigned char>(rest[0]));
    return std::size_t{1};
  });
}

} // namespace

void SetPluginFileName(TPluginFileName& name, const std::string& systemPath) {
  name.Narrow = systemPath;
  // Most names are ASCII, which every locale's charset holds as it is.
  if (std::all_of(systemPath.begin(), systemPath.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    name.Wide.assign(systemPath.begin(), systemPath.end());
    return;
  }
  const std::string utf16 = ConvertAll("UTF-16LE", LocaleCharset().c_str(), systemPath,
                                       [](std::string& out, std::string_view rest) {
                                         out += rest[0];
                                         out += '\xDC';
                                         return std::size_t{1};
                                       });
  name.Wide.resize(utf16.size() / 2);
  for (std::size_t i = 0; i < name.Wide.size(); ++i) {
    name.Wide[i] = static_cast<char16_t>(static_cast<unsigned char>(utf16[2 * i]) |
                                         static_cast<unsigned char>(utf16[2 * i + 1]) << 8);
  }
}

std::string Utf8FromSystem(std::string_view text) {
  if (LocaleIsUtf8()) return std::string(text);
  return Utf8FromLocale(text, [](std::string& out, unsigned char) { out += ReplacementUtf8; });
}

std::string Utf8NameFromSystem(std::string_view path) { return Utf8FromLocale(path, AppendEscapedByte); }

// "?" for a character the charset lacks, or a byte of no UTF-8 character.
std::string TerminalText(std::string_view utf8) {
  if (LocaleIsUtf8()) return std::string(utf8);
  const iconv_t decoder = ::iconv_open("UTF-32LE", "UTF-8"); // to find where a character ends
  std::string text =
      ConvertAll(LocaleCharset().c_str(), "UTF-8", utf8, [&](std::string& out, std::string_view rest) {
        out += '?';
        char32_t codePoint;
        char* in = const_cast<char*>(rest.data());
        std::size_t inLeft = rest.size();
        char* next = reinterpret_cast<char*>(&codePoint);
        std::size_t outLeft = sizeof codePoint;
        ::iconv(decoder, &in, &inLeft, &next, &outLeft);
        return std::max<std::size_t>(rest.size() - inLeft, 1);
      });
  ::iconv_close(decoder);
  return text;
}

std::string SystemIniName(const std::string& iniPath) { return iniPath; }

std::string DefaultIniPath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return std::string(config) + "/wdxprobe.ini";
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : ".") + "/.config/wdxprobe.ini";
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) { return {argv, argv + argc}; }

void UseBinaryStandardOutput() {}

bool StandardErrorIsTerminal() { return ::isatty(2) != 0; }
