#include "Platform/Sim/SimScriptedDriver.h"

#include <algorithm>

bool CSimScriptedDriver::Control(uint32_t code, std::span<const std::byte> in,
                                 std::span<std::byte> out, uint32_t& error) {
  std::lock_guard<std::mutex> hold(mLock);
  mRequests.push_back({code, std::vector<std::byte>(in.begin(), in.end())});
  for (auto it = mFaults.begin(); it != mFaults.end(); ++it) {
    if (it->code != SIM_ANY_REQUEST && it->code != code) {
      continue;
    }
    if (it->skip > 0) {
      --it->skip;
      continue;
    }
    error = it->error;
    if (it->remaining > 0 && --it->remaining == 0) {
      mFaults.erase(it);
    }
    return false;
  }
  return Handle(code, in, out, error);
}

void CSimScriptedDriver::FailRequest(uint32_t code, uint32_t error, int count, int skip) {
  std::lock_guard<std::mutex> hold(mLock);
  mFaults.push_back({code, error, std::max(count, 0), std::max(skip, 0)});
}

void CSimScriptedDriver::ClearFaults() {
  std::lock_guard<std::mutex> hold(mLock);
  mFaults.clear();
}

std::vector<_tagSDriverRequest> CSimScriptedDriver::Requests() {
  std::lock_guard<std::mutex> hold(mLock);
  return mRequests;
}

std::vector<_tagSDriverRequest> CSimScriptedDriver::RequestsWith(uint32_t code) {
  std::lock_guard<std::mutex> hold(mLock);
  std::vector<_tagSDriverRequest> out;
  for (const _tagSDriverRequest& request : mRequests) {
    if (request.code == code) {
      out.push_back(request);
    }
  }
  return out;
}

int CSimScriptedDriver::CountRequests(uint32_t code) {
  std::lock_guard<std::mutex> hold(mLock);
  return static_cast<int>(std::count_if(mRequests.begin(), mRequests.end(), [&](const auto& r) {
    return code == SIM_ANY_REQUEST || r.code == code;
  }));
}

void CSimScriptedDriver::ClearRequests() {
  std::lock_guard<std::mutex> hold(mLock);
  mRequests.clear();
}
