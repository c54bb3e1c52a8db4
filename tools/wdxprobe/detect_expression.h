// The detection expression by which a content plug-in names the files it
// wants, evaluated as file managers do for the extension tests.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// A parsed expression: terms joined by | and &, negated by !, grouped by
// parentheses. EXT="X" and EXT!="X" compare the file's extension (without
// the dot) case-insensitively; every other term is kept as unknown and
// counts as matching.
struct TDetectNode {
  enum class Kind { Or, And, Not, ExtEquals, ExtDiffers, Unknown, Constant };
  Kind Type;
  std::string Text;          // the extension compared, or the unknown term as written
  std::vector<int> Operands; // node indexes
};

struct TDetectExpression {
  std::vector<TDetectNode> Nodes; // the root is the last node
  std::vector<std::string> UnknownTerms;
  bool Valid = true; // false: the text could not be parsed, and everything matches
};

TDetectExpression ParseDetectExpression(std::string_view text);

// Whether a file with this name matches. The extension is what follows the
// last dot of the name's last component.
bool DetectMatches(const TDetectExpression& expression, std::string_view fileName);
