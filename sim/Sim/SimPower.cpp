#include "zivorivizo-sim/SimPower.h"

#include <utility>

void CSimPower::RecordLocked(_tagSPowerRequest request) {
  ++mCount;
  if (mRequests.size() == kRequestsKept) {
    mRequests.pop_front();
  }
  mRequests.push_back(std::move(request));
}

bool CSimPower::EnableShutdownPrivilege() {
  std::lock_guard<std::mutex> hold(mLock);
  RecordLocked(_tagSPowerRequest(_tagSPowerRequest::Kind::EnablePrivilege));
  return mPrivilegeHeld;
}

bool CSimPower::InitiateShutdown(const std::wstring& message, uint32_t timeoutSeconds, bool force,
                                 bool reboot) {
  std::lock_guard<std::mutex> hold(mLock);
  _tagSPowerRequest request(_tagSPowerRequest::Kind::Shutdown);
  request.message = message;
  request.timeoutSeconds = timeoutSeconds;
  request.force = force;
  request.reboot = reboot;
  RecordLocked(std::move(request));
  return true;
}

bool CSimPower::IsHibernateAllowed() {
  std::lock_guard<std::mutex> hold(mLock);
  RecordLocked(_tagSPowerRequest(_tagSPowerRequest::Kind::QueryHibernate));
  return mHibernateAllowed;
}

bool CSimPower::SetPowerState(bool suspend, bool force) {
  std::lock_guard<std::mutex> hold(mLock);
  _tagSPowerRequest request(_tagSPowerRequest::Kind::SetPowerState);
  request.suspend = suspend;
  request.force = force;
  RecordLocked(std::move(request));
  return true;
}

bool CSimPower::CancelShutdown() {
  std::lock_guard<std::mutex> hold(mLock);
  RecordLocked(_tagSPowerRequest(_tagSPowerRequest::Kind::CancelShutdown));
  return true;
}

void CSimPower::SetPrivilegeHeld(bool held) {
  std::lock_guard<std::mutex> hold(mLock);
  mPrivilegeHeld = held;
}

void CSimPower::SetHibernateAllowed(bool allowed) {
  std::lock_guard<std::mutex> hold(mLock);
  mHibernateAllowed = allowed;
}

std::vector<_tagSPowerRequest> CSimPower::Requests() {
  std::lock_guard<std::mutex> hold(mLock);
  return {mRequests.begin(), mRequests.end()};
}

uint64_t CSimPower::RequestCount() {
  std::lock_guard<std::mutex> hold(mLock);
  return mCount;
}

std::vector<_tagSPowerRequest> CSimPower::Shutdowns() {
  std::lock_guard<std::mutex> hold(mLock);
  std::vector<_tagSPowerRequest> out;
  for (const auto& r : mRequests) {
    if (r.kind == _tagSPowerRequest::Kind::Shutdown) {
      out.push_back(r);
    }
  }
  return out;
}

std::vector<_tagSPowerRequest> CSimPower::PowerStates() {
  std::lock_guard<std::mutex> hold(mLock);
  std::vector<_tagSPowerRequest> out;
  for (const auto& r : mRequests) {
    if (r.kind == _tagSPowerRequest::Kind::SetPowerState) {
      out.push_back(r);
    }
  }
  return out;
}

void CSimPower::ClearRequests() {
  std::lock_guard<std::mutex> hold(mLock);
  mRequests.clear();
  mCount = 0;
}
