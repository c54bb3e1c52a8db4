// The code page a locale name stands for, as Windows would choose it.
#include "pdb/system/code_page.h"

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
      {"kk_KZ.UTF-8", 1251},
      {"ky_KG", 1251},
      {"tt_RU", 1251},
      {"mn_MN", 1251},
      {"ba_RU", 1251},
      {"sah_RU", 1251},
      {"tg_TJ", 1251},
      {"uz_UZ", 1254},
      {"uz_UZ@cyrillic", 1251},
      {"az_AZ@cyrillic", 1251},
      {"bs_BA@cyrillic", 1251},
      {"sr_RS@cyrillic", 1251},
      {"tk_TM", 1250},
      {"ug_CN", 1256},
      {"prs_AF", 1256},
      {"ps_AF", 1252},
      {"hi_IN", 1252},
      {"ka_GE", 1252},
      {"s_RU", 1252},
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

// The charset a host reads texts in: the locale's codeset, told apart from
// UTF-8 and matched against the handheld's code page however it is spelled.
TEST(CodePage, TheLocalesCodeset) {
  struct Case {
    const char* Locale;
    const char* Codeset;
    bool Utf8;
    unsigned CodePage; // the code page it names; 0: none
  };
  const Case cases[] = {
      {"ru_RU.UTF-8", "UTF-8", true, 0},
      {"de_DE.utf8", "utf8", true, 0},
      {"C.UTF-8", "UTF-8", true, 0},
      {"ru_RU.CP1251", "CP1251", false, 1251},
      {"ru_RU.cp1251", "cp1251", false, 1251},
      {"ru_RU.windows-1251", "windows-1251", false, 1251},
      {"ru_RU.KOI8-R", "KOI8-R", false, 0},
      {"ja_JP.eucJP", "eucJP", false, 0},
      {"de_DE.ISO-8859-1@euro", "ISO-8859-1", false, 0},
      {"sr_RS.UTF-8@latin", "UTF-8", true, 0},
      {"ru_RU", "", false, 0},
      {"C", "", false, 0},
      {"", "", false, 0},
      {"ru_RU.CP12510", "CP12510", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Locale);
    const std::string_view codeset = LocaleCodeset(c.Locale);
    EXPECT_EQ(std::string(codeset), c.Codeset);
    EXPECT_EQ(NamesUtf8(codeset), c.Utf8);
    EXPECT_EQ(NamesCodePage(codeset, 1251), c.CodePage == 1251);
  }
}

TEST(CodePage, NamesItAsIconvDoes) {
  EXPECT_STREQ(CodePageName(1252).data(), "CP1252");
  EXPECT_STREQ(CodePageName(874).data(), "CP874");
  EXPECT_STREQ(CodePageName(932).data(), "CP932");
}

TEST(CodePage, DoubleByteCutKeepsWholeCharacters) {
  TLeadBytes shiftJis; // code page 932: leads 81-9F and E0-FC
  for (unsigned byte = 0x81; byte <= 0x9F; ++byte) shiftJis.set(byte);
  for (unsigned byte = 0xE0; byte <= 0xFC; ++byte) shiftJis.set(byte);
  const std::string memo = "\x83\x81\x83\x82\x92\xA0 "; // "メモ帳 "
  const std::string katakana = "\xB1\x83\x81";          // a half-width letter, one byte, then メ
  struct Case {
    const std::string& Text;
    std::size_t Limit;
    std::size_t Kept;
  };
  const Case cases[] = {
      {memo, 0, 0}, {memo, 1, 0}, {memo, 2, 2},     {memo, 3, 2},     {memo, 5, 4},     {memo, 6, 6},
      {memo, 7, 7}, {memo, 8, 7}, {katakana, 1, 1}, {katakana, 2, 1}, {katakana, 3, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.Text) + " to " + std::to_string(c.Limit));
    EXPECT_EQ(DoubleByteCut(c.Text, c.Limit, shiftJis), c.Kept);
    EXPECT_EQ(DoubleByteCut(c.Text, c.Limit, TLeadBytes{}), std::min(c.Limit, c.Text.size())); // single-byte
  }
  // A lead byte that ends the text has no second byte: it stands alone.
  EXPECT_EQ(DoubleByteCut("a\x83", 2, shiftJis), 2u);
}

} // namespace
