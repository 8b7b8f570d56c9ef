#include "PartMgr/DiscoveryLeftOut.h"

#include <numeric>

#include "zivorivizo/OSParticipantMgr.h"

static_assert(COSParticipantManager::MAX_DRIVER_PARTICIPANTS == 1024,
              "the text of CountPastLimit names the limit");

int DiscoveryLeftOut::Total() const {
  return std::accumulate(counts.begin(), counts.end(), 0);
}

const char* LeftOutReasonText(LeftOutReason reason) {
  switch (reason) {
    case LeftOutReason::CountPastLimit:
      return "listed beyond the 1024 entries read of a count";
    case LeftOutReason::PathTooLong:
      return "path longer than the 63 characters the parameters key holds";
    case LeftOutReason::EntryUnreadable:
      return "parameters key entry missing or not a text";
    case LeftOutReason::FirmwareInvalid:
      return "firmware sensor whose description cannot be read";
    case LeftOutReason::FirmwareCut:
      return "firmware list broke off, the rest unknown";
  }
  return "";
}

const DiscoveryLeftOut& LeftOutByLastEnumerate(const COSParticipantManager& manager) {
  return *manager.mLeftOut;
}
