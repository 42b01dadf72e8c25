// A job is one thing a person can ask for (create a project, grant a user, back up, restore,
// verify...), done once in the core and called by both front ends: the window and
// orlenway-admin. It takes what it needs as arguments and reports through an observer: the
// window's shows message boxes and progress bars, orlenway-admin's prints lines and a
// terminal bar. Jobs never reach for a window, and never for Prompt() directly.
#pragma once

#include "base/UfnDesktop.h"

#include <string>

class TJobObserver {
public:
  virtual ~TJobObserver() = default;
  // A line worth telling: what was done, what was passed over, why something failed.
  virtual void Notify(TMsgIcon kind, const std::string& text) {
    (void)kind;
    (void)text;
  }
  // What is being worked on, with the item's and the whole job's share done (0..100).
  virtual void Progress(const std::string& item, int itemPercent, int totalPercent) {
    (void)item;
    (void)itemPercent;
    (void)totalPercent;
  }
  // A question; the answer is one of `buttons`. Unattended, the default button answers.
  virtual TMsgButton Ask(const std::string& text, TMsgIcon kind, TMsgButtons buttons) {
    (void)text;
    (void)kind;
    return DefaultButton(buttons);
  }
  // Asked between steps: true ends the job as soon as it can, leaving nothing half done.
  virtual bool Cancelled() { return false; }
};

// An observer that hears nothing, answers every question with its default button and
// never cancels.
inline TJobObserver& SilentObserver() {
  static TJobObserver observer;
  return observer;
}
