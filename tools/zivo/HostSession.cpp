#include "HostSession.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "StatusText.h"
#include "zivorivizo/Log.h"
#include "zivorivizo/OSConfigMgr.h"
#include "zivorivizo/OSParticipantMgr.h"
#include "zivorivizo/OSSystemManager.h"
#include "zivorivizo/StatusCodes.h"
#include "zivorivizo/Text.h"

CHostSession::~CHostSession() {
  COSParticipantManager::DeleteInstance();
  COSConfigManager::DeleteInstance();
  COSSystemManager::DeleteInstance();
}

namespace {

// A policy with the platform section only: no device and no sensor record.
constexpr char kEmptyPolicy[] =
    "<?xml version=\"1.0\"?>\n<Config>\n<Platform><Shutdown option=\"shutdown\" "
    "timer=\"15\"/><Throttling preference=\"Passive\"/></Platform>\n</Config>\n";

// Makes the configuration manager on the empty policy, read from an
// anonymous in-memory file: nothing on disk, nothing in the working folder.
void LoadEmptyPolicy() {
  const int fd = memfd_create("zivo-empty-policy", MFD_CLOEXEC);
  if (fd < 0) {
    return;
  }
  if (write(fd, kEmptyPolicy, sizeof kEmptyPolicy - 1) ==
      static_cast<ssize_t>(sizeof kEmptyPolicy - 1)) {
    try {
      COSConfigManager::GetInstance(L"/proc/self/fd/" + std::to_wstring(fd));
    } catch (int) {
      // No manager: the library makes its own when it needs one.
    }
  }
  close(fd);
}

// Switches the library's log on as `options` say; false with `error` when
// the log file cannot be opened.
bool StartLog(const PlatformOptions& options, std::string& error) {
  if (options.logFile.empty()) {
    return true;
  }
  if (options.logFile == "journal") {
    InitJournalLog();
  } else {
    // The library would only throw a bare code for a log it cannot open: try
    // the file first, with the library's own rules (appending, created if
    // absent, never through a symbolic link), so the user reads the path and
    // the reason and a link's target is not created behind their back.
    const int probe =
        open(options.logFile.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0640);
    if (probe < 0) {
      error = "cannot open the log " + options.logFile + ": " + std::strerror(errno) +
              (errno == ELOOP ? " (a symbolic link is refused)" : "");
      return false;
    }
    close(probe);
    const std::wstring log = FromUtf8(options.logFile);
    InitLog(log.c_str(), log.c_str());
  }
  if (const auto mask = LogMaskOf(options.logLevel)) {
    myPrint.SetLogLevel(static_cast<LEVEL>(*mask));
  }
  return true;
}

}  // namespace

bool CHostSession::Start(const PlatformOptions& options, std::string& error) {
  if (!StartLog(options, error)) {
    return false;
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
  if (options.configFile.empty() && options.noPolicyLookup) {
    LoadEmptyPolicy();
  }
  mEnumerateResult = mManager->Enumerate();
  return true;
}
