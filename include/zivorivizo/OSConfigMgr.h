// The process-wide configuration manager, filled from the XML policy file
// (velmarconfig.xml). GetInstance constructs it on the first call, loading the
// file; later calls return it whatever path they pass. DeleteInstance destroys
// it.
#pragma once

#include <memory>
#include <string>

#include "zivorivizo/ConfigManager.h"
#include "zivorivizo/Export.h"

class CPlatform;

class ZIVO_EXPORT COSConfigManager : public CConfigManager {
 public:
  // Throws the int 15 when construction fails.
  static COSConfigManager* GetInstance(std::wstring path);
  static void DeleteInstance();

  ~COSConfigManager() override;
  int Init(std::wstring path) override;

 private:
  explicit COSConfigManager(std::wstring path);

  static COSConfigManager* mpConfigManager;
  std::shared_ptr<CPlatform> mPlatform;
};
