#include "Sim/SimScriptedDriver.h"

#include <algorithm>

#include "Sim/BoundedRecord.h"

bool CSimScriptedDriver::Control(uint32_t code, std::span<const std::byte> in,
                                 std::span<std::byte> out, uint32_t& error) {
  std::lock_guard<std::mutex> hold(mLock);
  if (mKeep) {
    AppendBounded(mRequests, {code, std::vector<std::byte>(in.begin(), in.end())},
                  kMaxRecordedRequests);
  }
  return Handle(code, in, out, error);
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

void CSimScriptedDriver::KeepRequests(bool keep) {
  std::lock_guard<std::mutex> hold(mLock);
  mKeep = keep;
}
