// The content plug-in interface: the codes, records and the four exported
// functions that a host file manager finds by name.
#pragma once

#include <cstdint>

#if defined(_WIN32)
// 32-bit hosts call the exports with the stdcall convention; on x64 it is
// the one convention anyway.
#define KORVEL_CALL __stdcall
#define KORVEL_EXPORT
// UTF-16 code unit of file names, as the Windows API spells it.
using WideChar = wchar_t;
#else
#define KORVEL_CALL
#define KORVEL_EXPORT __attribute__((visibility("default")))
// Linux hosts pass UTF-16 as 16-bit unsigned integers; wchar_t is 32 bits there.
using WideChar = std::uint16_t;
#endif

static_assert(sizeof(WideChar) == 2, "file names are UTF-16");

// Result of ContentGetSupportedField past the last field.
inline constexpr int FieldNoMoreFields = 0;
// Value-request results and declared field types.
inline constexpr int FieldTypeDate = 4;
inline constexpr int FieldTypeString = 8;
inline constexpr int FieldDelayed = 0;
inline constexpr int FieldNoSuchField = -1;
inline constexpr int FieldEmpty = -3;
// Bit 0 of a value request's flags: the caller prefers FieldDelayed to a slow answer.
inline constexpr int DelayIfSlow = 1;

// A date value: three 16-bit words in the platform's byte order.
struct FieldDate {
  std::uint16_t Year;
  std::uint16_t Month; // 1-12
  std::uint16_t Day;   // 1-31
};
static_assert(sizeof(FieldDate) == 6, "hosts read a date as exactly 6 bytes");

extern "C" {
KORVEL_EXPORT void KORVEL_CALL ContentGetDetectString(char* DetectString, int MaxLen);
KORVEL_EXPORT int KORVEL_CALL ContentGetSupportedField(int FieldIndex, char* FieldName, char* Units,
                                                       int MaxLen);
KORVEL_EXPORT int KORVEL_CALL ContentGetValue(const char* FileName, int FieldIndex, int UnitIndex,
                                              void* FieldValue, int MaxLen, int Flags);
KORVEL_EXPORT int KORVEL_CALL ContentGetValueW(const WideChar* FileName, int FieldIndex, int UnitIndex,
                                               void* FieldValue, int MaxLen, int Flags);
}

// The same functions as a host holds them after looking them up by name.
using ContentGetDetectStringFunc = void(KORVEL_CALL*)(char*, int);
using ContentGetSupportedFieldFunc = int(KORVEL_CALL*)(int, char*, char*, int);
using ContentGetValueFunc = int(KORVEL_CALL*)(const char*, int, int, void*, int, int);
using ContentGetValueWFunc = int(KORVEL_CALL*)(const WideChar*, int, int, void*, int, int);
