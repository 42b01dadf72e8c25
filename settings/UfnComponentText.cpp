// The component text format's streams, and the reader: phase 1 (UfnComponentParser) and then
// the assignment of the property items to the object (phase 2).
#include "settings/UfnComponentText.h"

#include "base/UfnErrors.h"
#include "base/UfnText.h"
#include "platform/UfnPlatform.h"
#include "settings/UfnComponentParser.h"

#include <algorithm>
#include <cstring>

// ---- streams -------------------------------------------------------------------------------

size_t TStringInput::Read(char* buffer, size_t count) {
  size_t n = std::min(count, FData.size() - FPosition);
  if (n) std::memcpy(buffer, FData.data() + FPosition, n);
  FPosition += n;
  return n;
}

size_t TStringOutput::Write(const char* buffer, size_t count) {
  size_t n = count;
  if (FLimited) n = std::min(count, FCapacity - std::min(FCapacity, FData.size()));
  FData.append(buffer, n);
  return n;
}

// ---- phase 2 ---------------------------------------------------------------------------------

using namespace component_text;

namespace {

[[noreturn]] void PropertyError(TComponent& object, const std::string& key,
                                const std::string& fault) {
  std::string name = object.GetName();
  if (name.empty()) name = object.ClassName();
  throw EReadError(
      Format("Error reading %s%s%s: %s", name.c_str(), ".", key.c_str(), fault.c_str()));
}

const TPropertyInfo* FindProperty(const TPropertyList& list, const std::string& name) {
  for (const TPropertyInfo& p : list)
    if (text::SameAsciiIgnoreCase(p.Name, name)) return &p;
  return nullptr;
}

void Assign(TComponent& object, const TPropertyList& list, const TTextItem& item) {
  const std::string& key = item.Key;
  auto dot = key.find('.');
  if (dot != std::string::npos) {
    std::string first = key.substr(0, dot);
    if (FindProperty(list, first)) PropertyError(object, key, "Invalid property path");
    PropertyError(object, key, Format("Property %s does not exist", first.c_str()));
  }
  const TPropertyInfo* p = FindProperty(list, key);
  if (!p) PropertyError(object, key, Format("Property %s does not exist", key.c_str()));
  const TTextValue& v = item.Value;
  if (p->Kind == TPropertyKind::String) {
    // Bytes for a string: what the writer gives a value that is no text of the code page. A
    // zero byte would end the name at the system's door, so it is refused.
    const bool bytes = v.Kind == TValueKind::Binary && platform::CodePageMayHoldRawBytes() &&
                       v.Text.find('\0') == std::string::npos;
    if (v.Kind != TValueKind::String && !bytes)
      PropertyError(object, key, "Invalid property value");
    try {
      p->SetString(object, bytes ? v.Text : platform::WideToAnsi(v.String));
    } catch (const EReadError&) {
      throw;
    } catch (const Exception& e) {
      PropertyError(object, key, e.Message());
    }
    return;
  }
  if (v.Kind != TValueKind::Integer || v.Integer < INT32_MIN || v.Integer > INT32_MAX)
    PropertyError(object, key, "Invalid property value");
  try {
    p->SetInteger(object, static_cast<int32_t>(v.Integer));
  } catch (const EReadError&) {
    throw;
  } catch (const Exception& e) {
    PropertyError(object, key, e.Message());
  }
}

} // namespace

// ---- the interface ---------------------------------------------------------------------------

void ReadComponentText(TTextInput& stream, TComponent& object) {
  TTextObject text = ParseComponentText(stream); // phase 1: nothing assigned before it ends
  object.SetName(text.ObjectName); // the header's class name is not compared with anything
  TPropertyList list = object.PersistedProperties();
  for (const TTextItem& item : text.Items)
    Assign(object, list, item);
  if (!text.ChildClasses.empty())
    throw EClassNotFound(Format("Class %s not found", text.ChildClasses.front().c_str()));
}

std::string WriteComponentText(TComponent& object) {
  TStringOutput out;
  WriteComponentText(object, out);
  return out.Data();
}

void ReadComponentText(const std::string& text, TComponent& object) {
  TStringInput in(text);
  ReadComponentText(in, object);
}
