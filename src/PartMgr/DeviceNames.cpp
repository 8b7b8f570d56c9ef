#include "PartMgr/DeviceNames.h"

#include <utility>

#include "Log/LogStatement.h"
#include "PartMgr/SpareStorage.h"
#include "Platform/DriverProtocol.h"
#include "Platform/Registry.h"
#include "Platform/Text.h"
#include "zivorivizo/OSParticipantMgr.h"

static_assert(CDeviceNames::kRunNumbers == DRIVER_MAX_SENSOR_DEVICES,
              "a run holds every number a driver reports");
static_assert(CDeviceNames::kKeptNumbers == COSParticipantManager::MAX_DRIVER_PARTICIPANTS,
              "every device entry discovery walks is kept");

CDeviceNames::CDeviceNames(CRegistryKey* key) : mKey(key) {}

void CDeviceNames::Append(const uint32_t* numbers, uint32_t count,
                          std::vector<std::wstring>& devices) {
  // A new sensor's empty list takes a spare one whole, and its names are
  // written over the spare's.
  std::size_t used = devices.size();
  TakeSpare(mSpare, devices);
  devices.reserve(used + count);
  NumberedRun run;
  run.list = &devices;
  run.first = static_cast<uint32_t>(used);
  for (uint32_t slot = 0; slot < count; ++slot) {
    const uint32_t number = numbers[slot];
    if (used == devices.size()) {
      devices.emplace_back();
    }
    std::wstring& entry = devices[used];
    if (const std::wstring* known = Known(number)) {
      entry.assign(*known);
      Number(run, number);
      ++used;
      continue;
    }
    WriteNumberedName(L"Device", number, mValueName);
    if (mKey == nullptr || mKey->QueryString(mValueName, kNameBytes, entry) != REG_STATUS_SUCCESS) {
      LOG_ERROR("Query Registry failed for %ls", mValueName.c_str());
      continue;
    }
    if (number < kKeptNumbers) {
      mNames[number] = &entry;
    }
    Number(run, number < kKeptNumbers ? number : kUnnumbered);
    ++used;
  }
  devices.resize(used);
  if (run.count != 0) {
    mRuns.push_back(run);
  }
}

long CDeviceNames::ReadEntry(uint32_t number, const std::wstring& valueName, std::wstring& value) {
  if (const std::wstring* known = Known(number)) {
    value.assign(*known);
    return REG_STATUS_SUCCESS;
  }
  return mKey == nullptr ? REG_STATUS_NOT_FOUND : mKey->QueryString(valueName, kNameBytes, value);
}

void CDeviceNames::DeviceMade(uint32_t number, const std::wstring& name) {
  // Just read by ReadEntry: both names are at hand.
  const std::wstring* known = Known(number);
  mDeviceNumbers.push_back(known != nullptr && *known == name ? number : kUnnumbered);
}

void CDeviceNames::Number(NumberedRun& run, uint32_t number) {
  // A run holds as many numbers as a driver reports; the entries past them
  // are found by name.
  if (run.count < kRunNumbers) {
    run.numbers[run.count++] = number;
  }
}

const std::wstring* CDeviceNames::Known(uint32_t number) const {
  return number < mNames.size() ? mNames[number] : nullptr;
}
