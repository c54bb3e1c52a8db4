#include "pdb/code_page.h"

#include <charconv>

namespace {

struct TLanguageCodePage {
  std::string_view Language;
  unsigned CodePage;
};

// As Windows chooses: the languages whose ANSI code page is not 1252.
constexpr TLanguageCodePage LanguageCodePages[] = {
    {"ja", 932},  {"ko", 949},  {"ru", 1251}, {"uk", 1251}, {"be", 1251}, {"bg", 1251},
    {"mk", 1251}, {"sr", 1251}, {"pl", 1250}, {"cs", 1250}, {"sk", 1250}, {"hu", 1250},
    {"sl", 1250}, {"hr", 1250}, {"ro", 1250}, {"sq", 1250}, {"bs", 1250}, {"el", 1253},
    {"tr", 1254}, {"az", 1254}, {"he", 1255}, {"ar", 1256}, {"fa", 1256}, {"ur", 1256},
    {"lt", 1257}, {"lv", 1257}, {"et", 1257}, {"vi", 1258}, {"th", 874},
};

constexpr unsigned WesternCodePage = 1252;

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
  if (language == "sr" && modifier == "latin") return 1250; // Serbian in Latin script
  for (const auto& entry : LanguageCodePages) {
    if (entry.Language == language) return entry.CodePage;
  }
  return WesternCodePage;
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
