// One mock logind per test program, started on first use and stopped at exit,
// so the power tests pay for starting python-dbusmock once. Each test resets
// it (Reset) before use.
#pragma once

#include "support/MockLogind.h"

CMockLogind& SharedMockLogind();
