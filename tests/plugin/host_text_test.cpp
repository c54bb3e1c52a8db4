// Header texts as a Linux host reads them: in the charset of its locale
// (UTF-8 almost everywhere), whatever code page the handheld wrote them in. The program runs once per locale;
// the test names which group of expectations applies (KORVEL_TEXT_GROUP), so that the plug-in's own choice of
// code page is what is checked.
#include "tests/support/asking.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <iconv.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

// A system without converters for the legacy code pages: with
// KORVEL_NO_CONVERTERS set, the plug-in's iconv_open (bound to this
// program's, which is exported) fails as it does there.
// Both count what they did, so that a converter that is neither kept for the
// next request nor closed shows.
std::atomic<int> ConvertersOpened{0};
std::atomic<int> ConvertersClosed{0};

extern "C" iconv_t iconv_open(const char* to, const char* from) {
  if (std::getenv("KORVEL_NO_CONVERTERS") != nullptr) {
    errno = EINVAL;
    return reinterpret_cast<iconv_t>(-1);
  }
  using Open = iconv_t (*)(const char*, const char*);
  static const auto real = reinterpret_cast<Open>(::dlsym(RTLD_NEXT, "iconv_open"));
  const iconv_t converter = real(to, from);
  if (converter != reinterpret_cast<iconv_t>(-1)) ++ConvertersOpened;
  return converter;
}

extern "C" int iconv_close(iconv_t converter) {
  using Close = int (*)(iconv_t);
  static const auto real = reinterpret_cast<Close>(::dlsym(RTLD_NEXT, "iconv_close"));
  ++ConvertersClosed;
  return real(converter);
}

namespace {

struct TTextCase {
  const char*
      Group; // "western" (Windows-1252), "cyrillic" (1251), "japanese" (932), ..., or "any"
             // (every locale of UTF-8); "cp1251", "koi8r", "eucjp", "latin1": locales of those charsets
  const char* Label;
  int Field; // 0 name, 1 type, 2 creator
  std::string Stored;
  std::string Shown; // in the locale's charset, reckoned by hand from the code pages' charts
};

const TTextCase Cases[] = {
    {"any", "ASCII", 0, "MemoDB", "MemoDB"},
    {"any", "already UTF-8", 0, "Caf\xC3\xA9 \xE2\x82\xAC", "Caf\xC3\xA9 \xE2\x82\xAC"},
    {"any", "already UTF-8, four bytes", 0, "Memo \xF0\x9F\x93\x9D", "Memo \xF0\x9F\x93\x9D"},
    {"western", "Caf\xC3\xA9 M\xC3\xBCller", 0, "Caf\xE9 M\xFCller", "Caf\xC3\xA9 M\xC3\xBCller"},
    {"western",
     "Stra\xC3\x9F"
     "e",
     0,
     "Stra\xDF"
     "e",
     "Stra\xC3\x9F"
     "e"},
    {"western",
     "\xC3\x86"
     "bleskiver",
     0,
     "\xC6"
     "bleskiver",
     "\xC3\x86"
     "bleskiver"},
    {"western", "A\xC3\xB1o Nuevo", 0, "A\xF1o Nuevo", "A\xC3\xB1o Nuevo"},
    {"western", "euro sign", 0, "Preis 5 \x80", "Preis 5 \xE2\x82\xAC"},
    {"western", "undefined byte 0x81", 0, "Menu\x81!", "Menu\xEF\xBF\xBD!"},
    {"western", "32 euro signs", 0, std::string(32, '\x80'),
     [] {
       std::string text;
       for (int i = 0; i < 32; ++i) text += "\xE2\x82\xAC";
       return text + " "; // the name fills all 32 bytes, so the suffix shows
     }()},
    {"western",
     "type code \xC3\x84"
     "ATA",
     1,
     "\xC4"
     "ATA",
     "\xC3\x84"
     "ATA "},
    {"western", "creator code \xC2\xA9Krv", 2, "\xA9Krv", "\xC2\xA9Krv "},
    {"cyrillic", "\xD0\x97\xD0\xB0\xD0\xBC\xD0\xB5\xD1\x82\xD0\xBA\xD0\xB8", 0,
     "\xC7\xE0\xEC\xE5\xF2\xEA\xE8", "\xD0\x97\xD0\xB0\xD0\xBC\xD0\xB5\xD1\x82\xD0\xBA\xD0\xB8"},
    {"cyrillic", "Western bytes read as Cyrillic", 0, "Caf\xE9 M\xFCller", "Caf\xD0\xB9 M\xD1\x8Cller"},
    {"cyrillic", "undefined byte 0x98", 0, "a\x98z", "a\xEF\xBF\xBDz"},
    {"cyrillic",
     "type code \xD0\x94"
     "ATA",
     1,
     "\xC4"
     "ATA",
     "\xD0\x94"
     "ATA "},
    {"cyrillic", "creator code \xC2\xA9Krv", 2, "\xA9Krv", "\xC2\xA9Krv "},
    {"japanese", "\xE3\x83\xA1\xE3\x83\xA2\xE5\xB8\xB3", 0, "\x83\x81\x83\x82\x92\xA0",
     "\xE3\x83\xA1\xE3\x83\xA2\xE5\xB8\xB3"},
    {"japanese", "half-width katakana", 0, "\xB6\xC5", "\xEF\xBD\xB6\xEF\xBE\x85"},
    {"japanese", "a lead byte at the end", 0, "\x83\x81\x83", "\xE3\x83\xA1\xEF\xBF\xBD"},
    {"japanese", "32 half-width katakana", 0, std::string(32, '\xB1'),
     [] {
       std::string text;
       for (int i = 0; i < 32; ++i) text += "\xEF\xBD\xB1";
       return text + " ";
     }()},
    {"japanese",
     "type code \xEF\xBE\x84"
     "ATA",
     1,
     "\xC4"
     "ATA",
     "\xEF\xBE\x84"
     "ATA "},
    // A name that fills all 32 bytes ends where its field ends, even after an undefined byte.
    {"western", "31 letters and an undefined byte", 0, std::string(31, 'A') + "\x81",
     std::string(31, 'A') + "\xEF\xBF\xBD "},
    // Windows-1258 keeps a letter back until it knows no combining mark follows.
    {"vietnamese", "Vi\xC3\xAAt Nam", 0, "Vi\xEAt Nam", "Vi\xC3\xAAt Nam"},
    {"vietnamese", "ending in a letter kept back", 0, "Ph\xF4", "Ph\xC3\xB4"},
    {"vietnamese", "a letter kept back, then an undefined byte", 0,
     "Ab\x81"
     "cd",
     "Ab\xEF\xBF\xBD"
     "cd"},
    // Windows-1255 keeps letters back too, for the points that may follow.
    {"hebrew", "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D", 0, "\xF9\xEC\xE5\xED", "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D"},
    {"hebrew", "a letter kept back, then an undefined byte", 0, "\xE0\x81z", "\xD7\x90\xEF\xBF\xBDz"},
    // Without a converter for the code page: every byte that is not ASCII shows as undefined.
    {"no-converter", "Western bytes", 0, "Caf\xE9 M\xFCller", "Caf\xEF\xBF\xBD M\xEF\xBF\xBDller"},
    {"no-converter", "Shift-JIS bytes", 0, "\x83\x81!", "\xEF\xBF\xBD\xEF\xBF\xBD!"},
    {"no-converter", "DEL is ASCII", 0, "\x7F\x80", "\x7F\xEF\xBF\xBD"},
    {"no-converter", "32 bytes 0x80", 0, std::string(32, '\x80'),
     [] {
       std::string text;
       for (int i = 0; i < 32; ++i) text += "\xEF\xBF\xBD";
       return text + " ";
     }()},
    // Locales whose charset is not UTF-8. A Russian one of Windows-1251, the
    // handheld's own code page: stored names go out as they are.
    {"cp1251", "Cyrillic name as stored", 0, "\xC7\xE0\xEC\xE5\xF2\xEA\xE8", "\xC7\xE0\xEC\xE5\xF2\xEA\xE8"},
    {"cp1251", "undefined byte 0x98 as stored", 0, "a\x98z", "a\x98z"},
    {"cp1251", "Cyrillic name in UTF-8", 0, "\xD0\x97\xD0\xB0\xD0\xBC\xD0\xB5\xD1\x82\xD0\xBA\xD0\xB8",
     "\xC7\xE0\xEC\xE5\xF2\xEA\xE8"},
    {"cp1251", "Japanese name in UTF-8", 0, "\xE3\x83\xA1\xE3\x83\xA2!",
     "?"
     "?!"},
    {"cp1251", "type code", 1,
     "\xC4"
     "ATA",
     "\xC4"
     "ATA "},
    // KOI8-R: the same Cyrillic letters at other bytes.
    {"koi8r", "Cyrillic name from 1251", 0, "\xC7\xE0\xEC\xE5\xF2\xEA\xE8", "\xFA\xC1\xCD\xC5\xD4\xCB\xC9"},
    {"koi8r", "Latin letter it lacks", 0, "Caf\xC3\xA9", "Caf?"},
    {"koi8r", "undefined byte of 1251", 0, "a\x98z", "a?z"},
    {"koi8r", "type code", 1,
     "\xC4"
     "ATA",
     "\xE4"
     "ATA "},
    // EUC-JP, from Shift-JIS: two bytes a character, three for JIS X 0212.
    {"eucjp", "Japanese name from Shift-JIS", 0, "\x83\x81\x83\x82\x92\xA0", "\xA5\xE1\xA5\xE2\xC4\xA2"},
    {"eucjp", "half-width katakana", 0, "\xB6\xC5", "\x8E\xB6\x8E\xC5"},
    {"eucjp", "JIS X 0212 from UTF-8", 0, "a\xE4\xB8\x82\xE4\xB8\x82", "a\x8F\xB0\xA1\x8F\xB0\xA1"},
    {"eucjp", "euro sign it lacks", 0, "5 \xE2\x82\xAC", "5 ?"},
    // ISO-8859-1, from Windows-1252: the same bytes but for the euro sign.
    {"latin1", "Caf\xC3\xA9 M\xC3\xBCller", 0, "Caf\xE9 M\xFCller", "Caf\xE9 M\xFCller"},
    {"latin1", "euro sign it lacks", 0, "Preis 5 \x80", "Preis 5 ?"},
    {"latin1", "Cyrillic name in UTF-8", 0, "\xD0\x97\xD0\xB0\xD0\xBC", "???"},
    {"latin1", "undefined byte of 1252", 0, "Menu\x81!", "Menu?!"},
    {"latin1", "32 euro signs it lacks", 0, std::string(32, '\x80'), std::string(32, '?') + " "},
    // BIG5 and BIG5-HKSCS, from Windows-950; GB18030, from Windows-936.
    {"big5", "\xE8\xA8\x98\xE4\xBA\x8B\xE6\x9C\xAC", 0, "\xB0\x4F\xA8\xC6\xA5\xBB",
     "\xB0\x4F\xA8\xC6\xA5\xBB"},
    {"big5", "Chinese name in UTF-8", 0, "a\xE8\xA8\x98\xE4\xBA\x8B", "a\xB0\x4F\xA8\xC6"},
    {"big5", "Latin letter it lacks", 0, "Caf\xC3\xA9", "Caf?"},
    {"big5", "type code", 1,
     "\xB0\x4F"
     "AT",
     "\xB0\x4F"
     "AT "},
    {"big5hkscs", "\xE8\xA8\x98\xE4\xBA\x8B", 0, "\xB0\x4F\xA8\xC6", "\xB0\x4F\xA8\xC6"},
    // BIG5-HKSCS holds \xC3\x8A back, waiting for a combining mark: it goes out before the "?".
    {"big5hkscs", "a letter kept back, then one it lacks", 0, "\xC3\x8A\xE0\xB8\x91", "\x88\x66?"},
    {"big5hkscs", "two letters kept back", 0, "\xC3\x8A\xC3\x8A", "\x88\x66\x88\x66"},
    {"big5hkscs", "type code", 1,
     "\xB0\x4F"
     "AT",
     "\xB0\x4F"
     "AT "},
    {"gb18030", "\xE8\xAE\xB0\xE4\xBA\x8B\xE6\x9C\xAC", 0, "\xBC\xC7\xCA\xC2\xB1\xBE",
     "\xBC\xC7\xCA\xC2\xB1\xBE"},
    {"gb18030", "four bytes a letter", 0,
     "Stra\xC3\x9F"
     "e",
     "Stra\x81\x30\x89\x38"
     "e"},
    {"gb18030", "Latin letter in UTF-8", 0, "Caf\xC3\xA9", "Caf\xA8\xA6"},
    {"gb18030", "type code", 1,
     "\xBC\xC7"
     "AT",
     "\xBC\xC7"
     "AT "},
};

// Groups whose locale's charset is not UTF-8, and how many bytes the
// character at `at` of a text in it takes.
struct TCharsetGroup {
  const char* Group;
  std::size_t (*CharacterLength)(const std::string& text, std::size_t at);
};
unsigned char ByteAt(const std::string& text, std::size_t at) {
  return at < text.size() ? static_cast<unsigned char>(text[at]) : 0;
}
std::size_t OneByte(const std::string&, std::size_t) { return 1; }
std::size_t EucJpLength(const std::string& text, std::size_t at) {
  return ByteAt(text, at) < 0x80 ? 1 : ByteAt(text, at) == 0x8F ? 3 : 2;
}
std::size_t DoubleByteLength(const std::string& text, std::size_t at) {
  return ByteAt(text, at) < 0x81 ? 1 : 2;
}
std::size_t Gb18030Length(const std::string& text, std::size_t at) {
  if (ByteAt(text, at) < 0x81) return 1;
  return ByteAt(text, at + 1) >= 0x30 && ByteAt(text, at + 1) <= 0x39 ? 4 : 2;
}
const TCharsetGroup CharsetGroups[] = {{"cp1251", OneByte},        {"koi8r", OneByte},
                                       {"latin1", OneByte},        {"eucjp", EucJpLength},
                                       {"big5", DoubleByteLength}, {"big5hkscs", DoubleByteLength},
                                       {"gb18030", Gb18030Length}};

const TCharsetGroup* CharsetGroup(const std::string& group) {
  for (const auto& entry : CharsetGroups) {
    if (group == entry.Group) return &entry;
  }
  return nullptr; // UTF-8
}

// The longest prefix of `text` of at most `limit` bytes that ends before a
// UTF-8 lead byte or at the end: where a cut must stop. In another charset,
// whole characters of it.
std::string WholeCharacters(const std::string& text, std::size_t limit, const TCharsetGroup* charset) {
  if (limit >= text.size()) return text;
  if (charset != nullptr) {
    std::size_t kept = 0;
    while (kept + charset->CharacterLength(text, kept) <= limit) kept += charset->CharacterLength(text, kept);
    return text.substr(0, kept);
  }
  std::size_t length = limit;
  while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  return text.substr(0, length);
}

class HostText : public testing::Test {
protected:
  void SetUp() override {
    const char* group = std::getenv("KORVEL_TEXT_GROUP");
    ASSERT_NE(group, nullptr) << "the test says which expectations apply";
    Group = group;
    Folder = MakeTestFolder("text");
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(Folder, ignored);
  }
  std::string Group;
  fs::path Folder;
};

TEST_F(HostText, TextsArriveInTheLocalesCharsetAndAreCutBetweenCharacters) {
  const TCharsetGroup* charset = CharsetGroup(Group);
  int checked = 0;
  for (const auto& c : Cases) {
    if (c.Group != Group && (std::string(c.Group) != "any" || charset != nullptr)) continue;
    SCOPED_TRACE(c.Label);
    TSampleHeader header;
    header.Attributes = 0x0002; // read-only: the byte after the name field is not a NUL
    header.Name = c.Field == 0 ? c.Stored : "Name";
    header.DBType = c.Field == 1 ? c.Stored : "DATA";
    header.CreatorID = c.Field == 2 ? c.Stored : "Krvl";
    const fs::path path = Folder / ("case" + std::to_string(checked++) + ".pdb");
    WritePalmFile(path, header, 16);
    const TWideName wide = WideName(path);
    // Every size from 1 (room for the NUL alone) to more than the whole text.
    for (std::size_t size = 1; size <= c.Shown.size() + 2; ++size) {
      SCOPED_TRACE("size " + std::to_string(size));
      const std::string expected = WholeCharacters(c.Shown, size - 1, charset);
      for (const bool throughWide : {true, false}) {
        std::vector<char> buffer(size + 16, '\x5A');
        const int result =
            throughWide
                ? LoadedPlugin().GetValueW(wide.data(), c.Field, 0, buffer.data(), static_cast<int>(size), 0)
                : LoadedPlugin().GetValue(path.c_str(), c.Field, 0, buffer.data(), static_cast<int>(size), 0);
        ASSERT_EQ(result, FieldTypeString);
        EXPECT_EQ(std::string(buffer.data()), expected) << (throughWide ? "wide" : "8-bit");
        for (std::size_t i = expected.size() + 1; i < buffer.size(); ++i) {
          ASSERT_EQ(buffer[i], '\x5A') << "byte " << i << " written";
        }
      }
    }
  }
  EXPECT_GT(checked, 3) << "no case for group " << Group;
}

TEST_F(HostText, NumbersDatesAndEmptyNamesAreUnchanged) {
  TSampleHeader header;
  header.Name = std::string("\0\xE9\xE9", 3); // the name proper is empty
  header.DBType = std::string(4, '\0');
  header.NumRecords = 258;
  header.Version = 7;
  header.Created = 1000000000; // 2001-09-09
  const fs::path path = Folder / "numbers.pdb";
  WritePalmFile(path, header);
  const TWideName wide = WideName(path);
  struct Case {
    int Field;
    int Result;
    std::string Shown;
  };
  const Case cases[] = {{0, FieldTypeString, ""},
                        {1, FieldTypeString, " "},
                        {6, FieldTypeString, "258 "},
                        {7, FieldTypeString, "7 "},
                        {3, FieldTypeDate, std::string("\xD1\x07\x09\x00\x09\x00", 6)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Field);
    const TAnswer answer = AskW(wide, c.Field, 64);
    ASSERT_EQ(answer.Result, c.Result);
    if (c.Result == FieldTypeDate) {
      EXPECT_EQ(DateBytesOf(answer), c.Shown);
    } else {
      EXPECT_EQ(TextOf(answer), c.Shown);
    }
  }
}

// Where the locale's charset is not UTF-8, the host names its files in it
// too: a name given in UTF-16 opens the file whose name is in that charset,
// and the name's bytes through the 8-bit export open that file as they are.
TEST_F(HostText, FileNamesInTheLocalesCharsetOpen) {
  struct Case {
    const char* Group;   // "any": every locale of UTF-8
    std::string Bytes;   // the name on disk
    std::u16string Wide; // empty: no UTF-16 name gives these bytes back through the charset
  };
  const Case cases[] = {
      {"any", "Caf\xC3\xA9.pdb", u"Caf\u00E9.pdb"},
      {"cp1251", "\xC7\xE0\xEC\xE5\xF2\xEA\xE8.pdb", u"\u0417\u0430\u043C\u0435\u0442\u043A\u0438.pdb"},
      {"cp1251", "\x98.pdb",
       u"\xDC98.pdb"}, // a byte 1251 does not define, escaped as in names that are not UTF-8
      {"cp1251", "\x80\xFF.pdb", u"\xDC80\xDCFF.pdb"}, // the first and last escaped byte
      {"koi8r", "\xFA\xC1\xCD\xC5\xD4\xCB\xC9.pdb", u"\u0417\u0430\u043C\u0435\u0442\u043A\u0438.pdb"},
      {"eucjp", "\xA5\xE1\xA5\xE2.pdb", u"\u30E1\u30E2.pdb"},
      {"latin1", "Caf\xE9.pdb", u"Caf\u00E9.pdb"},
      {"big5", "\xB0\x4F.pdb", u"\u8A18.pdb"},
      {"big5", "\xA2\xCC.pdb", u""},                          // U+5341, which goes back as A4 51
      {"big5hkscs", "\xA2\x7E.pdb", u""},                     // U+256D, which goes back as F9 FA
      {"big5hkscs", "\x88\x66\xFF.pdb", u"\u00CA\xDCFF.pdb"}, // a letter held back, then an escaped byte
      {"gb18030", "\xBC\xC7.pdb", u"\u8BB0.pdb"},
      {"gb18030", "\x95\x32\x90\x31.pdb", u""}, // U+20087, which goes back as FE 51
  };
  const bool utf8 = CharsetGroup(Group) == nullptr;
  int checked = 0;
  for (const auto& c : cases) {
    if (c.Group != Group && (std::string(c.Group) != "any" || !utf8)) continue;
    SCOPED_TRACE(testing::PrintToString(c.Bytes));
    TSampleHeader header;
    header.Name = "Named";
    const fs::path path = Folder / c.Bytes;
    WritePalmFile(path, header);
    char buffer[64] = {};
    if (!c.Wide.empty()) {
      const TWideName wide = WideName(Folder.u16string() + u"/" + c.Wide);
      ASSERT_EQ(LoadedPlugin().GetValueW(wide.data(), 0, 0, buffer, sizeof buffer, 0), FieldTypeString);
      EXPECT_STREQ(buffer, "Named");
    }
    std::memset(buffer, 0, sizeof buffer);
    ASSERT_EQ(LoadedPlugin().GetValue(path.c_str(), 0, 0, buffer, sizeof buffer, 0), FieldTypeString);
    EXPECT_STREQ(buffer, "Named");
    ++checked;
  }
  EXPECT_GT(checked, 0) << "no case for group " << Group;

  // A character the charset lacks names no file: not the one named by what
  // comes before it.
  TSampleHeader header;
  header.Name = "Cut";
  WritePalmFile(Folder / "cut", header);
  WritePalmFile(Folder / "cut\x7F.pdb", header);
  // Nor does a lone surrogate that stands for no byte, just outside the escapes.
  for (const char16_t* name : {u"/cut\u2713.pdb", u"/cut\xDC7F.pdb", u"/cut\xDD00.pdb"}) {
    EXPECT_EQ(AskW(WideName(Folder.u16string() + name), 0).Result, FieldEmpty);
  }
  // A long name through the 8-bit export: its extension is found at its end.
  fs::create_directories(Folder / std::string(150, 'x'));
  const std::string longName = (Folder / std::string(150, 'x') / (std::string(150, 'x') + ".pdb")).string();
  WritePalmFile(longName, header);
  ExpectText(Ask8(longName.c_str(), 0), "Cut");

  // An 8-bit name that ends where readable memory ends is read no further,
  // whatever bytes of it the charset lacks.
  const long page = ::sysconf(_SC_PAGESIZE);
  void* pages = ::mmap(nullptr, 2 * static_cast<std::size_t>(page), PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(pages, MAP_FAILED);
  ASSERT_EQ(::mprotect(static_cast<char*>(pages) + page, static_cast<std::size_t>(page), PROT_NONE), 0);
  const std::string edge = (Folder / "edge\x98\xFF.pdb").string();
  WritePalmFile(edge, header);
  char* name = static_cast<char*>(pages) + page - static_cast<long>(edge.size()) - 1;
  std::memcpy(name, edge.c_str(), edge.size() + 1);
  char buffer[64] = {};
  EXPECT_EQ(LoadedPlugin().GetValue(name, 0, 0, buffer, sizeof buffer, 0), FieldTypeString);
  EXPECT_STREQ(buffer, "Cut");
  ::munmap(pages, 2 * static_cast<std::size_t>(page));
}

// Converters are shared between requests without a lock: threads that
// convert at once must each get their own file's text. The files' names hold
// a byte that is no character of UTF-8 and some legacy charsets, so that the
// names are converted too, through both exports. Afterwards every converter
// opened is closed or kept, one of each kind, for the next request.
TEST_F(HostText, ThreadsConvertingAtOnceGetTheirOwnTexts) {
  std::vector<const TTextCase*> names;
  for (const auto& c : Cases) {
    if (c.Field == 0 && c.Group == Group) names.push_back(&c);
  }
  ASSERT_GE(names.size(), 2u);
  std::vector<TWideName> paths;
  std::vector<std::string> narrowPaths;
  for (std::size_t i = 0; i < names.size(); ++i) {
    TSampleHeader header;
    header.Name = names[i]->Stored;
    const std::string file = "thread" + std::to_string(i);
    narrowPaths.push_back((Folder / (file + "\xA9.pdb")).string());
    WritePalmFile(narrowPaths.back(), header);
    paths.push_back(
        WideName(Folder.u16string() + u"/" + std::u16string(file.begin(), file.end()) + u"\xDCA9.pdb"));
  }
  const auto ask = [&](std::size_t which, bool wide) {
    char buffer[128] = {};
    const int result =
        wide ? LoadedPlugin().GetValueW(paths[which].data(), 0, 0, buffer, sizeof buffer, 0)
             : LoadedPlugin().GetValue(narrowPaths[which].c_str(), 0, 0, buffer, sizeof buffer, 0);
    return result == FieldTypeString && names[which]->Shown == buffer;
  };
  std::vector<int> wrong(4, 0);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < wrong.size(); ++t) {
    threads.emplace_back([&, t] {
      for (std::size_t i = 0; i < 2000; ++i) {
        if (!ask((i + t) % names.size(), (i / names.size()) % 2 == 0)) ++wrong[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (std::size_t t = 0; t < wrong.size(); ++t) EXPECT_EQ(wrong[t], 0) << "thread " << t;

  constexpr int ConverterKinds = 5; // header text from the handheld's code page, to the locale's charset,
                                    // cut in it; names to and from it
  EXPECT_LE(ConvertersOpened - ConvertersClosed, ConverterKinds) << "converters neither kept nor closed";
  const int opened = ConvertersOpened;
  for (std::size_t i = 0; i < 4 * names.size(); ++i) EXPECT_TRUE(ask(i % names.size(), i % 2 == 0));
  EXPECT_EQ(ConvertersOpened, opened)
      << "a request in one thread opened a converter instead of taking the kept one";
}

} // namespace
