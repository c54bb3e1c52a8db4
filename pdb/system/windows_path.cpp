#include "pdb/system/windows_path.h"

#include <algorithm>

namespace {

char16_t AsciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

bool StartsWith(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(),
                    [](char16_t a, char16_t b) { return AsciiUpper(a) == AsciiUpper(b); });
}

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

bool IsDrive(std::u16string_view path) {
  return path.size() >= 3 && path[1] == u':' && IsSeparator(path[2]) && AsciiUpper(path[0]) >= u'A' &&
         AsciiUpper(path[0]) <= u'Z';
}

// After the two separators of "\\server\share\...": the share "pipe" or
// "mailslot" is the server's pipes and mailslots, not a folder.
bool ServerDevice(std::u16string_view serverAndShare) {
  const std::size_t separator = serverAndShare.find_first_of(u"\\/");
  if (separator == std::u16string_view::npos) return false;
  std::u16string_view share = serverAndShare.substr(separator + 1);
  share = share.substr(0, share.find_first_of(u"\\/"));
  return (share.size() == 4 && StartsWith(share, u"PIPE")) ||
         (share.size() == 8 && StartsWith(share, u"MAILSLOT"));
}

// "GLOBALROOT\Device\HarddiskVolume3\..." or "...\HarddiskVolumeShadowCopy3\...":
// a volume, or a snapshot of one, by its device name, with a folder after it.
bool VolumeDevicePath(std::u16string_view rest) {
  constexpr std::u16string_view devices = u"GLOBALROOT\\Device\\";
  if (!StartsWith(rest, devices)) return false;
  std::u16string_view name = rest.substr(devices.size());
  for (const std::u16string_view kind : {u"HarddiskVolumeShadowCopy", u"HarddiskVolume"}) {
    if (!StartsWith(name, kind)) continue;
    name.remove_prefix(kind.size());
    std::size_t digits = 0;
    while (digits < name.size() && name[digits] >= u'0' && name[digits] <= u'9') ++digits;
    return digits > 0 && digits < name.size() && IsSeparator(name[digits]);
  }
  return false;
}

} // namespace

bool IsVerbatimPath(std::u16string_view path) { return path.substr(0, 4) == u"\\\\?\\"; }

bool NamesDevice(std::u16string_view path) {
  if (StartsWith(path, u"\\??\\")) return true;
  if (path.size() < 2 || !IsSeparator(path[0]) || !IsSeparator(path[1])) return false;
  const bool prefixed = path.size() >= 4 && (path[2] == u'.' || path[2] == u'?') && IsSeparator(path[3]);
  if (!prefixed) return ServerDevice(path.substr(2));
  // "\\.\" is the device namespace itself; "\\?\" reaches the same objects,
  // and only a drive, a UNC share or a volume after it leads to files.
  if (path[2] == u'.') return true;
  const std::u16string_view rest = path.substr(4);
  if (IsDrive(rest) || VolumeDevicePath(rest)) return false;
  if (StartsWith(rest, u"UNC") && rest.size() > 3 && IsSeparator(rest[3]))
    return ServerDevice(rest.substr(4));
  const std::size_t volumeEnd = rest.find(u'}');
  return !StartsWith(rest, u"Volume{") || volumeEnd == std::u16string_view::npos ||
         volumeEnd + 1 >= rest.size() || !IsSeparator(rest[volumeEnd + 1]);
}

std::u16string_view PathToOpen(char16_t* buffer, std::size_t length) {
  const std::u16string_view full(buffer + LongFormRoom, length);
  if (NamesDevice(full)) return {};
  if (length < ShortPathLimit || IsVerbatimPath(full)) return full;
  if (IsDrive(full)) {
    std::copy_n(u"\\\\?\\", 4, buffer + LongFormRoom - 4);
    return {buffer + LongFormRoom - 4, length + 4};
  }
  if (full.size() > 2 && IsSeparator(full[0]) && IsSeparator(full[1])) {
    std::copy_n(u"\\\\?\\UNC", 7, buffer); // its "\" follows: "\server\share"
    buffer[7] = u'\\';
    return {buffer, length + LongFormRoom};
  }
  return {};
}

bool DataIsElsewhere(std::uint32_t attributes) {
  return (attributes & (AttributeOffline | AttributeRecallOnOpen | AttributeRecallOnDataAccess)) != 0;
}
