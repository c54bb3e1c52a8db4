// Everything a careless or hostile caller, or an odd file system, can hand
// the plug-in: each gets its code, nothing is written outside the buffer
// given, and nothing waits.
#include "tests/support/asking.h"
#include "tests/support/foreign_files.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

struct TBadCase {
  std::string Label;
  bool Wide = true;
  TWideName WideFile;     // for ContentGetValueW
  std::string NarrowFile; // for ContentGetValue
  bool NullName = false;
  int Index = 0;
  int Size = 64;
  int Flags = 0;
  bool NullBuffer = false;
  int Expected = FieldEmpty;
};

// Runs one case with the buffer in the middle of marked bytes, as the other
// tests ask but with marked bytes in front too, since a bad size must not
// make the plug-in write before the buffer either; returns a description of
// what went wrong, or nothing.
std::string RunCase(const TBadCase& c) {
  constexpr std::size_t Guard = Slack;
  const std::size_t room = c.Size > 0 ? static_cast<std::size_t>(c.Size) : 0;
  std::vector<std::uint8_t> memory(Guard + room + Guard, Marker);
  void* buffer = c.NullBuffer ? nullptr : memory.data() + Guard;
  const int result = c.Wide ? LoadedPlugin().GetValueW(c.NullName ? nullptr : c.WideFile.data(), c.Index, 0,
                                                       buffer, c.Size, c.Flags)
                            : LoadedPlugin().GetValue(c.NullName ? nullptr : c.NarrowFile.c_str(), c.Index, 0,
                                                      buffer, c.Size, c.Flags);
  if (result != c.Expected)
    return "code " + std::to_string(result) + ", expected " + std::to_string(c.Expected);
  // Bytes a value may take: the given size for text, 6 for a date.
  const std::size_t written = result == FieldTypeString ? room
                              : result == FieldTypeDate ? sizeof(FieldDate)
                                                        : 0;
  for (std::size_t i = 0; i < memory.size(); ++i) {
    const bool inside = i >= Guard && i < Guard + written;
    if (!inside && memory[i] != Marker) return "byte " + std::to_string(int(i) - int(Guard)) + " written";
  }
  return {};
}

TEST(BadInput, EveryCaseGetsItsCodeAndStaysInItsBuffer) {
  const fs::path folder = MakeTestFolder("bad");
  TSampleHeader header;
  header.Name = "Good";
  header.Created = 0xB982A9E5;
  const fs::path good = folder / "good.pdb";
  WritePalmFile(good, header, 10);
  const TWideName goodW = WideName(good);
  const std::string good8 = good.string();

  std::vector<TBadCase> cases;
  auto add = [&](TBadCase c) { cases.push_back(std::move(c)); };
  auto both = [&](TBadCase c) { // the same case through both exports
    TBadCase narrow = c;
    narrow.Label += " (8-bit)";
    narrow.Wide = false;
    add(std::move(c));
    add(std::move(narrow));
  };

  // Pointers and sizes.
  for (const bool nullBuffer : {false, true}) {
    for (const int size : {-1, 0, 1, 5, 6, INT_MIN}) {
      for (const int index : {0, 3}) {
        const bool answered = !nullBuffer && (index == 0 ? size >= 1 : size >= 6);
        both({.Label = "size " + std::to_string(size) + " field " + std::to_string(index) +
                       (nullBuffer ? " null buffer" : ""),
              .WideFile = goodW,
              .NarrowFile = good8,
              .Index = index,
              .Size = size,
              .NullBuffer = nullBuffer,
              .Expected = answered ? (index == 0 ? FieldTypeString : FieldTypeDate) : FieldEmpty});
      }
    }
  }
  both({.Label = "null name", .NullName = true, .Expected = FieldDelayed});
  both({.Label = "null name and buffer, size -1",
        .NullName = true,
        .Index = 3,
        .Size = -1,
        .NullBuffer = true,
        .Expected = FieldDelayed});
  // Indexes and flags.
  for (const int index : {INT_MIN, INT_MIN + 1, -2, -1, 8, 9, INT_MAX - 1, INT_MAX}) {
    both({.Label = "index " + std::to_string(index),
          .WideFile = goodW,
          .NarrowFile = good8,
          .Index = index,
          .Flags = -1,
          .Expected = FieldNoSuchField});
  }
  both({.Label = "every flag bit",
        .WideFile = goodW,
        .NarrowFile = good8,
        .Flags = -1,
        .Expected = FieldDelayed});
  both({.Label = "every flag bit but the delay",
        .WideFile = goodW,
        .NarrowFile = good8,
        .Flags = ~DelayIfSlow,
        .Expected = FieldTypeString});
  // Names no file can have, or that are too long to open.
  std::u16string surrogate = folder.u16string() + u"/a";
  surrogate += static_cast<char16_t>(0xD800);
  add({.Label = "unpaired high surrogate", .WideFile = WideName(surrogate + u".pdb")});
  add({.Label = "unpaired low surrogate", .WideFile = WideName(folder.u16string() + u"/\xDC00.pdb")});
  add({.Label = "invalid UTF-8", .Wide = false, .NarrowFile = (folder / "x").string() + "\xFF\xC0\xAF.pdb"});
  add({.Label = "259 code units, missing", .WideFile = WideName(std::u16string(255, u'm') + u".pdb")});
  add({.Label = "32000 code units", .WideFile = WideName(std::u16string(31996, u'm') + u".pdb")});
  add({.Label = "32000 bytes", .Wide = false, .NarrowFile = std::string(31996, 'm') + ".pdb"});
  // Files that are not Palm databases, or not files at all.
  const auto whole = EncodeSampleHeader(header);
  for (std::size_t size = 0; size < whole.size(); ++size) {
    const fs::path path = folder / ("short" + std::to_string(size) + ".pdb");
    WriteBytes(path, whole.data(), size);
    both({.Label = std::to_string(size) + "-byte file",
          .WideFile = WideName(path),
          .NarrowFile = path.string(),
          .Index = static_cast<int>(size % 8)});
  }
  // Files of other formats under the same extensions, every field.
  for (const auto& foreign : ForeignFiles()) {
    const fs::path path = folder / foreign.FileName;
    WriteBytes(path, reinterpret_cast<const std::uint8_t*>(foreign.Bytes.data()), foreign.Bytes.size());
    for (int index = 0; index < 8; ++index) {
      both({.Label = std::string(foreign.Label) + ", field " + std::to_string(index),
            .WideFile = WideName(path),
            .NarrowFile = path.string(),
            .Index = index});
    }
  }
  fs::create_directories(folder / "dir.pdb");
  both({.Label = "directory",
        .WideFile = WideName(folder / "dir.pdb"),
        .NarrowFile = (folder / "dir.pdb").string()});
#if !defined(_WIN32)
  ASSERT_EQ(::mkfifo((folder / "fifo.pdb").c_str(), 0600), 0);
  both({.Label = "FIFO",
        .WideFile = WideName(folder / "fifo.pdb"),
        .NarrowFile = (folder / "fifo.pdb").string(),
        .Index = 6});
  ASSERT_EQ(::symlink("loop.pdb", (folder / "loop.pdb").c_str()), 0);
  both({.Label = "symbolic-link loop",
        .WideFile = WideName(folder / "loop.pdb"),
        .NarrowFile = (folder / "loop.pdb").string(),
        .Index = 4});
  for (const char* device : {"/dev/null", "/dev/zero", "/dev/urandom"}) {
    const fs::path link = folder / (fs::path(device).filename().string() + ".pdb");
    ASSERT_EQ(::symlink(device, link.c_str()), 0);
    both({.Label = device, .WideFile = WideName(link), .NarrowFile = link.string(), .Index = 1});
  }
#endif

  for (const auto& c : cases) EXPECT_EQ(RunCase(c), "") << c.Label;

  // A file removed between two requests.
  const fs::path vanishing = folder / "vanishing.pdb";
  WritePalmFile(vanishing, header);
  const TBadCase ask{.Label = "vanishing",
                     .WideFile = WideName(vanishing),
                     .NarrowFile = vanishing.string(),
                     .Expected = FieldTypeString};
  EXPECT_EQ(RunCase(ask), "");
  fs::remove(vanishing);
  TBadCase gone = ask;
  gone.Expected = FieldEmpty;
  EXPECT_EQ(RunCase(gone), "");

  std::error_code ignored;
  fs::remove_all(folder, ignored);
}

} // namespace
