// STUB: replaced by the configuration file loader.
#include "zivorivizo/OSConfigMgr.h"

COSConfigManager* COSConfigManager::mpConfigManager = nullptr;

COSConfigManager* COSConfigManager::GetInstance(std::wstring path) {
  if (mpConfigManager == nullptr) {
    mpConfigManager = new COSConfigManager(path);
  }
  return mpConfigManager;
}
void COSConfigManager::DeleteInstance() {
  delete mpConfigManager;
  mpConfigManager = nullptr;
}
COSConfigManager::COSConfigManager(std::wstring) {}
COSConfigManager::~COSConfigManager() = default;
int COSConfigManager::Init(std::wstring) {
  return 276;
}
