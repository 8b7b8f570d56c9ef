// The process-wide participant manager. GetInstance connects to the platform's
// firmware interface, checks that thermal management is enabled and creates
// the manager (throwing the int 13 when initialisation fails and 1000 when the
// platform has thermal management disabled); Enumerate discovers the
// registry-listed and firmware participants and links sensors to devices.
// DeleteInstance stops and destroys every participant.
#pragma once

#include <memory>
#include <string>

#include "zivorivizo/Export.h"
#include "zivorivizo/ParticipantMgr.h"

class CPlatform;

class ZIVO_EXPORT COSParticipantManager : public CParticipantMgr {
 public:
  static COSParticipantManager* GetInstance();
  static COSParticipantManager* GetInstance(int historyLength);
  static void DeleteInstance();

  ~COSParticipantManager() override;

  int Init(int historyLength, int& status) override;
  int Enumerate() override;
  int AddSensor(std::wstring name) override;
  int AddDevice(std::wstring name) override;

 private:
  explicit COSParticipantManager(int historyLength);
  int UpdateSensorDeviceLinks() override;
  int EnumerateNonWmiDrivers();

  static COSParticipantManager* mParticipantManager;
  std::shared_ptr<CPlatform> mPlatform;
};
