// When the next tick of zivo run's interval is due, in milliseconds of the
// loop's clock. A tick that comes late by a whole interval or more is a stall
// (the process was stopped, the machine suspended or starved): the next tick
// is then one interval from now, so the ticks missed meanwhile do not come
// out in a burst of decisions on the same readings.
#pragma once

#include <cstdint>

struct TickAfter {
  uint64_t next = 0;       // when the next tick is due
  uint64_t stalledMs = 0;  // how late the tick just made was, when a stall; else 0
};

// `due` is when the tick just made was due, `now` when it was made.
TickAfter NextTick(uint64_t due, uint64_t now, uint64_t intervalMs);
