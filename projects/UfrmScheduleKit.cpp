#include "projects/UfrmScheduleKit.h"

#include "base/UfnDesktop.h"
#include "base/UfnJob.h"

#include <QThread>

#include <memory>

TScheduleStateReader::TScheduleStateReader(TScheduleKind kind,
                                           std::function<void(const TScheduleState&)> shown)
    : FKind(kind), FShown(std::move(shown)) {}

TScheduleStateReader::~TScheduleStateReader() {
  // The read runs a scheduler's program or two; it ends on its own.
  if (FThread) {
    FThread->disconnect(this);
    FThread->wait();
    delete FThread;
  }
}

void TScheduleStateReader::Refresh() {
  if (FThread) {
    FStale = true;
    return;
  }
  auto state = std::make_shared<TScheduleState>();
  FThread = QThread::create([state, kind = FKind] { *state = ReadScheduleState(kind); });
  connect(FThread, &QThread::finished, this, [this, state] {
    FThread->deleteLater();
    FThread = nullptr;
    FShown(*state);
    if (FStale) {
      FStale = false;
      Refresh();
    }
  });
  FThread->start();
}

void ApplyScheduleAsked(const TSchedule& schedule, const std::string& adminPath) {
  TScheduleResult r = ApplySchedule(schedule, adminPath, false, SilentObserver());
  if (r.Outcome == TScheduleOutcome::NeedsCrontab) {
    if (Prompt().MessageDlg(r.Message + "\r\n\r\n같은 일을 하는 crontab 줄:\r\n" + r.CrontabLine +
                                "\r\n\r\n이 줄을 crontab에 쓰시겠습니까?",
                            TMsgIcon::Question, mbYes | mbNo) != mbYes)
      return;
    r = ApplySchedule(schedule, adminPath, true, SilentObserver());
  }
  if (!r.Ok()) Prompt().MessageDlg(r.Message, TMsgIcon::Error, mbOK);
}

void RemoveScheduleTold(TScheduleKind kind) {
  const TScheduleResult r = RemoveSchedule(kind, SilentObserver());
  if (!r.Ok()) Prompt().MessageDlg(r.Message, TMsgIcon::Error, mbOK);
}
