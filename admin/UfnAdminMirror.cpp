#include "admin/UfnAdminMirror.h"

#include "admin/UfnAdminTool.h"
#include "admin/UfnProgressBar.h"
#include "base/UfnJob.h"
#include "base/UfnText.h"
#include "platform/UfnFiles.h"
#include "projects/UclsProjectMgr.h"
#include "projects/UfnMirrorJob.h"
#include "settings/UclsBasicSetting.h"

#include <algorithm>
#include <nlohmann/json.hpp>

namespace {

const char* const kTool = "orlenway-admin";

struct TRefusal {
  std::string Text;
};

// Failures go to standard error with the tool's name, everything else to standard output.
class TMirrorObserver : public TJobObserver {
public:
  TMirrorObserver(std::ostream& out, std::ostream& err) : FOut(out), FErr(err) {}
  void Notify(TMsgIcon kind, const std::string& text) override {
    FOut << std::flush;
    if (kind == TMsgIcon::Error)
      FErr << kTool << ": " << text << "\n" << std::flush;
    else
      FOut << text << "\n" << std::flush;
  }

private:
  std::ostream& FOut;
  std::ostream& FErr;
};

std::string HelpRow(const std::string& left, const std::string& right, int column) {
  const int used = DisplayColumns(left);
  if (used + 1 > column)
    return left + "\n" + std::string(static_cast<size_t>(column), ' ') + right + "\n";
  return left + std::string(static_cast<size_t>(column - used), ' ') + right + "\n";
}

const std::string& Root() {
  return BasicSetting->RepoPath;
}
const std::string& SvnPath() {
  return BasicSetting->SVNPath;
}

std::string NeedMirror(const std::vector<std::string>& names, const std::string& command) {
  if (names.size() != 1) throw TRefusal{"mirror " + command + "에는 미러 이름 하나를 입력해주세요"};
  ProjectMgr->Refresh();
  const auto& all = ProjectMgr->Projects;
  if (std::find(all.begin(), all.end(), names[0]) == all.end())
    throw TRefusal{"프로젝트가 존재하지 않습니다: " + names[0]};
  if (!IsMirror(SvnPath(), Root(), names[0])) throw TRefusal{"미러가 아닙니다: " + names[0]};
  return names[0];
}

std::string Revision(long r) {
  return r < 0 ? "?" : std::to_string(r);
}

int Add(const std::vector<std::string>& names, const TMirrorSource& source, std::ostream& out,
        std::ostream& err) {
  if (names.size() != 2) throw TRefusal{"mirror add에는 미러 이름과 원본 URL을 입력해주세요"};
  TMirrorObserver observer(out, err);
  const TMirrorResult r = AddMirror(SvnPath(), Root(), names[0], source, observer);
  if (r.Outcome == TMirrorOutcome::Refused) return AdminExitRefused; // told by the job
  if (!r.Ok()) return AdminExitFailed;
  out << text::Trim(names[0]) << ": 미러를 만들었습니다. 동기화한 리비전: " << r.LastMerged << "\n";
  return AdminExitOk;
}

int Sync(const std::vector<std::string>& names, bool all, std::ostream& out, std::ostream& err) {
  std::vector<std::string> mirrors;
  if (all) {
    if (!names.empty()) throw TRefusal{"--all과 미러 이름을 함께 쓸 수 없습니다"};
    ProjectMgr->Refresh();
    mirrors = ListMirrors(SvnPath(), Root(), ProjectMgr->Projects);
  } else {
    mirrors.push_back(NeedMirror(names, "sync"));
  }
  TMirrorObserver observer(out, err);
  int status = AdminExitOk;
  for (const std::string& name : mirrors) {
    const TMirrorResult r = SyncMirror(SvnPath(), Root(), name, observer);
    if (r.Ok())
      out << name << ": 동기화하였습니다. 리비전 " << r.LastMerged << "\n";
    else
      status = AdminExitFailed; // the job told why
  }
  out << std::flush;
  return status;
}

int Status(const std::vector<std::string>& names, bool json, std::ostream& out) {
  if (!names.empty()) throw TRefusal{"mirror status에는 인수가 없습니다: " + names.front()};
  ProjectMgr->Refresh();
  nlohmann::json list = nlohmann::json::array();
  int shown = 0;
  for (const std::string& name : ListMirrors(SvnPath(), Root(), ProjectMgr->Projects)) {
    TMirrorStatus s;
    if (!ReadMirrorStatus(SvnPath(), Root(), name, true, s)) continue;
    ++shown;
    if (json) {
      nlohmann::json o = {{"name", s.Name}, {"source", s.Source}};
      o["last_merged"] = s.LastMerged < 0 ? nlohmann::json() : nlohmann::json(s.LastMerged);
      o["source_youngest"] =
          s.SourceYoungest < 0 ? nlohmann::json() : nlohmann::json(s.SourceYoungest);
      o["last_sync_time"] =
          s.LastSyncTime.empty() ? nlohmann::json() : nlohmann::json(s.LastSyncTime);
      if (!s.SourceError.empty()) o["source_error"] = s.SourceError;
      list.push_back(o);
      continue;
    }
    out << s.Name << "\n  원본: " << s.Source << "\n  동기화한 리비전: " << Revision(s.LastMerged)
        << "\n  원본의 최신 리비전: " << Revision(s.SourceYoungest);
    if (!s.SourceError.empty()) out << " (" << s.SourceError << ")";
    out << "\n  마지막 동기화: " << (s.LastSyncTime.empty() ? "-" : s.LastSyncTime) << "\n";
  }
  if (json)
    out << list.dump(2) << "\n";
  else if (shown == 0)
    out << "미러가 없습니다.\n";
  out << std::flush;
  return AdminExitOk;
}

int Stop(const std::vector<std::string>& names, bool promote, std::ostream& out,
         std::ostream& err) {
  const std::string name = NeedMirror(names, promote ? "promote" : "remove");
  TMirrorObserver observer(out, err);
  const TMirrorResult r = StopMirror(SvnPath(), Root(), name, promote, observer);
  if (!r.Ok()) return AdminExitFailed;
  out << name
      << (promote
              ? ": 미러를 승격하였습니다. 원본의 작업 사본은 svn relocate 후 커밋할 수 있습니다.\n"
              : ": 더 이상 원본을 따르지 않습니다. 저장소는 그대로 있습니다.\n");
  return AdminExitOk;
}

} // namespace

std::string AdminMirrorHelp(int column) {
  std::string h;
  h += HelpRow("  mirror add 이름 원본URL [--source-user U --source-password P]",
               "원본 저장소(svn://, file://)를 따르는 읽기 전용 미러를 만듭니다", column);
  h += std::string(static_cast<size_t>(column), ' ') +
       "(--source-password - 이면 표준 입력에서 읽습니다)\n";
  h += HelpRow("  mirror sync 이름 | --all", "미러를 원본의 최신 리비전까지 동기화합니다", column);
  h +=
      HelpRow("  mirror status [--json]",
              "미러마다 원본, 동기화한 리비전, 원본의 최신 리비전, 마지막 동기화 시각을 보여줍니다",
              column);
  h += HelpRow("  mirror promote 이름", "원본을 잃었을 때 미러를 커밋할 수 있는 저장소로 바꿉니다",
               column);
  h += HelpRow("  mirror remove 이름", "원본을 따르지 않게 합니다 (저장소는 남습니다)", column);
  return h;
}

int AdminMirror(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                std::istream& in) {
  try {
    const std::string sub = args.size() > 1 ? args[1] : "";
    std::vector<std::string> names;
    TMirrorSource source;
    bool all = false, json = false, passwordGiven = false;
    for (size_t i = 2; i < args.size(); ++i) {
      const std::string& arg = args[i];
      auto value = [&]() -> std::string {
        if (i + 1 >= args.size()) throw TRefusal{arg + " 다음에 값을 입력해주세요"};
        return args[++i];
      };
      if (sub == "add" && arg == "--source-user") {
        source.User = value();
      } else if (sub == "add" && arg == "--source-password") {
        source.Password = value();
        passwordGiven = true;
      } else if (sub == "sync" && arg == "--all") {
        all = true;
      } else if (sub == "status" && arg == "--json") {
        json = true;
      } else if (arg.size() > 1 && arg[0] == '-') {
        throw TRefusal{"알 수 없는 옵션입니다: " + arg};
      } else {
        names.push_back(arg);
      }
    }
    // "-" keeps the password off the process list.
    if (passwordGiven && source.Password == "-") std::getline(in, source.Password);
    if (passwordGiven && source.User.empty())
      throw TRefusal{"--source-password에는 --source-user가 필요합니다"};
    if (Root().empty() || !platform::DirectoryExists(Root()))
      throw TRefusal{"저장소 경로 설정 해주세요 (" + Root() + ")"};
    if (sub == "add") {
      if (names.size() == 2) source.Url = names[1];
      return Add(names, source, out, err);
    }
    if (sub == "sync") {
      if (!all && names.empty()) throw TRefusal{"미러 이름이나 --all을 입력해주세요"};
      return Sync(names, all, out, err);
    }
    if (sub == "status") return Status(names, json, out);
    if (sub == "promote") return Stop(names, true, out, err);
    if (sub == "remove") return Stop(names, false, out, err);
    throw TRefusal{"mirror 다음에 add, sync, status, promote, remove 중 하나를 입력해주세요"};
  } catch (const TRefusal& e) {
    out << std::flush;
    err << kTool << ": " << e.Text << "\n";
    return AdminExitRefused;
  }
}
