// Which Windows paths name a device and are never opened.
#include "pdb/device_path.h"

#include <gtest/gtest.h>

namespace {

TEST(DevicePath, ReservedNamesAndTheDeviceNamespace) {
  struct Case {
    std::u16string_view Path;
    bool Device;
  };
  const Case cases[] = {
      {u"C:\\Palm\\CON.pdb", true},
      {u"C:\\Palm\\con.PDB", true},
      {u"C:\\Palm\\Con .pdb", true},
      {u"C:\\Palm\\nul.backup.pdb", true},
      {u"D:/a/b/PRN.prc", true},
      {u"aux.pdb", true},
      {u"C:COM1.pdb", true},
      {u"C:\\COM9.pdb", true},
      {u"C:\\com0.pdb", true},
      {u"C:\\LPT1.pdb", true},
      {u"C:\\lpt\u00B9.pdb", true},
      {u"C:\\COM\u00B3.pdb", true},
      {u"C:\\CONIN$.pdb", true},
      {u"C:\\conout$.pdb", true},
      {u"\\\\.\\pipe\\korvel.pdb", true},
      {u"//./COM1", true},
      {u"\\\\?\\pipe\\korvel.pdb", true},
      {u"\\\\?\\GLOBALROOT\\Device\\Null.pdb", true},
      {u"\\??\\C:\\x.pdb", true},
      {u"\\\\.\\", true},
      {u"\\\\?\\[:\\memo.pdb", true},
      {u"\\\\?\\C:\\Palm\\memo.pdb", false},
      {u"\\\\?\\C:", false},
      {u"\\\\?\\a:\\memo.pdb", false},
      {u"\\\\?\\Z:\\memo.pdb", false},
      {u"\\\\x\\s\\memo.pdb", false},
      {u"a\\.\\memo.pdb", false},
      {u"\\\\?\\UNC\\server\\share\\memo.pdb", false},
      {u"\\\\?\\Volume{0f0e0d0c-0000-0000-0000-000000000000}\\memo.pdb", false},
      {u"\\\\server\\share\\memo.pdb", false},
      {u"C:\\CON\\memo.pdb", false},
      {u"C:\\Palm\\CONSOLE.pdb", false},
      {u"C:\\Palm\\COM10.pdb", false},
      {u"C:\\Palm\\COM.pdb", false},
      {u"C:\\Palm\\LPTX.pdb", false},
      {u"C:\\Palm\\NULL.pdb", false},
      {u"C:\\Palm\\xCON.pdb", false},
      {u"C:\\Palm\\.pdb", false},
      {u"C:\\Palm\\AUX2.pdb", false},
      {u"memo.pdb", false},
      {u"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Path.begin(), c.Path.end()));
    EXPECT_EQ(NamesDevice(c.Path), c.Device);
  }
}

} // namespace
