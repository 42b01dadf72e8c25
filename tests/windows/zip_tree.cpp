// zip_tree <folder> <archive>: packs a folder as the backup does, under Wine, so that the
// Linux side's readers can check the archive (check_wine_zip.sh). Prints the number of
// entries and every error; exit code 0 when entries were written without an error.
#include "archive/UZip.h"

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: zip_tree <folder> <archive>\n");
    return 2;
  }
  TZip zip;
  zip.SetArchiveFile(argv[2]);
  zip.RecurseDirs = true;
  zip.StoreEmptySubDirs = true;
  std::string folder = argv[1];
  if (folder.back() != '\\') folder += '\\';
  zip.FileSpec = {folder + "*.*"};
  for (TScanAttribute k : {fsZeroAttr, fsArchive, fsDirectory, fsHidden, fsReadOnly, fsSysFile})
    zip.IncludeAttribute(k, true);
  int errors = 0;
  zip.OnError = [&errors](TZip&, const std::string& file, const std::string& extended,
                          const std::string&, int code) {
    std::fprintf(stderr, "error %d: %s %s\n", code, file.c_str(), extended.c_str());
    ++errors;
  };
  int written = zip.BuildArchive();
  std::printf("%d\n", written);
  return written > 0 && errors == 0 ? 0 : 1;
}
