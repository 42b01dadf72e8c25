#include "admin/UfnAdminBackupStatus.h"

#include "admin/UfnAdminTool.h"
#include "projects/UfnBackupRecord.h"

int AdminBackupStatus(const std::vector<std::string>& args, const std::string& recordFile,
                      std::ostream& out, std::ostream& err) {
  bool asJson = false;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] != "--json") {
      err << "orlenway-admin: 알 수 없는 옵션입니다: " << args[i] << "\n";
      return AdminExitRefused;
    }
    asJson = true;
  }
  std::vector<TBackupRecordEntry> entries;
  std::string error;
  if (!ReadBackupRecord(recordFile, entries, error)) {
    err << "orlenway-admin: " << error << "\n";
    return AdminExitFailed;
  }
  if (asJson) {
    out << BackupRecordJson(entries);
    return AdminExitOk;
  }
  if (entries.empty()) out << "백업 기록이 없습니다.\n";
  for (const TBackupRecordEntry& e : entries) {
    out << e.Name << ": ";
    if (e.Result == "done")
      out << "백업 완료";
    else if (e.Result == "skipped")
      out << "바뀐 것이 없어 건너뜀";
    else
      out << "백업 실패 (" << e.Error << ")";
    out << " " << BackupRecordLocalTime(e.End) << ", 최근 정상 백업 : ";
    if (e.LastGoodArchive.empty())
      out << "없음\n";
    else
      out << e.LastGoodArchive << " (" << BackupRecordLocalTime(e.LastGoodTime) << ")\n";
  }
  return AdminExitOk;
}
