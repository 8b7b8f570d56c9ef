// A concrete participant manager for tests: the lists of CParticipantMgr are
// open, so a test can insert any CDevice / CSensor (usually the scripted fakes
// of FakeParticipants.h) and then drive the manager's operations on them.
//
// Like the real manager it owns what is in its lists: whatever is left there
// at its destruction is destroyed, each object once even if a test inserted it
// twice. Discovery is not part of it: Init stores the history length, and
// Enumerate, AddSensor and AddDevice only record that they were called.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/FakeParticipants.h"
#include "zivorivizo/ParticipantMgr.h"

class CTestParticipantMgr : public CParticipantMgr {
 public:
  CTestParticipantMgr() = default;
  ~CTestParticipantMgr() override;
  // Two owners of one set of participants would destroy them twice.
  CTestParticipantMgr(const CTestParticipantMgr&) = delete;
  CTestParticipantMgr& operator=(const CTestParticipantMgr&) = delete;

  // Stores the history length; status and result 0.
  int Init(int historyLength, int& status) override;
  int Enumerate() override;
  // Record the name and return mAddResult.
  int AddSensor(std::wstring name) override;
  int AddDevice(std::wstring name) override;

  // Append a new fake, writing its calls to mJournal, and return it.
  CFakeDevice& AddFakeDevice(std::wstring name, uint32_t deviceClass = 0);
  CFakeSensor& AddFakeSensor(std::wstring name, uint32_t sensorClass = 0);

  using CParticipantMgr::GetDevicePtr;
  using CParticipantMgr::GetSensorPtr;
  using CParticipantMgr::mDeviceList;
  using CParticipantMgr::mHistoryLength;
  using CParticipantMgr::mSensorList;

  CCallJournal mJournal;
  int mEnumerateCalls = 0;
  int mUpdateLinksCalls = 0;
  std::vector<std::wstring> mAddedSensors;
  std::vector<std::wstring> mAddedDevices;
  int mAddResult = 0;

 private:
  int UpdateSensorDeviceLinks() override;
};
