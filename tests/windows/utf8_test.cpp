// Run where the ANSI code page is UTF-8 (this program's manifest asks for it):
// header texts reach the host as UTF-8, read in the code page of the user's
// locale when they are not UTF-8 already, and cut between whole characters.
#include "tests/support/asking.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

namespace fs = std::filesystem;

namespace {

TEST(Utf8AnsiCodePage, NamesArriveAsUtf8WholeCharactersOnly) {
  ASSERT_EQ(::GetACP(), static_cast<UINT>(CP_UTF8)) << "the manifest did not make UTF-8 the ANSI code page";
  struct Case {
    const char* Stored;
    const char* Shown; // UTF-8
  };
  // The name a handheld of the locale's language stores, by the locale's code page.
  wchar_t digits[8] = {};
  ASSERT_GT(::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE, digits, 8), 0);
  const std::wstring codePage = digits;
  const Case named = codePage == L"1251"  ? Case{"\xC7\xE0\xEC\xE5\xF2\xEA\xE8", "Заметки"}
                     : codePage == L"932" ? Case{"\x83\x81\x83\x82\x92\xA0", "メモ帳"}
                                          : Case{"Caf\xE9 M\xFCller", "Café Müller"};
  const Case cases[] = {named, {"\xE2\x9C\x93 UTF-8 already", "✓ UTF-8 already"}, {"ASCII", "ASCII"}};
  const fs::path folder = MakeTestFolder("utf8");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Shown);
    TSampleHeader header;
    header.Name = c.Stored;
    WritePalmFile(folder / "named.pdb", header);
    const auto name = WideName(folder / "named.pdb");
    const std::string shown = c.Shown;
    for (std::size_t size = 1; size <= shown.size() + 1; ++size) {
      SCOPED_TRACE(size);
      const TAnswer answer = AskW(name, 0, static_cast<int>(size));
      ASSERT_EQ(answer.Result, FieldTypeString);
      const std::string got = TextOf(answer);
      ASSERT_LT(got.size(), size);
      EXPECT_EQ(got, shown.substr(0, got.size())) << "not a prefix of the name";
      // Whole characters only: the next byte of the name starts a character.
      EXPECT_TRUE(got.size() == shown.size() ||
                  (static_cast<unsigned char>(shown[got.size()]) & 0xC0) != 0x80);
      EXPECT_GE(got.size() + 3, std::min(size - 1, shown.size())) << "cut more than one character";
      EXPECT_EQ(answer.Buffer[size], Marker) << "written past the buffer";
    }
  }
  std::error_code ignored;
  fs::remove_all(folder, ignored);
}

} // namespace
