// Values as a person reads them, appended to the caller's text so that a
// whole table is formatted into one buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Appends the value of a request's `result` with its `bytes`: texts as
// UTF-8 (UTF-16 ones converted, unpaired surrogates as U+FFFD), numbers in
// decimal, dates as YYYY-MM-DD, times as HH:MM:SS, date-times (FILETIME) as
// ISO 8601 in UTC, booleans as true or false, and a result without a value
// as its word.
void AppendShown(std::string& out, int result, std::string_view bytes);

// The word for a result without a value: "delayed", "no such field", "file
// error", "empty", "on demand", "not supported", "cancelled"; empty for the
// value types.
std::string_view ResultWord(int result);

// Text as the JSON and CSV outputs keep it: every byte that belongs to no
// UTF-8 sequence becomes U+FFFD (the JSON's "bytes" keeps them exactly).
void AppendValidUtf8(std::string& out, std::string_view text);

// Text as the table and CSV outputs show it: valid UTF-8 as AppendValidUtf8
// gives it, and every control character (C0, DEL, C1), which could move a
// terminal's cursor or start an escape sequence, written visibly as \u001b,
// \u007f, \u0085, ... except those in `keptControls`; so are the Unicode
// format characters (bidirectional overrides and isolates such as U+202E,
// zero-width ones such as U+200B and U+FEFF), which reorder or hide what a
// terminal shows: \u202e, and \U000e0001 past U+FFFF.
void AppendVisible(std::string& out, std::string_view text, std::string_view keptControls = {});

// The text as AppendVisible shows it: what the plug-in or the file system
// gave, as it may reach a terminal.
std::string Visible(std::string_view text);

// JSON text as nlohmann::json writes it (valid UTF-8, C0 controls escaped),
// with DEL and the C1 controls escaped too (\u007f, \u009b): they act on
// terminals as well.
void AppendJsonEscapingControls(std::string& out, std::string_view json);

// Lower-case hexadecimal of the bytes.
void AppendHex(std::string& out, std::string_view bytes);

// A FILETIME (100 ns since 1601-01-01 00:00 UTC) as 2024-05-06T07:08:09Z,
// with the fraction of a second when there is one.
void AppendFileTime(std::string& out, std::uint64_t fileTime);

// Columns a terminal gives the UTF-8 text: East Asian wide characters take
// two, combining marks none, everything else one (a byte in no UTF-8
// sequence too, as it shows as U+FFFD).
std::size_t DisplayWidth(std::string_view utf8);
