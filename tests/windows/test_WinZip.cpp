// The archive builder on Windows: names in the system's code pages, Windows attributes, files
// that another program holds, local times. Read back with the tests' strict reader; the four
// readers of the Linux side check archives built here through check_wine_zip.sh.
#include "ZipReader.h"
#include "archive/UZip.h"
#include "platform/UfnPlatform.h"
#include "support/TestSupport.h"

#include "WinApi.h"
#include <winioctl.h>

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>

using namespace testing_support;
using namespace ziptest;

namespace {

struct TRun {
  TempDir Src{"src"}, Out{"out"};
  std::string Archive = Out / "backup.zip";
  TZip Zip;
  std::vector<int> Errors;
  std::vector<std::string> ErrorFiles;
  // Set up as the backup sets it up.
  TRun() {
    Zip.SetArchiveFile(Archive);
    Zip.RecurseDirs = true;
    Zip.StoreEmptySubDirs = true;
    Zip.FileSpec = {Src.Path() + "\\*.*"};
    for (TScanAttribute k : {fsZeroAttr, fsArchive, fsDirectory, fsHidden, fsReadOnly, fsSysFile})
      Zip.IncludeAttribute(k, true);
    Zip.OnError = [this](TZip&, const std::string& f, const std::string&, const std::string&,
                         int code) {
      Errors.push_back(code);
      ErrorFiles.push_back(f);
    };
  }
};

void SetLocalWriteTime(const std::string& path, WORD h, WORD m, WORD s) {
  SYSTEMTIME st{2024, 3, 0, 5, h, m, s, 0};
  FILETIME local, utc;
  ASSERT_TRUE(::SystemTimeToFileTime(&st, &local));
  ASSERT_TRUE(::LocalFileTimeToFileTime(&local, &utc));
  HANDLE f = ::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(::SetFileTime(f, nullptr, nullptr, &utc));
  ::CloseHandle(f);
}

} // namespace

TEST(WinZip, BackslashPathsBecomeSlashNamesAndUtf8NamesCarryTheFlagInBothHeaders) {
  TRun r;
  MakeDirs(r.Src / "db\\revs\\0");
  WriteFile(r.Src / "db\\revs\\0\\1", std::string(300, 'r'));
  MakeDirs(r.Src / "\xEC\xA0\x80\xEC\x9E\xA5\xEC\x86\x8C"); // 저장소, empty
  WriteFile(r.Src / "caf\xC3\xA9.txt", "x");                // café.txt
  EXPECT_EQ(r.Zip.BuildArchive(), 3);
  EXPECT_TRUE(r.Errors.empty());
  TArchiveView a = ReadArchive(r.Archive);
  EXPECT_EQ(EntryNames(a), (std::vector<std::string>{"caf\xC3\xA9.txt", "db/revs/0/1",
                                                     "\xEC\xA0\x80\xEC\x9E\xA5\xEC\x86\x8C/"}));
  for (const TEntryView& e : a.Entries) {
    SCOPED_TRACE(e.Name);
    EXPECT_EQ(e.LocalName, e.Name) << "both headers carry the same name";
    bool high = e.Name.find_first_of("\xC3\xEC") != std::string::npos;
    EXPECT_EQ(e.Flags & 0x800, high ? 0x800 : 0);
    EXPECT_EQ(e.LocalFlags & 0x800, high ? 0x800 : 0);
  }
  EXPECT_EQ(Entry(a, "\xEC\xA0\x80\xEC\x9E\xA5\xEC\x86\x8C/").External, 0x10u);
  EXPECT_EQ(EntryData(r.Archive, Entry(a, "db/revs/0/1")), std::string(300, 'r'));
}

TEST(WinZip, WindowsAttributesGoIntoTheCentralDirectory) {
  TRun r;
  WriteFile(r.Src / "ro.txt", "r");
  WriteFile(r.Src / "plain.txt", "p");
  WriteFile(r.Src / "hidden.txt", "h");
  ASSERT_TRUE(::SetFileAttributesA((r.Src / "ro.txt").c_str(),
                                   FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
  ASSERT_TRUE(::SetFileAttributesA((r.Src / "hidden.txt").c_str(),
                                   FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(r.Zip.BuildArchive(), 3);
  TArchiveView a = ReadArchive(r.Archive);
  EXPECT_EQ(Entry(a, "ro.txt").External, 0x21u);
  EXPECT_EQ(Entry(a, "plain.txt").External, 0x20u);
  EXPECT_EQ(Entry(a, "hidden.txt").External, 0x22u);
  for (const TEntryView& e : a.Entries)
    EXPECT_EQ(e.Internal, 1);
  ::SetFileAttributesA((r.Src / "ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(WinZip, AFileAnotherProgramHoldsWithoutSharingIsDroppedAndTheArchiveStaysValid) {
  TRun r;
  WriteFile(r.Src / "a", "aaaa");
  WriteFile(r.Src / "locked", "secret");
  WriteFile(r.Src / "z", "zzzz");
  HANDLE h = ::CreateFileA((r.Src / "locked").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  int written = r.Zip.BuildArchive();
  ::CloseHandle(h);
  EXPECT_EQ(written, 2);
  EXPECT_EQ(r.Errors, std::vector<int>{zeOpenError});
  EXPECT_EQ(r.ErrorFiles, std::vector<std::string>{r.Src / "locked"});
  TArchiveView a = ReadArchive(r.Archive);
  EXPECT_EQ(EntryNames(a), (std::vector<std::string>{"a", "z"}));
  EXPECT_EQ(EntryData(r.Archive, Entry(a, "z")), "zzzz");
}

TEST(WinZip, TheEntryTimeIsTheLocalWriteTimeWithHalvedSeconds) {
  TRun r;
  WriteFile(r.Src / "f", "x");
  SetLocalWriteTime(r.Src / "f", 14, 25, 1);
  EXPECT_EQ(r.Zip.BuildArchive(), 1);
  TArchiveView a = ReadArchive(r.Archive);
  EXPECT_EQ(a.Entries[0].Time, (14 << 11) | (25 << 5) | 0);
  EXPECT_EQ(a.Entries[0].Date, ((2024 - 1980) << 9) | (3 << 5) | 5);
  EXPECT_EQ(a.Entries[0].LocalTime, a.Entries[0].Time);
}

TEST(WinZip, TheArchiveGoesWhereItIsNamedAndNothingIsLeftInTheTemporaryFolder) {
  TRun r;
  WriteFile(r.Src / "data.Zip", std::string(1000, 'z'));
  r.Zip.SetArchiveFile(r.Out / "noext");
  EXPECT_EQ(r.Zip.ArchiveFile(), r.Out / "noext.zip");
  r.Zip.SetArchiveFile(r.Out.Path() + "/slashed/../backup");
  EXPECT_EQ(r.Zip.ArchiveFile(), r.Out.Path() + "\\slashed\\..\\backup.zip");
  MakeDirs(r.Out / "slashed");
  EXPECT_EQ(r.Zip.BuildArchive(), 1);
  TArchiveView a = ReadArchive(r.Out / "backup.zip");
  EXPECT_EQ(a.Entries[0].Method, 0) << "a stored type";
  std::vector<platform::DirEntry> e;
  platform::ListDirectory(platform::TempFolder(), e);
  for (const auto& x : e)
    EXPECT_NE(x.name.substr(0, 3), "orl") << x.name;
}

namespace {

// A junction (a mount-point reparse point) at `link`, an empty new folder, to `target`.
bool MakeJunction(const std::string& link, const std::string& target) {
  if (!::CreateDirectoryA(link.c_str(), nullptr)) return false;
  HANDLE h = ::CreateFileA(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  // The substitute name in the NT form, then the print name, each ended by a NUL.
  std::wstring sub = L"\\??\\", print;
  for (char c : target) {
    sub += static_cast<wchar_t>(c);
    print += static_cast<wchar_t>(c);
  }
  const auto subBytes = static_cast<WORD>(sub.size() * sizeof(wchar_t));
  const auto printBytes = static_cast<WORD>(print.size() * sizeof(wchar_t));
  std::vector<BYTE> buf(size_t{16} + subBytes + 2 + printBytes + 2, 0);
  auto put16 = [&](size_t at, WORD v) { std::memcpy(&buf[at], &v, sizeof v); };
  const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
  std::memcpy(&buf[0], &tag, sizeof tag);
  put16(4, static_cast<WORD>(buf.size() - 8)); // ReparseDataLength
  put16(8, 0);                                 // SubstituteNameOffset
  put16(10, subBytes);
  put16(12, static_cast<WORD>(subBytes + 2)); // PrintNameOffset
  put16(14, printBytes);
  std::memcpy(&buf[16], sub.data(), subBytes);
  std::memcpy(&buf[size_t{16} + subBytes + 2], print.data(), printBytes);
  DWORD got = 0;
  const BOOL ok = ::DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, buf.data(),
                                    static_cast<DWORD>(buf.size()), nullptr, 0, &got, nullptr);
  ::CloseHandle(h);
  if (!ok) ::RemoveDirectoryA(link.c_str());
  return ok != 0;
}

} // namespace

// Reparse points inside the packed folder (symbolic links to a folder and to a file outside
// it, a junction to the folder itself) are neither packed nor entered.
TEST(WinZip, LinksAndJunctionsInsideThePackedFolderAreNotFollowed) {
  TRun r;
  TempDir outside{"outside"};
  WriteFile(outside / "secret.txt", "secret");
  WriteFile(r.Src / "plain.txt", "plain");
  const DWORD flags = SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
  ::CreateSymbolicLinkA((r.Src / "dirlink").c_str(), outside.Path().c_str(),
                        flags | SYMBOLIC_LINK_FLAG_DIRECTORY);
  ::CreateSymbolicLinkA((r.Src / "filelink.txt").c_str(), (outside / "secret.txt").c_str(), flags);
  MakeJunction(r.Src / "loop", r.Src.Path());
  // Some systems answer yes and make nothing (Wine 8): count what is really there.
  std::vector<std::string> made;
  for (const char* name : {"dirlink", "filelink.txt", "loop"}) {
    const DWORD attributes = ::GetFileAttributesA((r.Src / name).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
      made.push_back(r.Src / name);
  }
  if (made.empty())
    GTEST_SKIP() << "this system makes neither a symbolic link nor a junction (Wine 8: "
                    "CreateSymbolicLinkA reports success and makes nothing, "
                    "FSCTL_SET_REPARSE_POINT is refused)";

  EXPECT_EQ(r.Zip.BuildArchive(), 1);
  EXPECT_TRUE(r.Errors.empty());
  TArchiveView a = ReadArchive(r.Archive);
  EXPECT_EQ(EntryNames(a), std::vector<std::string>{"plain.txt"});
  EXPECT_EQ(r.Zip.LinkCount(), made.size());
  std::vector<std::string> skipped = r.Zip.SkippedLinks();
  std::sort(skipped.begin(), skipped.end());
  std::sort(made.begin(), made.end());
  EXPECT_EQ(skipped, made);
}
