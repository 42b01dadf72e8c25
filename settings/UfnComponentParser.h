// Phase 1 of reading the component text format: the syntax of a whole text, kept as far as
// phase 2 needs it. Nothing is assigned to an object here.
#pragma once

#include "settings/UfnComponentText.h"

#include <cstdint>
#include <string>
#include <vector>

namespace component_text {

enum class TValueKind { String, Integer, Float, Name, List, Set, Collection, Binary };

struct TTextValue {
  TValueKind Kind = TValueKind::String;
  std::u16string String; // String
  int64_t Integer = 0;   // Integer
  std::string Text;      // Name: the dotted name; Binary: the bytes
};

struct TTextItem {
  std::string Key; // as the text spells it, dotted keys joined by "."
  TTextValue Value;
};

struct TTextObject {
  std::string ObjectName; // empty when the header names none
  std::string ClassName;
  std::vector<TTextItem> Items;          // the outermost object's property items
  std::vector<std::string> ChildClasses; // the class names of its direct child objects
};

// The outermost object of the text; EParserError or EConvertError at the first fault.
TTextObject ParseComponentText(TTextInput& stream);

} // namespace component_text
