#include "pdb/device_path.h"

#include <algorithm>

namespace {

char16_t AsciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

bool StartsWith(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(),
                    [](char16_t a, char16_t b) { return AsciiUpper(a) == AsciiUpper(b); });
}

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// "\\?\" reaches the same object directory as "\\.\": only a drive, a UNC
// share or a volume after it leads to files.
bool InDeviceNamespace(std::u16string_view path) {
  if (path.size() < 4 || !IsSeparator(path[0]) || !IsSeparator(path[1]) || !IsSeparator(path[3])) {
    return StartsWith(path, u"\\??\\");
  }
  if (path[2] == u'.') return true;
  if (path[2] != u'?') return false;
  const std::u16string_view rest = path.substr(4);
  const bool drive =
      rest.size() >= 2 && rest[1] == u':' && AsciiUpper(rest[0]) >= u'A' && AsciiUpper(rest[0]) <= u'Z';
  return !drive && !StartsWith(rest, u"UNC\\") && !StartsWith(rest, u"Volume{");
}

bool IsReservedName(std::u16string_view stem) {
  while (!stem.empty() && stem.back() == u' ') stem.remove_suffix(1);
  for (const std::u16string_view name : {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"}) {
    if (stem.size() == name.size() && StartsWith(stem, name)) return true;
  }
  if (stem.size() != 4 || !(StartsWith(stem, u"COM") || StartsWith(stem, u"LPT"))) return false;
  const char16_t digit = stem[3];
  return (digit >= u'0' && digit <= u'9') || digit == u'\u00B9' || digit == u'\u00B2' || digit == u'\u00B3';
}

} // namespace

bool NamesDevice(std::u16string_view path) {
  if (InDeviceNamespace(path)) return true;
  const std::size_t start = path.find_last_of(u"\\/:");
  const std::u16string_view name = start == std::u16string_view::npos ? path : path.substr(start + 1);
  return IsReservedName(name.substr(0, name.find(u'.')));
}
