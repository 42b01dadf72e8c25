// The archive builder in a program without the UTF-8 manifest, on a Western system (ANSI code
// page 1252, OEM code page 437): entry names are converted to the OEM code page, without the
// UTF-8 flag, and a folder entry carries the converted name in both of its headers.
#include "ZipReader.h"
#include "archive/UZip.h"
#include "support/TestSupport.h"

#include "WinApi.h"

#include <gtest/gtest.h>

using namespace testing_support;
using namespace ziptest;

TEST(WinZipOem, NamesGoIntoTheOemCodePageAndBothHeadersAgree) {
  if (::GetACP() != 1252 || ::GetOEMCP() != 437)
    GTEST_SKIP() << "needs code pages 1252 and 437, has " << ::GetACP() << " and " << ::GetOEMCP();
  TempDir src("src"), out("out");
  MakeDirs(src / "\xE9t\xE9");         // "été" in code page 1252, an empty folder
  WriteFile(src / "caf\xE9.txt", "x"); // "café.txt"
  MakeDirs(src / "\xC4rger");          // "Ärger" with a file in it
  WriteFile(src / "\xC4rger\\f", "y");
  TZip zip;
  zip.SetArchiveFile(out / "b.zip");
  zip.RecurseDirs = true;
  zip.StoreEmptySubDirs = true;
  zip.FileSpec = {src.Path() + "\\*.*"};
  zip.IncludeAttribute(fsDirectory, true);
  ASSERT_EQ(zip.BuildArchive(), 3);
  TArchiveView a = ReadArchive(out / "b.zip");
  std::vector<std::string> names;
  for (const TEntryView& e : a.Entries) {
    names.push_back(e.Name);
    EXPECT_EQ(e.LocalName, e.Name);
    EXPECT_EQ(e.Flags & 0x800, 0) << "no UTF-8 flag on OEM names";
    EXPECT_EQ(e.VersionMadeBy, 20) << "made by MS-DOS";
  }
  // In code page 437: é is 0x82, Ä is 0x8E.
  EXPECT_EQ(names, (std::vector<std::string>{"caf\x82.txt", "\x8Erger/f", "\x82t\x82/"}));

  zip.TranslateOemChar = false;
  ASSERT_EQ(zip.BuildArchive(), 3);
  a = ReadArchive(out / "b.zip");
  EXPECT_EQ(a.Entries[2].Name, "\xE9t\xE9/") << "the ANSI bytes as they are";
  EXPECT_EQ(a.Entries[2].Flags & 0x800, 0);
}
