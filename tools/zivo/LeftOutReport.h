// How many participants discovery left out, and why: the participant
// manager's count for its last Enumerate and, on the Linux platform, the
// thermal class entries that were no folder to read. zivo list shows it so
// that a participant the user expects is not just silently missing.
#pragma once

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

class COSParticipantManager;
struct ChosenPlatform;

struct LeftOut {
  std::string reason;
  int count = 0;
};

// Only the reasons that left something out, in a fixed order.
std::vector<LeftOut> LeftOutOf(const COSParticipantManager& manager, const ChosenPlatform& chosen);
// {"count": N, "reasons": [{"reason": TEXT, "count": n}, ...]}.
nlohmann::json LeftOutJson(const std::vector<LeftOut>& leftOut);
// "Left out: N (reason: n; reason: n)"; nothing when none was.
void PrintLeftOut(FILE* out, const std::vector<LeftOut>& leftOut);
