#include "projects/UfnSchedule.h"

#include "UfnScheduleTemplates.h"
#include "base/UfnPaths.h"
#include "base/UfnText.h"
#include "platform/UfnPlatform.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sstream>

namespace {

// The first line of every unit we write: only a file that begins with it is ever replaced or
// removed, so a unit the administrator wrote by hand is left alone.
const char* const kUnitMarker =
    "# Written by Orlenway's schedule; turning the schedule off removes this file.";

const char* const kDayNames[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
const char* const kSchtasksDays[] = {"MON", "TUE", "WED", "THU", "FRI", "SAT", "SUN"};

// The longest command a task may run (schtasks /TR).
constexpr std::size_t kMaxTaskCommand = 261;

std::string TwoDigits(int n) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d", n);
  return text;
}

std::string LastLine(const std::string& output) {
  std::string t = text::Trim(output);
  const auto pos = t.rfind('\n');
  return text::Trim(pos == std::string::npos ? t : t.substr(pos + 1));
}

bool PlainArgument(const std::string& a) {
  if (a.empty()) return false;
  for (const char ch : a) {
    const auto c = static_cast<unsigned char>(ch);
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
          c == '.' || c == '/' || c == '-' || c == ':' || c == '=' || c == ',' || c == '+' ||
          c == '@'))
      return false;
  }
  return true;
}

// One argument of ExecStart=: quoted where needed; "%" and "$" would be read as specifiers
// and variables.
std::string SystemdQuote(const std::string& a) {
  if (PlainArgument(a)) return a;
  std::string q = "\"";
  for (char c : a) {
    if (c == '\\' || c == '"') q += '\\';
    if (c == '%') q += '%';
    if (c == '$') q += '$';
    q += c;
  }
  return q + "\"";
}

// One argument of a crontab command: single quotes for the shell, and "%" escaped, since
// cron reads a bare one as the end of the command.
std::string CronQuote(const std::string& a) {
  if (PlainArgument(a)) return a;
  std::string q = "'";
  for (char c : a) {
    if (c == '\'')
      q += "'\\''";
    else if (c == '%')
      q += "\\%";
    else
      q += c;
  }
  return q + "'";
}

// Where the settings are read: the run must read the window's settings file, also when the
// scheduler starts it without this session's XDG_CONFIG_HOME.
std::string ConfigHome() {
  const std::string home = platform::GetEnv("XDG_CONFIG_HOME");
  return !home.empty() && home[0] == '/' ? home : "";
}

// The template's lines with `replace` applied: a key's lines give way to the replacement
// (nothing, for an empty one); the template's own leading comments give way to the marker.
std::string FromTemplate(const std::string& tmpl,
                         const std::vector<std::pair<std::string, std::string>>& replace) {
  std::istringstream in(tmpl);
  std::string line;
  std::string out = std::string(kUnitMarker) + "\n";
  bool head = true;
  std::vector<std::string> done;
  while (std::getline(in, line)) {
    if (head && (line.empty() || line[0] == '#')) continue;
    head = false;
    const auto eq = line.find('=');
    bool replaced = false;
    if (eq != std::string::npos && line[0] != '#') {
      const std::string key = line.substr(0, eq);
      for (const auto& [k, v] : replace) {
        if (k != key) continue;
        replaced = true;
        if (std::find(done.begin(), done.end(), k) == done.end() && !v.empty()) out += v + "\n";
        done.push_back(k);
      }
    }
    if (!replaced) out += line + "\n";
  }
  return out;
}

bool OurFile(const std::string& path) {
  std::string data;
  if (!platform::ReadWholeFile(path, data)) return false;
  return data.rfind(kUnitMarker, 0) == 0;
}

std::string BlockBegin(TScheduleKind kind) {
  return "# " + ScheduleUnitName(kind) +
         ": begin (Orlenway's schedule; turning it off removes these lines)";
}
std::string BlockEnd(TScheduleKind kind) {
  return "# " + ScheduleUnitName(kind) + ": end";
}

platform::TProgramResult Run(const std::string& name, const std::vector<std::string>& args) {
  return platform::RunProgram(SchedulerProgram(name), args);
}

std::string Failure(const std::string& what, const platform::TProgramResult& r) {
  if (!r.Started) return what + " (" + platform::ErrorMessage(r.StartError) + ")";
  const std::string last = LastLine(r.Output);
  return what + (last.empty() ? "" : " (" + last + ")");
}

// ---- systemd --------------------------------------------------------------------------------

// Whether this session has a user systemd to talk to; `why` tells what was answered.
bool UserSystemdRuns(std::string& why) {
  if (!platform::FileExists(SchedulerProgram("systemctl"))) {
    why = "systemctl이 없습니다";
    return false;
  }
  const platform::TProgramResult r = Run("systemctl", {"--user", "show-environment"});
  if (r.Started && r.ExitCode == 0) return true;
  why = Failure("systemctl --user", r);
  return false;
}

std::string UnitPath(TScheduleKind kind, const char* type) {
  return UserUnitFolder() + "/" + ScheduleUnitName(kind) + "." + type;
}

// ---- crontab --------------------------------------------------------------------------------

bool ReadCrontab(std::string& text, std::string& error) {
  text.clear();
  const platform::TProgramResult r = Run("crontab", {"-l"});
  if (r.Started && r.ExitCode == 0) {
    text = r.Output;
    return true;
  }
  // The answer when the user has none yet.
  if (r.Started && r.Output.find("no crontab") != std::string::npos) return true;
  error = Failure("crontab을 읽지 못했습니다", r);
  return false;
}

bool WriteCrontab(const std::string& text, std::string& error) {
  const std::string file =
      platform::TempFolder() + "orlenway-crontab-" + std::to_string(std::time(nullptr));
  if (!platform::WritePrivateFileAtomic(file, text)) {
    error = "crontab을 쓰지 못했습니다: " + file + " (" + platform::LastErrorMessage() + ")";
    return false;
  }
  const platform::TProgramResult r = Run("crontab", {file});
  platform::DeleteFile(file);
  if (r.Started && r.ExitCode == 0) return true;
  error = Failure("crontab을 쓰지 못했습니다", r);
  return false;
}

bool HasCrontabBlock(const std::string& crontab, TScheduleKind kind) {
  return ("\n" + crontab).find("\n" + BlockBegin(kind) + "\n") != std::string::npos;
}

// The command line of our block in `crontab` ("" when there is none).
std::string CrontabBlockLine(const std::string& crontab, TScheduleKind kind) {
  std::istringstream in(crontab);
  std::string line;
  bool inside = false;
  while (std::getline(in, line)) {
    if (line == BlockBegin(kind)) {
      inside = true;
    } else if (inside) {
      return line == BlockEnd(kind) ? "" : line;
    }
  }
  return "";
}

TScheduleResult Done(const std::string& message) {
  TScheduleResult r;
  r.Outcome = TScheduleOutcome::Done;
  r.Message = message;
  return r;
}

TScheduleResult Failed(const std::string& message) {
  TScheduleResult r;
  r.Message = message;
  return r;
}

bool OnWindows() {
#ifdef _WIN32
  return true;
#else
  return false;
#endif
}

} // namespace

std::string CheckSchedule(const TSchedule& s) {
  if (s.Kind == TScheduleKind::Mirror) {
    if (s.EveryMinutes < 1 || s.EveryMinutes > 1439)
      return "동기화 주기는 1분에서 1439분 사이여야 합니다: " + std::to_string(s.EveryMinutes);
    return "";
  }
  if (s.Hour < 0 || s.Hour > 23 || s.Minute < 0 || s.Minute > 59)
    return "시각이 올바르지 않습니다: " + TwoDigits(s.Hour) + ":" + TwoDigits(s.Minute);
  if (s.Weekly && (s.Day < 1 || s.Day > 7)) return "요일이 올바르지 않습니다";
  if (!s.AllProjects && s.Projects.empty()) return "백업할 프로젝트를 선택해주세요";
  for (const std::string& p : s.Projects)
    for (const char c : p)
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
        return "프로젝트 이름이 올바르지 않습니다: " + p;
  if (s.MaxAge < 0) return "보관 일수가 올바르지 않습니다";
  return "";
}

std::vector<std::string> ScheduledArguments(const TSchedule& s) {
  if (s.Kind == TScheduleKind::Mirror) return {"mirror", "sync", "--all"};
  std::vector<std::string> a = {"backup"};
  if (s.AllProjects) {
    a.push_back("--all");
  }
  if (s.Keep > 0) {
    a.push_back("--keep");
    a.push_back(std::to_string(s.Keep));
  }
  if (s.MaxAge > 0) {
    a.push_back("--max-age");
    a.push_back(std::to_string(s.MaxAge));
  }
  if (!s.AllProjects) {
    // Names after "--", so that none is read as an option.
    a.push_back("--");
    a.insert(a.end(), s.Projects.begin(), s.Projects.end());
  }
  return a;
}

std::string SchedulerProgram(const std::string& name) {
  const std::string exe = OnWindows() ? name + ".exe" : name;
  const std::string dir = platform::GetEnv("ORLENWAY_SCHEDULER_DIR");
  if (!dir.empty()) return JoinPath(dir, exe);
  if (OnWindows()) {
    std::string root = platform::GetEnv("SystemRoot");
    if (root.empty()) root = "C:\\Windows";
    return JoinPath(JoinPath(root, "System32"), exe);
  }
  for (const char* folder : {"/usr/bin", "/bin", "/usr/local/bin"}) {
    const std::string path = JoinPath(folder, exe);
    if (platform::FileExists(path)) return path;
  }
  return JoinPath("/usr/bin", exe);
}

std::string InstalledAdminProgram() {
  return ExtractFilePath(platform::ExecutablePath()) +
         (OnWindows() ? "orlenway-admin.exe" : "orlenway-admin");
}

std::string ScheduleUnitName(TScheduleKind kind) {
  return kind == TScheduleKind::Backup ? "orlenway-admin-backup" : "orlenway-admin-mirror";
}

std::string UserUnitFolder() {
  std::string base = ConfigHome();
  if (base.empty()) {
    base = platform::GetEnv("HOME");
    if (base.empty()) base = "/tmp";
    if (base.back() == '/') base.pop_back();
    base += "/.config";
  }
  if (base.back() == '/') base.pop_back();
  return base + "/systemd/user";
}

std::string ScheduleServiceText(const TSchedule& s, const std::string& adminPath) {
  std::string exec = "ExecStart=" + SystemdQuote(adminPath);
  for (const std::string& a : ScheduledArguments(s))
    exec += " " + SystemdQuote(a);
  if (!ConfigHome().empty())
    exec = "Environment=" + SystemdQuote("XDG_CONFIG_HOME=" + ConfigHome()) + "\n" + exec;
  if (s.Kind == TScheduleKind::Backup)
    return FromTemplate(
        kBackupServiceTemplate,
        {{"Description", "Description=Orlenway: scheduled backup"}, {"ExecStart", exec}});
  return FromTemplate(kMirrorServiceTemplate, {{"ExecStart", exec}});
}

std::string ScheduleTimerText(const TSchedule& s) {
  if (s.Kind == TScheduleKind::Backup) {
    std::string when = "*-*-* " + TwoDigits(s.Hour) + ":" + TwoDigits(s.Minute) + ":00";
    if (s.Weekly) when = std::string(kDayNames[s.Day - 1]) + " " + when;
    // The time was chosen: no random delay after it.
    return FromTemplate(kBackupTimerTemplate,
                        {{"Description", "Description=Orlenway: scheduled backup"},
                         {"OnCalendar", "OnCalendar=" + when},
                         {"RandomizedDelaySec", ""}});
  }
  const std::string every = std::to_string(s.EveryMinutes) + "min";
  return FromTemplate(kMirrorTimerTemplate,
                      {{"Description", "Description=Orlenway: sync the mirrors every " + every},
                       {"OnActiveSec", "OnActiveSec=" + every},
                       {"OnUnitActiveSec", "OnUnitActiveSec=" + every}});
}

std::string ScheduleCrontabLine(const TSchedule& s, const std::string& adminPath,
                                std::string& error) {
  std::string when;
  if (s.Kind == TScheduleKind::Mirror) {
    const int n = s.EveryMinutes;
    if (n == 1)
      when = "* * * * *";
    else if (n < 60)
      when = "*/" + std::to_string(n) + " * * * *";
    else if (n % 60 == 0)
      when = "0 */" + std::to_string(n / 60) + " * * *";
    else {
      error =
          "crontab으로는 60분이 넘는 주기를 시간 단위로만 정할 수 있습니다: " + std::to_string(n) +
          "분";
      return "";
    }
  } else {
    when = std::to_string(s.Minute) + " " + std::to_string(s.Hour) + " * * " +
           (s.Weekly ? std::to_string(s.Day % 7) : "*");
  }
  std::string line = when + " ";
  if (!ConfigHome().empty()) line += "XDG_CONFIG_HOME=" + CronQuote(ConfigHome()) + " ";
  line += CronQuote(adminPath);
  for (const std::string& a : ScheduledArguments(s))
    line += " " + CronQuote(a);
  return line;
}

std::string ReplaceCrontabBlock(const std::string& crontab, TScheduleKind kind,
                                const std::string& line) {
  std::istringstream in(crontab);
  std::string l;
  std::string out;
  bool inside = false;
  while (std::getline(in, l)) {
    if (!inside && l == BlockBegin(kind)) {
      inside = true;
      continue;
    }
    if (inside) {
      if (l == BlockEnd(kind)) inside = false;
      continue;
    }
    out += l + "\n";
  }
  if (!line.empty()) out += BlockBegin(kind) + "\n" + line + "\n" + BlockEnd(kind) + "\n";
  return out;
}

std::vector<std::string> SchtasksCreateArguments(const TSchedule& s, const std::string& adminPath) {
  std::string command = text::WindowsArgument(adminPath);
  for (const std::string& a : ScheduledArguments(s))
    command += " " + text::WindowsArgument(a);
  std::vector<std::string> args = {"/Create", "/TN", ScheduleUnitName(s.Kind), "/TR", command};
  if (s.Kind == TScheduleKind::Mirror) {
    args.insert(args.end(), {"/SC", "MINUTE", "/MO", std::to_string(s.EveryMinutes)});
  } else if (s.Weekly) {
    args.insert(args.end(), {"/SC", "WEEKLY", "/D", kSchtasksDays[s.Day - 1]});
  } else {
    args.insert(args.end(), {"/SC", "DAILY"});
  }
  if (s.Kind == TScheduleKind::Backup)
    args.insert(args.end(), {"/ST", TwoDigits(s.Hour) + ":" + TwoDigits(s.Minute)});
  args.push_back("/F");
  return args;
}

std::vector<std::string> SchtasksDeleteArguments(TScheduleKind kind) {
  return {"/Delete", "/TN", ScheduleUnitName(kind), "/F"};
}

TScheduleResult ApplySchedule(const TSchedule& s, const std::string& adminPath, bool useCrontab,
                              TJobObserver& observer) {
  const std::string bad = CheckSchedule(s);
  if (!bad.empty()) return Failed(bad);
  if (!platform::FileExists(adminPath))
    return Failed("orlenway-admin을 찾을 수 없습니다: " + adminPath);
  const std::string name = ScheduleUnitName(s.Kind);

  if (OnWindows()) {
    const std::vector<std::string> args = SchtasksCreateArguments(s, adminPath);
    if (args[4].size() > kMaxTaskCommand)
      return Failed("예약 작업의 명령이 너무 깁니다 (" + std::to_string(args[4].size()) +
                    "자). 모든 프로젝트를 고르거나 프로젝트를 줄여주세요");
    const platform::TProgramResult r = Run("schtasks", args);
    if (!r.Started || r.ExitCode != 0) return Failed(Failure("작업을 등록하지 못했습니다", r));
    observer.Notify(TMsgIcon::Information, "작업 스케줄러에 등록하였습니다: " + name);
    return Done("작업 스케줄러에 등록하였습니다: " + name);
  }

  std::string why;
  if (!UserSystemdRuns(why)) {
    std::string error;
    const std::string line = ScheduleCrontabLine(s, adminPath, error);
    if (line.empty()) return Failed(error);
    if (!useCrontab) {
      TScheduleResult r;
      r.Outcome = TScheduleOutcome::NeedsCrontab;
      r.Message = "사용자 systemd가 실행되고 있지 않습니다: " + why;
      r.CrontabLine = line;
      return r;
    }
    std::string crontab;
    // A crontab that cannot be read is not rewritten: its lines would be lost.
    if (!ReadCrontab(crontab, error) ||
        !WriteCrontab(ReplaceCrontabBlock(crontab, s.Kind, line), error))
      return Failed(error);
    observer.Notify(TMsgIcon::Information, "crontab에 예약하였습니다: " + line);
    return Done("crontab에 예약하였습니다: " + line);
  }

  const std::string folder = UserUnitFolder();
  const std::string service = UnitPath(s.Kind, "service");
  const std::string timer = UnitPath(s.Kind, "timer");
  for (const std::string& file : {service, timer})
    if (platform::FileExists(file) && !OurFile(file))
      return Failed("직접 만든 유닛 파일이 있어 덮어쓰지 않습니다: " + file);
  if (!platform::DirectoryExists(folder) && !platform::ForceDirectories(folder))
    return Failed("폴더를 만들지 못했습니다: " + folder + " (" + platform::LastErrorMessage() +
                  ")");
  if (!platform::WriteFileAtomic(service, ScheduleServiceText(s, adminPath)) ||
      !platform::WriteFileAtomic(timer, ScheduleTimerText(s)))
    return Failed("유닛 파일을 쓰지 못했습니다: " + folder + " (" + platform::LastErrorMessage() +
                  ")");
  platform::TProgramResult r = Run("systemctl", {"--user", "daemon-reload"});
  if (r.Started && r.ExitCode == 0)
    r = Run("systemctl", {"--user", "enable", "--now", name + ".timer"});
  if (!r.Started || r.ExitCode != 0) {
    // Nothing half done: the files go again.
    const std::string message = Failure("타이머를 켜지 못했습니다", r);
    platform::DeleteFile(timer);
    platform::DeleteFile(service);
    Run("systemctl", {"--user", "daemon-reload"});
    return Failed(message);
  }
  // A block of an earlier crontab schedule would run the same job a second time.
  std::string crontab, error;
  if (platform::FileExists(SchedulerProgram("crontab")) && ReadCrontab(crontab, error) &&
      HasCrontabBlock(crontab, s.Kind))
    WriteCrontab(ReplaceCrontabBlock(crontab, s.Kind, ""), error);
  observer.Notify(TMsgIcon::Information, "타이머를 켰습니다: " + name + ".timer");
  return Done("타이머를 켰습니다: " + name + ".timer");
}

TScheduleResult RemoveSchedule(TScheduleKind kind, TJobObserver& observer) {
  const std::string name = ScheduleUnitName(kind);
  if (OnWindows()) {
    const platform::TProgramResult r = Run("schtasks", SchtasksDeleteArguments(kind));
    if (!r.Started || r.ExitCode != 0) {
      // No such task: there is nothing to turn off.
      const platform::TProgramResult q = Run("schtasks", {"/Query", "/TN", name});
      if (q.Started && q.ExitCode != 0) return Done("예약이 없습니다");
      return Failed(Failure("작업을 지우지 못했습니다", r));
    }
    observer.Notify(TMsgIcon::Information, "작업 스케줄러에서 지웠습니다: " + name);
    return Done("작업 스케줄러에서 지웠습니다: " + name);
  }

  std::vector<std::string> removed;
  const std::string service = UnitPath(kind, "service");
  const std::string timer = UnitPath(kind, "timer");
  const bool ourTimer = platform::FileExists(timer) && OurFile(timer);
  const bool ourService = platform::FileExists(service) && OurFile(service);
  if (ourTimer || ourService) {
    std::string why;
    if (UserSystemdRuns(why)) {
      const platform::TProgramResult r =
          Run("systemctl", {"--user", "disable", "--now", name + ".timer"});
      if (!r.Started || r.ExitCode != 0) return Failed(Failure("타이머를 끄지 못했습니다", r));
    }
    if (ourTimer && !platform::DeleteFile(timer))
      return Failed("파일을 지우지 못했습니다: " + timer);
    if (ourService && !platform::DeleteFile(service))
      return Failed("파일을 지우지 못했습니다: " + service);
    if (UserSystemdRuns(why)) Run("systemctl", {"--user", "daemon-reload"});
    removed.push_back(name + ".timer");
  }
  if (platform::FileExists(SchedulerProgram("crontab"))) {
    std::string crontab, error;
    if (!ReadCrontab(crontab, error)) return Failed(error);
    if (HasCrontabBlock(crontab, kind)) {
      if (!WriteCrontab(ReplaceCrontabBlock(crontab, kind, ""), error)) return Failed(error);
      removed.push_back("crontab");
    }
  }
  if (removed.empty()) return Done("예약이 없습니다");
  std::string what;
  for (const std::string& w : removed)
    what += (what.empty() ? "" : ", ") + w;
  observer.Notify(TMsgIcon::Information, "예약을 껐습니다: " + what);
  return Done("예약을 껐습니다: " + what);
}

TScheduleState ReadScheduleState(TScheduleKind kind) {
  TScheduleState st;
  const std::string name = ScheduleUnitName(kind);
  if (OnWindows()) {
    const platform::TProgramResult r = Run("schtasks", {"/Query", "/TN", name, "/FO", "LIST"});
    if (!r.Started || r.ExitCode != 0) return st;
    st.On = true;
    st.Where = "schtasks";
    std::istringstream in(r.Output);
    std::string line;
    while (std::getline(in, line))
      if (line.find("Next Run Time") != std::string::npos) {
        st.NextRun = text::Trim(line.substr(line.find(':') + 1));
        break;
      }
    return st;
  }
  const std::string timer = UnitPath(kind, "timer");
  std::string why;
  if (platform::FileExists(timer) && OurFile(timer) && UserSystemdRuns(why)) {
    const platform::TProgramResult e = Run("systemctl", {"--user", "is-enabled", name + ".timer"});
    if (e.Started && e.ExitCode == 0) {
      st.On = true;
      st.Where = "systemd";
      std::string data;
      platform::ReadWholeFile(timer, data);
      std::istringstream in(data);
      std::string line;
      while (std::getline(in, line))
        if (line.rfind("OnCalendar=", 0) == 0 || line.rfind("OnUnitActiveSec=", 0) == 0)
          st.Detail = line;
      const platform::TProgramResult n =
          Run("systemctl",
              {"--user", "show", "-p", "NextElapseUSecRealtime", "--value", name + ".timer"});
      if (n.Started && n.ExitCode == 0) {
        st.NextRun = text::Trim(n.Output);
        if (st.NextRun == "n/a" || st.NextRun == "0") st.NextRun.clear();
      }
      return st;
    }
  }
  if (platform::FileExists(SchedulerProgram("crontab"))) {
    std::string crontab, error;
    if (ReadCrontab(crontab, error) && HasCrontabBlock(crontab, kind)) {
      st.On = true;
      st.Where = "crontab";
      st.Detail = CrontabBlockLine(crontab, kind);
    }
  }
  return st;
}
