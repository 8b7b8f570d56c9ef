#include "support/SimPlatformTest.h"

#include "zivorivizo/OSConfigMgr.h"
#include "zivorivizo/OSEventManager.h"
#include "zivorivizo/OSParticipantMgr.h"
#include "zivorivizo/OSSystemManager.h"

namespace {

void DeleteSingletons() {
  COSEventManager::DeleteInstance();
  COSParticipantManager::DeleteInstance();
  COSConfigManager::DeleteInstance();
  COSSystemManager::DeleteInstance();
}

}  // namespace

CFaultPlan& Faults() {
  return dynamic_cast<CSimPlatform&>(*CPlatform::Current()).Faults();
}

void CSimPlatformTest::SetUp() {
  DeleteSingletons();
  mPlatform = InstallSimPlatform();
  mLog.Clear();
}

void CSimPlatformTest::TearDown() {
  DeleteSingletons();
}
