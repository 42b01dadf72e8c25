// The configuration base class: a component that stores its persisted properties
// in a file in the component text format.
#pragma once

#include "settings/UfnComponent.h"

#include <string>

class TCustomConfigManager : public TComponent {
public:
  explicit TCustomConfigManager(TComponent* owner = nullptr);

  std::string ClassName() const override { return "TCustomConfigManager"; }

  // The full path of the file in which the object is stored. Empty after construction; set
  // by the owner of the object before the first load or save.
  std::string ConfigFile;

  // Reads ConfigFile into this object when the file exists; nothing happens when it does not.
  // EFOpenError "Cannot open file \"%s\". %s" when it exists but cannot be read; the errors of
  // ReadComponentText for a text that the reader refuses (the object then holds what the
  // reader assigned before its fault).
  void LoadConfig();

  // Writes this object into ConfigFile. The text goes to a new temporary file in the same
  // folder, which then replaces the old file in one rename: a crash, a kill or a full disk
  // never leaves an empty or cut file, and on failure the old file stays as it was.
  // EFCreateError "Cannot create file \"%s\". %s" when the file cannot be made or replaced
  // (the folder must exist); EWriteError "Stream write error" when the text cannot be written
  // (no room left).
  void SaveConfig();
};

// The expanded full path of a file name, as the error messages give it: a relative name is
// taken from the current folder, and "." and ".." steps are resolved.
std::string ExpandFileName(const std::string& fileName);
