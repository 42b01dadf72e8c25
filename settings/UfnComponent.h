// The component base: an owned object with a `Name`, and the persisted-property
// model through which the component text format (UfnComponentText) writes and reads objects.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class TComponent;

// The two kinds of persisted property that the format stores.
enum class TPropertyKind { String, Integer };

// One entry of a class's ordered list of persisted properties.
struct TPropertyInfo {
  std::string Name; // an identifier; looked up without regard to ASCII case when reading
  TPropertyKind Kind = TPropertyKind::String;
  // Access. A getter and a setter may have effects of their own (TclsBasicSetting's Port).
  std::function<std::string(TComponent&)> GetString;
  std::function<void(TComponent&, const std::string&)> SetString;
  std::function<int32_t(TComponent&)> GetInteger;
  std::function<void(TComponent&, int32_t)> SetInteger;
  // Integer properties only: the declared default value, if any. A string property is left
  // out when empty; an integer property only when it declares a default and holds it.
  std::optional<int32_t> Default;
  // A property that is not stored never gets a property line (the base key Name).
  bool Stored = true;
};

using TPropertyList = std::vector<TPropertyInfo>;

// Helpers that build entries for members of a class T derived from TComponent.
template <class T> TPropertyInfo StringField(const char* name, std::string T::*field) {
  TPropertyInfo p;
  p.Name = name;
  p.Kind = TPropertyKind::String;
  p.GetString = [field](TComponent& c) { return static_cast<T&>(c).*field; };
  p.SetString = [field](TComponent& c, const std::string& v) { static_cast<T&>(c).*field = v; };
  return p;
}

template <class T>
TPropertyInfo IntegerProperty(const char* name, int32_t (T::*getter)(), void (T::*setter)(int32_t),
                              std::optional<int32_t> defaultValue = std::nullopt) {
  TPropertyInfo p;
  p.Name = name;
  p.Kind = TPropertyKind::Integer;
  p.GetInteger = [getter](TComponent& c) { return (static_cast<T&>(c).*getter)(); };
  p.SetInteger = [setter](TComponent& c, int32_t v) { (static_cast<T&>(c).*setter)(v); };
  p.Default = defaultValue;
  return p;
}

// The owned-object base. An owner frees the components it owns when it is freed; a component
// that is freed first leaves its owner's list.
class TComponent {
public:
  explicit TComponent(TComponent* owner = nullptr);
  virtual ~TComponent();
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* GetOwner() const { return FOwner; }
  const std::vector<TComponent*>& Components() const { return FComponents; }

  // The component's name: empty or an identifier (a letter A-Z, a-z or "_", then letters,
  // digits and "_"). SetName raises EComponentError "''%s'' is not a valid component name"
  // for anything else, and "A component named %s already exists" when another component of
  // the same owner has that name (ASCII case ignored).
  const std::string& GetName() const { return FName; }
  void SetName(const std::string& name);

  // The class name that the component text header names.
  virtual std::string ClassName() const { return "TComponent"; }

  // Base keys. Tag: integer with default 0. Left and Top: integers held in 16 bits;
  // the reader keeps the low 16 bits of the value it gets.
  int32_t Tag = 0;
  uint16_t Left = 0;
  uint16_t Top = 0;

  // The ordered list of persisted properties, base class first: Name and Tag, then each
  // derived class's own properties in declaration order (DeclareProperties), then Left and
  // Top, which the base defines after the class's own, as the writer puts them.
  TPropertyList PersistedProperties();

  static bool IsValidIdent(const std::string& s);

protected:
  // Derived classes call the base version first, then append their own properties.
  virtual void DeclareProperties(TPropertyList& list);

private:
  int32_t GetTag() { return Tag; }
  void SetTag(int32_t v) { Tag = v; }
  int32_t GetLeft() { return Left; }
  void SetLeft(int32_t v) { Left = static_cast<uint16_t>(static_cast<uint32_t>(v) & 0xFFFFu); }
  int32_t GetTop() { return Top; }
  void SetTop(int32_t v) { Top = static_cast<uint16_t>(static_cast<uint32_t>(v) & 0xFFFFu); }

  TComponent* FOwner = nullptr;
  std::vector<TComponent*> FComponents;
  std::string FName;
};
