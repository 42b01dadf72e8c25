// What the backup schedule's dialog and the mirrors' dialog share about a schedule: its state
// read in the background, and turning it on with the crontab question where no user systemd runs.
#pragma once

#include "projects/UfnSchedule.h"

#include <QObject>

#include <functional>
#include <string>

class QThread;

// Reads a schedule's state on a thread of its own and hands it to `shown` on the window's
// thread; asked again while reading, it reads once more afterwards. Its end waits for the read.
class TScheduleStateReader : public QObject {
public:
  TScheduleStateReader(TScheduleKind kind, std::function<void(const TScheduleState&)> shown);
  ~TScheduleStateReader() override;
  void Refresh();
  bool Reading() const { return FThread != nullptr; }

private:
  TScheduleKind FKind;
  std::function<void(const TScheduleState&)> FShown;
  QThread* FThread = nullptr;
  bool FStale = false;
};

// Turns the schedule on; where no user systemd runs, shows the equivalent crontab line and
// writes it only after a yes. A failure is told.
void ApplyScheduleAsked(const TSchedule& schedule, const std::string& adminPath);
// Turns the schedule off; a failure is told.
void RemoveScheduleTold(TScheduleKind kind);
