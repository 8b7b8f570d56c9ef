// The report zivo demo --report FILE writes: a dry run of the policy on the
// same simulated handheld (zivo run in a process of its own, its clock
// running fast, nothing acted on) for a few simulated minutes, recorded and
// drawn as zivo report draws it.
#pragma once

#include <string>

#include "PlatformOption.h"

// Simulated seconds the recorded run lasts.
inline constexpr int kDemoReportSeconds = 600;

// False with a one-line `error` when the run or the page failed.
bool WriteDemoReport(const PlatformOptions& options, const std::string& file, std::string& error);
