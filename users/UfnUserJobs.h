// What a person asks of the user registry, done once for the user manager and orlenway-admin.
#pragma once

#include "users/UclsUserMgr.h"

#include <string>

// Saves an account as typed: blanks and control characters are trimmed from both ends of the
// ID and the password, CheckUser judges them, and only on Ok is the account stored (in place
// of the one with the same ID, SameUserId, in the ID's new spelling, else appended) and
// User.Dat written. Errors of the write reach the caller; the account then stays in memory.
TUserCheck SaveRegistryUser(TclsUserMgr& registry, const std::string& id,
                            const std::string& password);
