#include "PartMgr/DiscoveryLeftOut.h"

#include <map>
#include <mutex>

#include "zivorivizo/OSParticipantMgr.h"

static_assert(COSParticipantManager::MAX_DRIVER_PARTICIPANTS == 1024,
              "the text of CountPastLimit names the limit");

namespace {

std::mutex gRecordsLock;
// Node-based, so a record stays where it is while others come and go.
std::map<const COSParticipantManager*, DiscoveryLeftOut> gRecords;

}  // namespace

DiscoveryLeftOut& LeftOutRecordOf(const COSParticipantManager& manager) {
  std::lock_guard<std::mutex> hold(gRecordsLock);
  return gRecords[&manager];
}

void ForgetLeftOut(const COSParticipantManager& manager) {
  std::lock_guard<std::mutex> hold(gRecordsLock);
  gRecords.erase(&manager);
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
  return LeftOutRecordOf(manager);
}
