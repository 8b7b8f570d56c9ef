// What a command tells the user besides its own result: which policy it
// loaded (or why none), and every shutdown or hibernate request the library
// made while the command ran (recorded, never carried out).
#pragma once

#include <cstdio>
#include <string>

#include "PlatformOption.h"

class CHostSession;

// "Policy: FILE", "Policy: none given (built-in defaults)" or "Policy: NOT
// loaded from FILE: reason". Returns false when an explicit --config did not
// load; the caller then exits 1.
bool ReportPolicy(FILE* out, const PlatformOptions& options, const CHostSession& session);
// The reason a policy file did not load, in words: the file's own problem
// (missing, unreadable) when there is one, else the library's status.
std::string PolicyFailure(const std::string& file, int status);
// One line per shutdown or hibernate request the library made; nothing when
// there was none. Returns how many there were.
std::size_t ReportPowerRequests(FILE* out, const ChosenPlatform& chosen);
