#include "LeftOutReport.h"

#include "PlatformOption.h"
#include "zivorivizo/Diagnostics.h"
#include "zivorivizo/LinuxSysfsView.h"

namespace {

constexpr LeftOutReason kReasons[] = {LeftOutReason::CountPastLimit, LeftOutReason::PathTooLong,
                                      LeftOutReason::EntryUnreadable,
                                      LeftOutReason::FirmwareInvalid, LeftOutReason::FirmwareCut};

int Sum(const std::vector<LeftOut>& leftOut) {
  int total = 0;
  for (const LeftOut& entry : leftOut) {
    total += entry.count;
  }
  return total;
}

}  // namespace

std::vector<LeftOut> LeftOutOf(const COSParticipantManager& manager, const ChosenPlatform& chosen) {
  std::vector<LeftOut> out;
  const DiscoveryLeftOut& counted = LeftOutByLastEnumerate(manager);
  for (LeftOutReason reason : kReasons) {
    if (counted.Count(reason) > 0) {
      out.push_back({LeftOutReasonText(reason), counted.Count(reason)});
    }
  }
  if (chosen.thermal) {
    const uint32_t notFolders = chosen.thermal->LeftOut();
    if (notFolders > 0) {
      out.push_back(
          {"thermal class entry that is no readable folder", static_cast<int>(notFolders)});
    }
  }
  return out;
}

nlohmann::json LeftOutJson(const std::vector<LeftOut>& leftOut) {
  nlohmann::json reasons = nlohmann::json::array();
  for (const LeftOut& entry : leftOut) {
    reasons.push_back({{"reason", entry.reason}, {"count", entry.count}});
  }
  return {{"count", Sum(leftOut)}, {"reasons", reasons}};
}

void PrintLeftOut(FILE* out, const std::vector<LeftOut>& leftOut) {
  if (leftOut.empty()) {
    return;
  }
  std::string reasons;
  for (const LeftOut& entry : leftOut) {
    reasons += (reasons.empty() ? "" : "; ") + entry.reason + ": " + std::to_string(entry.count);
  }
  std::fprintf(out, "Left out: %d (%s)\n", Sum(leftOut), reasons.c_str());
}
