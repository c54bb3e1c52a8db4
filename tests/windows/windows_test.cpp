// What only the Windows DLL must show, run for real under Wine: its export
// and import directories, sharing, attributes, code pages, pipes and handles.
#include "tests/support/palm_file.h"
#include "tests/support/plugin_loader.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::uint8_t* ModuleBase() { return static_cast<const std::uint8_t*>(LoadedPlugin().Module); }

const IMAGE_NT_HEADERS* NtHeaders() {
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(ModuleBase());
  return reinterpret_cast<const IMAGE_NT_HEADERS*>(ModuleBase() + dos->e_lfanew);
}

const IMAGE_DATA_DIRECTORY& Directory(int entry) { return NtHeaders()->OptionalHeader.DataDirectory[entry]; }

const char* TextAt(DWORD rva) { return reinterpret_cast<const char*>(ModuleBase() + rva); }

std::string Lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

TEST(WindowsModule, ExportDirectoryNamesTheModuleAndFourFunctions) {
  ASSERT_EQ(NtHeaders()->Signature, IMAGE_NT_SIGNATURE);
#if defined(_WIN64)
  EXPECT_EQ(NtHeaders()->FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
#else
  EXPECT_EQ(NtHeaders()->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
#endif
  const auto& entry = Directory(IMAGE_DIRECTORY_ENTRY_EXPORT);
  ASSERT_NE(entry.VirtualAddress, 0u);
  const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(ModuleBase() + entry.VirtualAddress);
  EXPECT_STREQ(TextAt(exports->Name), "wdx_Korvel.wdx");
  EXPECT_EQ(exports->Base, 1u);
  ASSERT_EQ(exports->NumberOfNames, 4u);
  EXPECT_EQ(exports->NumberOfFunctions, 4u);

  const auto* names = reinterpret_cast<const DWORD*>(ModuleBase() + exports->AddressOfNames);
  const auto* ordinals = reinterpret_cast<const WORD*>(ModuleBase() + exports->AddressOfNameOrdinals);
  struct Expected {
    const char* Name;
    WORD Ordinal;
  };
  // The name table is sorted; ordinals are stored less the base.
  const Expected expected[] = {{"ContentGetDetectString", 4},
                               {"ContentGetSupportedField", 3},
                               {"ContentGetValue", 1},
                               {"ContentGetValueW", 2}};
  for (DWORD i = 0; i < 4; ++i) {
    SCOPED_TRACE(expected[i].Name);
    EXPECT_STREQ(TextAt(names[i]), expected[i].Name);
    EXPECT_EQ(ordinals[i] + exports->Base, expected[i].Ordinal);
    const auto module = static_cast<HMODULE>(LoadedPlugin().Module);
    EXPECT_EQ(reinterpret_cast<void*>(::GetProcAddress(module, MAKEINTRESOURCEA(expected[i].Ordinal))),
              FindExport(LoadedPlugin(), expected[i].Name));
  }
}

TEST(WindowsModule, ImportsOnlyFromWindowsItself) {
  const std::vector<std::string> system = {"kernel32.dll", "msvcrt.dll", "ntdll.dll", "user32.dll",
                                           "advapi32.dll"};
  const auto& entry = Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
  ASSERT_NE(entry.VirtualAddress, 0u);
  int count = 0;
  for (auto* import = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(ModuleBase() + entry.VirtualAddress);
       import->Name != 0; ++import, ++count) {
    const std::string name = Lowered(TextAt(import->Name));
    EXPECT_NE(std::find(system.begin(), system.end(), name), system.end())
        << name << " is not part of Windows";
  }
  EXPECT_GT(count, 0);
}

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
    const auto name = WideName(path);
    return LoadedPlugin().GetValueW(name.data(), index, 0, buffer, sizeof buffer, 0);
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
    char narrow[64] = {};
    char fromWide[64] = {};
    const int result = LoadedPlugin().GetValue(ansi, index, 0, narrow, sizeof narrow, 0);
    EXPECT_NE(result, FieldEmpty);
    EXPECT_EQ(Ask(fs::path(wide), index, fromWide), result);
    EXPECT_EQ(std::memcmp(narrow, fromWide, sizeof narrow), 0);
  }
}

TEST_F(WindowsFiles, PipesAndDevicesAreEmptyAtOnce) {
  const wchar_t* pipeName = L"\\\\.\\pipe\\korvel-test.pdb";
  const HANDLE pipe =
      ::CreateNamedPipeW(pipeName, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 4, 512, 512, 0, nullptr);
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
  char buffer[64];
  const auto start = std::chrono::steady_clock::now();
  // Reading the connected pipe would wait for data that never comes.
  EXPECT_EQ(Ask(fs::path(pipeName), 0, buffer), FieldEmpty);
  EXPECT_EQ(Ask(folder / "CON.pdb", 0, buffer), FieldEmpty);
  EXPECT_EQ(Ask(folder / "COM1.pdb", 3, buffer), FieldEmpty);
  EXPECT_EQ(Ask(folder / "NUL.pdb", 6, buffer), FieldEmpty);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  ::CloseHandle(pipe);
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
