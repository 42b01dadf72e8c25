#include "users/UfnUserJobs.h"

#include "base/UfnText.h"

TUserCheck SaveRegistryUser(TclsUserMgr& registry, const std::string& id,
                            const std::string& password) {
  const std::string trimmedId = text::Trim(id), trimmedPassword = text::Trim(password);
  const TUserCheck check = CheckUser(trimmedId, trimmedPassword);
  if (check != TUserCheck::Ok) return check;
  registry.SetUser(trimmedId, trimmedPassword);
  registry.Save();
  return check;
}
