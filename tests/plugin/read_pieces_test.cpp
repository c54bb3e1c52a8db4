// Reads that come back in pieces, as network and FUSE file systems give them,
// or are interrupted by a signal. This program defines `read` (and its
// fortified form `__read_chk`) and `open64` itself and exports them, so the plug-in's calls
// of the C library's `read` land here; the test decides what each call
// returns, and counts the calls.
#include "tests/support/palm_file.h"
#include "tests/support/plugin_loader.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// What the next reads of the armed test return.
struct TReadScript {
  std::size_t Piece = 0;     // at most this many bytes per call; 0: as many as asked
  int InterruptEvery = 0;    // EINTR on the first call and again after every n calls that deliver; 0: never
  bool Stops = false;        // whether the file stops giving bytes:
  std::size_t StopAfter = 0; // after this many,
  int StopWith = 0;          // failing with this errno, or with end of file when 0
  int OpenInterrupts = 0;    // opens that fail with EINTR before one goes through
  int OpenFailsWith = 0; // then the open fails with this errno (after stat() found a regular file); 0: never
};

std::atomic<bool> Armed{false};
TReadScript Script;
std::size_t Delivered = 0;
int Calls = 0;
int Opens = 0;

using ReadFunction = ssize_t (*)(int, void*, std::size_t);

ReadFunction RealRead() {
  static const auto real = reinterpret_cast<ReadFunction>(::dlsym(RTLD_NEXT, "read"));
  return real;
}

} // namespace

extern "C" ssize_t read(int fd, void* buffer, std::size_t size) {
  if (!Armed.load()) return RealRead()(fd, buffer, size);
  ++Calls;
  if (Script.InterruptEvery > 0 && Calls % (Script.InterruptEvery + 1) == 1) {
    errno = EINTR;
    return -1;
  }
  if (Script.Stops && Delivered >= Script.StopAfter) {
    if (Script.StopWith == 0) return 0;
    errno = Script.StopWith;
    return -1;
  }
  std::size_t wanted = size;
  if (Script.Piece > 0) wanted = std::min(wanted, Script.Piece);
  if (Script.Stops) wanted = std::min(wanted, Script.StopAfter - Delivered);
  const ssize_t got = RealRead()(fd, buffer, wanted);
  if (got > 0) Delivered += static_cast<std::size_t>(got);
  return got;
}

// Opens, interrupted by a signal as many times as the script says first.
// The library is built with 64-bit file offsets, so its open is open64.
extern "C" int open64(const char* path, int flags, ...) {
  using OpenFunction = int (*)(const char*, int, ...);
  static const auto real = reinterpret_cast<OpenFunction>(::dlsym(RTLD_NEXT, "open64"));
  va_list arguments;
  va_start(arguments, flags);
  const auto mode = static_cast<mode_t>(va_arg(arguments, unsigned));
  va_end(arguments);
  if (Armed.load()) ++Opens;
  if (Armed.load() && Script.OpenInterrupts > 0) {
    --Script.OpenInterrupts;
    errno = EINTR;
    return -1;
  }
  if (Armed.load() && Script.OpenFailsWith != 0) {
    errno = Script.OpenFailsWith;
    return -1;
  }
  return real(path, flags, mode);
}

// A fortified build calls this form, which first checks the count against
// the buffer's size.
extern "C" ssize_t __read_chk(int fd, void* buffer, std::size_t size, std::size_t bufferSize) {
  if (size > bufferSize) std::abort();
  return read(fd, buffer, size);
}

namespace {

class ReadPieces : public testing::Test {
protected:
  static void SetUpTestSuite() {
    Folder = new fs::path(MakeTestFolder("pieces"));
    const TSampleHeader header{.Name = "Pieces",
                               .Version = 3,
                               .Created = 1000000000, // 2001-09-09
                               .DBType = "DATA",
                               .CreatorID = "test",
                               .NumRecords = 258};
    WritePalmFile(*Folder / "pieces.pdb", header, 200);
    LoadedPlugin();
  }
  static void TearDownTestSuite() {
    std::error_code ignored;
    fs::remove_all(*Folder, ignored);
    delete Folder;
  }

  // Asks one field with the script armed; returns the code, the text (or
  // the date as Y-M-D) and how many reads the plug-in made.
  static std::string Ask(int index, const TReadScript& script, int& calls, const fs::path& path = {}) {
    const auto name = WideName(path.empty() ? *Folder / "pieces.pdb" : path);
    char buffer[64] = {};
    Script = script;
    Delivered = 0;
    Calls = 0;
    Opens = 0;
    Armed = true;
    const int result = LoadedPlugin().GetValueW(name.data(), index, 0, buffer, sizeof buffer, 0);
    Armed = false;
    calls = Calls;
    EXPECT_EQ(Script.OpenInterrupts, 0) << "the library's open did not come here";
    if (result == FieldTypeDate) {
      FieldDate date;
      std::memcpy(&date, buffer, sizeof date);
      return std::to_string(date.Year) + "-" + std::to_string(date.Month) + "-" + std::to_string(date.Day);
    }
    if (result == FieldTypeString) return buffer;
    return "code " + std::to_string(result);
  }

  static fs::path* Folder;
};
fs::path* ReadPieces::Folder = nullptr;

const char* const Expected[8] = {"Pieces",   "DATA ",    "test ", "2001-9-9",
                                 "1970-1-1", "1970-1-1", "258 ",  "3 "};

TEST_F(ReadPieces, HeadersThatArriveInPiecesGiveEveryValue) {
  struct Case {
    const char* Label;
    TReadScript Script;
    int Reads; // read calls per request, EINTR failures included
  };
  const Case cases[] = {
      {"whole", {}, 1},
      {"pieces of 1 byte", {.Piece = 1}, 78},
      {"pieces of 7 bytes", {.Piece = 7}, 12},
      {"pieces of 39 bytes", {.Piece = 39}, 2},
      {"EINTR before the first byte", {.InterruptEvery = 1000}, 2},
      {"EINTR before every piece of 39", {.Piece = 39, .InterruptEvery = 1}, 4},
      {"EINTR before every piece of 7", {.Piece = 7, .InterruptEvery = 1}, 24},
      {"EINTR on the open, twice", {.OpenInterrupts = 2}, 1},
  };
  for (const auto& c : cases) {
    for (int index = 0; index < 8; ++index) {
      SCOPED_TRACE(std::string(c.Label) + ", field " + std::to_string(index));
      int calls = 0;
      EXPECT_EQ(Ask(index, c.Script, calls), Expected[index]);
      EXPECT_EQ(calls, c.Reads);
    }
  }
}

TEST_F(ReadPieces, HeadersThatNeverArriveWholeAreEmpty) {
  struct Case {
    const char* Label;
    TReadScript Script;
    int Reads;
  };
  const Case cases[] = {
      {"EAGAIN before the first byte", {.Stops = true, .StopAfter = 0, .StopWith = EAGAIN}, 1},
      {"EAGAIN after 39 bytes", {.Piece = 39, .Stops = true, .StopAfter = 39, .StopWith = EAGAIN}, 2},
      {"end of file after 77 bytes", {.Piece = 7, .Stops = true, .StopAfter = 77, .StopWith = 0}, 12},
      {"end of file at once", {.Stops = true, .StopAfter = 0, .StopWith = 0}, 1},
      {"EIO after 1 byte", {.Piece = 1, .Stops = true, .StopAfter = 1, .StopWith = EIO}, 2},
      {"an open that fails", {.OpenFailsWith = EACCES}, 0},
      {"an open interrupted, then failing", {.OpenInterrupts = 1, .OpenFailsWith = EMFILE}, 0},
      // End of file does not set errno: an EINTR before it must not keep the loop going.
      {"EINTR, then end of file after 77 bytes",
       {.Piece = 7, .InterruptEvery = 1, .Stops = true, .StopAfter = 77, .StopWith = 0},
       24},
  };
  for (const auto& c : cases) {
    for (const int index : {0, 3, 6}) {
      SCOPED_TRACE(std::string(c.Label) + ", field " + std::to_string(index));
      int calls = 0;
      EXPECT_EQ(Ask(index, c.Script, calls), "code -3");
      EXPECT_EQ(calls, c.Reads);
    }
  }
}

// A regular file too short for the header is not even opened: the
// pseudo-files of /proc are regular files of size 0 to stat(), and reading
// /proc/kmsg (root may) takes the kernel's log from its reader and blocks
// while the log is empty.
TEST_F(ReadPieces, FilesShorterThanTheHeaderAreNeverOpened) {
  const std::vector<std::uint8_t> bytes(77, 0x41);
  WriteBytes(*Folder / "short.pdb", bytes.data(), bytes.size());
  WriteBytes(*Folder / "empty.pdb", bytes.data(), 0);
  struct Case {
    const char* Label;
    fs::path Target; // linked to from a .pdb name, or the file itself
  };
  const Case cases[] = {
      {"/proc/self/status", "/proc/self/status"},   {"/proc/kmsg", "/proc/kmsg"},
      {"/proc/self/cmdline", "/proc/self/cmdline"}, {"a file of 77 bytes", *Folder / "short.pdb"},
      {"an empty file", *Folder / "empty.pdb"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    const fs::path link = *Folder / "link.pdb";
    fs::remove(link);
    fs::create_symlink(c.Target, link);
    for (const int index : {0, 3, 6}) {
      int calls = 0;
      EXPECT_EQ(Ask(index, {}, calls, link), "code -3");
      EXPECT_EQ(Opens, 0) << "opened";
      EXPECT_EQ(calls, 0) << "read";
    }
  }
}

} // namespace
