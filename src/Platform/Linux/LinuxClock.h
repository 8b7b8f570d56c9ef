// The system clock.
#pragma once

#include "zivorivizo/Clock.h"

class CLinuxClock : public CClock {
 public:
  _tagSLocalTime LocalNow() override;
  uint64_t UtcSeconds() override;
};
