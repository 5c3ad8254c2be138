#include "app/live_region_rules.h"

bool TakeAnnouncementTurn(AnnouncementClock& clock, bool isProgress, uint64_t nowMs) {
  // A clock that went backwards (it should not) counts as due rather than silencing the line.
  const bool due = !isProgress || !clock.announcedBefore || nowMs < clock.lastAnnouncedMs ||
                   nowMs - clock.lastAnnouncedMs >= kProgressAnnouncementIntervalMs;
  if (due) {
    clock.announcedBefore = true;
    clock.lastAnnouncedMs = nowMs;
  }
  return due;
}
