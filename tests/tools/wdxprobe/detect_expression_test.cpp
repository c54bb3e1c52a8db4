// The detection expression as the command-line host evaluates it.
#include "tools/wdxprobe/detect_expression.h"

#include <gtest/gtest.h>

namespace {

TEST(DetectExpression, MatchesExtensionsAsHostsDo) {
  struct Case {
    const char* Expression;
    const char* File;
    bool Matches;
  };
  const Case cases[] = {
      {R"(EXT="PDB"|EXT="PRC")", "MemoDB.pdb", true},
      {R"(EXT="PDB"|EXT="PRC")", "Game.PRC", true},
      {R"(EXT="PDB"|EXT="PRC")", "/x/y.Pdb", true},
      {R"(EXT="PDB"|EXT="PRC")", "notes.txt", false},
      {R"(EXT="PDB"|EXT="PRC")", "memo.pdbak", false},
      {R"(EXT="PDB"|EXT="PRC")", "dir.pdb/memo", false},
      {R"(EXT="PDB"|EXT="PRC")", "C:\\Palm.pdb\\memo", false},
      {R"(EXT="PDB"|EXT="PRC")", "pdb", false},
      {R"(EXT="PDB"|EXT="PRC")", "archive.tar.pdb", true},
      {R"(EXT="TXT" & !EXT="TXT")", "a.txt", false},
      {R"(!(EXT="PDB"|EXT="PRC"))", "a.txt", true},
      {R"(!(EXT="PDB"|EXT="PRC"))", "a.pdb", false},
      {R"(EXT!="PDB")", "a.prc", true},
      {R"(  EXT = "PDB" )", "a.pdb", true}, // not understood: taken as matching
      {R"(EXT="PDB" & SIZE>100)", "a.pdb", true},
      {R"(EXT="PDB" & SIZE>100)", "a.txt", false},
      {R"(EXT="" )", "noextension", true},
      {"", "anything.at.all", true},
      {R"(EXT="PDB" |)", "a.txt", true}, // cannot be parsed: every file
      {R"((EXT="PDB")", "a.txt", true},
      {R"(EXT="A|B")", "x.a|b", true}, // operators inside quotes are text
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Expression) + " / " + c.File);
    EXPECT_EQ(DetectMatches(ParseDetectExpression(c.Expression), c.File), c.Matches);
  }
}

TEST(DetectExpression, ReportsWhatItDoesNotUnderstand) {
  const auto expression = ParseDetectExpression(R"(EXT="PDB" & (SIZE>100 | FIND("BOOKMOBI")))");
  EXPECT_TRUE(expression.Valid);
  ASSERT_EQ(expression.UnknownTerms.size(), 2u);
  EXPECT_EQ(expression.UnknownTerms[0], "SIZE>100");
  EXPECT_EQ(expression.UnknownTerms[1], R"(FIND("BOOKMOBI"))");
  EXPECT_FALSE(ParseDetectExpression(R"(EXT="PDB" & )").Valid);
  EXPECT_TRUE(ParseDetectExpression(R"(EXT="PDB"|EXT="PRC")").UnknownTerms.empty());
}

} // namespace
