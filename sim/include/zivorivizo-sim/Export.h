// Symbol visibility of the simulation library's exported interface: it is
// built with hidden visibility, and only what carries ZIVO_SIM_EXPORT is seen
// by an integrator's tests.
#pragma once

#define ZIVO_SIM_EXPORT __attribute__((visibility("default")))
