// What only the Windows DLL must do with files, run for real under Wine:
// sharing, attributes, code pages, devices, pipes and handles.
#include "tests/support/asking.h"
#include "tests/windows/pe_image.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

class WindowsFiles : public testing::Test {
protected:
  void SetUp() override {
    folder = MakeTestFolder("windows");
    header.Name = "Windows";
    header.DBType = "DATA";
    header.NumRecords = 12;
    header.Created = 0xB982A9E5;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }
  int Ask(const fs::path& path, int index, char (&buffer)[64]) {
    const TAnswer answer = AskW(WideName(path), index, sizeof buffer);
    std::memcpy(buffer, answer.Buffer.data(), sizeof buffer);
    return answer.Result;
  }
  fs::path folder;
  TSampleHeader header;
};

TEST_F(WindowsFiles, AFileHeldWithoutSharingIsEmptyUntilReleased) {
  const auto path = folder / "held.pdb";
  WritePalmFile(path, header);
  char buffer[64];
  const HANDLE held = ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Ask(path, 0, buffer), FieldEmpty);
  EXPECT_EQ(Ask(path, 3, buffer), FieldEmpty);
  ::CloseHandle(held);
  ASSERT_EQ(Ask(path, 0, buffer), FieldTypeString);
  EXPECT_STREQ(buffer, "Windows");
}

TEST_F(WindowsFiles, AFileOpenForWritingElsewhereStillReads) {
  const auto path = folder / "busy.pdb";
  WritePalmFile(path, header);
  const HANDLE writer = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  char buffer[64];
  EXPECT_EQ(Ask(path, 1, buffer), FieldTypeString);
  EXPECT_STREQ(buffer, "DATA ");
  ::CloseHandle(writer);
}

// Explorer, sync tools and download managers hold files open with delete
// access while they move, rename or replace them.
TEST_F(WindowsFiles, FilesHeldByOthersWhoShareEverythingGiveTheirValues) {
  const auto path = folder / "shared.pdb";
  WritePalmFile(path, header);
  std::string quiet[8];
  for (int index = 0; index < 8; ++index) {
    char buffer[64] = {};
    const int result = Ask(path, index, buffer);
    quiet[index] = std::to_string(result) + ":" + std::string(buffer, sizeof buffer);
  }
  ASSERT_EQ(quiet[0].substr(0, 2), "8:");

  struct Case {
    const char* Label;
    DWORD Access;
  };
  const Case cases[] = {{"read", GENERIC_READ},
                        {"read and delete", GENERIC_READ | DELETE},
                        {"delete only", DELETE},
                        {"write", GENERIC_WRITE}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    const HANDLE other =
        ::CreateFileW(path.c_str(), c.Access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    for (int index = 0; index < 8; ++index) {
      char buffer[64] = {};
      const int result = Ask(path, index, buffer);
      EXPECT_EQ(std::to_string(result) + ":" + std::string(buffer, sizeof buffer), quiet[index])
          << "field " << index;
    }
    ::CloseHandle(other);
  }
}

// A file manager fills its columns from background threads while the user
// moves and deletes files: neither may be refused because of a column.
TEST_F(WindowsFiles, RenamesAndDeletesAreNeverRefusedWhileValuesAreAsked) {
  TSampleHeader renamedHeader = header;
  renamedHeader.Name = "Renamed";
  renamedHeader.DBType = "RENA";
  renamedHeader.NumRecords = 101;
  TSampleHeader recreatedHeader = header;
  recreatedHeader.Name = "Recreated";
  recreatedHeader.DBType = "RECR";
  recreatedHeader.NumRecords = 202;
  recreatedHeader.Created = 0xDC562161;
  const fs::path renamedA = folder / "renamed-a.pdb";
  const fs::path renamedB = folder / "renamed-b.pdb";
  const fs::path recreated = folder / "recreated.pdb";
  WritePalmFile(renamedA, renamedHeader);
  WritePalmFile(recreated, recreatedHeader);
  const TSampleBytes recreatedBytes = EncodeSampleHeader(recreatedHeader);

  // Each file's answers when nobody disturbs it.
  struct TExpected {
    fs::path Path;
    std::vector<std::string> Values;
  };
  auto answers = [&](const fs::path& path) {
    std::vector<std::string> values;
    for (int index = 0; index < 8; ++index) {
      char buffer[64] = {};
      const int result = Ask(path, index, buffer);
      values.push_back(std::to_string(result) + ":" + std::string(buffer, sizeof buffer));
    }
    return values;
  };
  const std::vector<std::string> renamedValues = answers(renamedA);
  const std::vector<std::string> recreatedValues = answers(recreated);
  ASSERT_EQ(renamedValues[6].substr(0, 6), "8:101 ");
  ASSERT_EQ(recreatedValues[6].substr(0, 6), "8:202 ");
  const TExpected asked[] = {
      {renamedA, renamedValues}, {renamedB, renamedValues}, {recreated, recreatedValues}};

  constexpr int Rounds = 2000;
  std::atomic<int> writersDone{0};
  std::vector<std::string> refusals;
  std::mutex refusalsLock;
  auto refused = [&](const std::string& what) {
    const std::lock_guard<std::mutex> lock(refusalsLock);
    if (refusals.size() < 10) refusals.push_back(what + ": error " + std::to_string(::GetLastError()));
  };
  std::thread renamer([&] {
    for (int round = 0; round < Rounds; ++round) {
      const bool forth = round % 2 == 0;
      if (!::MoveFileExW((forth ? renamedA : renamedB).c_str(), (forth ? renamedB : renamedA).c_str(), 0)) {
        refused("rename in round " + std::to_string(round));
      }
    }
    ++writersDone;
  });
  std::thread deleter([&] {
    for (int round = 0; round < Rounds; ++round) {
      if (!::DeleteFileW(recreated.c_str())) refused("delete in round " + std::to_string(round));
      // The name may stay taken until the last handle on the deleted file
      // closes; creating it again is retried, deleting never is.
      HANDLE file = INVALID_HANDLE_VALUE;
      for (int attempt = 0; attempt < 5000 && file == INVALID_HANDLE_VALUE; ++attempt) {
        if (attempt > 0) ::Sleep(1);
        file = ::CreateFileW(recreated.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
      }
      if (file == INVALID_HANDLE_VALUE) {
        refused("recreate in round " + std::to_string(round));
        break;
      }
      DWORD written = 0;
      ::WriteFile(file, recreatedBytes.data(), static_cast<DWORD>(recreatedBytes.size()), &written, nullptr);
      ::CloseHandle(file);
    }
    ++writersDone;
  });

  constexpr std::size_t Readers = 4;
  std::vector<std::string> problems(Readers);
  std::vector<long> answered(Readers, 0);
  std::vector<std::thread> readers;
  for (std::size_t t = 0; t < Readers; ++t) {
    readers.emplace_back([&, t] {
      for (std::size_t i = t; writersDone < 2 && problems[t].empty(); ++i) {
        const TExpected& file = asked[i % 3];
        const int index = static_cast<int>((i / 3) % 8);
        char buffer[64] = {};
        const int result = Ask(file.Path, index, buffer);
        const std::string value = std::to_string(result) + ":" + std::string(buffer, sizeof buffer);
        if (result == FieldEmpty) continue; // gone at that instant
        ++answered[t];
        if (value != file.Values[static_cast<std::size_t>(index)]) {
          problems[t] = "field " + std::to_string(index) + " of " + file.Path.string() + ": code " +
                        std::to_string(result) + " '" + buffer + "'";
        }
      }
    });
  }
  renamer.join();
  deleter.join();
  for (auto& reader : readers) reader.join();
  EXPECT_EQ(refusals, std::vector<std::string>{});
  for (std::size_t t = 0; t < Readers; ++t) {
    EXPECT_EQ(problems[t], "") << "reader " << t;
    EXPECT_GT(answered[t], 0) << "reader " << t << " never got a value";
  }
}

TEST_F(WindowsFiles, AReadOnlyFileGivesItsValues) {
  const auto path = folder / "readonly.pdb";
  WritePalmFile(path, header);
  ASSERT_TRUE(::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
  char buffer[64];
  EXPECT_EQ(Ask(path, 6, buffer), FieldTypeString);
  EXPECT_STREQ(buffer, "12 ");
  ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(WindowsFiles, NamesOutsideTheAnsiCodePageWorkThroughTheWideExport) {
  const auto path = folder / L"\u30E1\u30E2\u5E33 \u0394.pdb"; // Japanese and Greek
  WritePalmFile(path, header);
  char buffer[64];
  ASSERT_EQ(Ask(path, 0, buffer), FieldTypeString);
  EXPECT_STREQ(buffer, "Windows");
}

TEST_F(WindowsFiles, AnsiNamesGiveWhatTheWideNamesGive) {
  // A name with a non-ASCII character that the ANSI code page has.
  const std::wstring wide = folder.wstring() + L"\\\u00E9t\u00E9.pdb";
  char ansi[MAX_PATH * 2];
  BOOL lossy = FALSE;
  ASSERT_GT(::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, ansi, sizeof ansi, nullptr, &lossy), 0);
  ASSERT_FALSE(lossy) << "code page " << ::GetACP() << " lacks the test's character";
  WritePalmFile(fs::path(wide), header);
  for (int index = 0; index < 8; ++index) {
    SCOPED_TRACE(index);
    const TAnswer narrow = Ask8(ansi, index, 64);
    const TAnswer fromWide = AskW(WideName(fs::path(wide)), index, 64);
    EXPECT_NE(narrow.Result, FieldEmpty);
    EXPECT_EQ(fromWide.Result, narrow.Result);
    EXPECT_EQ(fromWide.Buffer, narrow.Buffer);
  }
}

// Every name the plug-in asks Windows to open or to describe, in order: its
// imports of CreateFileW and GetFileAttributesW are pointed at functions that
// record the name and pass the call on, so that a test sees whether a name
// was touched at all.
std::mutex OpenedLock;
std::vector<std::wstring> Opened;

void Record(LPCWSTR name) {
  const std::lock_guard lock(OpenedLock);
  Opened.emplace_back(name);
}

HANDLE WINAPI RecordingCreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                   DWORD disposition, DWORD flags, HANDLE templateFile) {
  Record(name);
  return ::CreateFileW(name, access, share, security, disposition, flags, templateFile);
}

DWORD WINAPI RecordingGetFileAttributesW(LPCWSTR name) {
  Record(name);
  return ::GetFileAttributesW(name);
}

bool RecordOpens() {
  static const bool hooked = [] {
    const struct {
      const char* Name;
      void* Recorder;
    } hooks[] = {{"CreateFileW", reinterpret_cast<void*>(&RecordingCreateFileW)},
                 {"GetFileAttributesW", reinterpret_cast<void*>(&RecordingGetFileAttributesW)}};
    int found = 0;
    const auto& imports = Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
    auto* base = const_cast<std::uint8_t*>(ModuleBase());
    for (auto* library = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         library->Name != 0; ++library) {
      const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + library->OriginalFirstThunk);
      auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->FirstThunk);
      for (; names->u1.AddressOfData != 0; ++names, ++slots) {
        if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
        const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
        for (const auto& hook : hooks) {
          if (std::strcmp(reinterpret_cast<const char*>(byName->Name), hook.Name) != 0) continue;
          DWORD protection = 0;
          if (!::VirtualProtect(slots, sizeof *slots, PAGE_READWRITE, &protection)) return false;
          slots->u1.Function = reinterpret_cast<decltype(slots->u1.Function)>(hook.Recorder);
          ::VirtualProtect(slots, sizeof *slots, protection, &protection);
          ++found;
        }
      }
    }
    return found == 2;
  }();
  return hooked;
}

// Devices as this Windows counts them are never opened, whatever form their
// name takes; files are, at any depth and through the \\?\ form too.
TEST_F(WindowsFiles, DevicesAreNeverOpenedFilesAtAnyDepthAre) {
  ASSERT_TRUE(RecordOpens()) << "the plug-in does not import CreateFileW and GetFileAttributesW";
  const wchar_t* pipeName = L"\\\\.\\pipe\\korvel-test.pdb";
  // PIPE_NOWAIT: asked whether a client came, the pipe answers at once.
  const HANDLE pipe =
      ::CreateNamedPipeW(pipeName, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_NOWAIT, 4, 512, 512, 0, nullptr);
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
  const std::wstring base = folder.wstring();
  const std::wstring verbatimCon = L"\\\\?\\" + base + L"\\con.pdb"; // no device behind the \\?\ form
  WritePalmFile(fs::path(verbatimCon), header);
  std::wstring deep = base;
  while (deep.size() < 300) deep += L"\\" + std::wstring(60, L'd');
  ASSERT_TRUE(fs::create_directories(fs::path(L"\\\\?\\" + deep)));
  deep += L"\\memo.pdb";
  WritePalmFile(fs::path(L"\\\\?\\" + deep), header);
  struct Case {
    std::wstring Path;
    std::wstring Opened; // the name Windows is asked about; empty: never asked
    int Result;
  };
  const Case cases[] = {
      {pipeName, L"", FieldEmpty},
      {L"\\\\?\\pipe\\korvel-test.pdb", L"", FieldEmpty},
      {base + L"\\NUL:.pdb", L"", FieldEmpty},
      {base + L"\\COM1:.pdb", L"", FieldEmpty},
      {base + L"\\CON:s.pdb", L"", FieldEmpty},
      {base + L"\\CON.pdb", L"", FieldEmpty}, // a device to Wine, as to Windows before 11
      {base + L"\\nul.backup.pdb", L"", FieldEmpty},
      {L"\\\\?\\UNC\\server\\pipe\\x.pdb", L"", FieldEmpty},
      {L"\\\\?\\GLOBALROOT\\Device\\Null\\x.pdb", L"", FieldEmpty},
      {L"\\\\?\\GLOBALROOT\\Device\\NamedPipe\\korvel-test.pdb", L"", FieldEmpty},
      {verbatimCon, verbatimCon, FieldTypeString},
      {L"\\\\server\\share\\aux.pdb", L"\\\\server\\share\\aux.pdb", FieldEmpty},
      {deep, L"\\\\?\\" + deep, FieldTypeString},
      {L"\\\\?\\" + deep, L"\\\\?\\" + deep, FieldTypeString},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(fs::path(c.Path).string());
    {
      const std::lock_guard lock(OpenedLock);
      Opened.clear();
    }
    char buffer[64] = {};
    EXPECT_EQ(Ask(fs::path(c.Path), 0, buffer), c.Result);
    const std::lock_guard lock(OpenedLock);
    if (c.Opened.empty()) {
      EXPECT_TRUE(Opened.empty()) << "opened " << fs::path(Opened.front()).string();
    } else {
      ASSERT_FALSE(Opened.empty());
      for (const auto& name : Opened) EXPECT_EQ(fs::path(name).string(), fs::path(c.Opened).string());
    }
  }
  EXPECT_FALSE(::ConnectNamedPipe(pipe, nullptr));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_PIPE_LISTENING))
      << "the plug-in connected to the pipe";
  ::CloseHandle(pipe);
  // Only its \\?\ form names the file: removing the folder would take it for the console.
  EXPECT_TRUE(::DeleteFileW(verbatimCon.c_str()));
}

// Run with Wine's ANSI code page set to 932 (LANG=ja_JP.UTF-8): a text cut to
// the host's buffer never ends in the first byte of a two-byte character.
TEST_F(WindowsFiles, ShiftJisNamesAreCutBetweenCharacters) {
  ASSERT_EQ(::GetACP(), 932u) << "run under a Japanese locale";
  header.Name = "\x83\x81\x83\x82\x92\xA0"; // "メモ帳" in Shift-JIS
  const auto path = folder / "memo.pdb";
  WritePalmFile(path, header);
  const auto name = WideName(path);
  // The name's first NUL ends what the host reads: no space after it.
  const std::size_t kept[] = {0, 0, 0, 2, 2, 4, 4, 6, 6, 6}; // for buffers of 0 to 9 bytes
  for (int size = 1; size <= 9; ++size) {
    SCOPED_TRACE(size);
    const TAnswer answer = AskW(name, 0, size);
    ASSERT_EQ(answer.Result, FieldTypeString);
    EXPECT_EQ(TextOf(answer), header.Name.substr(0, kept[size]));
    EXPECT_EQ(answer.Buffer[static_cast<std::size_t>(size)], Marker);
  }
}

TEST_F(WindowsFiles, GivesBackEveryHandle) {
  const auto path = folder / "memo.pdb";
  WritePalmFile(path, header);
  fs::create_directories(folder / "dir.pdb");
  char buffer[64];
  DWORD before = 0;
  DWORD after = 0;
  ASSERT_TRUE(::GetProcessHandleCount(::GetCurrentProcess(), &before));
  for (int round = 0; round < 5000; ++round) {
    Ask(path, round % 8, buffer);
    Ask(folder / "gone.pdb", round % 8, buffer);
    Ask(folder / "dir.pdb", round % 8, buffer);
  }
  ASSERT_TRUE(::GetProcessHandleCount(::GetCurrentProcess(), &after));
  EXPECT_EQ(after, before);
}

} // namespace
