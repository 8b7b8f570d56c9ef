// The kernel's side of the Linux participants, for zivo list: the sysfs
// folder a participant name stands for, its `type`, and for a zone its
// governor (`policy`) and `mode`, for a cooling device its `max_state`, read
// now. An attribute that cannot be read shows as null.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

class CSysfsThermalView;

// {"path", "type", "policy", "mode"} for a zone, {"path", "type",
// "max_state"} for a cooling device; null when the view lists no such name.
nlohmann::json SysfsDetailsOf(CSysfsThermalView& view, const std::wstring& name);
