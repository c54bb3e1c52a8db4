// The code page a locale name stands for, as Windows would choose it.
#include "pdb/code_page.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(CodePage, FollowsTheLanguageOfTheLocale) {
  struct Case {
    const char* Locale;
    unsigned CodePage;
  };
  const Case cases[] = {
      {"", 1252},
      {"C", 1252},
      {"POSIX", 1252},
      {"C.UTF-8", 1252},
      {"en_US.UTF-8", 1252},
      {"de_DE@euro", 1252},
      {"fr", 1252},
      {"ja_JP.UTF-8", 932},
      {"ja", 932},
      {"ko_KR.EUC-KR", 949},
      {"zh_CN.UTF-8", 936},
      {"zh_SG", 936},
      {"zh_TW.UTF-8", 950},
      {"zh_HK.Big5-HKSCS", 950},
      {"zh_MO", 950},
      {"zh", 936},
      {"ru_RU.UTF-8", 1251},
      {"uk_UA", 1251},
      {"be_BY", 1251},
      {"bg_BG", 1251},
      {"mk_MK", 1251},
      {"sr_RS", 1251},
      {"sr_RS@latin", 1250},
      {"pl_PL", 1250},
      {"cs_CZ", 1250},
      {"sk_SK", 1250},
      {"hu_HU", 1250},
      {"sl_SI", 1250},
      {"hr_HR", 1250},
      {"ro_RO", 1250},
      {"sq_AL", 1250},
      {"bs_BA", 1250},
      {"el_GR.UTF-8", 1253},
      {"tr_TR", 1254},
      {"az_AZ", 1254},
      {"he_IL", 1255},
      {"ar_EG", 1256},
      {"fa_IR", 1256},
      {"ur_PK", 1256},
      {"lt_LT", 1257},
      {"lv_LV", 1257},
      {"et_EE", 1257},
      {"vi_VN", 1258},
      {"th_TH.UTF-8", 874},
      {"jam_JM", 1252},
      {"rus", 1252},
      {"j", 1252},
      {"_JP", 1252},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Locale);
    EXPECT_EQ(AnsiCodePage(c.Locale), c.CodePage);
  }
}

TEST(CodePage, TakesTheFirstLocaleThatIsSet) {
  struct Case {
    const char* LcAll;
    const char* LcCtype;
    const char* Lang;
    const char* Expected;
  };
  const Case cases[] = {
      {"a", "b", "c", "a"}, {nullptr, "b", "c", "b"},
      {"", "b", "c", "b"},  {nullptr, nullptr, "c", "c"},
      {"", "", "c", "c"},   {nullptr, nullptr, nullptr, ""},
      {"", "", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Expected);
    EXPECT_EQ(std::string(CharacterLocale(c.LcAll, c.LcCtype, c.Lang)), c.Expected);
  }
}

TEST(CodePage, NamesItAsIconvDoes) {
  EXPECT_STREQ(CodePageName(1252).data(), "CP1252");
  EXPECT_STREQ(CodePageName(874).data(), "CP874");
  EXPECT_STREQ(CodePageName(932).data(), "CP932");
}

} // namespace
