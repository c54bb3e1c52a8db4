// What only the Linux library must show: its dynamic symbol table, file
// names as bytes, FIFOs, and file descriptors given back.
#include "tests/support/asking.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

// Calls `visit(symbol, name)` for every named entry of the library's dynamic symbol table.
template <typename Visit> void ForEachDynamicSymbol(const std::vector<std::uint8_t>& bytes, Visit visit) {
  if (bytes.size() < sizeof(ElfW(Ehdr))) return;
  ElfW(Ehdr) elf;
  std::memcpy(&elf, bytes.data(), sizeof elf);
  for (unsigned i = 0; i < elf.e_shnum; ++i) {
    ElfW(Shdr) section;
    std::memcpy(&section, bytes.data() + elf.e_shoff + i * sizeof section, sizeof section);
    if (section.sh_type != SHT_DYNSYM) continue;
    ElfW(Shdr) strings;
    std::memcpy(&strings, bytes.data() + elf.e_shoff + section.sh_link * sizeof strings, sizeof strings);
    for (std::size_t offset = 0; offset + sizeof(ElfW(Sym)) <= section.sh_size; offset += sizeof(ElfW(Sym))) {
      ElfW(Sym) symbol;
      std::memcpy(&symbol, bytes.data() + section.sh_offset + offset, sizeof symbol);
      if (symbol.st_name == 0) continue;
      visit(symbol, reinterpret_cast<const char*>(bytes.data() + strings.sh_offset + symbol.st_name));
    }
  }
}

// The names of the functions and objects the library offers to others:
// defined, global or weak, visible symbols of its dynamic symbol table.
// (The binding and visibility fields are the same in 32- and 64-bit ELF.)
std::set<std::string> ExportedSymbols(const fs::path& library) {
  std::set<std::string> names;
  ForEachDynamicSymbol(ReadAllBytes(library), [&](const ElfW(Sym) & symbol, const char* name) {
    const unsigned binding = ELF64_ST_BIND(symbol.st_info);
    if (symbol.st_shndx == SHN_UNDEF) return;
    if (binding != STB_GLOBAL && binding != STB_WEAK) return;
    if (ELF64_ST_VISIBILITY(symbol.st_other) != STV_DEFAULT) return;
    names.insert(name);
  });
  return names;
}

#if defined(KORVEL_HARDENED) // the sanitizer builds instrument the code their own way instead
// What the loader and the kernel are told: program headers, the dynamic
// section's flags, and the functions imported from the C library.
struct TElfHardening {
  bool Relro = false;          // PT_GNU_RELRO
  bool BindNow = false;        // DF_BIND_NOW or DF_1_NOW: every symbol bound at load, then read-only
  bool StackExecutable = true; // PT_GNU_STACK with PF_X, or none at all
  std::set<std::string> Imports;
};

TElfHardening ReadHardening(const fs::path& library) {
  const auto bytes = ReadAllBytes(library);
  TElfHardening result;
  ElfW(Ehdr) elf;
  std::memcpy(&elf, bytes.data(), sizeof elf);
  for (unsigned i = 0; i < elf.e_phnum; ++i) {
    ElfW(Phdr) segment;
    std::memcpy(&segment, bytes.data() + elf.e_phoff + i * sizeof segment, sizeof segment);
    if (segment.p_type == PT_GNU_RELRO) result.Relro = true;
    if (segment.p_type == PT_GNU_STACK) result.StackExecutable = (segment.p_flags & PF_X) != 0;
    if (segment.p_type != PT_DYNAMIC) continue;
    for (std::size_t offset = 0; offset + sizeof(ElfW(Dyn)) <= segment.p_filesz;
         offset += sizeof(ElfW(Dyn))) {
      ElfW(Dyn) entry;
      std::memcpy(&entry, bytes.data() + segment.p_offset + offset, sizeof entry);
      if (entry.d_tag == DT_FLAGS && (entry.d_un.d_val & DF_BIND_NOW) != 0) result.BindNow = true;
      if (entry.d_tag == DT_FLAGS_1 && (entry.d_un.d_val & DF_1_NOW) != 0) result.BindNow = true;
    }
  }
  ForEachDynamicSymbol(bytes, [&](const ElfW(Sym) & symbol, const char* name) {
    if (symbol.st_shndx == SHN_UNDEF) result.Imports.insert(name);
  });
  return result;
}
#endif

std::size_t OpenDescriptors() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

int AskText(const char* name, int index, char (&buffer)[64]) {
  const TAnswer answer = Ask8(name, index, sizeof buffer);
  std::memcpy(buffer, answer.Buffer.data(), sizeof buffer);
  return answer.Result;
}

TEST(LinuxLibrary, ExportsExactlyTheFourFunctions) {
  LoadedPlugin();
  const std::set<std::string> expected = {"ContentGetDetectString", "ContentGetSupportedField",
                                          "ContentGetValue", "ContentGetValueW"};
  EXPECT_EQ(ExportedSymbols(PluginPath), expected);
}

#if defined(KORVEL_HARDENED)
// The instruction that the processor's branch protection puts first in an
// exported function, in the byte order of its code: an indirect-branch
// target mark on x86-64 (endbr64), a return-address signature on arm64
// (paciasp). 32-bit ARM has no such protection.
#if defined(__x86_64__)
constexpr std::array<std::uint8_t, 4> GuardedEntry = {0xF3, 0x0F, 0x1E, 0xFA};
#elif defined(__aarch64__)
constexpr std::array<std::uint8_t, 4> GuardedEntry = {0x3F, 0x23, 0x03, 0xD5};
#endif

// Built as the distribution builds its packages: full RELRO, a stack that
// is not executable, stack canaries, fortified C library calls and the
// processor's branch protection.
TEST(LinuxLibrary, IsHardened) {
  const TElfHardening hardening = ReadHardening(PluginPath);
  EXPECT_TRUE(hardening.Relro) << "no PT_GNU_RELRO";
  EXPECT_TRUE(hardening.BindNow) << "lazy binding: RELRO is only partial";
  EXPECT_FALSE(hardening.StackExecutable);
  EXPECT_EQ(hardening.Imports.count("__stack_chk_fail"), 1u) << "no stack protector";
  EXPECT_EQ(hardening.Imports.count("__read_chk"), 1u) << "the header read is not fortified";
#if defined(__x86_64__) || defined(__aarch64__)
  std::array<std::uint8_t, 4> entry;
  std::memcpy(entry.data(), reinterpret_cast<const void*>(LoadedPlugin().GetValue), entry.size());
  EXPECT_EQ(entry, GuardedEntry) << "no branch protection";
#endif
}
#endif

class LinuxFiles : public testing::Test {
protected:
  void SetUp() override {
    folder = MakeTestFolder("linux");
    header.Name = "Linux";
    header.NumRecords = 7;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }
  fs::path folder;
  TSampleHeader header;
};

TEST_F(LinuxFiles, AFifoIsNeverOpened) {
  const auto fifo = folder / "x.pdb";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  char buffer[64];
  // Bytes waiting in the pipe belong to its reader: not one may be taken.
  const TSampleBytes bytes = EncodeSampleHeader(header);
  const std::string waiting = std::string(bytes.begin(), bytes.end()) + "and more";
  const int both = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(both, 0);
  ASSERT_EQ(::write(both, waiting.data(), waiting.size()), static_cast<ssize_t>(waiting.size()));
  for (const int index : {0, 3, 6}) EXPECT_EQ(AskText(fifo.c_str(), index, buffer), FieldEmpty);
  std::string left(waiting.size() + 1, '\0');
  EXPECT_EQ(::read(both, left.data(), left.size()), static_cast<ssize_t>(waiting.size()));
  left.resize(waiting.size());
  EXPECT_EQ(left, waiting);
  ::close(both);

  // A writer waiting in open() for a reader must go on waiting: an open
  // would wake it, and the close after it kill it with SIGPIPE.
  std::atomic<bool> opened{false};
  std::thread writer([&] {
    const int fd = ::open(fifo.c_str(), O_WRONLY);
    opened = true;
    if (fd >= 0) ::close(fd);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  for (const int index : {0, 3, 6}) EXPECT_EQ(AskText(fifo.c_str(), index, buffer), FieldEmpty);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(opened);
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK); // lets the writer go
  writer.join();
  ::close(reader);
}

TEST_F(LinuxFiles, NamesThatAreNotUtf8StillOpen) {
  // Latin-1 bytes, as old file systems hold them: not valid UTF-8.
  const std::string latin1 = (folder / "\xE9t\xE9.pdb").string();
  WritePalmFile(latin1, header);
  char buffer[64];
  ASSERT_EQ(AskText(latin1.c_str(), 0, buffer), FieldTypeString);
  EXPECT_STREQ(buffer, "Linux");

  // The same name in UTF-16: each stray byte as an escaped lone surrogate.
  std::u16string wide = folder.u16string() + u"/";
  wide += static_cast<char16_t>(0xDCE9);
  wide += u"t";
  wide += static_cast<char16_t>(0xDCE9);
  wide += u".pdb";
  const auto name = WideName(wide);
  ASSERT_EQ(LoadedPlugin().GetValueW(name.data(), 6, 0, buffer, sizeof buffer, 0), FieldTypeString);
  EXPECT_STREQ(buffer, "7 ");
}

TEST_F(LinuxFiles, Utf8NamesGiveTheSameThroughBothExports) {
  const auto path = folder / fs::u8path("\xE3\x83\xA1\xE3\x83\xA2 \xF0\x9F\x93\x9D.pdb"); // "メモ 📝.pdb"
  WritePalmFile(path, header);
  const auto name = WideName(path);
  for (int index = 0; index < 8; ++index) {
    SCOPED_TRACE(index);
    const TAnswer narrow = Ask8(path.c_str(), index, 64);
    const TAnswer wide = AskW(name, index, 64);
    EXPECT_NE(narrow.Result, FieldEmpty);
    EXPECT_EQ(wide.Result, narrow.Result);
    EXPECT_EQ(wide.Buffer, narrow.Buffer);
  }
}

TEST_F(LinuxFiles, UnpairedSurrogatesOpenNothing) {
  WritePalmFile(folder / "a.pdb", header);
  std::u16string wide = folder.u16string() + u"/";
  wide += static_cast<char16_t>(0xD800);
  wide += u"a.pdb";
  char buffer[64];
  const auto name = WideName(wide);
  EXPECT_EQ(LoadedPlugin().GetValueW(name.data(), 0, 0, buffer, sizeof buffer, 0), FieldEmpty);
}

#if defined(KORVEL_HARDENED) // address space limits and sanitizers do not mix
// The one request that can fail inside: an 8-bit name so long that its
// UTF-16 copy cannot be had. The host gets -3, and the library stays usable.
TEST_F(LinuxFiles, ANameTooLongToCopyIsEmpty) {
  const auto path = folder / "after.pdb";
  WritePalmFile(path, header);
  const std::string huge = std::string(64 << 20, 'x') + ".pdb"; // 64 MiB, 128 MiB as UTF-16
  rlimit saved;
  ASSERT_EQ(::getrlimit(RLIMIT_AS, &saved), 0);
  std::size_t used = 0;
  {
    std::ifstream status("/proc/self/statm");
    status >> used; // pages of address space in use
  }
  rlimit tight = saved;
  tight.rlim_cur = used * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)) + (96u << 20);
  ASSERT_EQ(::setrlimit(RLIMIT_AS, &tight), 0);
  char buffer[64] = {};
  const int result = AskText(huge.c_str(), 0, buffer);
  ::setrlimit(RLIMIT_AS, &saved);
  EXPECT_EQ(result, FieldEmpty);
  EXPECT_EQ(AskText(path.c_str(), 0, buffer), FieldTypeString) << "the library no longer answers";
  EXPECT_STREQ(buffer, "Linux");
}
#endif

// The first unit past ASCII decides between the quick copy and the full conversion.
TEST_F(LinuxFiles, NamesWhoseFirstNonAsciiUnitIsSmall) {
  for (const char16_t unit : {u'\u0080', u'\u07FF', u'\u0800'}) {
    SCOPED_TRACE(static_cast<int>(unit));
    std::u16string name = folder.u16string() + u'/';
    name += unit;
    name += u"x.pdb";
    WritePalmFile(fs::path(name), header);
    const auto wide = WideName(name);
    char buffer[64] = {};
    EXPECT_EQ(LoadedPlugin().GetValueW(wide.data(), 0, 0, buffer, sizeof buffer, 0), FieldTypeString);
    EXPECT_STREQ(buffer, "Linux");
  }
}

// A host that closed its standard input gets descriptor 0 for the next open.
TEST_F(LinuxFiles, ReadsThroughDescriptorZero) {
  const auto path = folder / "zero.pdb";
  WritePalmFile(path, header);
  const int savedInput = ::dup(0);
  ASSERT_GE(savedInput, 0);
  ::close(0);
  char buffer[64] = {};
  const int result = AskText(path.c_str(), 0, buffer);
  ::dup2(savedInput, 0);
  ::close(savedInput);
  EXPECT_EQ(result, FieldTypeString);
  EXPECT_STREQ(buffer, "Linux");
}

TEST_F(LinuxFiles, GivesBackEveryDescriptor) {
  const auto path = folder / "memo.pdb";
  WritePalmFile(path, header);
  const std::string missing = (folder / "gone.pdb").string();
  fs::create_directories(folder / "dir.pdb");
  const std::string directory = (folder / "dir.pdb").string();
  char buffer[64];
  const std::size_t before = OpenDescriptors();
  for (int round = 0; round < 5000; ++round) {
    AskText(path.c_str(), round % 8, buffer);
    AskText(missing.c_str(), round % 8, buffer);
    AskText(directory.c_str(), round % 8, buffer);
  }
  EXPECT_EQ(OpenDescriptors(), before);
}

} // namespace
