#include "LeftOutReport.h"

#include "Platform/Linux/SysfsThermalView.h"
#include "PlatformOption.h"
#include "zivorivizo/Diagnostics.h"

namespace {

constexpr LeftOutReason kReasons[] = {LeftOutReason::CountPastLimit, LeftOutReason::PathTooLong,
                                      LeftOutReason::EntryUnreadable,
                                      LeftOutReason::FirmwareInvalid, LeftOutReason::FirmwareCut};

int Sum(const std::vector<_tagSLeftOut>& leftOut) {
  int total = 0;
  for (const _tagSLeftOut& entry : leftOut) {
    total += entry.count;
  }
  return total;
}

}  // namespace

std::vector<_tagSLeftOut> LeftOutOf(const COSParticipantManager& manager,
                                    const _tagSChosenPlatform& chosen) {
  std::vector<_tagSLeftOut> out;
  const DiscoveryLeftOut& counted = LeftOutByLastEnumerate(manager);
  for (LeftOutReason reason : kReasons) {
    if (counted.Count(reason) > 0) {
      out.push_back({LeftOutReasonText(reason), counted.Count(reason)});
    }
  }
  if (chosen.thermal) {
    const uint32_t notFolders = chosen.thermal->Current()->Scan().leftOut;
    if (notFolders > 0) {
      out.push_back(
          {"thermal class entry that is no readable folder", static_cast<int>(notFolders)});
    }
  }
  return out;
}

nlohmann::json LeftOutJson(const std::vector<_tagSLeftOut>& leftOut) {
  nlohmann::json reasons = nlohmann::json::array();
  for (const _tagSLeftOut& entry : leftOut) {
    reasons.push_back({{"reason", entry.reason}, {"count", entry.count}});
  }
  return {{"count", Sum(leftOut)}, {"reasons", reasons}};
}

void PrintLeftOut(FILE* out, const std::vector<_tagSLeftOut>& leftOut) {
  if (leftOut.empty()) {
    return;
  }
  std::string reasons;
  for (const _tagSLeftOut& entry : leftOut) {
    reasons += (reasons.empty() ? "" : "; ") + entry.reason + ": " + std::to_string(entry.count);
  }
  std::fprintf(out, "Left out: %d (%s)\n", Sum(leftOut), reasons.c_str());
}
