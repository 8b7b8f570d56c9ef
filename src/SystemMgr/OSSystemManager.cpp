#include "zivorivizo/OSSystemManager.h"

#include <memory>
#include <mutex>
#include <string>

#include "Log/LogStatement.h"
#include "Platform/Power.h"
#include "zivorivizo/Platform.h"
#include "zivorivizo/StatusCodes.h"

COSSystemManager* COSSystemManager::mpSysManager = nullptr;

namespace {

const wchar_t kDefaultMessage[] =
    L"The System Temperature is high enough to Cause a Skin Burn. To protect, System is shutting "
    L"down...";
const wchar_t kHibernateFallbackMessage[] =
    L"The System Temperature is high enough to Cause a Skin Burn.To protect, System is shutting "
    L"down since Hibernate is not supported...";

// Guards mpSysManager: the sensors call GetInstance from whatever thread reads
// temperatures. Never destroyed: a host may delete the manager during static
// destruction.
std::mutex& InstanceLock() {
  static auto* lock = new std::mutex;
  return *lock;
}

}  // namespace

COSSystemManager* COSSystemManager::GetInstance() {
  std::lock_guard<std::mutex> hold(InstanceLock());
  if (mpSysManager == nullptr) {
    // unique_ptr gives the memory back when the constructor throws.
    std::unique_ptr<COSSystemManager> created(new COSSystemManager());
    mpSysManager = created.release();
  }
  return mpSysManager;
}

void COSSystemManager::DeleteInstance() {
  LOG_DEBUG("Deleting System manager");
  std::lock_guard<std::mutex> hold(InstanceLock());
  delete mpSysManager;
  mpSysManager = nullptr;
}

COSSystemManager::COSSystemManager() : mPlatform(CPlatform::Current()) {
  if (Init() != 0) {
    LOG_ERROR("System Manager Init Failed");
    throw ZIVO_THROW_SM_INIT_FAILED;
  }
}

COSSystemManager::~COSSystemManager() {
  LOG_DEBUG("COSSystem manager Destructor called");
}

int COSSystemManager::Init() {
  return 0;
}

int COSSystemManager::SystemShutdown(int timeout, wchar_t* message) {
  LOG_DEBUG("Shutdown called");
  CPower& power = mPlatform->Power();
  if (!power.EnableShutdownPrivilege()) {
    // Still 0, as callers have always had it; the log must not suggest that
    // the machine is going down.
    LOG_ERROR("Shutdown not requested: the shutdown privilege could not be enabled");
    return 0;
  }
  if (timeout < 0) {
    // Not a countdown the system accepts. Taking it as 0 would turn a caller's
    // mistake into an immediate forced shutdown; it is refused like any other
    // shutdown the system turns down.
    LOG_ERROR("Shutdown not requested: countdown %d is negative", timeout);
    return 1;
  }
  const std::wstring text = message != nullptr ? std::wstring(message) : kDefaultMessage;
  const bool started = power.InitiateShutdown(text, static_cast<uint32_t>(timeout),
                                              /*force=*/true, /*reboot=*/false);
  if (!started) {
    LOG_ERROR("Shutdown request refused by the system");
    return 1;
  }
  return 0;
}

int COSSystemManager::Hibernate(int /*unused*/) {
  LOG_DEBUG("Hibernate called");
  CPower& power = mPlatform->Power();
  if (!power.EnableShutdownPrivilege()) {
    LOG_ERROR("Hibernate not requested: the shutdown privilege could not be enabled");
    return 0;
  }
  if (power.IsHibernateAllowed()) {
    LOG_DEBUG("Hibernate is allowed");
    if (!power.SetPowerState(/*suspend=*/false, /*force=*/true)) {
      LOG_ERROR("Hibernate request refused by the system");
    }
  } else {
    LOG_DEBUG("Hibernate is NOT allowed. Hence doing shutdown");
    std::wstring message = kHibernateFallbackMessage;
    SystemShutdown(60, message.data());
  }
  return 1;
}
