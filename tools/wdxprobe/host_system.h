// What wdxprobe, as a host, takes from the system it runs on: the 8-bit
// charset that names files and texts are read in, the terminal, the command
// line and the settings folder. One file per system (host_system_posix.cpp,
// host_system_win.cpp).
//
// The reading of 8-bit text here is the host's own and independent of the
// plug-in's code on purpose: wdxprobe stands in for the file manager in the
// tests, and a fault shared with the plug-in would be mirrored here and go
// unseen. It asks the system alone: Windows' ANSI code page, and on Linux the
// C library's locale and iconv.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// A file's name in both forms the exports take, made once per file; one
// of these serves file after file without asking for memory again.
struct TPluginFileName {
  std::string Narrow; // the system's 8-bit code page: ANSI on Windows, the locale's charset on Linux
  std::u16string Wide;
  bool HasNarrow = true; // false where the name has no ANSI form, not even a short name
};

// `systemPath` as this program holds paths: UTF-8 on Windows, the file
// system's own bytes on Linux. On Linux the wide form reads the bytes in the
// locale's charset, a byte that is no character of it as U+DC00 plus its
// value (U+DCFF for 0xFF), as file managers name such files.
void SetPluginFileName(TPluginFileName& name, const std::string& systemPath);

// An 8-bit text of the plug-in as a host reads it, given here as UTF-8: on
// Windows in the ANSI code page (UTF-8 where that is 65001); on Linux in the
// charset of the locale, a byte that charset does not define as U+FFFD.
std::string Utf8FromSystem(std::string_view text);

// A file name held as this program holds paths, as UTF-8 for the outputs: on
// Linux read in the locale's charset, a byte that is no character of it shown
// as \udc and its value in two hex digits (\udcff for 0xFF), so that the name
// can be told back; on Windows, where paths are held in UTF-8, as it is.
std::string Utf8NameFromSystem(std::string_view path);

// UTF-8 text as the terminal takes it: on Linux in the locale's charset, "?"
// for a character it lacks; on Windows as it is.
std::string TerminalText(std::string_view utf8);

// The settings file's path, held as this program holds paths, as the 8-bit
// text a plug-in is told (in the ANSI code page on Windows).
std::string SystemIniName(const std::string& iniPath);

// Where a host keeps its settings file unless told otherwise.
std::string DefaultIniPath();

// The command line as UTF-8 on Windows (whose 8-bit argv loses what the ANSI
// code page lacks), as its bytes on Linux.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Bytes out as the plug-in gave them, lines ended alike on both systems.
void UseBinaryStandardOutput();

bool StandardErrorIsTerminal();
