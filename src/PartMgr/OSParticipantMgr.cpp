// STUB: replaced by the participant manager with discovery.
#include "zivorivizo/OSParticipantMgr.h"

#include "zivorivizo/StatusCodes.h"

COSParticipantManager* COSParticipantManager::mParticipantManager = nullptr;

COSParticipantManager* COSParticipantManager::GetInstance() {
  return GetInstance(3);
}
COSParticipantManager* COSParticipantManager::GetInstance(int) {
  throw ZIVO_THROW_PM_INIT_FAILED;
}
void COSParticipantManager::DeleteInstance() {}
COSParticipantManager::COSParticipantManager(int) {}
COSParticipantManager::~COSParticipantManager() = default;
int COSParticipantManager::Init(int, int&) {
  return ZIVO_PM_INIT_FAILED;
}
int COSParticipantManager::Enumerate() {
  return 0;
}
int COSParticipantManager::AddSensor(std::wstring) {
  return ZIVO_PARTICIPANT_NOT_FOUND;
}
int COSParticipantManager::AddDevice(std::wstring) {
  return ZIVO_PARTICIPANT_NOT_FOUND;
}
int COSParticipantManager::UpdateSensorDeviceLinks() {
  return 0;
}
int COSParticipantManager::EnumerateNonWmiDrivers() {
  return 0;
}
