// Why a participant's files could not be read or written, in words, for
// zivo's lines and its log: "/sys/class/thermal/cooling_device0/cur_state:
// Permission denied (EACCES)". The library's status code (114) says only that
// a request failed; the Linux platform keeps the file and the errno
// (GetLinuxAccessFailure). Commands that report a failed operation (list,
// add-*, remove-*, run) add this text; status-codes keeps to the code.
#pragma once

#include <string>

// The latest failed access to participant `name`, or empty when there is
// none (or the platform is not the Linux one).
std::string AccessFailureText(const std::wstring& name);
// Writes `what` and, when there is one, the failure of `name` to the
// library's log as an Error line (nothing when no log is on).
void LogAccessFailure(const std::string& what, const std::wstring& name);
