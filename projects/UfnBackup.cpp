#include "projects/UfnBackup.h"

#include <cstdio>

void ConfigureBackupZip(TZip& zip, const std::string& sourceFolder,
                        const std::string& archivePath) {
  zip.Attributes = {fsZeroAttr, fsReadOnly, fsArchive, fsCompressed, fsEncrypted};
  zip.AttributesEx = {};
  zip.DeleteOptions = doAllowUndo;
  zip.SetArcType(atZip);
  // Before the archive path, which takes it when it has no extension.
  zip.SetDefaultExt(".zip");
  zip.StoreFilesOfType = {".ACE", ".ARC", ".ARJ", ".BH",  ".CAB", ".ENC", ".GZ",  ".HA",
                          ".JAR", ".LHA", ".LZH", ".PAK", ".PK3", ".PK_", ".RAR", ".TAR",
                          ".TGZ", ".UUE", ".UU",  ".WAR", ".XXE", ".Z",   ".ZIP", ".ZOO"};
  // Left empty: the builder then uses the system's temporary folder.
  zip.TempDir.clear();

  zip.SetArchiveFile(archivePath);
  zip.DateAttribute = daFileDate;
  zip.SetStoredDirNames(sdRelative);
  zip.SetCompressMethod(cmDeflate);
  zip.RecurseDirs = true;
  zip.SetSwitch(swAdd);
  zip.StoreEmptySubDirs = true;
  zip.SetEncryptHeaders(false);
  zip.ExcludeSpec.clear();
  zip.FileSpec = {sourceFolder + "*.*"};
  for (TScanAttribute kind : {fsZeroAttr, fsArchive, fsDirectory, fsHidden, fsReadOnly, fsSysFile})
    zip.IncludeAttribute(kind, true);
}

std::string BackupArchiveName(const std::string& project, std::time_t when) {
  std::tm local{};
#ifdef _WIN32
  const bool converted = ::localtime_s(&local, &when) == 0;
#else
  const bool converted = ::localtime_r(&when, &local) != nullptr;
#endif
  char stamp[40] = "";
  // A time the system cannot convert leaves the name without a stamp.
  if (converted)
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02dT%02d%02d%02dZ", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return project + "_" + stamp + ".zip";
}
