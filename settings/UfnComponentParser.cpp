#include "settings/UfnComponentParser.h"

#include "base/UfnErrors.h"
#include "settings/UfnComponentLexer.h"

namespace component_text {

namespace {

// Phase 1. The grammar is run with an explicit stack, so that deep nesting of lists,
// collections and child objects cannot exhaust the machine stack; only what phase 2 needs is
// kept: the outermost object's header, its property items, and its children's class names.
class TTextParser {
public:
  explicit TTextParser(TTextInput& stream) : FParser(stream) {}

  TTextObject Parse() {
    BeginObject();
    while (!FStack.empty())
      Step();
    return std::move(FRoot);
  }

private:
  enum class TFrame { ObjectProperties, ObjectChildren, List, Collection, Item };

  // At "object", "inherited" or "inline": reads the header and opens the object.
  void BeginObject() {
    TParser& p = FParser;
    if (!p.TokenSymbolIs("INHERITED") && !p.TokenSymbolIs("INLINE")) p.CheckTokenSymbol("OBJECT");
    p.NextToken();
    // The header: [ObjectName ":"] ClassName ["[" Integer "]"]
    p.CheckToken(toSymbol);
    std::string className = p.TokenString(), objectName;
    if (p.NextToken() == ':') {
      p.NextToken();
      p.CheckToken(toSymbol);
      objectName = className;
      className = p.TokenString();
      p.NextToken();
    }
    OrderModifier();
    if (FStack.empty()) {
      FRoot.ObjectName = objectName;
      FRoot.ClassName = className;
    } else if (FStack.size() == 1) {
      FRoot.ChildClasses.push_back(className); // a direct child of the outermost object
    }
    FStack.push_back(TFrame::ObjectProperties);
  }

  // "[" Integer "]", optional.
  void OrderModifier() {
    TParser& p = FParser;
    if (p.Token() != '[') return;
    p.NextToken();
    p.CheckToken(toInteger);
    p.TokenInt();
    p.NextToken();
    p.CheckToken(']');
    p.NextToken();
  }

  bool AtObjectEnd() const {
    return FParser.TokenSymbolIs("END") || FParser.TokenSymbolIs("OBJECT") ||
           FParser.TokenSymbolIs("INHERITED") || FParser.TokenSymbolIs("INLINE");
  }

  void Step() {
    TParser& p = FParser;
    switch (FStack.back()) {
    case TFrame::ObjectProperties:
      if (AtObjectEnd())
        FStack.back() = TFrame::ObjectChildren;
      else
        Property(FStack.size() == 1 ? &FRoot : nullptr);
      break;
    case TFrame::ObjectChildren:
      if (p.TokenSymbolIs("END")) {
        FStack.pop_back();
        p.NextToken();
      } else {
        BeginObject();
      }
      break;
    case TFrame::List:
      if (p.Token() == ')') {
        FStack.pop_back();
        p.NextToken();
      } else {
        Value(nullptr);
      }
      break;
    case TFrame::Collection:
      if (p.Token() == '>') {
        FStack.pop_back();
        p.NextToken();
      } else {
        p.CheckTokenSymbol("item");
        p.NextToken();
        OrderModifier();
        FStack.push_back(TFrame::Item);
      }
      break;
    case TFrame::Item:
      if (p.TokenSymbolIs("end")) {
        FStack.pop_back();
        p.NextToken();
      } else {
        Property(nullptr);
      }
      break;
    }
  }

  // A property item; kept in `root` when given.
  void Property(TTextObject* root) {
    TParser& p = FParser;
    p.CheckToken(toSymbol);
    std::string key = p.TokenString();
    p.NextToken();
    while (p.Token() == '.') {
      p.NextToken();
      p.CheckToken(toSymbol);
      key += '.';
      key += p.TokenString();
      p.NextToken();
    }
    p.CheckToken('=');
    p.NextToken();
    if (root) {
      root->Items.push_back(TTextItem{std::move(key), {}});
      Value(&root->Items.back().Value);
    } else {
      Value(nullptr);
    }
  }

  // A value, chosen by its first token. Lists and collections push a frame; every other
  // value is read whole, and the token after it becomes the current one.
  void Value(TTextValue* out) {
    TParser& p = FParser;
    TTextValue v;
    char t = p.Token();
    if (t == toString || t == toWString) {
      v.Kind = TValueKind::String;
      v.String = p.TokenWideString();
      while (p.NextToken() == '+') {
        p.NextToken();
        if (p.Token() != toString && p.Token() != toWString) p.CheckToken(toString);
        v.String += p.TokenWideString();
      }
      if (out) *out = std::move(v);
      return;
    }
    switch (t) {
    case toSymbol:
      v.Kind = TValueKind::Name;
      v.Text = p.TokenComponentIdent();
      break;
    case toInteger:
      v.Kind = TValueKind::Integer;
      v.Integer = p.TokenInt();
      break;
    case toFloat:
      v.Kind = TValueKind::Float;
      p.TokenFloat();
      break;
    case '[':
      v.Kind = TValueKind::Set;
      p.NextToken();
      if (p.Token() != ']') {
        for (;;) {
          if (p.Token() != toInteger) p.CheckToken(toSymbol);
          if (p.NextToken() == ']') break;
          p.CheckToken(',');
          p.NextToken();
        }
      }
      break;
    case '(':
      v.Kind = TValueKind::List;
      if (out) *out = std::move(v);
      p.NextToken();
      FStack.push_back(TFrame::List);
      return;
    case '{':
      v.Kind = TValueKind::Binary;
      v.Text = p.HexToBinary();
      break;
    case '<':
      v.Kind = TValueKind::Collection;
      if (out) *out = std::move(v);
      p.NextToken();
      FStack.push_back(TFrame::Collection);
      return;
    default:
      p.Error("Invalid property value");
    }
    p.NextToken();
    if (out) *out = std::move(v);
  }

  TParser FParser;
  std::vector<TFrame> FStack;
  TTextObject FRoot;
};

} // namespace

TTextObject ParseComponentText(TTextInput& stream) {
  return TTextParser(stream).Parse();
}

} // namespace component_text
