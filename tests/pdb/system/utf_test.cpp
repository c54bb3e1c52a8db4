// UTF-8 <-> UTF-16 of file names, invalid bytes included.
#include "pdb/system/utf.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<char16_t> ToUtf16(const std::string& text) {
  std::vector<char16_t> out(text.size() + 1, 0xEEEE);
  const std::size_t needed = Utf8ToUtf16(text.c_str(), out.data(), out.size());
  EXPECT_LT(needed, out.size());
  out.resize(needed);
  return out;
}

TEST(Utf, ConvertsBothWaysAndEscapesStrayBytes) {
  struct Case {
    const char* Label;
    std::string Utf8;
    std::vector<char16_t> Utf16;
    bool RoundTrips; // back to the same bytes
  };
  const Case cases[] = {
      {"ascii", "/tmp/a.pdb", {'/', 't', 'm', 'p', '/', 'a', '.', 'p', 'd', 'b'}, true},
      {"two bytes", "\xC3\xA9", {0x00E9}, true},
      {"three bytes", "\xE6\x97\xA5", {0x65E5}, true},
      {"four bytes", "\xF0\x9F\x93\x9D", {0xD83D, 0xDCDD}, true},
      {"largest", "\xF4\x8F\xBF\xBF", {0xDBFF, 0xDFFF}, true},
      {"latin-1 byte", "\xE9t", {0xDCE9, 't'}, true},
      {"stray continuation", "\x80", {0xDC80}, true},
      {"byte 0xFF", "\xFF", {0xDCFF}, true},
      {"cut sequence", "\xE6\x97", {0xDCE6, 0xDC97}, true},
      {"cut at the end of four", "a\xF0\x9F\x93", {'a', 0xDCF0, 0xDC9F, 0xDC93}, true},
      {"overlong slash", "\xC0\xAF", {0xDCC0, 0xDCAF}, true},
      {"overlong three", "\xE0\x80\xAF", {0xDCE0, 0xDC80, 0xDCAF}, true},
      {"encoded surrogate", "\xED\xA0\x80", {0xDCED, 0xDCA0, 0xDC80}, true},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", {0xDCF4, 0xDC90, 0xDC80, 0xDC80}, true},
      // The edges of each form, and payloads of alternating bits.
      {"U+007F", "\x7F", {0x007F}, true},
      {"U+0080", "\xC2\x80", {0x0080}, true},
      {"U+0555", "\xD5\x95", {0x0555}, true},
      {"U+07FF", "\xDF\xBF", {0x07FF}, true},
      {"U+0800", "\xE0\xA0\x80", {0x0800}, true},
      {"U+5555", "\xE5\x95\x95", {0x5555}, true},
      {"U+D7FF", "\xED\x9F\xBF", {0xD7FF}, true},
      {"U+E000", "\xEE\x80\x80", {0xE000}, true},
      {"U+FFFF", "\xEF\xBF\xBF", {0xFFFF}, true},
      {"U+10000", "\xF0\x90\x80\x80", {0xD800, 0xDC00}, true},
      {"U+2AAAA", "\xF0\xAA\xAA\xAA", {0xD86A, 0xDEAA}, true},
      {"U+F0000", "\xF3\xB0\x80\x80", {0xDB80, 0xDC00}, true},
      {"lead C1", "\xC1\x80", {0xDCC1, 0xDC80}, true},
      {"lead E0, second 9F", "\xE0\x9F\xBF", {0xDCE0, 0xDC9F, 0xDCBF}, true},
      {"lead ED, second A0", "\xED\xA0\x80", {0xDCED, 0xDCA0, 0xDC80}, true},
      {"lead F0, second 8F", "\xF0\x8F\xBF\xBF", {0xDCF0, 0xDC8F, 0xDCBF, 0xDCBF}, true},
      {"lead F5", "\xF5\x80\x80\x80", {0xDCF5, 0xDC80, 0xDC80, 0xDC80}, true},
      {"second byte 7F", "\xC3\x7F", {0xDCC3, 0x007F}, true},
      {"second byte C0", "\xC3\xC0\x80", {0xDCC3, 0xDCC0, 0xDC80}, true},
      {"third byte 7F", "\xE2\x82\x7F", {0xDCE2, 0xDC82, 0x007F}, true},
      {"fourth byte C0", "\xF0\x9F\x93\xC0", {0xDCF0, 0xDC9F, 0xDC93, 0xDCC0}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    EXPECT_EQ(ToUtf16(c.Utf8), c.Utf16);
    char back[64];
    ASSERT_TRUE(Utf16ToUtf8(c.Utf16.data(), c.Utf16.size(), back, sizeof back));
    if (c.RoundTrips) {
      EXPECT_EQ(std::string(back), c.Utf8);
    }
  }
}

TEST(Utf, ReportsTheLengthWithoutWritingPastTheCapacity) {
  char16_t out[4] = {1, 1, 1, 1};
  EXPECT_EQ(Utf8ToUtf16("abcdef", out, 3), 6u);
  EXPECT_EQ(out[3], 1) << "wrote past the capacity";
  EXPECT_EQ(Utf8ToUtf16("abc", out, 4), 3u);
  EXPECT_EQ(out[3], 0);
  out[3] = 1;
  EXPECT_EQ(Utf8ToUtf16("xyz", out, 3), 3u) << "a text that fills the capacity has no room for its NUL";
  EXPECT_EQ(out[2], u'z');
  EXPECT_EQ(out[3], 1) << "the NUL went past the capacity";
  EXPECT_EQ(Utf8ToUtf16("", out, 0), 0u);
}

TEST(Utf, RefusesWhatHasNoBytesOrNoRoom) {
  struct Case {
    const char* Label;
    std::vector<char16_t> Utf16;
    std::size_t Capacity;
    bool Converts;
  };
  const Case cases[] = {
      {"lone high surrogate", {'a', 0xD800, 'b'}, 16, false},
      {"high surrogate at the end", {'a', 0xDBFF}, 16, false},
      {"lone low surrogate, not a byte", {0xDC00}, 16, false},
      {"escaped ASCII is not a byte we escape", {0xDC41}, 16, false},
      {"reversed pair", {0xDCDD, 0xD83D}, 16, false},
      {"two high surrogates", {0xD800, 0xD800, 0xDC00}, 16, false},
      {"high surrogate before ASCII", {0xDBFF, 'a'}, 16, false},
      {"lone U+DFFF", {0xDFFF}, 16, false},
      {"U+DC7F is no escaped byte", {0xDC7F}, 16, false},
      {"U+DD00 is no escaped byte", {0xDD00}, 16, false},
      {"escaped byte 0x80", {0xDC80}, 16, true},
      {"escaped byte 0xFF", {0xDCFF}, 16, true},
      {"pair at the low edge", {0xD800, 0xDC00}, 16, true},
      {"pair at the high edge", {0xDBFF, 0xDFFF}, 16, true},
      {"four bytes exactly fit", {0xD83D, 0xDCDD}, 5, true},
      {"four bytes, one short", {0xD83D, 0xDCDD}, 4, false},
      {"three bytes exactly fit", {0x20AC}, 4, true},
      {"three bytes, one short", {0x20AC}, 3, false},
      {"U+D7FF, then a low surrogate", {0xD7FF, 0xDC00}, 16, false},
      {"U+6000, then a low surrogate", {0x6000, 0xDC00}, 16, false},
      {"two low surrogates", {0xDC00, 0xDC01}, 16, false},
      {"high surrogate, then U+DBFF", {0xD800, 0xDBFF}, 16, false},
      {"high surrogate, then U+6000", {0xD800, 0x6000}, 16, false},
      {"high surrogate, then U+E000", {0xD800, 0xE000}, 16, false},
      {"ASCII, high surrogate, U+E000", {'a', 0xD800, 0xE000}, 16, false},
      {"pair, then U+E000", {0xD800, 0xDC00, 0xE000}, 16, true},
      {"escaped byte, no room", {0xDC80}, 1, false},
      {"exactly fits", {0x00E9, 'x'}, 4, true},
      {"one byte short", {0x00E9, 'x'}, 3, false},
      {"no room for the NUL", {}, 0, false},
      {"empty", {}, 1, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    char out[16];
    EXPECT_EQ(Utf16ToUtf8(c.Utf16.data(), c.Utf16.size(), out, c.Capacity), c.Converts);
  }
  // Only `length` units count, whatever follows them.
  const char16_t pair[] = {0xD800, 0xDC00};
  char out[16];
  EXPECT_FALSE(Utf16ToUtf8(pair, 1, out, sizeof out)) << "the low surrogate after the length was used";
}

TEST(Utf, TellsUtf8FromOtherBytes) {
  struct Case {
    const char* Label;
    std::string Text;
    bool Valid;
  };
  const Case cases[] = {
      {"empty", "", true},
      {"ascii", "MemoDB", true},
      {"U+007F", "\x7F", true},
      {"U+0080", "\xC2\x80", true},
      {"U+07FF", "\xDF\xBF", true},
      {"U+0800", "\xE0\xA0\x80", true},
      {"U+D7FF", "\xED\x9F\xBF", true},
      {"U+E000", "\xEE\x80\x80", true},
      {"U+FFFF", "\xEF\xBF\xBF", true},
      {"U+10000", "\xF0\x90\x80\x80", true},
      {"U+10FFFF", "\xF4\x8F\xBF\xBF", true},
      {"Latin-1 e acute", "Caf\xE9", false},
      {"lead byte C1, overlong", "\xC1\xBF", false},
      {"overlong U+07FF", "\xE0\x9F\xBF", false},
      {"encoded surrogate U+D800", "\xED\xA0\x80", false},
      {"overlong U+FFFF", "\xF0\x8F\xBF\xBF", false},
      {"above U+10FFFF", "\xF4\x90\x80\x80", false},
      {"lead byte F5", "\xF5\x80\x80\x80", false},
      {"second byte not a continuation", "\xC3\x28", false},
      {"third byte not a continuation", "\xE2\x82\x28", false},
      {"cut at the end", "ab\xE2\x82", false},
      {"a NUL inside a sequence", std::string("\xC3\0", 2), false},
      {"stray continuation", "\x80", false},
      {"valid, ASCII, then a stray byte",
       "\xC3\xA9"
       "a\xFF",
       false},
      {"two sequences, then a stray byte", "\xC3\xA9\xE2\x82\xAC\x80", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    EXPECT_EQ(IsValidUtf8(c.Text), c.Valid);
  }
  // One character at a time: its length and code point, 0 for no character.
  const struct {
    std::string_view Text;
    std::size_t Length;
    char32_t CodePoint;
  } characters[] = {{"A!", 1, U'A'},
                    {"\x7F", 1, 0x7F},
                    {"\xC3\xA9!", 2, 0xE9},
                    {"\xE2\x82\xAC", 3, 0x20AC},
                    {"\xF4\x8F\xBF\xBF", 4, 0x10FFFF},
                    {"\xFF", 0, 0}};
  for (const auto& c : characters) {
    char32_t codePoint = 0;
    EXPECT_EQ(DecodeUtf8(c.Text, codePoint), c.Length);
    if (c.Length > 0) {
      EXPECT_EQ(codePoint, c.CodePoint);
    }
  }
  // Only the bytes of the view count.
  const std::string stray = "\xC3\xA9\xFF";
  EXPECT_TRUE(IsValidUtf8(std::string_view(stray).substr(0, 2)));
  EXPECT_FALSE(IsValidUtf8(std::string_view(stray).substr(0, 1)));
}

TEST(Utf, CutsKeepWholeCharacters) {
  const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x93\x9D"; // a, e acute, euro, memo: 1+2+3+4 bytes
  const std::size_t expected[] = {0, 1, 1, 3, 3, 3, 6, 6, 6, 6, 10, 10, 10};
  for (std::size_t limit = 0; limit < std::size(expected); ++limit) {
    SCOPED_TRACE(limit);
    EXPECT_EQ(Utf8PrefixLength(text, limit), expected[limit]);
  }
}

} // namespace
