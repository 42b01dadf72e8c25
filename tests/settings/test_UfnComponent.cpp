// The component base and the persisted-property model.
#include "base/UfnErrors.h"
#include "settings/UclsBasicSetting.h"
#include "settings/UfnComponent.h"

#include <gtest/gtest.h>

namespace {

class TCounted : public TComponent {
public:
  TCounted(TComponent* owner, int& alive) : TComponent(owner), FAlive(alive) { ++FAlive; }
  ~TCounted() override { --FAlive; }

private:
  int& FAlive;
};

std::string Names(const TPropertyList& list) {
  std::string out;
  for (const TPropertyInfo& p : list)
    out += (out.empty() ? "" : ",") + p.Name;
  return out;
}

} // namespace

TEST(Component, AnOwnerFreesWhatItOwns) {
  int alive = 0;
  {
    TComponent root;
    auto* a = new TCounted(&root, alive);
    new TCounted(a, alive);
    new TCounted(&root, alive);
    EXPECT_EQ(alive, 3);
    EXPECT_EQ(root.Components().size(), 2u);
    EXPECT_EQ(a->GetOwner(), &root);
    delete a; // leaves its owner's list and takes its own child along
    EXPECT_EQ(alive, 1);
    EXPECT_EQ(root.Components().size(), 1u);
  }
  EXPECT_EQ(alive, 0);
}

TEST(Component, NamesAreEmptyOrIdentifiers) {
  TComponent c;
  EXPECT_EQ(c.GetName(), "");
  c.SetName("Main");
  c.SetName("_x9");
  EXPECT_EQ(c.GetName(), "_x9");
  for (const char* bad : {"9a", "a b", "a.b", "a-b", "\xEC\xA0\x80", " a"}) {
    try {
      c.SetName(bad);
      ADD_FAILURE() << bad;
    } catch (const EComponentError& e) {
      EXPECT_EQ(std::string(e.what()),
                "''" + std::string(bad) + "'' is not a valid component name");
    }
  }
  EXPECT_EQ(c.GetName(), "_x9");
  c.SetName("");
  EXPECT_EQ(c.GetName(), "");
}

TEST(Component, SiblingsHaveDifferentNames) {
  TComponent owner;
  auto* a = new TComponent(&owner);
  auto* b = new TComponent(&owner);
  a->SetName("Same");
  EXPECT_THROW(b->SetName("same"), EComponentError);
  b->SetName("Other");
  a->SetName("Same"); // its own name again
  EXPECT_EQ(b->GetName(), "Other");
}

TEST(Component, PropertyListRunsBaseFirstAndLeftTopLast) {
  TComponent c;
  EXPECT_EQ(Names(c.PersistedProperties()), "Name,Tag,Left,Top");
  TclsBasicSetting s;
  TPropertyList list = s.PersistedProperties();
  EXPECT_EQ(Names(list), "Name,Tag,SVNPath,RepoPath,BackupPath,Port,Left,Top");
  EXPECT_FALSE(list[0].Stored);
  EXPECT_EQ(list[0].Kind, TPropertyKind::String);
  EXPECT_EQ(list[1].Kind, TPropertyKind::Integer);
  EXPECT_EQ(list[1].Default, 0);
  for (size_t i = 2; i <= 4; ++i)
    EXPECT_EQ(list[i].Kind, TPropertyKind::String);
  EXPECT_EQ(list[5].Kind, TPropertyKind::Integer);
  EXPECT_FALSE(list[5].Default.has_value()) << "Port declares no default";
  EXPECT_EQ(list[6].Default, 0);
  EXPECT_EQ(list[7].Default, 0);
  // Access goes through the getters and setters.
  list[5].SetInteger(s, 0);
  EXPECT_EQ(list[5].GetInteger(s), 3690);
  list[3].SetString(s, "r");
  EXPECT_EQ(s.RepoPath, "r");
  list[6].SetInteger(s, 0x12345);
  EXPECT_EQ(s.Left, 0x2345);
  list[0].SetString(s, "N");
  EXPECT_EQ(s.GetName(), "N");
  EXPECT_THROW(list[0].SetString(s, "no good"), EComponentError);
}

TEST(Component, ClassNames) {
  TComponent c;
  TCustomConfigManager m;
  TclsBasicSetting s;
  EXPECT_EQ(c.ClassName(), "TComponent");
  EXPECT_EQ(m.ClassName(), "TCustomConfigManager");
  EXPECT_EQ(s.ClassName(), "TclsBasicSetting");
  EXPECT_EQ(m.ConfigFile, "");
  EXPECT_EQ(Names(m.PersistedProperties()), "Name,Tag,Left,Top");
  TComponent owner;
  auto* owned = new TclsBasicSetting(&owner);
  EXPECT_EQ(owned->GetOwner(), &owner);
  EXPECT_EQ(s.GetOwner(), nullptr);
  EXPECT_EQ(s.GetName(), "");
}
