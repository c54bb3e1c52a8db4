// The plug-in's values as a host asks them: loaded from its file, called
// through the exports it finds by name. The same cases run against the Linux
// library natively and against the Windows DLL under Wine.
#include "tests/support/asking.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {

#if defined(_WIN32)
// The name as a Windows host passes it to the 8-bit export: in the ANSI code page.
std::string NativeName(const fs::path& path) {
  const std::wstring wide = path.wstring();
  std::string ansi(wide.size() * 2 + 1, '\0');
  const int length = ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, ansi.data(),
                                           static_cast<int>(ansi.size()), nullptr, nullptr);
  ansi.resize(length > 0 ? static_cast<std::size_t>(length) - 1 : 0);
  return ansi;
}
#else
std::string NativeName(const fs::path& path) { return path.string(); }
#endif

// ------------------------------------------------------------ value requests

// A folder of Palm files with known headers, made once for all value tests.
class ValueRequests : public testing::Test {
protected:
  static void SetUpTestSuite() {
    Folder = new fs::path(MakeTestFolder("values"));
    TSampleHeader memo;
    memo.Name = "MemoDB";
    memo.DBType = "DATA";
    memo.CreatorID = "memo";
    memo.Created = 0xB982A9E5;  // 2002-08-16, seconds since 1904 as a device stores them
    memo.Modified = 0xDC562161; // 2021-02-20
    memo.BackedUp = 1000000000; // 2001-09-09, seconds since 1970 as converters store them
    memo.NumRecords = 258;
    memo.Version = 1;
    WritePalmFile(*Folder / "MemoDB.PDB", memo, 300);

    TSampleHeader full;
    full.Name = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345"; // all 32 bytes, no NUL
    full.DBType = std::string("TE\0X", 4);
    full.CreatorID = "\xC4\xFF\x80z";
    full.Created = 2085805696;
    full.Modified = 2085805697;
    full.BackedUp = 0xFFFFFFFF;
    full.NumRecords = 65535;
    full.Version = 65535;
    WritePalmFile(*Folder / "full.prc", full);

    WritePalmFile(*Folder / "zeros.pdb", TSampleHeader{});
  }
  static void TearDownTestSuite() {
    std::error_code ignored;
    fs::remove_all(*Folder, ignored);
    delete Folder;
  }
  static TWideName Name(const std::string& file) { return WideName(*Folder / file); }
  static std::string Name8(const std::string& file) { return NativeName(*Folder / file); }

  static fs::path* Folder;
};
fs::path* ValueRequests::Folder = nullptr;

struct TFieldCase {
  const char* File;
  int Index;
  const char* Text; // null for a date
  int Year, Month, Day;
};

const TFieldCase FieldCases[] = {
    {"MemoDB.PDB", 0, "MemoDB", 0, 0, 0},
    {"MemoDB.PDB", 1, "DATA ", 0, 0, 0},
    {"MemoDB.PDB", 2, "memo ", 0, 0, 0},
    {"MemoDB.PDB", 3, nullptr, 2002, 8, 16},
    {"MemoDB.PDB", 4, nullptr, 2021, 2, 20},
    {"MemoDB.PDB", 5, nullptr, 2001, 9, 9},
    {"MemoDB.PDB", 6, "258 ", 0, 0, 0},
    {"MemoDB.PDB", 7, "1 ", 0, 0, 0},
    {"full.prc", 0, "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345 ", 0, 0, 0},
    {"full.prc", 1, "TE ", 0, 0, 0},
#if defined(_WIN32)
    {"full.prc", 2, "\xC4\xFF\x80z ", 0, 0, 0}, // the stored bytes, read by the host in its ANSI code page
#else
    {"full.prc", 2, "\xC3\x84\xC3\xBF\xE2\x82\xACz ", 0, 0,
     0}, // "Äÿ€z" in UTF-8 (Windows-1252 under C.UTF-8)
#endif
    {"full.prc", 3, nullptr, 2036, 2, 5},
    {"full.prc", 4, nullptr, 2036, 2, 5},
    {"full.prc", 5, nullptr, 2040, 2, 6},
    {"full.prc", 6, "65535 ", 0, 0, 0},
    {"full.prc", 7, "65535 ", 0, 0, 0},
    {"zeros.pdb", 0, "", 0, 0, 0},
    {"zeros.pdb", 1, " ", 0, 0, 0},
    {"zeros.pdb", 2, " ", 0, 0, 0},
    {"zeros.pdb", 3, nullptr, 1970, 1, 1},
    {"zeros.pdb", 5, nullptr, 1970, 1, 1},
    {"zeros.pdb", 6, "0 ", 0, 0, 0},
    {"zeros.pdb", 7, "0 ", 0, 0, 0},
};

void ExpectField(const TAnswer& answer, const TFieldCase& c) {
  if (c.Text != nullptr) {
    ExpectText(answer, c.Text);
  } else {
    ExpectDate(answer, c.Year, c.Month, c.Day);
  }
}

TEST_F(ValueRequests, AnswersEveryFieldThroughBothExports) {
  for (const auto& c : FieldCases) {
    SCOPED_TRACE(std::string(c.File) + " field " + std::to_string(c.Index));
    ExpectField(AskW(Name(c.File), c.Index), c);
    ExpectField(Ask8(Name8(c.File).c_str(), c.Index), c);
  }
}

TEST_F(ValueRequests, ResultsAreTheNumbersHostsKnow) {
  const auto memo = Name("MemoDB.PDB");
  const auto missing = Name("gone.pdb");
  const auto text = Name("readme.txt");
  struct Case {
    const char* Label;
    const TWideName* File;
    int Index;
    int Flags;
    int Result; // as a literal: what hosts compare with
  };
  const Case cases[] = {
      {"text", &memo, 6, 0, 8},
      {"date", &memo, 3, 0, 4},
      {"delay flag, bit 0", &memo, 6, 1, 0},
      {"bit 1 is no delay", &memo, 6, 2, 8},
      {"no such field", &memo, 8, 0, -1},
      {"missing file", &missing, 0, 0, -3},
      {"not a Palm file", &text, 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    EXPECT_EQ(AskW(*c.File, c.Index, 256, c.Flags).Result, c.Result);
  }
}

TEST_F(ValueRequests, UnitIndexChangesNothing) {
  for (const int unit : {-5, 0, 1, 99, INT_MIN}) {
    SCOPED_TRACE(unit);
    ExpectText(AskW(Name("MemoDB.PDB"), 6, 256, 0, unit), "258 ");
    ExpectDate(AskW(Name("MemoDB.PDB"), 3, 256, 0, unit), 2002, 8, 16);
  }
}

TEST_F(ValueRequests, CutsTextsToTheBufferSize) {
  const std::string name = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345 ";
  for (const int size : {1, 2, 3, 5, 6, 33, 34, 40}) {
    SCOPED_TRACE(size);
    const std::size_t kept = std::min<std::size_t>(name.size(), static_cast<std::size_t>(size) - 1);
    ExpectText(AskW(Name("full.prc"), 0, size), name.substr(0, kept));
    ExpectText(Ask8(Name8("full.prc").c_str(), 0, size), name.substr(0, kept));
    ExpectText(AskW(Name("MemoDB.PDB"), 1, size), std::string("DATA ").substr(0, kept));
  }
}

TEST_F(ValueRequests, WritesNothingWithoutRoomForTheValue) {
  struct Case {
    const char* Label;
    int Index;
    int Size;
  };
  const Case cases[] = {{"text, size 0", 0, 0},  {"text, size -1", 1, -1}, {"text, INT_MIN", 6, INT_MIN},
                        {"date, size 5", 3, 5},  {"date, size 1", 4, 1},   {"date, size 0", 5, 0},
                        {"date, size -1", 5, -1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    ExpectUntouched(AskW(Name("MemoDB.PDB"), c.Index, c.Size), FieldEmpty);
    ExpectUntouched(Ask8(Name8("MemoDB.PDB").c_str(), c.Index, c.Size), FieldEmpty);
  }
  ExpectDate(AskW(Name("MemoDB.PDB"), 3, 6), 2002, 8, 16);
  const auto name = Name("MemoDB.PDB");
  for (const int index : {0, 3}) {
    EXPECT_EQ(LoadedPlugin().GetValueW(name.data(), index, 0, nullptr, 256, 0), FieldEmpty);
    EXPECT_EQ(LoadedPlugin().GetValue(Name8("MemoDB.PDB").c_str(), index, 0, nullptr, 256, 0), FieldEmpty);
  }
}

TEST_F(ValueRequests, ChecksRangeThenDelayThenExtension) {
  const auto memo = Name("MemoDB.PDB");
  const auto missing = Name("gone.pdb");
  const auto text = Name("readme.txt");
  const WideChar empty[] = {0};
  struct Case {
    const char* Label;
    const WideChar* File;
    int Index;
    int Flags;
    int Result;
  };
  const Case cases[] = {
      {"index 8 with delay", memo.data(), 8, DelayIfSlow, FieldNoSuchField},
      {"index -1", memo.data(), -1, 0, FieldNoSuchField},
      {"INT_MIN", memo.data(), INT_MIN, 0, FieldNoSuchField},
      {"INT_MAX", memo.data(), INT_MAX, 0, FieldNoSuchField},
      {"index 8 of a text file", text.data(), 8, 0, FieldNoSuchField},
      {"delay", memo.data(), 0, DelayIfSlow, FieldDelayed},
      {"delay for a date", memo.data(), 4, DelayIfSlow, FieldDelayed},
      {"delay, every flag bit", memo.data(), 6, -1, FieldDelayed},
      {"delay, missing file", missing.data(), 0, DelayIfSlow, FieldDelayed},
      {"delay, text file", text.data(), 0, DelayIfSlow, FieldDelayed},
      {"other flag bits", memo.data(), 6, ~DelayIfSlow, FieldTypeString},
      {"missing file", missing.data(), 0, 0, FieldEmpty},
      {"missing file, date", missing.data(), 3, 0, FieldEmpty},
      {"not a Palm extension", text.data(), 0, 0, FieldDelayed},
      {"empty name", empty, 2, 0, FieldDelayed},
      {"null name", nullptr, 2, 0, FieldDelayed},
      {"null name, index 9", nullptr, 9, 0, FieldNoSuchField},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    const TAnswer answer = AskW(c.File, c.Index, 256, c.Flags);
    if (c.Result == FieldTypeString) {
      ExpectText(answer, "258 ");
    } else {
      ExpectUntouched(answer, c.Result);
    }
  }
  ExpectUntouched(Ask8(nullptr, 2), FieldDelayed);
  ExpectUntouched(Ask8("", 2), FieldDelayed);
  ExpectUntouched(Ask8(nullptr, 8), FieldNoSuchField);
}

TEST_F(ValueRequests, TestsTheExtensionAfterTheLastSeparator) {
  // Missing files: a name that passes the extension test is looked for and
  // comes out empty; one that fails is refused without a look.
  struct Case {
    std::u16string Name;
    int Result;
  };
  const Case cases[] = {
      {u"C:\\Palm\\a.pdb", FieldEmpty},      {u"C:\\Palm\\a.PRC", FieldEmpty},
      {u"C:\\Palm\\a.Pdb", FieldEmpty},      {u"C:\\Palm\\a.pdbak", FieldEmpty},
      {u"C:\\Palm\\a.xprc", FieldEmpty},     {u"C:\\Palm\\.pdb", FieldEmpty},
      {u"C:/Palm.pdb/memo", FieldEmpty},     {u"a.txt.pdb", FieldEmpty},
      {u"C:\\Palm\\a.pd", FieldDelayed},     {u"C:\\Palm\\a.txt", FieldDelayed},
      {u"C:\\Palm.pdb\\memo", FieldDelayed}, {u"C:\\Palm\\memo.pdb:stream", FieldDelayed},
      {u"C:\\Palm\\memo", FieldDelayed},     {u"a.pdb.txt", FieldDelayed},
      {u"a.p\u00C4b", FieldDelayed},         {u"a.\uFF30DB", FieldDelayed},
      {u"C:\\Palm\\a.pdf", FieldDelayed},    {u"C:\\Palm\\a.prx", FieldDelayed},
      {u"C:\\Palm\\a.pdpdb", FieldEmpty},    {u"C:\\Palm\\a.xxprc", FieldEmpty},
      {u"C:\\Palm\\a.PDB", FieldEmpty},      {u"C:\\Palm\\a.@db", FieldDelayed},
      {u"C:\\Palm\\a.[rc", FieldDelayed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Name.begin(), c.Name.end()));
    ExpectUntouched(AskW(WideName(c.Name), 0), c.Result);
  }
}

TEST_F(ValueRequests, ForwardSlashesAreOrdinaryCharactersOfTheName) {
  fs::create_directories(*Folder / "Palm.pdb");
  TSampleHeader header;
  header.Name = "Inside";
  WritePalmFile(*Folder / "Palm.pdb" / "memo", header);
  const std::string slashed = Name8("Palm.pdb") + "/memo";
  ExpectText(Ask8(slashed.c_str(), 0), "Inside");
  ExpectText(AskW(WideName(std::u16string(slashed.begin(), slashed.end())), 0), "Inside");
}

TEST_F(ValueRequests, FilesTooShortOrNotFilesAreEmpty) {
  TSampleHeader sample;
  sample.Name = "Short";
  sample.Version = 3;
  const auto whole = EncodeSampleHeader(sample);
  for (const std::size_t size : {0u, 1u, 40u, 77u}) {
    SCOPED_TRACE(size);
    const auto path = *Folder / ("short" + std::to_string(size) + ".pdb");
    WriteBytes(path, whole.data(), size);
    for (const int index : {0, 3, 7}) {
      ExpectUntouched(AskW(WideName(path), index), FieldEmpty);
      ExpectUntouched(Ask8(NativeName(path).c_str(), index), FieldEmpty);
    }
  }
  const auto exact = *Folder / "exact.pdb";
  WriteBytes(exact, whole.data(), whole.size());
  ExpectText(AskW(WideName(exact), 0), "Short");
  ExpectText(AskW(WideName(exact), 7), "3 ");

  fs::create_directories(*Folder / "folder.pdb");
  for (const int index : {0, 3}) ExpectUntouched(AskW(Name("folder.pdb"), index), FieldEmpty);
}

// A path of exactly `length` units of the system's own measure (UTF-8 bytes
// on Linux, UTF-16 units on Windows) under `base`: folders of `unit`, then a
// file named with it; ASCII letters make up what `unit` cannot fill.
fs::path DeepPath(const fs::path& base, std::size_t length, char16_t unit) {
#if defined(_WIN32)
  const auto measure = [](const fs::path& path) { return path.wstring().size(); };
  const std::size_t unitSize = 1;
#else
  const auto measure = [](const fs::path& path) { return path.string().size(); };
  const std::size_t unitSize = unit < 0x80 ? 1 : unit < 0x800 ? 2 : 3;
#endif
  fs::path path = base;
  while (measure(path) + 1 + 40 * unitSize + 1 + 40 * unitSize + 8 < length) {
    path /= std::u16string(40, unit); // names of 120 bytes at most, the file's of 250: within 255
  }
  const std::size_t left = length - measure(path) - 1 - 4; // less the separator and ".pdb"
  std::u16string file(left / unitSize, unit);
  file.append(left % unitSize, u'x');
  return path / (file + u".pdb");
}

// Where the host lists deep folders, every value reads as at a short path.
TEST_F(ValueRequests, DeepPathsGiveTheirValues) {
  struct Case {
    std::size_t Length;
    char16_t Unit;
    bool Opened;
  };
#if defined(_WIN32)
  // The old limit was 259 units; \\?\ forms are asked too.
  const Case cases[] = {{259, u'd', true},  {260, u'd', true},      {300, u'd', true},
                        {1000, u'd', true}, {300, u'\u00E9', true}, {1000, u'\u00E9', true}};
#else
  // PATH_MAX is 4,096 bytes with the NUL; a name of 260 units or more is converted on the heap.
  const Case cases[] = {{259, u'd', true},       {260, u'd', true},       {300, u'd', true},
                        {1000, u'd', true},      {4000, u'd', true},      {4095, u'd', true},
                        {4096, u'd', false},     {300, u'\u00E9', true},  {1000, u'\u0416', true},
                        {4000, u'\u30E1', true}, {4095, u'\u30E1', true}, {4096, u'\u30E1', false},
                        {5000, u'\u30E1', false}};
#endif
  const auto shortPath = Name("MemoDB.PDB");
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.Length) + " units of U+" + std::to_string(static_cast<int>(c.Unit)));
    const fs::path path = DeepPath(*Folder / "deep", c.Length, c.Unit);
    std::vector<TWideName> names = {WideName(path)};
#if defined(_WIN32)
    ASSERT_EQ(path.wstring().size(), c.Length);
    names.push_back(WideName(fs::path(L"\\\\?\\" + path.wstring())));
#else
    ASSERT_EQ(path.string().size(), c.Length);
#endif
    if (c.Opened) {
      fs::create_directories(path.parent_path());
      fs::copy_file(*Folder / "MemoDB.PDB", path);
    }
    for (int index = 0; index < 8; ++index) {
      const TAnswer expected = c.Opened ? AskW(shortPath, index) : TAnswer{FieldEmpty, MarkedBuffer(256)};
      for (const auto& name : names) {
        const TAnswer wide = AskW(name, index);
        EXPECT_EQ(wide.Result, expected.Result) << index;
        EXPECT_EQ(wide.Buffer, expected.Buffer) << index;
      }
      const TAnswer narrow = Ask8(NativeName(path).c_str(), index);
      EXPECT_EQ(narrow.Result, expected.Result) << index;
      EXPECT_EQ(narrow.Buffer, expected.Buffer) << index;
    }
    std::error_code ignored;
    fs::remove_all(*Folder / "deep", ignored);
  }
  // Names past every system's limit are still answered by their extension alone.
  for (const std::size_t length : {4095u, 4096u, 32000u, 40000u}) {
    SCOPED_TRACE(length);
    ExpectUntouched(Ask8((std::string(length - 4, 'x') + ".pdb").c_str(), 0), FieldEmpty);
    ExpectUntouched(Ask8((std::string(length - 4, 'x') + ".txt").c_str(), 0), FieldDelayed);
    ExpectUntouched(AskW(WideName(std::u16string(length - 4, u'x') + u".pdb"), 0), FieldEmpty);
    ExpectUntouched(AskW(WideName(std::u16string(length - 4, u'x') + u".txt"), 0), FieldDelayed);
  }
}

TEST_F(ValueRequests, ThreadsAskingAtOnceAllGetTheRightValues) {
  std::vector<std::thread> threads;
  std::vector<int> failures(8, 0);
  for (std::size_t t = 0; t < failures.size(); ++t) {
    threads.emplace_back([t, &failures] {
      for (int round = 0; round < 100; ++round) {
        for (const auto& c : FieldCases) {
          const auto answer = (round + static_cast<int>(t)) % 2 == 0 ? AskW(Name(c.File), c.Index)
                                                                     : Ask8(Name8(c.File).c_str(), c.Index);
          bool right;
          if (c.Text != nullptr) {
            right = answer.Result == FieldTypeString &&
                    std::strcmp(reinterpret_cast<const char*>(answer.Buffer.data()), c.Text) == 0;
          } else {
            FieldDate date;
            std::memcpy(&date, answer.Buffer.data(), sizeof date);
            right = answer.Result == FieldTypeDate && date.Year == c.Year && date.Month == c.Month &&
                    date.Day == c.Day;
          }
          failures[t] += right ? 0 : 1;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (std::size_t t = 0; t < failures.size(); ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

TEST_F(ValueRequests, LeavesTheFileAsItWas) {
  const auto path = *Folder / "MemoDB.PDB";
  const auto bytesBefore = ReadAllBytes(path);
  const auto timeBefore = fs::last_write_time(path);
  const auto name = Name("MemoDB.PDB");
  for (int round = 0; round < 200; ++round) {
    for (int index = 0; index < 8; ++index) AskW(name, index);
  }
  EXPECT_EQ(ReadAllBytes(path), bytesBefore);
  EXPECT_EQ(fs::last_write_time(path), timeBefore);
}

} // namespace
