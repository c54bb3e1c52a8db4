// Windows paths as the plug-in opens them: never one that names a device, and
// a long one through the form that lifts the old limit of 259 units. Pure
// text rules; which names are devices (CON, NUL:, COM1 ...) is the running
// Windows' own rule, asked through GetFullPathNameW, which turns such a name
// into "\\.\NAME" (Windows 11 leaves CON.pdb a file; older ones do not).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// Paths shorter than this open as they are; longer ones only in the \\?\ form.
inline constexpr std::size_t ShortPathLimit = 260;

// True for a path in the device namespace: "\\.\COM1", "\??\C:\x", and "\\?\"
// unless a drive with a folder ("\\?\C:\"), "UNC\server\share", "Volume{...}\"
// or a volume's device with a folder ("GLOBALROOT\Device\HarddiskVolume3\",
// "...\HarddiskVolumeShadowCopy3\", as shadow-copy browsers name the files
// of a snapshot) follows ("\\?\C:" alone is the volume itself); and for a
// server's named pipes and mailslots, "\\server\pipe\x" in either form.
// GetFullPathNameW leaves the first two as they are and gives a reserved
// device name in this form too.
bool NamesDevice(std::u16string_view path);

// True when the path starts with "\\?\" exactly, which Windows takes as it
// stands: neither made full nor checked for device names.
bool IsVerbatimPath(std::u16string_view path);

// Room kept in front of a full path for its long form's prefix: "\\?\UNC"
// takes the place of the first "\" of "\\server".
inline constexpr std::size_t LongFormRoom = 6;

// The path to open, given a full path as GetFullPathNameW writes it at
// `buffer + LongFormRoom`, `length` units: empty for a device; as it is when
// shorter than ShortPathLimit or already in the \\?\ form; a longer drive or
// UNC path as "\\?\C:\..." or "\\?\UNC\server\...", written into the room in
// front; empty for anything else that long.
std::u16string_view PathToOpen(char16_t* buffer, std::size_t length);

// File attributes that say a file's data is not on this machine (winnt.h's
// FILE_ATTRIBUTE_OFFLINE, _RECALL_ON_OPEN and _RECALL_ON_DATA_ACCESS): data
// moved to offline storage, an item that opening fetches, a cloud file that
// is online only, whose data reading fetches.
inline constexpr std::uint32_t AttributeOffline = 0x1000;
inline constexpr std::uint32_t AttributeRecallOnOpen = 0x40000;
inline constexpr std::uint32_t AttributeRecallOnDataAccess = 0x400000;

// How files are opened to be read: sharing read, write and delete
// (FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE). The host, a sync
// tool or an editor may hold the file open, also to move, rename or replace
// it, and a reader must neither fail on that nor refuse them; Windows counts
// rename and delete as a third kind of access.
inline constexpr std::uint32_t ShareEverything = 0x7;

// True when a file with these attributes keeps its data elsewhere: reading it
// for a column would download or recall it, so it is neither opened nor read.
bool DataIsElsewhere(std::uint32_t attributes);
