#include "tools/wdxprobe/detect_expression.h"

#include <cctype>

namespace {

struct TParser {
  std::string_view Text;
  std::size_t Position = 0;
  TDetectExpression Result;
  bool Failed = false;

  void SkipSpaces() {
    while (Position < Text.size() && std::isspace(static_cast<unsigned char>(Text[Position]))) ++Position;
  }
  bool Accept(char c) {
    SkipSpaces();
    if (Position < Text.size() && Text[Position] == c) {
      ++Position;
      return true;
    }
    return false;
  }
  int Add(TDetectNode node) {
    Result.Nodes.push_back(std::move(node));
    return static_cast<int>(Result.Nodes.size()) - 1;
  }

  int ParseOr() {
    int left = ParseAnd();
    while (!Failed && Accept('|')) left = Add({TDetectNode::Kind::Or, {}, {left, ParseAnd()}});
    return left;
  }
  int ParseAnd() {
    int left = ParseNot();
    while (!Failed && Accept('&')) left = Add({TDetectNode::Kind::And, {}, {left, ParseNot()}});
    return left;
  }
  int ParseNot() {
    if (Accept('!')) return Add({TDetectNode::Kind::Not, {}, {ParseNot()}});
    if (Accept('(')) {
      const int inner = ParseOr();
      if (!Accept(')')) Failed = true;
      return inner;
    }
    return ParseTerm();
  }
  // A term runs to the next operator or closing parenthesis outside quotes
  // and outside its own parentheses.
  int ParseTerm() {
    SkipSpaces();
    const std::size_t start = Position;
    bool quoted = false;
    int depth = 0; // parentheses of a function term such as FIND("...")
    while (Position < Text.size()) {
      const char c = Text[Position];
      if (c == '"') quoted = !quoted;
      if (!quoted) {
        if ((c == '|' || c == '&' || c == ')') && depth == 0) break;
        if (c == '(') ++depth;
        if (c == ')') --depth;
      }
      ++Position;
    }
    std::string_view term = Text.substr(start, Position - start);
    while (!term.empty() && std::isspace(static_cast<unsigned char>(term.back()))) term.remove_suffix(1);
    if (term.empty() || quoted) {
      Failed = true;
      return Add({TDetectNode::Kind::Constant, {}, {}});
    }
    return Add(ClassifyTerm(term));
  }
  TDetectNode ClassifyTerm(std::string_view term) {
    std::string upper;
    for (const char c : term) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const auto& [prefix, kind] :
         {std::pair{std::string_view("EXT=\""), TDetectNode::Kind::ExtEquals},
          std::pair{std::string_view("EXT!=\""), TDetectNode::Kind::ExtDiffers}}) {
      if (upper.starts_with(prefix) && upper.size() > prefix.size() && upper.back() == '"') {
        return {kind, upper.substr(prefix.size(), upper.size() - prefix.size() - 1), {}};
      }
    }
    Result.UnknownTerms.emplace_back(term);
    return {TDetectNode::Kind::Unknown, std::string(term), {}};
  }
};

// What follows the last dot of the name's last component; empty when it has
// no dot, as when it ends in one.
std::string_view Extension(std::string_view fileName) {
  const std::size_t separator = fileName.find_last_of("/\\");
  if (separator != std::string_view::npos) fileName.remove_prefix(separator + 1);
  const std::size_t dot = fileName.rfind('.');
  return dot == std::string_view::npos ? std::string_view{} : fileName.substr(dot + 1);
}

// Compares without regard to ASCII case; `upper` is in upper case already.
bool EqualsUpper(std::string_view text, std::string_view upper) {
  if (text.size() != upper.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(text[i])) != static_cast<unsigned char>(upper[i]))
      return false;
  }
  return true;
}

bool Evaluate(const TDetectExpression& expression, int node, std::string_view extension) {
  const TDetectNode& n = expression.Nodes[static_cast<std::size_t>(node)];
  switch (n.Type) {
  case TDetectNode::Kind::Or:
    return Evaluate(expression, n.Operands[0], extension) || Evaluate(expression, n.Operands[1], extension);
  case TDetectNode::Kind::And:
    return Evaluate(expression, n.Operands[0], extension) && Evaluate(expression, n.Operands[1], extension);
  case TDetectNode::Kind::Not:
    return !Evaluate(expression, n.Operands[0], extension);
  case TDetectNode::Kind::ExtEquals:
    return EqualsUpper(extension, n.Text);
  case TDetectNode::Kind::ExtDiffers:
    return !EqualsUpper(extension, n.Text);
  case TDetectNode::Kind::Unknown:
  case TDetectNode::Kind::Constant:
    return true;
  }
  return true;
}

} // namespace

TDetectExpression ParseDetectExpression(std::string_view text) {
  TParser parser;
  parser.Text = text;
  parser.SkipSpaces();
  if (parser.Position == text.size()) {
    parser.Add({TDetectNode::Kind::Constant, {}, {}}); // no expression: every file
    return parser.Result;
  }
  parser.ParseOr();
  parser.SkipSpaces();
  if (parser.Failed || parser.Position != text.size()) {
    TDetectExpression everything;
    everything.Valid = false;
    everything.Nodes.push_back({TDetectNode::Kind::Constant, {}, {}});
    return everything;
  }
  return parser.Result;
}

bool DetectMatches(const TDetectExpression& expression, std::string_view fileName) {
  if (expression.Nodes.empty()) return true;
  return Evaluate(expression, static_cast<int>(expression.Nodes.size()) - 1, Extension(fileName));
}
