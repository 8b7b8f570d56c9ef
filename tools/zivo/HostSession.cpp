#include "HostSession.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "Platform/Text.h"
#include "StatusText.h"
#include "zivorivizo/Log.h"
#include "zivorivizo/OSConfigMgr.h"
#include "zivorivizo/OSParticipantMgr.h"
#include "zivorivizo/OSSystemManager.h"
#include "zivorivizo/StatusCodes.h"

CHostSession::~CHostSession() {
  COSParticipantManager::DeleteInstance();
  COSConfigManager::DeleteInstance();
  COSSystemManager::DeleteInstance();
}

bool CHostSession::Start(const _tagSPlatformOptions& options, std::string& error) {
  if (!options.logFile.empty()) {
    // The library would only throw a bare code for a log it cannot open: try
    // the file first so the user reads its path and the reason.
    FILE* probe = std::fopen(options.logFile.c_str(), "a");
    if (probe == nullptr) {
      error = "cannot open the log " + options.logFile + ": " + std::strerror(errno);
      return false;
    }
    std::fclose(probe);
    const std::wstring log = FromUtf8(options.logFile);
    InitLog(log.c_str(), log.c_str());
  }
  try {
    mManager = COSParticipantManager::GetInstance();
  } catch (int thrown) {
    error = "the participant manager refused to start (" + std::to_string(thrown) +
            "): " + ThrownText(thrown);
    return false;
  }
  if (!options.configFile.empty()) {
    // The manager reports a file that does not load through its log and
    // answers with defaults; the host learns of it from an update's 292.
    try {
      COSConfigManager* config = COSConfigManager::GetInstance(FromUtf8(options.configFile));
      _tagSPlatformConfig probe;
      config->GetPlatformConfig(probe);
      mConfigResult = config->SetPlatformConfig(probe);
    } catch (int thrown) {
      mConfigResult = thrown;
    }
  }
  mEnumerateResult = mManager->Enumerate();
  return true;
}
