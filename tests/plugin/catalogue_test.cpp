// The plug-in's catalogue as a host reads it through the exports: the
// fields, their types and units, the detect string, the flags and sort
// orders, and what each export does with a buffer of any size.
#include "tests/support/asking.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace {

TEST(Catalogue, EnumeratesEightStringFieldsThenStops) {
  const char* const expected[] = {"DBName",       "DBType",       "CreatorID",  "DataCreated",
                                  "DataModified", "DataBackedUp", "NumRecords", "Version"};
  int index = 0;
  for (;; ++index) {
    ASSERT_LT(index, 100) << "enumeration never ends";
    std::vector<char> name(64, static_cast<char>(Marker));
    std::vector<char> units(64, static_cast<char>(Marker));
    const int type = LoadedPlugin().GetSupportedField(index, name.data(), units.data(), 64);
    if (type == FieldNoMoreFields) break;
    SCOPED_TRACE(index);
    ASSERT_LT(index, 8);
    EXPECT_EQ(type, FieldTypeString) << "every field is declared as text, the dates too";
    EXPECT_STREQ(name.data(), expected[index]);
    EXPECT_EQ(units[0], '\0');
    for (std::size_t i = 1; i < units.size(); ++i) ASSERT_EQ(units[i], static_cast<char>(Marker));
  }
  EXPECT_EQ(index, 8);
}

// Hosts see numbers, not names: these are the interface's values.
TEST(Catalogue, CodesAreTheNumbersHostsKnow) {
  char name[64];
  char units[64];
  EXPECT_EQ(LoadedPlugin().GetSupportedField(8, name, units, 64), 0) << "no more fields";
  EXPECT_EQ(LoadedPlugin().GetSupportedField(0, name, units, 64), 8) << "string";
  EXPECT_EQ(FieldTypeDate, 4);
  EXPECT_EQ(FieldTypeString, 8);
  EXPECT_EQ(FieldNoMoreFields, 0);
  EXPECT_EQ(FieldDelayed, 0);
  EXPECT_EQ(FieldNoSuchField, -1);
  EXPECT_EQ(FieldEmpty, -3);
  EXPECT_EQ(DelayIfSlow, 1);
}

TEST(Catalogue, CutsNamesToTheBufferSize) {
  struct Case {
    int Index;
    int Size;
    const char* Expected;
  };
  const Case cases[] = {{2, 5, "Crea"},          {0, 1, ""},           {4, 12, "DataModifie"},
                        {4, 13, "DataModified"}, {7, 2048, "Version"}, {5, 2, "D"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.Index) + "/" + std::to_string(c.Size));
    std::vector<char> name(static_cast<std::size_t>(c.Size) + Slack, static_cast<char>(Marker));
    char units[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(LoadedPlugin().GetSupportedField(c.Index, name.data(), units, c.Size), FieldTypeString);
    const std::size_t length = std::strlen(c.Expected);
    EXPECT_EQ(std::string(name.data(), length), c.Expected);
    EXPECT_EQ(name[length], '\0');
    for (std::size_t i = length + 1; i < name.size(); ++i) ASSERT_EQ(name[i], static_cast<char>(Marker));
    EXPECT_EQ(units[0], '\0');
    EXPECT_EQ(units[1], 'x') << "units get one NUL, no more";
  }
}

TEST(Catalogue, LeavesBuffersAloneOutsideTheCatalogueOrWithoutRoom) {
  struct Case {
    const char* Label;
    int Index;
    int Size;
    bool NullName;
    bool NullUnits;
    int Result;
    bool UnitsWritten;
  };
  const Case cases[] = {
      {"index -1", -1, 64, false, false, FieldNoMoreFields, false},
      {"index 8", 8, 64, false, false, FieldNoMoreFields, false},
      {"INT_MIN", INT_MIN, 64, false, false, FieldNoMoreFields, false},
      {"INT_MAX", INT_MAX, 64, false, false, FieldNoMoreFields, false},
      {"size 0", 0, 0, false, false, FieldTypeString, true},
      {"size -1", 1, -1, false, false, FieldTypeString, true},
      {"size INT_MIN", 1, INT_MIN, false, false, FieldTypeString, true},
      {"null name", 3, 64, true, false, FieldTypeString, true},
      {"null units", 3, 64, false, true, FieldTypeString, false},
      {"both null", 3, 64, true, true, FieldTypeString, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    std::vector<char> name(64 + Slack, static_cast<char>(Marker));
    std::vector<char> units(16, static_cast<char>(Marker));
    const int result = LoadedPlugin().GetSupportedField(c.Index, c.NullName ? nullptr : name.data(),
                                                        c.NullUnits ? nullptr : units.data(), c.Size);
    EXPECT_EQ(result, c.Result);
    const bool nameWritten = result == FieldTypeString && !c.NullName && c.Size >= 1;
    if (!nameWritten) {
      for (const char byte : name) ASSERT_EQ(byte, static_cast<char>(Marker));
    }
    EXPECT_EQ(units[0], c.UnitsWritten ? '\0' : static_cast<char>(Marker));
    for (std::size_t i = 1; i < units.size(); ++i) ASSERT_EQ(units[i], static_cast<char>(Marker));
  }
}

TEST(DetectString, CutsTheExpressionToTheBufferSize) {
  const std::string whole = R"(EXT="PDB"|EXT="PRC")";
  struct Case {
    int Size;
    std::size_t Length; // bytes of the expression before the NUL; npos: nothing written
  };
  const Case cases[] = {{1, 0},
                        {10, 9},
                        {19, 18},
                        {20, 19},
                        {2048, 19},
                        {0, std::string::npos},
                        {-1, std::string::npos},
                        {INT_MIN, std::string::npos}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Size);
    std::vector<char> buffer(static_cast<std::size_t>(std::max(c.Size, 0)) + Slack,
                             static_cast<char>(Marker));
    LoadedPlugin().GetDetectString(buffer.data(), c.Size);
    std::size_t untouchedFrom = 0;
    if (c.Length != std::string::npos) {
      EXPECT_EQ(std::string(buffer.data(), c.Length), whole.substr(0, c.Length));
      EXPECT_EQ(buffer[c.Length], '\0');
      untouchedFrom = c.Length + 1;
    }
    for (std::size_t i = untouchedFrom; i < buffer.size(); ++i)
      ASSERT_EQ(buffer[i], static_cast<char>(Marker));
  }
  LoadedPlugin().GetDetectString(nullptr, 100); // must not crash
}

} // namespace
