#include "projects/UfnArchiveRestore.h"

#include "base/UfnJob.h"
#include "server/UfnShell.h"

#include <algorithm>
#include <archive.h>
#include <archive_entry.h>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <system_error>
#include <vector>

namespace {

const char* const kNotZip = "ZIP 압축 파일이 아니거나 손상된 파일입니다";
const char* const kLink = "링크 항목이 있어 복원하지 않습니다: ";
const char* const kNotPlain = "파일이나 폴더가 아닌 항목이 있어 복원하지 않습니다: ";
const char* const kUnpackFailed = "압축을 풀지 못했습니다: ";
const char* const kDuplicate = "같은 이름의 항목이 두 번 있어 복원하지 않습니다: ";
const char* const kTooLarge = "압축을 풀면 저장소 폴더의 남은 공간보다 커서 복원하지 않습니다";
const char* const kCancelled = "복원을 취소하였습니다.";
const char* const kInflates = "적힌 크기보다 크게 풀리는 항목이 있어 복원하지 않습니다: ";
// The space a restore must leave free: every project of the root lives on that file system,
// and while it is full none of them takes a commit.
constexpr std::uint64_t kMinFreeMargin = 16u * 1024 * 1024;

struct TReaderDeleter {
  void operator()(archive* a) const { archive_read_free(a); }
};
struct TWriterDeleter {
  void operator()(archive* a) const { archive_write_free(a); }
};
using TReader = std::unique_ptr<archive, TReaderDeleter>;
using TWriter = std::unique_ptr<archive, TWriterDeleter>;

std::vector<std::string> Steps(const std::string& name) {
  std::vector<std::string> steps;
  std::string step;
  for (char c : name) {
    if (c == '/' || c == '\\') {
      if (!step.empty() && step != ".") steps.push_back(step);
      step.clear();
    } else {
      step += c;
    }
  }
  if (!step.empty() && step != ".") steps.push_back(step);
  return steps;
}

// The name as it lands: its plain steps with "/" between ("./x" is "x").
std::string LandingName(const std::string& name) {
  std::string joined;
  for (const std::string& step : Steps(name))
    joined += (joined.empty() ? "" : "/") + step;
  return joined;
}

// libarchive's own text, with the system's reason only where the system gave one: its codes
// for a damaged or foreign archive (EILSEQ) and for a misuse (EINVAL) are no system errors,
// and their texts ("Invalid or incomplete multibyte or wide character") would only mislead.
std::string ReaderError(archive* a) {
  const char* s = archive_error_string(a);
  std::string reason = s ? s : "";
  const int code = archive_errno(a);
  if (code <= 0 || code == EILSEQ || code == EINVAL) return reason;
  if (reason.find(std::strerror(code)) == std::string::npos)
    reason += reason.empty() ? std::strerror(code) : std::string(" - ") + std::strerror(code);
  return reason;
}

TReader OpenArchive(const std::string& path, std::string& error) {
  TReader a(archive_read_new());
  // The central directory names every entry as the builder wrote it.
  archive_read_support_format_zip_seekable(a.get());
  if (archive_read_open_filename(a.get(), path.c_str(), 64 * 1024) != ARCHIVE_OK) {
    error = std::string(kNotZip) + " (" + ReaderError(a.get()) + ")";
    return nullptr;
  }
  return a;
}

std::string EntryName(archive_entry* e) {
  const char* utf8 = archive_entry_pathname_utf8(e);
  if (!utf8) utf8 = archive_entry_pathname(e);
  return utf8 ? utf8 : "";
}

// What keeps an entry out, or "".
std::string EntryProblem(archive_entry* e) {
  const std::string name = EntryName(e);
  std::string problem = EntryNameProblem(name);
  if (!problem.empty()) return problem;
  if (archive_entry_hardlink(e) || archive_entry_symlink(e) ||
      archive_entry_filetype(e) == AE_IFLNK)
    return kLink + name;
  const auto type = archive_entry_filetype(e);
  if (type != AE_IFREG && type != AE_IFDIR) return kNotPlain + name;
  return "";
}

bool IsPasswd(const std::string& name) {
  const std::vector<std::string> steps = Steps(name);
  return steps.size() == 2 && steps[0] == "conf" && steps[1] == "passwd";
}

// The archive keeps no execute bit, and Subversion runs a hook it finds whether it may or
// not: a pre-commit hook restored without it refuses every commit.
bool IsHook(const std::string& name) {
  static const char* const hooks[] = {"start-commit", "pre-commit",         "post-commit",
                                      "pre-lock",     "post-lock",          "pre-unlock",
                                      "post-unlock",  "pre-revprop-change", "post-revprop-change"};
  const std::vector<std::string> steps = Steps(name);
  if (steps.size() != 2 || steps[0] != "hooks") return false;
  for (const char* hook : hooks)
    if (steps[1] == hook) return true;
  return false;
}

} // namespace

std::string EntryNameProblem(const std::string& name) {
  if (Steps(name).empty()) return "이름 없는 항목이 있어 복원하지 않습니다";
  const bool drive = name.size() >= 2 && name[1] == ':' &&
                     ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
  if (name[0] == '/' || name[0] == '\\' || drive)
    return "절대 경로 항목이 있어 복원하지 않습니다: " + name;
  for (const std::string& step : Steps(name)) {
    if (step == "..") return "프로젝트 폴더 밖을 가리키는 항목이 있어 복원하지 않습니다: " + name;
    // A colon names a drive or a stream of another file on Windows.
    if (step.find(':') != std::string::npos)
      return "폴더 밖을 가리킬 수 있는 항목이 있어 복원하지 않습니다: " + name;
  }
  return "";
}

namespace {

// Looks at every entry before anything is written: all of them plain, no name twice, at
// least one, and their declared sizes within what the folder's file system can spare. Gives
// the bytes the write may take in all (`budget`).
bool CheckArchive(const std::string& archivePath, const std::string& folder, std::string& error,
                  std::uint64_t& budget, size_t& count) {
  TReader a = OpenArchive(archivePath, error);
  if (!a) return false;
  archive_entry* e = nullptr;
  int rc;
  size_t entries = 0;
  std::uint64_t declared = 0;
  std::set<std::string> names;
  while ((rc = archive_read_next_header(a.get(), &e)) == ARCHIVE_OK) {
    ++entries;
    error = EntryProblem(e);
    if (!error.empty()) return false;
    if (!names.insert(LandingName(EntryName(e))).second) {
      error = kDuplicate + EntryName(e);
      return false;
    }
    if (archive_entry_size_is_set(e) && archive_entry_size(e) > 0)
      declared += static_cast<std::uint64_t>(archive_entry_size(e));
  }
  if (rc != ARCHIVE_EOF) {
    error = std::string(kNotZip) + " (" + ReaderError(a.get()) + ")";
    return false;
  }
  if (entries == 0) {
    error = "압축 파일에 항목이 없습니다";
    return false;
  }
  count = entries;
  std::error_code ec;
  const std::filesystem::space_info space = std::filesystem::space(folder, ec);
  if (ec) {
    error = kUnpackFailed + folder + " (" + ec.message() + ")";
    return false;
  }
  const std::uint64_t margin = kMinFreeMargin + space.capacity / 20;
  budget = space.available > margin ? space.available - margin : 0;
  if (declared > budget) {
    error = kTooLarge;
    return false;
  }
  return true;
}

// Where an entry lands: its plain steps below `base` (which ends with the delimiter).
std::string TargetPath(const std::string& base, const std::string& name) {
  std::string target = base;
  for (const std::string& step : Steps(name))
    target += (target.size() > base.size() ? std::string(1, base.back()) : "") + step;
  return target;
}

// Only the owner's write bit of the entry counts (revision files are read-only); the rest
// comes from the umask. The password file holds clear-text passwords; hooks run.
int RestoredMode(const std::string& name, int entryPerm, bool isFolder) {
  if (isFolder) return 0755;
  const int executable = IsHook(name) ? 0111 : 0;
  if ((entryPerm & 0200) == 0) return 0444 | executable;
  return IsPasswd(name) ? 0600 : 0644 | executable;
}

// Copies the entry's data from the reader to the disk writer: no more than the entry declared,
// nor than what is left of the whole restore's `budget`.
bool CopyData(archive* reader, archive* disk, archive_entry* e, const std::string& name,
              std::uint64_t& budget, std::string& error) {
  const bool sized = archive_entry_size_is_set(e);
  const std::uint64_t declared =
      sized && archive_entry_size(e) > 0 ? static_cast<std::uint64_t>(archive_entry_size(e)) : 0;
  const void* block = nullptr;
  size_t size = 0;
  la_int64_t offset = 0;
  std::uint64_t written = 0;
  int r;
  while ((r = archive_read_data_block(reader, &block, &size, &offset)) == ARCHIVE_OK) {
    const std::uint64_t end = static_cast<std::uint64_t>(offset) + size;
    written = std::max(written, end);
    if ((sized && end > declared) || end > budget) {
      error = end > budget && !(sized && end > declared) ? std::string(kTooLarge) + ": " + name
                                                         : kInflates + name;
      return false;
    }
    if (archive_write_data_block(disk, block, size, offset) != ARCHIVE_OK) {
      error = kUnpackFailed + name + " (" + ReaderError(disk) + ")";
      return false;
    }
  }
  if (r != ARCHIVE_EOF) {
    error = std::string(kNotZip) + ": " + name + " (" + ReaderError(reader) + ")";
    return false;
  }
  budget -= std::min(budget, written);
  return true;
}

// Writes the entry the reader stands on below `base`; counts it in `result`.
bool WriteEntry(archive* reader, archive* disk, archive_entry* e, const std::string& base,
                std::uint64_t& budget, TUnpackResult& result) {
  const std::string name = EntryName(e);
  // Checked again: the second reading is the one that is written.
  result.Error = EntryProblem(e);
  if (!result.Error.empty()) return false;
  const bool isFolder = archive_entry_filetype(e) == AE_IFDIR;
  archive_entry_update_pathname_utf8(e, TargetPath(base, name).c_str());
  archive_entry_set_perm(e, static_cast<decltype(archive_entry_perm(e))>(RestoredMode(
                                name, static_cast<int>(archive_entry_perm(e)), isFolder)));
  if (archive_write_header(disk, e) != ARCHIVE_OK) {
    result.Error = kUnpackFailed + name + " (" + ReaderError(disk) + ")";
    return false;
  }
  if (!isFolder && !CopyData(reader, disk, e, name, budget, result.Error)) return false;
  if (archive_write_finish_entry(disk) != ARCHIVE_OK) {
    result.Error = kUnpackFailed + name + " (" + ReaderError(disk) + ")";
    return false;
  }
  ++(isFolder ? result.Folders : result.Files);
  return true;
}

#ifndef _WIN32
// The file conf/svnserve.conf names as password-db, when it lies in `folder`: it holds
// clear-text passwords like conf/passwd and is made owner-only like it.
void ProtectPasswordDb(const std::string& folder) {
  namespace fs = std::filesystem;
  std::ifstream in(fs::path(folder) / "conf" / "svnserve.conf", std::ios::binary);
  std::string line;
  std::string section;
  std::string value;
  while (std::getline(in, line)) {
    const size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#' || line[first] == ';') continue;
    line = line.substr(first);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
      line.pop_back();
    if (line[0] == '[') {
      section = line;
      continue;
    }
    const size_t eq = line.find_first_of("=:");
    if (section != "[general]" || eq == std::string::npos) continue;
    std::string key = line.substr(0, eq);
    while (!key.empty() && (key.back() == ' ' || key.back() == '\t'))
      key.pop_back();
    if (key != "password-db") continue;
    value = line.substr(eq + 1);
    value.erase(0, value.find_first_not_of(" \t"));
  }
  if (value.empty()) return;
  const fs::path root = fs::path(folder).lexically_normal();
  const fs::path file =
      (fs::path(value).is_absolute() ? fs::path(value) : root / "conf" / value).lexically_normal();
  const fs::path rel = file.lexically_relative(root);
  if (rel.empty() || *rel.begin() == "..") return;
  std::error_code ec;
  if (!fs::is_regular_file(fs::symlink_status(file, ec))) return;
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace,
                  ec);
}
#endif

} // namespace

TUnpackResult UnpackArchive(const std::string& archivePath, const std::string& folder,
                            TJobObserver* observer, int progressShare) {
  TUnpackResult result;
  std::uint64_t budget = 0;
  size_t count = 0;
  if (!CheckArchive(archivePath, folder, result.Error, budget, count)) return result;
  TReader a = OpenArchive(archivePath, result.Error);
  if (!a) return result;
  TWriter disk(archive_write_disk_new());
  // The target names are absolute (the new folder's path) and that path may well pass a link
  // of the system's own; what the archive adds is checked above and holds plain steps only.
  archive_write_disk_set_options(disk.get(),
                                 ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_SECURE_NODOTDOT);
  const std::string base = AddPathDelimiter(folder);
  archive_entry* e = nullptr;
  int rc;
  size_t done = 0;
  while ((rc = archive_read_next_header(a.get(), &e)) == ARCHIVE_OK) {
    if (observer && observer->Cancelled()) {
      result.Cancelled = true;
      result.Error = kCancelled;
      return result;
    }
    if (!WriteEntry(a.get(), disk.get(), e, base, budget, result)) return result;
    ++done;
    if (observer)
      observer->Progress(EntryName(e), 100,
                         static_cast<int>(done * static_cast<size_t>(progressShare) / count));
  }
  if (rc != ARCHIVE_EOF) {
    result.Error = std::string(kNotZip) + " (" + ReaderError(a.get()) + ")";
    return result;
  }
  if (archive_write_close(disk.get()) != ARCHIVE_OK) {
    result.Error = kUnpackFailed + folder + " (" + ReaderError(disk.get()) + ")";
    return result;
  }
#ifndef _WIN32
  ProtectPasswordDb(folder);
#endif
  result.Ok = true;
  return result;
}
