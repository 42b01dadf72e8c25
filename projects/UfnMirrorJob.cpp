#include "projects/UfnMirrorJob.h"

#include "base/UfnPaths.h"
#include "base/UfnText.h"
#include "platform/UfnEnvironment.h"
#include "platform/UfnFiles.h"
#include "platform/UfnInstanceLock.h"
#include "platform/UfnProcesses.h"
#include "platform/UfnSystemErrors.h"
#include "projects/UclsProjectMgr.h"
#include "projects/UfnProfileFile.h"
#include "projects/UfnProjectFiles.h"
#include "server/UfnSubversion.h"

#include <cctype>
#include <cstdio>
#include <ctime>
#include <memory>

const char* const MirrorSyncUser = "orlenway-sync";

namespace {

const char* const kFromUrl = "svn:sync-from-url";
const char* const kFromUuid = "svn:sync-from-uuid";
const char* const kLastMerged = "svn:sync-last-merged-rev";
const char* const kLastSyncTime = "orlenway:last-sync-time";
// Everything svnsync keeps on revision 0, removed when the mirror stops following.
const char* const kSyncProps[] = {
    kFromUrl, kFromUuid, kLastMerged, "svn:sync-currently-copying", "svn:sync-lock", kLastSyncTime};

#ifdef _WIN32
const char* const kHookExt = ".bat";
#else
const char* const kHookExt = "";
#endif

std::string Folder(const std::string& root, const std::string& name) {
  return TProjectFiles(root, name).Folder();
}

// The mirror's own Subversion configuration: the source's credentials live in its auth
// cache, closed to other accounts, so that later syncs pass no password on a command line.
std::string ConfigDir(const std::string& root, const std::string& name) {
  return JoinPath(JoinPath(Folder(root, name), "conf"), "mirror");
}

std::string HookFile(const std::string& root, const std::string& name, const std::string& hook) {
  return JoinPath(JoinPath(Folder(root, name), "hooks"), hook + kHookExt);
}

std::string RevProp(const TSubversion& svn, const std::string& folder, const std::string& prop) {
  const TSvnResult r = svn.Run("svnlook", {"propget", "--revprop", "-r", "0", folder, prop});
  return r.Ok() ? r.Output : "";
}

long ToRevision(const std::string& text) {
  const std::string t = text::Trim(text);
  if (t.empty() || t.size() > 12) return -1;
  long n = 0;
  for (char c : t) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

std::string Failure(const TSvnResult& r, const std::string& program) {
  std::string why = text::Trim(r.Message);
  if (why.empty()) why = program + " 종료 코드 " + std::to_string(r.ExitCode);
  return why;
}

std::string UtcNow() {
  const std::time_t now = std::time(nullptr);
  char buffer[32] = {};
  std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now));
  return buffer;
}

// Shell-quoted for the hook scripts; cmd has no such quoting, so the message there drops the
// characters it would read as commands.
std::string HookSafe(const std::string& text) {
  std::string out;
  for (char c : text) {
#ifdef _WIN32
    if (c == '&' || c == '|' || c == '<' || c == '>' || c == '^' || c == '%' || c == '"') continue;
    out += c;
#else
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
#endif
  }
  return out;
}

} // namespace

bool WriteMirrorHooks(const std::string& root, const std::string& name, const std::string& source) {
  const std::string message =
      "이 프로젝트는 " + source + "의 읽기 전용 미러입니다. 커밋은 원본 저장소에 하십시오.";
  std::string preRevprop, startCommit;
#ifdef _WIN32
  preRevprop = std::string("@echo off\r\nif \"%3\"==\"") + MirrorSyncUser + "\" exit 0\r\necho " +
               HookSafe(message) + " 1>&2\r\nexit 1\r\n";
  startCommit = std::string("@echo off\r\nif \"%2\"==\"") + MirrorSyncUser + "\" exit 0\r\necho " +
                HookSafe(message) + " 1>&2\r\nexit 1\r\n";
#else
  // Arguments: pre-revprop-change REPOS REV USER PROPNAME ACTION; start-commit REPOS USER ...
  preRevprop = std::string("#!/bin/sh\n[ \"$3\" = '") + MirrorSyncUser + "' ] && exit 0\necho '" +
               HookSafe(message) + "' >&2\nexit 1\n";
  startCommit = std::string("#!/bin/sh\n[ \"$2\" = '") + MirrorSyncUser + "' ] && exit 0\necho '" +
                HookSafe(message) + "' >&2\nexit 1\n";
#endif
  return platform::WriteFileAtomic(HookFile(root, name, "pre-revprop-change"), preRevprop, 0755) &&
         platform::WriteFileAtomic(HookFile(root, name, "start-commit"), startCommit, 0755);
}

namespace {

// A hotcopy brings the source's hooks along; a mirror runs none of them (a post-commit that
// mails the team would mail them again for every synced revision).
void RemoveCopiedHooks(const std::string& folder) {
  const std::string hooks = JoinPath(folder, "hooks");
  std::vector<platform::DirEntry> entries;
  if (!platform::ListDirectory(hooks, entries)) return;
  for (const platform::DirEntry& e : entries) {
    if (e.IsDirectory() || ExtractFileExt(e.name) == ".tmpl") continue;
    platform::DeleteFile(JoinPath(hooks, e.name));
  }
}

std::string Percent(unsigned char c) {
  const char* hex = "0123456789ABCDEF";
  return std::string("%") + hex[c >> 4] + hex[c & 15];
}

std::string PercentDecode(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    auto digit = [](char c) -> int {
      if (c >= '0' && c <= '9') return c - '0';
      if (c >= 'a' && c <= 'f') return c - 'a' + 10;
      if (c >= 'A' && c <= 'F') return c - 'A' + 10;
      return -1;
    };
    if (s[i] == '%' && i + 2 < s.size() && digit(s[i + 1]) >= 0 && digit(s[i + 2]) >= 0) {
      out += static_cast<char>(digit(s[i + 1]) * 16 + digit(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

bool StartsWith(const std::string& s, const std::string& prefix) {
  return s.rfind(prefix, 0) == 0;
}

// The local folder of a file:// URL ("" for any other).
std::string LocalFolderOf(const std::string& url) {
  if (!StartsWith(url, "file://")) return "";
  std::string path = PercentDecode(url.substr(7));
#ifdef _WIN32
  if (!path.empty() && path[0] == '/') path.erase(0, 1);
#endif
  return path;
}

std::vector<std::string> CommonOptions(const std::string& configDir) {
  return {"--non-interactive", "--config-dir", configDir};
}

TMirrorResult Refused(TJobObserver& observer, const std::string& why) {
  observer.Notify(TMsgIcon::Error, why);
  return {TMirrorOutcome::Refused, why, -1};
}

// A path without repeated or trailing separators, for comparing.
std::string PlainPath(std::string path) {
#ifdef _WIN32
  for (char& c : path)
    if (c == '\\') c = '/';
#endif
  std::string out;
  for (char c : path)
    if (c != '/' || out.empty() || out.back() != '/') out += c;
  while (out.size() > 1 && out.back() == '/')
    out.pop_back();
  return out;
}

// Whether a command-line argument names the mirror: its file:// URL, or an svn:// URL with the
// project's name at any host (this machine has many names; a sync of a namesake elsewhere
// only makes ours wait for the next turn).
bool NamesMirror(const std::string& arg, const std::string& folder, const std::string& name) {
  const bool file = StartsWith(arg, "file://");
  if (!file && !StartsWith(arg, "svn://")) return false;
  const std::string rest = arg.substr(file ? 7 : 6);
  const size_t slash = rest.find('/');
  if (slash == std::string::npos) return false;
  const std::string host = rest.substr(0, slash);
  std::string path = PercentDecode(rest.substr(slash));
  if (!file) return PlainPath(path) == "/" + name;
  if (!host.empty() && !text::SameAsciiIgnoreCase(host, "localhost")) return false;
#ifdef _WIN32
  path.erase(0, 1);
  return text::SameAsciiIgnoreCase(PlainPath(path), PlainPath(folder));
#else
  return PlainPath(path) == PlainPath(folder);
#endif
}

// Whether an svnsync on this machine, ours or one started by hand, works on the mirror: its
// first URL is the one it writes to (svnsync SUBCOMMAND DEST [SOURCE]; no option takes a URL).
// Where the system does not tell another process's arguments, any svnsync counts.
bool SyncRunsOn(const std::string& folder, const std::string& name) {
  for (const platform::RunningProcess& p :
       platform::RunningProcessesNamed(TSubversion::Image("svnsync"))) {
    if (p.args.empty()) return true;
    for (size_t i = 1; i < p.args.size(); ++i) {
      if (p.args[i].find("://") == std::string::npos) continue;
      if (NamesMirror(p.args[i], folder, name)) return true;
      break;
    }
  }
  return false;
}

TMirrorResult RunSync(const TSubversion& svn, const std::string& root, const std::string& name,
                      TJobObserver& observer) {
  const std::string folder = Folder(root, name);
  // One sync of a mirror at a time; a lock on revision 0 that no running sync of ours holds
  // was left by one that was killed, and is taken over.
  std::string lockName = "orlenway-mirror-";
  for (char c : folder)
    lockName += (std::isalnum(static_cast<unsigned char>(c)) ? c : '_');
  const std::unique_ptr<platform::InstanceLock> lock = platform::AcquireInstanceLock(lockName);
  if (!lock) return Refused(observer, name + ": 다른 동기화가 진행 중입니다.");
  std::vector<std::string> args = {"synchronize", LocalRepositoryUrl(folder), "--sync-username",
                                   MirrorSyncUser};
  for (const std::string& o : CommonOptions(ConfigDir(root, name)))
    args.push_back(o);
  // svnsync's lock names only a host and a random id: it is taken over only when it was set
  // on this machine and no svnsync here still works on the mirror, whoever started it.
  // Without a lock svnsync itself waits for one that another sync takes meanwhile.
  const std::string held = text::Trim(RevProp(svn, folder, "svn:sync-lock"));
  if (!held.empty()) {
    if (SyncRunsOn(folder, name)) return Refused(observer, name + ": 다른 동기화가 진행 중입니다.");
    const std::string host = held.substr(0, held.rfind(':'));
    if (!text::SameAsciiIgnoreCase(host, platform::HostName()))
      return Refused(observer,
                     name + ": 다른 컴퓨터(" + host + ")의 동기화가 잠금을 가지고 있습니다.");
    observer.Notify(TMsgIcon::Warning, name + ": 중단된 동기화의 잠금을 해제합니다.");
    args.push_back("--steal-lock");
  }
  observer.Progress(name, 0, 0);
  const TSvnResult r = svn.Run("svnsync", args);
  TMirrorResult result;
  result.LastMerged = ToRevision(RevProp(svn, folder, kLastMerged));
  observer.Progress(name, 100, 100);
  if (!r.Ok()) {
    result.Outcome = TMirrorOutcome::Failed;
    // svnsync names the host at best; the source's URL tells which mirror's source is down.
    result.Reason =
        "원본 " + text::Trim(RevProp(svn, folder, kFromUrl)) + ": " + Failure(r, "svnsync");
    observer.Notify(TMsgIcon::Error, name + ": 동기화하지 못했습니다. " + result.Reason);
    return result;
  }
  // svnadmin writes the time past the hook, which admits only the sync's own changes.
  const std::string stamp = JoinPath(ConfigDir(root, name), "last-sync-time");
  if (platform::WriteFileAtomic(stamp, UtcNow(), 0600))
    svn.Run("svnadmin", {"setrevprop", folder, "-r", "0", kLastSyncTime, stamp});
  platform::DeleteFile(stamp);
  result.Outcome = TMirrorOutcome::Done;
  return result;
}

} // namespace

std::string LocalRepositoryUrl(const std::string& folder) {
  std::string path = folder;
#ifdef _WIN32
  for (char& c : path)
    if (c == '\\') c = '/';
  if (path.empty() || path[0] != '/') path = "/" + path;
#endif
  while (path.size() > 1 && path.back() == '/')
    path.pop_back();
  std::string url = "file://";
  for (char ch : path) {
    const auto c = static_cast<unsigned char>(ch);
    if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~' || c == ':')
      url += static_cast<char>(c);
    else
      url += Percent(c);
  }
  return url;
}

TMirrorResult AddMirror(const std::string& svnPath, const std::string& root, std::string name,
                        const TMirrorSource& source, TJobObserver& observer) {
  name = text::Trim(name);
  if (root.empty() || !platform::DirectoryExists(root))
    return Refused(observer, "저장소 경로 설정 해주세요");
  switch (CheckNewProjectName(root, name)) {
  case TProjectNameCheck::Ok:
    break;
  case TProjectNameCheck::Empty:
  case TProjectNameCheck::NotPlain:
  case TProjectNameCheck::NotUtf8:
    return Refused(observer, "프로젝트 이름이 올바르지 않습니다: " + name);
  case TProjectNameCheck::Taken:
    return Refused(observer, "프로젝트가 이미 존재합니다: " + name);
  }
  const std::string url = text::Trim(source.Url);
  const bool local = StartsWith(url, "file://");
  if (!local && !StartsWith(url, "svn://"))
    return Refused(observer, "원본 URL은 svn:// 또는 file:// 이어야 합니다: " + url);
  const TSubversion svn(svnPath);
  const std::string folder = Folder(root, name);
  const std::string configDir = ConfigDir(root, name);

  observer.Progress(name, 0, 0);
  TSvnResult made;
  if (local) {
    // A hotcopy of a source on this machine is far faster than syncing from revision 0.
    observer.Notify(TMsgIcon::None, name + ": 원본을 복사합니다 (hotcopy).");
    made = svn.Hotcopy(LocalFolderOf(url), folder);
  } else {
    made = svn.Run("svnadmin", {"create", folder});
  }
  if (!made.Ok()) {
    const std::string why = Failure(made, "svnadmin");
    observer.Notify(TMsgIcon::Error, name + ": 미러를 만들지 못했습니다. " + why);
    return {TMirrorOutcome::Failed, why, -1};
  }
  if (local) RemoveCopiedHooks(folder);
  ProfileFile(TProjectFiles(root, name).ConfigFile())
      .WriteValue("general", "password-db", "passwd");
  if (!platform::ForcePrivateDirectory(configDir) || !WriteMirrorHooks(root, name, url)) {
    const std::string why = "훅을 쓰지 못했습니다: " + platform::LastErrorMessage();
    observer.Notify(TMsgIcon::Error, name + ": " + why);
    return {TMirrorOutcome::Failed, why, -1};
  }
  std::vector<std::string> args = {"initialize", LocalRepositoryUrl(folder), url, "--sync-username",
                                   MirrorSyncUser};
  if (local) args.push_back("--allow-non-empty");
  if (!source.User.empty()) {
    args.push_back("--source-username");
    args.push_back(source.User);
  }
  if (!source.Password.empty()) {
    // Given once, kept by Subversion in the mirror's private auth cache from then on.
    args.push_back("--source-password");
    args.push_back(source.Password);
    args.push_back("--config-option");
    args.push_back("servers:global:store-plaintext-passwords=yes");
  }
  for (const std::string& o : CommonOptions(configDir))
    args.push_back(o);
  observer.Progress(name, 10, 10);
  const TSvnResult init = svn.Run("svnsync", args);
  if (!init.Ok()) {
    const std::string why = Failure(init, "svnsync");
    observer.Notify(TMsgIcon::Error, name + ": 미러를 설정하지 못했습니다. " + why);
    return {TMirrorOutcome::Failed, why, -1};
  }
  return RunSync(svn, root, name, observer);
}

bool IsMirror(const std::string& svnPath, const std::string& root, const std::string& name) {
  return !text::Trim(RevProp(TSubversion(svnPath), Folder(root, name), kFromUrl)).empty();
}

TMirrorResult SyncMirror(const std::string& svnPath, const std::string& root,
                         const std::string& name, TJobObserver& observer) {
  if (!IsMirror(svnPath, root, name)) return Refused(observer, "미러가 아닙니다: " + name);
  return RunSync(TSubversion(svnPath), root, name, observer);
}

bool ReadMirrorStatus(const std::string& svnPath, const std::string& root, const std::string& name,
                      bool askSource, TMirrorStatus& status) {
  const TSubversion svn(svnPath);
  const std::string folder = Folder(root, name);
  status = TMirrorStatus();
  status.Name = name;
  status.Source = text::Trim(RevProp(svn, folder, kFromUrl));
  if (status.Source.empty()) return false;
  status.LastMerged = ToRevision(RevProp(svn, folder, kLastMerged));
  status.LastSyncTime = text::Trim(RevProp(svn, folder, kLastSyncTime));
  if (askSource) AskMirrorSource(svnPath, root, status);
  return true;
}

bool MirrorRecordOf(const std::map<std::string, std::string>& revprops, TMirrorStatus& status) {
  auto value = [&](const char* name) {
    const auto at = revprops.find(name);
    return at == revprops.end() ? std::string() : text::Trim(at->second);
  };
  status.Source = value(kFromUrl);
  if (status.Source.empty()) return false;
  status.LastMerged = ToRevision(value(kLastMerged));
  status.LastSyncTime = value(kLastSyncTime);
  return true;
}

void AskMirrorSource(const std::string& svnPath, const std::string& root, TMirrorStatus& status) {
  std::vector<std::string> args = {"info", "--show-item", "revision", status.Source};
  for (const std::string& o : CommonOptions(ConfigDir(root, status.Name)))
    args.push_back(o);
  const TSvnResult r = TSubversion(svnPath).Run("svn", args);
  if (r.Ok())
    status.SourceYoungest = ToRevision(r.Output);
  else
    status.SourceError = Failure(r, "svn");
}

std::vector<std::string> ListMirrors(const std::string& svnPath, const std::string& root,
                                     const std::vector<std::string>& projects) {
  std::vector<std::string> mirrors;
  for (const std::string& p : projects)
    if (IsMirror(svnPath, root, p)) mirrors.push_back(p);
  return mirrors;
}

TMirrorResult StopMirror(const std::string& svnPath, const std::string& root,
                         const std::string& name, bool promote, TJobObserver& observer) {
  const TSubversion svn(svnPath);
  const std::string folder = Folder(root, name);
  const std::string uuid = text::Trim(RevProp(svn, folder, kFromUuid));
  if (!IsMirror(svnPath, root, name)) return Refused(observer, "미러가 아닙니다: " + name);
  if (promote) {
    const TSvnResult r = svn.Run("svnadmin", {"setuuid", folder, uuid});
    if (!r.Ok()) {
      const std::string why = Failure(r, "svnadmin");
      observer.Notify(TMsgIcon::Error, name + ": UUID를 바꾸지 못했습니다. " + why);
      return {TMirrorOutcome::Failed, why, -1};
    }
  }
  TMirrorResult result;
  result.LastMerged = ToRevision(RevProp(svn, folder, kLastMerged));
  // The record goes last but one: a failure before leaves a mirror that is still one.
  for (const char* prop : kSyncProps)
    svn.Run("svnadmin", {"delrevprop", folder, "-r", "0", prop});
  if (IsMirror(svnPath, root, name)) {
    result.Reason = "미러 기록을 지우지 못했습니다.";
    observer.Notify(TMsgIcon::Error, name + ": " + result.Reason);
    return result;
  }
  for (const char* hook : {"pre-revprop-change", "start-commit"})
    platform::DeleteFile(HookFile(root, name, hook));
  result.Outcome = TMirrorOutcome::Done;
  return result;
}
