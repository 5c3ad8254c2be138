#pragma once
// When the status line is announced to screen readers: every text at once, except that progress
// texts, which arrive every 64 KiB, are announced at most about once a second.
#include <cstdint>

constexpr uint64_t kProgressAnnouncementIntervalMs = 1000;

struct AnnouncementClock {
  bool announcedBefore = false;
  uint64_t lastAnnouncedMs = 0;
};

// Whether a status text set at nowMs is announced; records the announcement when it is.
bool TakeAnnouncementTurn(AnnouncementClock& clock, bool isProgress, uint64_t nowMs);
