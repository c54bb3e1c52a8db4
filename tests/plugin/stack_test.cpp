// A host may ask from any of its threads, also one made with the smallest
// stack its system allows. Each request here is measured for the stack it
// takes (the plug-in's frames and the system's beneath them), by painting the
// stack below the caller and finding the deepest byte it changed, and then
// asked again from such a thread, which must get the same answer. On Windows
// the thread reserves 64 KiB; Wine gives it 1 MiB anyway, so the test makes
// the pages below Windows' limit inaccessible itself.
#include "tests/support/palm_file.h"
#include "tests/support/plugin_loader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

// The most stack one request may take of its own, beyond what the system's
// functions beneath it take.
constexpr std::size_t StackLimit = 4096;

constexpr unsigned char Paint = 0xA5;
constexpr std::size_t PaintedBytes = 128 * 1024; // room for what a request took before it was made small
std::uintptr_t PaintedFrom = 0;

// Paints the stack below the caller's frame; the next call from the same
// frame starts where this one did.
[[gnu::noinline]] void PaintStack() {
  volatile unsigned char area[PaintedBytes];
  for (std::size_t i = 0; i < PaintedBytes; ++i) area[i] = Paint;
  PaintedFrom = reinterpret_cast<std::uintptr_t>(&area[0]);
}

// Painted bytes that the last call did not reach, counted from the bottom.
[[gnu::noinline]] std::size_t UntouchedBytes() {
  const auto* bottom = reinterpret_cast<const volatile unsigned char*>(PaintedFrom);
  std::size_t count = 0;
  while (count < PaintedBytes && bottom[count] == Paint) ++count;
  return count;
}

// The stack `call` takes beyond an empty call from the same frame.
[[gnu::noinline]] std::size_t StackTaken(const std::function<void()>& call) {
  const std::function<void()> nothing = [] {};
  PaintStack();
  nothing();
  const std::size_t emptyCall = UntouchedBytes();
  PaintStack();
  call();
  const std::size_t request = UntouchedBytes();
  return emptyCall > request ? emptyCall - request : 0;
}

constexpr int BoundSeconds = 60;

#if defined(_WIN32)
// What a thread created with a reservation of 64 KiB may use: Windows rounds
// the reservation to 64 KiB and keeps its lowest page as the guard that ends
// the thread's stack.
constexpr std::uintptr_t WindowsStack = 64 * 1024;
constexpr std::uintptr_t Page = 4096;

struct TThreadJob {
  const std::function<void()>* Job;
  bool Cut;
  bool Protected;
};

DWORD WINAPI RunThreadJob(void* argument) {
  auto& work = *static_cast<TThreadJob*>(argument);
  void* guard = nullptr;
  DWORD previous = 0;
  constexpr SIZE_T GuardBytes = 4 * Page;
  if (work.Cut) {
    ULONG_PTR lowest = 0;
    ULONG_PTR base = 0; // the top: stacks grow down from it
    ::GetCurrentThreadStackLimits(&lowest, &base);
    // A system that reserves no more than asked ends the stack there itself.
    work.Protected = base - lowest < WindowsStack + GuardBytes;
    if (!work.Protected) {
      guard = reinterpret_cast<void*>(base - WindowsStack + Page - GuardBytes);
      work.Protected = ::VirtualProtect(guard, GuardBytes, PAGE_NOACCESS, &previous) != FALSE;
      if (!work.Protected) return 1;
    }
  }
  (*work.Job)();
  if (guard != nullptr) ::VirtualProtect(guard, GuardBytes, previous, &previous);
  return 0;
}

// Runs `job` on a thread of `stackBytes`; on the small one the pages below
// Windows' limit are made inaccessible first, so that a request that would
// overflow there faults here too.
bool RunOnThread(std::size_t stackBytes, const std::function<void()>& job, bool cut) {
  TThreadJob work{&job, cut, false};
  const HANDLE thread =
      ::CreateThread(nullptr, stackBytes, RunThreadJob, &work, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (thread == nullptr) return false;
  const bool ended = ::WaitForSingleObject(thread, BoundSeconds * 1000) == WAIT_OBJECT_0;
  ::CloseHandle(thread);
  EXPECT_TRUE(!cut || work.Protected) << "the pages below Windows' limit could not be protected";
  return ended;
}

constexpr std::size_t SmallestStack = WindowsStack;
#else
// Runs `job` on a thread of `stackBytes`.
bool RunOnThread(std::size_t stackBytes, const std::function<void()>& job, bool /*cut*/) {
  pthread_attr_t attributes;
  ::pthread_attr_init(&attributes);
  ::pthread_attr_setstacksize(&attributes, stackBytes);
  pthread_t thread;
  const auto start = [](void* argument) -> void* {
    (*static_cast<const std::function<void()>*>(argument))();
    return nullptr;
  };
  const bool made =
      ::pthread_create(&thread, &attributes, start, const_cast<std::function<void()>*>(&job)) == 0;
  ::pthread_attr_destroy(&attributes);
  if (!made) return false;
  timespec deadline{};
  ::clock_gettime(CLOCK_REALTIME, &deadline);
  deadline.tv_sec += BoundSeconds;
  return ::pthread_timedjoin_np(thread, nullptr, &deadline) == 0;
}

const std::size_t SmallestStack =
    static_cast<std::size_t>(PTHREAD_STACK_MIN); // as a host compiled here gets it
#endif

// The stack the system's own functions take when the test calls them itself,
// as a request calls them, for `path`: the deepest of them. What a request
// takes beyond that is the plug-in's own share.
std::size_t SystemShare(const std::string& path) {
  std::size_t deepest = 0;
  const auto measure = [&](const std::function<void()>& call) {
    std::size_t taken = 0;
    RunOnThread(
        1024 * 1024, [&] { taken = StackTaken(call); }, false);
    deepest = std::max(deepest, taken);
  };
#if defined(_WIN32)
  const std::wstring wide = fs::path(path).wstring();
  std::vector<wchar_t> out(wide.size() + 300); // on the heap: not in the measured frame
  measure(
      [&] { ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, out.data(), static_cast<int>(out.size())); });
  measure([&] { ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(out.size()), out.data(), nullptr); });
  measure([&] { ::GetFileAttributesW(wide.c_str()); });
  measure([&] {
    const HANDLE file =
        ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    ::GetFileType(file);
    char header[78];
    DWORD count = 0;
    ::ReadFile(file, header, sizeof header, &count, nullptr);
    ::CloseHandle(file);
  });
#else
  measure([&] {
    struct stat status;
    if (::stat(path.c_str(), &status) != 0) return;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return;
    char header[78];
    if (::fstat(fd, &status) == 0 && ::read(fd, header, sizeof header) < 0) header[0] = 0;
    ::close(fd);
  });
#endif
  return deepest;
}

struct TAnswer {
  int Result = -100;
  char Buffer[64] = {};
  bool operator==(const TAnswer& other) const {
    return Result == other.Result && std::memcmp(Buffer, other.Buffer, sizeof Buffer) == 0;
  }
};

// Where a folder is made: on Windows through the \\?\ form, which every depth takes.
fs::path Made(const fs::path& path) {
#if defined(_WIN32)
  return fs::path(L"\\\\?\\" + path.wstring());
#else
  return path;
#endif
}

class Stack : public testing::Test {
protected:
  static void SetUpTestSuite() {
    Folder = MakeTestFolder("stack");
    TSampleHeader header;
    header.Name = "Caf\xE9 M\xFCller"; // as a Western handheld stores it: converted on Linux
    header.DBType = "DATA";
    header.NumRecords = 12;
    header.Created = 0xB982A9E5;
    WritePalmFile(Folder / "memo.pdb", header);
    // Deeper than the stack's share of a path: such a path goes to the heap.
    fs::path deep = Folder;
    while (deep.native().size() < 1000) deep /= std::string(100, 'd');
    fs::create_directories(Made(deep));
    Deep = deep / "memo.pdb";
    WritePalmFile(Made(Deep), header);
  }
  static void TearDownTestSuite() {
    std::error_code ignored;
    fs::remove_all(Made(Folder), ignored);
  }
  static fs::path Folder;
  static fs::path Deep;
};
fs::path Stack::Folder;
fs::path Stack::Deep;

TEST_F(Stack, EveryRequestFitsTheSmallestThread) {
  LoadedPlugin();
  // The longest name each system takes, of a file that is not there.
#if defined(_WIN32)
  const std::string longest = "C:\\" + std::string(32700, 'x') + ".pdb";
#else
  const std::string longest = "/tmp/" + std::string(4080, 'x') + ".pdb";
#endif
  struct Case {
    const char* Label;
    std::string Path;
    int Field;
  };
  const Case cases[] = {
      {"name not in UTF-8", (Folder / "memo.pdb").string(), 0},
      {"type", (Folder / "memo.pdb").string(), 1},
      {"date", (Folder / "memo.pdb").string(), 3},
      {"record count", (Folder / "memo.pdb").string(), 6},
      {"deep path", Deep.string(), 6},
      {"longest path, no file", longest, 6},
      {"missing file", (Folder / "gone.pdb").string(), 3},
  };
  for (const bool wide : {true, false}) {
    for (const auto& c : cases) {
      const std::string label = std::string(wide ? "ContentGetValueW, " : "ContentGetValue, ") + c.Label;
      SCOPED_TRACE(label);
      const TWideName wideName = WideName(fs::path(c.Path));
      const auto ask = [&](TAnswer& answer) {
        answer.Result = wide ? LoadedPlugin().GetValueW(wideName.data(), c.Field, 0, answer.Buffer,
                                                        sizeof answer.Buffer, 0)
                             : LoadedPlugin().GetValue(c.Path.c_str(), c.Field, 0, answer.Buffer,
                                                       sizeof answer.Buffer, 0);
      };
      // From the smallest thread first: its request may be the process's
      // first, which finds and loads the code page converter.
      TAnswer small;
      ASSERT_TRUE(RunOnThread(
          SmallestStack, [&] { ask(small); }, true))
          << "the request did not end in " << BoundSeconds << " s";
      TAnswer expected;
      ask(expected);
      EXPECT_EQ(small.Result, expected.Result);
      EXPECT_TRUE(small == expected) << "another answer from the small thread";
      std::size_t taken = 0;
      TAnswer measured;
      ASSERT_TRUE(RunOnThread(
          1024 * 1024, [&] { taken = StackTaken([&] { ask(measured); }); }, false));
      const std::size_t system = SystemShare(c.Path);
      const std::size_t own = taken > system ? taken - system : 0;
      std::printf("stack: %s: %zu bytes in all, %zu its own beyond the system's deepest call (%zu bytes)\n",
                  label.c_str(), taken, own, system);
      EXPECT_LE(own, StackLimit);
      EXPECT_GT(own, 0u) << "nothing measured";
    }
  }
}

} // namespace
