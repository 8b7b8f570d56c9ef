// A concrete participant manager for tests: the lists of CParticipantMgr are
// open, so a test can insert any CDevice / CSensor (usually the scripted fakes
// of FakeParticipants.h) and then drive the manager's operations on them.
//
// Like the real manager it owns what is in its lists: whatever is left there
// at its destruction is destroyed, each object once even if a test inserted it
// twice. Discovery is not part of it.
#pragma once

#include <cstdint>
#include <string>

#include "support/FakeParticipants.h"
#include "zivorivizo/ParticipantMgr.h"

class CTestParticipantMgr : public CParticipantMgr {
 public:
  CTestParticipantMgr() = default;
  ~CTestParticipantMgr() override;
  CTestParticipantMgr(const CTestParticipantMgr&) = delete;
  CTestParticipantMgr& operator=(const CTestParticipantMgr&) = delete;

  int Init(int, int& status) override { return status = 0; }
  int Enumerate() override { return 0; }
  int AddSensor(const std::wstring&) override { return 0; }
  int AddDevice(const std::wstring&) override { return 0; }

  // Append a new fake and return it.
  CFakeDevice& AddFakeDevice(std::wstring name, uint32_t deviceClass = 0);
  CFakeSensor& AddFakeSensor(std::wstring name, uint32_t sensorClass = 0);

  using CParticipantMgr::GetDevicePtr;
  using CParticipantMgr::GetSensorPtr;
  using CParticipantMgr::mDeviceList;
  using CParticipantMgr::mSensorList;

 private:
  int UpdateSensorDeviceLinks() override { return 0; }
};
