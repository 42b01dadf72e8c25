#include "settings/UfnComponent.h"
#include "base/UfnText.h"

#include "base/UfnErrors.h"
#include "platform/UfnPlatform.h"

#include <algorithm>

TComponent::TComponent(TComponent* owner) : FOwner(owner) {
  if (FOwner) FOwner->FComponents.push_back(this);
}

TComponent::~TComponent() {
  // Free what this component owns, last first; each leaves the list on its own.
  while (!FComponents.empty())
    delete FComponents.back();
  if (FOwner) {
    auto& list = FOwner->FComponents;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
}

bool TComponent::IsValidIdent(const std::string& s) {
  if (s.empty()) return false;
  auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (!letter(s[0])) return false;
  for (char c : s)
    if (!letter(c) && !(c >= '0' && c <= '9')) return false;
  return true;
}

void TComponent::SetName(const std::string& name) {
  if (name == FName) return;
  if (!name.empty() && !IsValidIdent(name))
    throw EComponentError(Format("''%s'' is not a valid component name", name.c_str()));
  if (!name.empty() && FOwner) {
    for (TComponent* c : FOwner->FComponents)
      if (c != this && text::SameAsciiIgnoreCase(c->FName, name))
        throw EComponentError(Format("A component named %s already exists", name.c_str()));
  }
  FName = name;
}

void TComponent::DeclareProperties(TPropertyList& list) {
  TPropertyInfo name;
  name.Name = "Name";
  name.Kind = TPropertyKind::String;
  name.GetString = [](TComponent& c) { return c.FName; };
  name.SetString = [](TComponent& c, const std::string& v) { c.SetName(v); };
  name.Stored = false;
  list.push_back(std::move(name));
  list.push_back(IntegerProperty<TComponent>("Tag", &TComponent::GetTag, &TComponent::SetTag, 0));
}

TPropertyList TComponent::PersistedProperties() {
  TPropertyList list;
  DeclareProperties(list);
  list.push_back(
      IntegerProperty<TComponent>("Left", &TComponent::GetLeft, &TComponent::SetLeft, 0));
  list.push_back(IntegerProperty<TComponent>("Top", &TComponent::GetTop, &TComponent::SetTop, 0));
  return list;
}
