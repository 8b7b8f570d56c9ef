// Fixture for tests of the participant manager and the firmware
// participants: the simulated platform with an empty driver parameters key
// (so discovery finds only what a test publishes), and helpers to seed it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Platform/Wmi.h"
#include "support/ParticipantLists.h"
#include "support/SimPlatformTest.h"
#include "zivorivizo/OSParticipantMgr.h"

class CManagerTest : public CSimPlatformTest {
 protected:
  static constexpr const wchar_t* kParametersKey = L"SOFTWARE\\Zelan\\VOVUZER\\Parameters";

  void SetUp() override;

  // Writes the driver-listed participants: counts and numbered paths.
  void SeedDrivers(const std::vector<std::wstring>& sensors,
                   const std::vector<std::wstring>& devices);
  // The manager, created with GetInstance() (history length 3).
  COSParticipantManager& Manager();

  CDeviceList& DeviceList() { return CParticipantLists::Devices(Manager()); }
  CSensorList& SensorList() { return CParticipantLists::Sensors(Manager()); }
  std::vector<std::wstring> DeviceNames();
  std::vector<std::wstring> SensorNames();

  // The firmware instance of a participant, as discovery would obtain it.
  std::shared_ptr<CWbemClassObject> DeviceInstance(const std::wstring& name);
  std::shared_ptr<CWbemClassObject> SensorInstance(const std::wstring& name);
};

// The firmware's name of the device numbered n ("ACPI\PNP0C14\<n>_0").
std::wstring FirmwareDeviceName(int n);
