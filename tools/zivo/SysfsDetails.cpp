#include "SysfsDetails.h"

#include <fcntl.h>

#include "Platform/Linux/SysfsAttribute.h"
#include "Platform/Linux/SysfsThermalView.h"

namespace {

nlohmann::json Text(int dir, const char* name) {
  std::string text;
  uint32_t error = 0;
  return ReadSysfsText(dir, name, text, error) ? nlohmann::json(text) : nlohmann::json();
}

nlohmann::json Number(int dir, const char* name) {
  int64_t value = 0;
  uint32_t error = 0;
  return ReadSysfsNumber(dir, name, value, error) ? nlohmann::json(value) : nlohmann::json();
}

}  // namespace

nlohmann::json SysfsDetailsOf(CSysfsThermalView& view, const std::wstring& name) {
  const auto snapshot = view.Current();
  const _tagSThermalEntry* zone = snapshot->FindZone(name);
  const _tagSThermalEntry* entry = zone != nullptr ? zone : snapshot->FindCooling(name);
  if (entry == nullptr) {
    return nullptr;
  }
  nlohmann::json details = {{"path", entry->path}, {"type", entry->type}};
  CUniqueFd dir(open(entry->path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK));
  if (zone != nullptr) {
    details["policy"] = dir.Valid() ? Text(dir.Get(), "policy") : nullptr;
    details["mode"] = dir.Valid() ? Text(dir.Get(), "mode") : nullptr;
  } else {
    details["max_state"] = dir.Valid() ? Number(dir.Get(), "max_state") : nullptr;
  }
  return details;
}
