// The power stand-in is part of the exported interface (a host may give a
// platform a power of its own); see zivorivizo/Power.h.
#pragma once

#include "zivorivizo/Power.h"
