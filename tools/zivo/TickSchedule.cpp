#include "TickSchedule.h"

TickAfter NextTick(uint64_t due, uint64_t now, uint64_t intervalMs) {
  TickAfter after;
  if (now >= due + intervalMs) {
    after.stalledMs = now - due;
    after.next = now + intervalMs;
  } else {
    after.next = due + intervalMs;
  }
  return after;
}
