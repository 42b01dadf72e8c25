// Unattended runs of orlenway-admin: the nightly or weekly backup and the mirrors' sync every
// few minutes. Linux: a user timer and service of systemd (from the units the program ships),
// or, where no user systemd runs, a marked block in the user's crontab; Windows: a task of the
// Task Scheduler. Turning a schedule off removes what was written, nothing else.
#pragma once

#include "base/UfnJob.h"

#include <cstddef>
#include <string>
#include <vector>

enum class TScheduleKind { Backup, Mirror };

struct TSchedule {
  TScheduleKind Kind = TScheduleKind::Backup;
  // Backup: daily, or weekly on `Day` (1 Monday .. 7 Sunday), at Hour:Minute local time.
  bool Weekly = false;
  int Day = 1;
  int Hour = 2;
  int Minute = 30;
  bool AllProjects = true;
  std::vector<std::string> Projects; // when not AllProjects
  std::size_t Keep = 0;              // 0: no --keep
  int MaxAge = 0;                    // days; 0: no --max-age
  // Mirror: every so many minutes.
  int EveryMinutes = 1;
};

// What a schedule is rejected for ("" when it is sound): a time out of range, no project.
std::string CheckSchedule(const TSchedule& s);

// orlenway-admin's arguments for the run (without the program).
std::vector<std::string> ScheduledArguments(const TSchedule& s);

// The schedulers' programs: "systemctl", "crontab", "schtasks". ORLENWAY_SCHEDULER_DIR, when
// set, is the folder they are taken from (tests point it at stand-ins); otherwise the system's.
std::string SchedulerProgram(const std::string& name);

// orlenway-admin beside this program's executable.
std::string InstalledAdminProgram();

// ---- Linux: systemd user units and crontab -------------------------------------------------

// "orlenway-admin-backup" / "orlenway-admin-mirror": the units' and the task's name.
std::string ScheduleUnitName(TScheduleKind kind);
// $XDG_CONFIG_HOME/systemd/user (default ~/.config/systemd/user), without a trailing "/".
std::string UserUnitFolder();
// The units' texts, made from the shipped ones.
std::string ScheduleServiceText(const TSchedule& s, const std::string& adminPath);
std::string ScheduleTimerText(const TSchedule& s);
// The crontab line; "" with `error` when the period cannot be said in crontab.
std::string ScheduleCrontabLine(const TSchedule& s, const std::string& adminPath,
                                std::string& error);
// `crontab` without our block of `kind`, with `line` (when not "") as the new block at its end.
std::string ReplaceCrontabBlock(const std::string& crontab, TScheduleKind kind,
                                const std::string& line);

// ---- Windows: the Task Scheduler -----------------------------------------------------------

// schtasks' arguments to register (/Create ... /F) and to remove (/Delete ... /F) the task.
std::vector<std::string> SchtasksCreateArguments(const TSchedule& s, const std::string& adminPath);
std::vector<std::string> SchtasksDeleteArguments(TScheduleKind kind);

// ---- the jobs ------------------------------------------------------------------------------

enum class TScheduleOutcome {
  Done,
  NeedsCrontab, // no user systemd runs: nothing written; CrontabLine is what would be
  Failed
};

struct TScheduleResult {
  TScheduleOutcome Outcome = TScheduleOutcome::Failed;
  std::string Message;     // Failed: why; NeedsCrontab: that no user systemd runs
  std::string CrontabLine; // NeedsCrontab: the line offered
  bool Ok() const { return Outcome == TScheduleOutcome::Done; }
};

// Writes and turns on the schedule (replacing one of ours of the same kind). With
// `useCrontab`, where no user systemd runs the crontab block is written instead of being only
// offered.
TScheduleResult ApplySchedule(const TSchedule& s, const std::string& adminPath, bool useCrontab,
                              TJobObserver& observer);
// Turns the schedule of `kind` off and removes what ApplySchedule wrote, wherever it went.
TScheduleResult RemoveSchedule(TScheduleKind kind, TJobObserver& observer);

struct TScheduleState {
  bool On = false;
  std::string Where;   // "systemd", "crontab", "schtasks"; "" when off
  std::string NextRun; // as the scheduler tells it; "" when it does not
  std::string Detail;  // the timer's calendar, the crontab line or the task's command
};
TScheduleState ReadScheduleState(TScheduleKind kind);
