#include "pdb/system/code_page.h"

#include <charconv>

namespace {

struct TLanguageCodePage {
  std::string_view Language;
  unsigned CodePage;
};

// As Windows chooses: the default ANSI code page of each of its locales, as
// Microsoft's National Language Support reference lists it, for every
// language whose code page is not 1252. Languages Windows gives no ANSI code
// page at all (Hindi, Georgian, Armenian, ...) keep 1252, as does Windows.
// Sorted by code page.
constexpr TLanguageCodePage LanguageCodePages[] = {
    {"th", 874},   {"ja", 932},  {"ko", 949},  {"sq", 1250}, {"bs", 1250}, {"hr", 1250},  {"cs", 1250},
    {"hu", 1250},  {"pl", 1250}, {"ro", 1250}, {"sk", 1250}, {"sl", 1250}, {"tk", 1250},  {"ba", 1251},
    {"be", 1251},  {"bg", 1251}, {"kk", 1251}, {"ky", 1251}, {"mk", 1251}, {"mn", 1251},  {"ru", 1251},
    {"sah", 1251}, {"sr", 1251}, {"tg", 1251}, {"tt", 1251}, {"uk", 1251}, {"el", 1253},  {"az", 1254},
    {"tr", 1254},  {"uz", 1254}, {"he", 1255}, {"ar", 1256}, {"fa", 1256}, {"prs", 1256}, {"ug", 1256},
    {"ur", 1256},  {"et", 1257}, {"lt", 1257}, {"lv", 1257}, {"vi", 1258},
};

// Languages written in two scripts, whose locale names the other one in its modifier.
struct TScriptCodePage {
  std::string_view Language;
  std::string_view Modifier;
  unsigned CodePage;
};
constexpr TScriptCodePage ScriptCodePages[] = {
    {"sr", "latin", 1250},
    {"az", "cyrillic", 1251},
    {"bs", "cyrillic", 1251},
    {"uz", "cyrillic", 1251},
};

constexpr unsigned WesternCodePage = 1252;

// A codeset's name as compared: upper case, without dashes and underscores.
std::string_view Canonical(std::string_view codeset, std::array<char, 32>& room) {
  std::size_t length = 0;
  for (const char c : codeset) {
    if (c == '-' || c == '_') continue;
    if (length == room.size()) return {};
    room[length++] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  return {room.data(), length};
}

} // namespace

std::string_view CharacterLocale(const char* lcAll, const char* lcCtype, const char* lang) {
  for (const char* name : {lcAll, lcCtype, lang}) {
    if (name != nullptr && name[0] != '\0') return name;
  }
  return {};
}

unsigned AnsiCodePage(std::string_view locale) {
  // language[_territory][.codeset][@modifier]
  const std::string_view modifier =
      locale.find('@') == std::string_view::npos ? std::string_view{} : locale.substr(locale.find('@') + 1);
  const std::string_view name = locale.substr(0, locale.find_first_of(".@"));
  const std::string_view language = name.substr(0, name.find('_'));
  const std::string_view territory =
      name.find('_') == std::string_view::npos ? std::string_view{} : name.substr(name.find('_') + 1);
  if (language == "zh") {
    // Traditional characters in Taiwan, Hong Kong and Macao, simplified elsewhere.
    return (territory == "TW" || territory == "HK" || territory == "MO") ? 950 : 936;
  }
  for (const auto& entry : ScriptCodePages) {
    if (entry.Language == language && entry.Modifier == modifier) return entry.CodePage;
  }
  for (const auto& entry : LanguageCodePages) {
    if (entry.Language == language) return entry.CodePage;
  }
  return WesternCodePage;
}

std::string_view LocaleCodeset(std::string_view locale) {
  const std::size_t dot = locale.find('.');
  if (dot == std::string_view::npos) return {};
  const std::string_view codeset = locale.substr(dot + 1);
  return codeset.substr(0, codeset.find('@'));
}

bool NamesUtf8(std::string_view codeset) {
  std::array<char, 32> room;
  return Canonical(codeset, room) == "UTF8";
}

bool NamesCodePage(std::string_view codeset, unsigned codePage) {
  std::array<char, 32> room;
  std::string_view name = Canonical(codeset, room);
  if (name.substr(0, 2) == "CP") {
    name.remove_prefix(2);
  } else if (name.substr(0, 7) == "WINDOWS") {
    name.remove_prefix(7);
  } else {
    return false;
  }
  unsigned number = 0;
  const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), number);
  return error == std::errc() && end == name.data() + name.size() && number == codePage;
}

TCodePageName CodePageName(unsigned codePage) {
  TCodePageName name{'C', 'P'};
  std::to_chars(name.data() + 2, name.data() + name.size() - 1, codePage);
  return name;
}

std::size_t DoubleByteCut(std::string_view text, std::size_t limit, const TLeadBytes& leadBytes) {
  std::size_t kept = 0;
  while (kept < text.size()) {
    const bool pair = leadBytes[static_cast<unsigned char>(text[kept])] && kept + 1 < text.size();
    const std::size_t next = kept + (pair ? 2 : 1);
    if (next > limit) break;
    kept = next;
  }
  return kept;
}
