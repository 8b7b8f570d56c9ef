#include "PartMgr/DeviceNames.h"

#include <utility>

#include "Log/LogStatement.h"
#include "Platform/Registry.h"
#include "Platform/Text.h"

CDeviceNames::CDeviceNames(CRegistryKey* key, std::vector<std::vector<std::wstring>> spare)
    : mKey(key), mSpare(std::move(spare)) {}

void CDeviceNames::Append(const uint32_t* numbers, uint32_t count,
                          std::vector<std::wstring>& devices) {
  // A new sensor's empty list takes a spare one whole, and its names are
  // written over the spare's.
  std::size_t used = devices.size();
  if (used == 0 && !mSpare.empty()) {
    devices.swap(mSpare.back());
    mSpare.pop_back();
  }
  devices.reserve(used + count);
  for (uint32_t slot = 0; slot < count; ++slot) {
    const std::wstring* name = Find(numbers[slot]);
    if (name == nullptr) {
      continue;
    }
    if (used < devices.size()) {
      devices[used].assign(*name);
    } else {
      devices.push_back(*name);
    }
    ++used;
  }
  devices.resize(used);
}

const std::wstring* CDeviceNames::Find(uint32_t number) {
  if (auto known = mNames.find(number); known != mNames.end()) {
    return &known->second;
  }
  WriteNumberedName(L"Device", number, mValueName);
  std::wstring name;
  if (mKey == nullptr || mKey->QueryString(mValueName, kNameBytes, name) != REG_STATUS_SUCCESS) {
    LOG_ERROR("Query Registry failed for %ls", mValueName.c_str());
    return nullptr;
  }
  return &mNames.emplace(number, std::move(name)).first->second;
}

long CDeviceNames::Take(uint32_t number, const std::wstring& valueName, std::wstring& value) {
  if (auto known = mNames.find(number); known != mNames.end()) {
    value = std::move(known->second);
    mNames.erase(known);
    return REG_STATUS_SUCCESS;
  }
  return mKey == nullptr ? REG_STATUS_NOT_FOUND : mKey->QueryString(valueName, kNameBytes, value);
}
