#include "admin/UfnAdminSchedule.h"

#include "admin/UfnAdminTool.h"
#include "admin/UfnProgressBar.h"
#include "base/UfnText.h"
#include "platform/UfnFiles.h"
#include "projects/UclsProjectMgr.h"
#include "projects/UfnSchedule.h"

#include <algorithm>

namespace {

const char* const kTool = "orlenway-admin";
const char* const kDays[] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};

struct TRefusal {
  std::string Text;
};

std::string HelpRow(const std::string& left, const std::string& right, int column) {
  const int used = DisplayColumns(left);
  if (used + 1 > column)
    return left + "\n" + std::string(static_cast<size_t>(column), ' ') + right + "\n";
  return left + std::string(static_cast<size_t>(column - used), ' ') + right + "\n";
}

int Number(const std::string& option, const std::string& text, int low, int high) {
  int n = 0;
  if (text.empty() || text.size() > 6) throw TRefusal{option + " 값이 올바르지 않습니다: " + text};
  for (char c : text) {
    if (c < '0' || c > '9') throw TRefusal{option + " 값이 올바르지 않습니다: " + text};
    n = n * 10 + (c - '0');
  }
  if (n < low || n > high) throw TRefusal{option + " 값이 올바르지 않습니다: " + text};
  return n;
}

// "HH:MM" into the schedule.
void ParseTime(const std::string& text, TSchedule& s) {
  const auto colon = text.find(':');
  if (colon == std::string::npos) throw TRefusal{"시각은 HH:MM으로 입력해주세요: " + text};
  s.Hour = Number("시각", text.substr(0, colon), 0, 23);
  s.Minute = Number("시각", text.substr(colon + 1), 0, 59);
}

// mon..sun or 1..7 (Monday is 1).
int ParseDay(const std::string& text) {
  const std::string lower = text::LowerAscii(text);
  for (int i = 0; i < 7; ++i)
    if (lower.rfind(kDays[i], 0) == 0 && lower.size() >= 3) return i + 1;
  return Number("요일", text, 1, 7);
}

int Report(const TScheduleResult& r, bool crontabOffered, std::ostream& out, std::ostream& err) {
  if (r.Outcome == TScheduleOutcome::Done) {
    out << r.Message << "\n";
    return AdminExitOk;
  }
  if (r.Outcome == TScheduleOutcome::NeedsCrontab) {
    out << r.Message << "\n"
        << "같은 일을 하는 crontab 줄:\n"
        << r.CrontabLine << "\n";
    if (!crontabOffered) out << "--crontab을 붙이면 이 줄을 crontab에 씁니다.\n";
    return AdminExitFailed;
  }
  err << kTool << ": " << r.Message << "\n";
  return AdminExitFailed;
}

int Backup(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  TSchedule s;
  bool when = false, crontab = false;
  std::vector<std::string> names;
  for (size_t i = 2; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto next = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw TRefusal{a + " 다음에 값을 입력해주세요"};
      return args[++i];
    };
    if (a == "--daily") {
      ParseTime(next(), s);
      s.Weekly = false;
      when = true;
    } else if (a == "--weekly") {
      s.Day = ParseDay(next());
      ParseTime(next(), s);
      s.Weekly = true;
      when = true;
    } else if (a == "--all") {
      s.AllProjects = true;
    } else if (a == "--keep") {
      s.Keep = static_cast<size_t>(Number("--keep", next(), 1, 999999));
    } else if (a == "--max-age") {
      s.MaxAge = Number("--max-age", next(), 1, 999999);
    } else if (a == "--crontab") {
      crontab = true;
    } else if (a.size() > 1 && a[0] == '-') {
      throw TRefusal{"알 수 없는 옵션입니다: " + a};
    } else {
      names.push_back(a);
    }
  }
  if (!when) throw TRefusal{"--daily HH:MM이나 --weekly 요일 HH:MM을 입력해주세요"};
  const bool all = std::find(args.begin(), args.end(), "--all") != args.end();
  if (all && !names.empty()) throw TRefusal{"--all과 프로젝트 이름을 함께 쓸 수 없습니다"};
  if (!all && names.empty()) throw TRefusal{"프로젝트 이름이나 --all을 입력해주세요"};
  ProjectMgr->Refresh();
  for (const std::string& name : names)
    if (std::find(ProjectMgr->Projects.begin(), ProjectMgr->Projects.end(), name) ==
        ProjectMgr->Projects.end())
      throw TRefusal{"프로젝트가 존재하지 않습니다: " + name};
  s.AllProjects = all;
  s.Projects = names;
  return Report(ApplySchedule(s, platform::ExecutablePath(), crontab, SilentObserver()), crontab,
                out, err);
}

int Mirror(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  TSchedule s;
  s.Kind = TScheduleKind::Mirror;
  bool crontab = false;
  for (size_t i = 2; i < args.size(); ++i) {
    if (args[i] == "--every" && i + 1 < args.size())
      s.EveryMinutes = Number("--every", args[++i], 1, 1439);
    else if (args[i] == "--crontab")
      crontab = true;
    else
      throw TRefusal{"schedule mirror [--every 분] [--crontab]: " + args[i]};
  }
  return Report(ApplySchedule(s, platform::ExecutablePath(), crontab, SilentObserver()), crontab,
                out, err);
}

void Show(TScheduleKind kind, const char* title, std::ostream& out) {
  const TScheduleState st = ReadScheduleState(kind);
  out << title << ": ";
  if (!st.On) {
    out << "꺼짐\n";
    return;
  }
  out << "켜짐 (" << st.Where << (st.Detail.empty() ? "" : ", " + st.Detail) << ")";
  if (!st.NextRun.empty()) out << ", 다음 실행: " << st.NextRun;
  out << "\n";
}

} // namespace

int AdminSchedule(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const std::string what = args.size() > 1 ? args[1] : "";
  try {
    if (what == "show" && args.size() == 2) {
      Show(TScheduleKind::Backup, "백업 예약", out);
      Show(TScheduleKind::Mirror, "미러 동기화 예약", out);
      return AdminExitOk;
    }
    if (what == "backup") return Backup(args, out, err);
    if (what == "mirror") return Mirror(args, out, err);
    if (what == "off" && args.size() == 3 && (args[2] == "backup" || args[2] == "mirror"))
      return Report(
          RemoveSchedule(args[2] == "backup" ? TScheduleKind::Backup : TScheduleKind::Mirror,
                         SilentObserver()),
          true, out, err);
    throw TRefusal{"schedule show|backup|mirror|off ... (orlenway-admin --help)"};
  } catch (const TRefusal& r) {
    err << kTool << ": " << r.Text << "\n";
    return AdminExitRefused;
  }
}

std::string AdminScheduleHelp(int column) {
  std::string h;
  h += HelpRow("  schedule show", "백업과 미러 동기화 예약, 다음 실행 시각을 보여줍니다", column);
  h += HelpRow("  schedule backup --daily HH:MM | --weekly 요일 HH:MM 프로젝트... | --all "
               "[--keep N] [--max-age 일수] [--crontab]",
               "백업을 예약합니다 (systemd 사용자 타이머, 없으면 crontab)", column);
  h += HelpRow("  schedule mirror [--every 분] [--crontab]",
               "미러를 이 분마다 동기화합니다 (기본 1분)", column);
  h += HelpRow("  schedule off backup|mirror", "예약을 끄고 예약이 쓴 파일을 지웁니다", column);
  return h;
}
