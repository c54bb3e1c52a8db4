// What only the Windows DLL must show of itself, run for real under Wine: its
// export and import directories, its security flags and its version resource.
#include "tests/support/plugin_loader.h"
#include "tests/windows/pe_image.h"

#include <gtest/gtest.h>

#include <windows.h>

#include "plugin/version.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

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

// Nor does it hook the exceptions of the process that loads it: winpthreads,
// linked in, would register a vectored handler at every load.
TEST(WindowsModule, ImportsOnlyFromWindowsItselfAndHooksNoExceptions) {
  const std::vector<std::string> system = {"kernel32.dll", "msvcrt.dll", "ntdll.dll", "user32.dll",
                                           "advapi32.dll"};
  const std::vector<std::string> hooks = {"AddVectoredExceptionHandler", "AddVectoredContinueHandler",
                                          "SetUnhandledExceptionFilter"};
  const auto& entry = Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
  ASSERT_NE(entry.VirtualAddress, 0u);
  int count = 0;
  for (auto* import = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(ModuleBase() + entry.VirtualAddress);
       import->Name != 0; ++import, ++count) {
    const std::string name = Lowered(TextAt(import->Name));
    EXPECT_NE(std::find(system.begin(), system.end(), name), system.end())
        << name << " is not part of Windows";
    for (auto* thunk = reinterpret_cast<const IMAGE_THUNK_DATA*>(ModuleBase() + import->OriginalFirstThunk);
         thunk->u1.AddressOfData != 0; ++thunk) {
      if (IMAGE_SNAP_BY_ORDINAL(thunk->u1.Ordinal)) continue;
      const char* function = reinterpret_cast<const char*>(
          reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(ModuleBase() + thunk->u1.AddressOfData)->Name);
      EXPECT_EQ(std::find(hooks.begin(), hooks.end(), function), hooks.end()) << name << " " << function;
    }
  }
  EXPECT_GT(count, 0);
}

TEST(WindowsModule, RandomisesItsAddressAndNeverExecutesData) {
  const WORD characteristics = NtHeaders()->OptionalHeader.DllCharacteristics;
  EXPECT_NE(characteristics & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE, 0) << "no ASLR";
  EXPECT_NE(characteristics & IMAGE_DLLCHARACTERISTICS_NX_COMPAT, 0) << "no DEP";
#if defined(_WIN64)
  EXPECT_NE(characteristics & IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA, 0) << "ASLR without 64-bit entropy";
#endif
  EXPECT_GT(Directory(IMAGE_DIRECTORY_ENTRY_BASERELOC).Size, 0u)
      << "no relocation table to move the DLL with";
}

// What the Details tab of the file's Properties shows.
TEST(WindowsModule, CarriesItsVersionAndNames) {
  const std::wstring path = fs::absolute(PluginPath).wstring();
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
  ASSERT_GT(size, 0u) << "no version resource";
  std::vector<std::uint8_t> info(size);
  ASSERT_TRUE(::GetFileVersionInfoW(path.c_str(), 0, size, info.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  const DWORD versionHigh = (DWORD{KORVEL_VERSION_MAJOR} << 16) | KORVEL_VERSION_MINOR;
  const DWORD versionLow = DWORD{KORVEL_VERSION_PATCH} << 16;
  EXPECT_EQ(fixed->dwFileVersionMS, versionHigh);
  EXPECT_EQ(fixed->dwFileVersionLS, versionLow);
  EXPECT_EQ(fixed->dwProductVersionMS, versionHigh);
  EXPECT_EQ(fixed->dwProductVersionLS, versionLow);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

  const std::wstring version = fs::path(KORVEL_VERSION_TEXT).wstring();
  struct Case {
    const wchar_t* Name;
    std::wstring Value; // empty: any text
  };
  const Case cases[] = {{L"OriginalFilename", L"wdx_Korvel.wdx"},
                        {L"FileVersion", version},
                        {L"ProductVersion", version},
                        {L"ProductName", L"wdx_Korvel"},
                        {L"InternalName", L"wdx_Korvel"},
                        {L"FileDescription", L""},
                        {L"LegalCopyright", fs::path(KORVEL_COPYRIGHT).wstring()}};
  for (const auto& c : cases) {
    SCOPED_TRACE(fs::path(c.Name).string());
    const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + c.Name;
    wchar_t* text = nullptr;
    ASSERT_TRUE(::VerQueryValueW(info.data(), query.c_str(), reinterpret_cast<void**>(&text), &length));
    ASSERT_NE(text, nullptr);
    const std::wstring value(text);
    if (c.Value.empty()) {
      EXPECT_GT(value.size(), 10u);
    } else {
      EXPECT_EQ(fs::path(value).string(), fs::path(c.Value).string());
    }
  }
}

} // namespace
