// The process-wide system manager. GetInstance creates it on first use;
// DeleteInstance destroys it. Actions go through the installed platform's
// power stand-in (on the simulated platform they are recorded, never acted on).
// GetInstance and DeleteInstance may be called from any thread; a failure to
// shut down or hibernate is written to the log at Error.
#pragma once

#include <memory>

#include "zivorivizo/Export.h"
#include "zivorivizo/SystemManager.h"

class CPlatform;

class ZIVO_EXPORT COSSystemManager : public CSystemManager {
 public:
  // May throw the int 16 when initialisation fails.
  static COSSystemManager* GetInstance();
  static void DeleteInstance();

  ~COSSystemManager() override;
  COSSystemManager(const COSSystemManager&) = default;
  COSSystemManager& operator=(const COSSystemManager&) = default;

  int SystemShutdown(int timeout, wchar_t* message) override;
  int Hibernate(int unused) override;

 private:
  COSSystemManager();
  int Init() override;

  static COSSystemManager* mpSysManager;
  // The platform current at construction, used for every action.
  std::shared_ptr<CPlatform> mPlatform;
};
