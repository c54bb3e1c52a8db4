// Which Windows paths name a device, and the form a long path opens in.
#include "pdb/system/windows_path.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Narrow(std::u16string_view text) { return std::string(text.begin(), text.end()); }

// head, `count` times `unit`, tail
std::u16string Spelled(std::u16string_view head, std::size_t count, char16_t unit,
                       std::u16string_view tail = {}) {
  std::u16string text(head);
  text.append(count, unit);
  text += tail;
  return text;
}

TEST(WindowsPath, TheDeviceNamespaceAndServerPipes) {
  struct Case {
    std::u16string_view Path;
    bool Device;
  };
  // Reserved names such as CON are the running Windows' to decide: they
  // reach this check as GetFullPathNameW's "\\.\CON".
  const Case cases[] = {
      {u"\\\\.\\CON", true},
      {u"\\\\.\\pipe\\korvel.pdb", true},
      {u"//./COM1", true},
      {u"\\/.\\NUL", true},
      {u"\\\\?\\pipe\\korvel.pdb", true},
      {u"\\\\?\\GLOBALROOT\\Device\\Null.pdb", true},
      {u"\\\\?\\GLOBALROOT\\Device\\NamedPipe\\x.pdb", true},
      {u"\\\\?\\GLOBALROOT\\Device\\Serial0\\x.pdb", true},
      {u"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume3", true},
      {u"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume\\x.pdb", true},
      {u"\\\\?\\GLOBALROOT\\Device\\HarddiskVolumeShadowCopy\\x.pdb", true},
      {u"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume3x\\x.pdb", true},
      {u"\\\\?\\GLOBALROOT\\Device\\HarddiskVolumeX\\x.pdb", true},
      {u"\\\\.\\GLOBALROOT\\Device\\HarddiskVolume3\\x.pdb", true},
      {u"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume3\\Palm\\MemoDB.pdb", false},
      {u"\\\\?\\globalroot\\device\\harddiskvolume12\\x.pdb", false},
      {u"\\\\?\\GLOBALROOT\\Device\\HarddiskVolumeShadowCopy3\\Palm\\MemoDB.pdb", false},
      {u"\\??\\C:\\x.pdb", true},
      {u"\\\\.\\", true},
      {u"\\\\?\\[:\\memo.pdb", true},
      {u"\\\\?\\C:", true},
      {u"\\\\?\\Volume{0f0e0d0c-0000-0000-0000-000000000000}", true},
      {u"\\\\?\\UNC\\server\\pipe\\x.pdb", true},
      {u"\\\\server\\pipe\\x.pdb", true},
      {u"\\\\server\\PIPE", true},
      {u"//server/MailSlot/x.pdb", true},
      {u"\\\\?\\C:\\Palm\\memo.pdb", false},
      {u"\\\\?\\C:\\", false},
      {u"\\\\?\\C:\\x\\con.pdb", false},
      {u"\\\\?\\a:\\memo.pdb", false},
      {u"\\\\?\\Z:\\memo.pdb", false},
      {u"\\\\?\\UNC\\server\\share\\memo.pdb", false},
      {u"\\\\?\\UNC\\", false}, // the root of every share, no server's pipe
      {u"\\\\?\\Volume{0f0e0d0c-0000-0000-0000-000000000000}\\memo.pdb", false},
      {u"\\\\server\\share\\aux.pdb", false},
      {u"\\\\server\\pipes\\x.pdb", false},
      {u"\\\\server", false},
      {u"\\\\x\\s\\memo.pdb", false},
      {u"a\\.\\memo.pdb", false},
      {u"C:\\Palm\\CON.pdb", false},
      {u"C:\\pipe\\x.pdb", false},
      {u"memo.pdb", false},
      {u"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.Path));
    EXPECT_EQ(NamesDevice(c.Path), c.Device);
  }
}

TEST(WindowsPath, LongPathsOpenInTheirLongForm) {
  const std::u16string deep = Spelled(u"\\", 300, u'd', u"\\m.pdb"); // 307 units
  struct Case {
    const char* Label;
    std::u16string Full; // as GetFullPathNameW gives it
    std::u16string Open; // empty: not opened
  };
  const Case cases[] = {
      {"short drive path", u"C:\\Palm\\memo.pdb", u"C:\\Palm\\memo.pdb"},
      {"259 units", Spelled(u"C:\\", 256, u'n'), Spelled(u"C:\\", 256, u'n')},
      {"260 units", Spelled(u"C:\\", 257, u'n'), Spelled(u"\\\\?\\C:\\", 257, u'n')},
      {"deep drive path", u"C:" + deep, u"\\\\?\\C:" + deep},
      {"deep UNC path", u"\\\\server\\share" + deep, u"\\\\?\\UNC\\server\\share" + deep},
      {"short UNC path", u"\\\\server\\share\\m.pdb", u"\\\\server\\share\\m.pdb"},
      {"deep long form", u"\\\\?\\C:" + deep, u"\\\\?\\C:" + deep},
      {"a device", u"\\\\.\\CON", u""},
      {"a long device path", Spelled(u"\\\\.\\", 300, u'd'), u""},
      {"neither drive nor share", Spelled(u"\\", 300, u'd'), u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    std::u16string buffer(LongFormRoom, u'#');
    buffer += c.Full;
    buffer += u'\0';
    const std::u16string_view open = PathToOpen(buffer.data(), c.Full.size());
    EXPECT_EQ(Narrow(open), Narrow(c.Open));
    if (!open.empty()) {
      EXPECT_EQ(open.data()[open.size()], u'\0') << "the path to open ends at the NUL";
    }
  }
}

// Online-only cloud files and offline storage are recalled by reading, and
// virtual items by opening; files whose data is here, pinned or not, are read.
TEST(WindowsPath, FilesWhoseDataIsElsewhere) {
  struct Case {
    const char* Label;
    std::uint32_t Attributes;
    bool Elsewhere;
  };
  const Case cases[] = {
      {"ordinary file", 0x20, false}, // archive
      {"read-only, hidden, system", 0x07, false},
      {"normal", 0x80, false},
      {"cloud file, pinned and present", 0x80000 | 0x400 | 0x20, false},     // pinned, reparse point
      {"cloud file, present, may be freed", 0x100000 | 0x400 | 0x20, false}, // unpinned
      {"cloud file, online only", 0x400000 | 0x100000 | 0x400 | 0x20, true},
      {"cloud file, online only, nothing else", 0x400000, true},
      {"offline storage", 0x1000 | 0x20, true},
      {"virtual item, fetched when opened", 0x40000, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    EXPECT_EQ(DataIsElsewhere(c.Attributes), c.Elsewhere);
  }
}

} // namespace
