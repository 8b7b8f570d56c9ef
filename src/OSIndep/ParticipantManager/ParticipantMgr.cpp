// STUB: replaced by the participant manager.
#include "zivorivizo/ParticipantMgr.h"

CParticipantMgr::CParticipantMgr() = default;
CParticipantMgr::~CParticipantMgr() = default;
int CParticipantMgr::RemoveDevice(std::wstring) {
  return 0;
}
int CParticipantMgr::RemoveSensor(std::wstring) {
  return 0;
}
int CParticipantMgr::StartAllParticipants() {
  return 0;
}
int CParticipantMgr::StopAllParticipants() {
  return 0;
}
int CParticipantMgr::StartDevice(std::wstring) {
  return 0;
}
int CParticipantMgr::StopDevice(std::wstring) {
  return 0;
}
int CParticipantMgr::StartSensor(std::wstring) {
  return 0;
}
int CParticipantMgr::StopSensor(std::wstring) {
  return 0;
}
int CParticipantMgr::ShutdownDevice(std::wstring, bool) {
  return 0;
}
int CParticipantMgr::GetAllDevices(std::vector<_tagSDevice>&) {
  return 0;
}
int CParticipantMgr::GetActiveDevices(std::vector<_tagSDevice>&) {
  return 0;
}
int CParticipantMgr::GetAllSensors(std::vector<_tagSSensor>&) {
  return 0;
}
int CParticipantMgr::GetDevice(std::wstring, _tagSDevice&) {
  return 101;
}
int CParticipantMgr::SetDevice(const _tagSDevice&) {
  return 0;
}
int CParticipantMgr::GetSensor(std::wstring, _tagSSensor&) {
  return 0;
}
int CParticipantMgr::SetSensor(const _tagSSensor&) {
  return 0;
}
int CParticipantMgr::GetDeviceList(std::wstring, std::vector<_tagSDevice>&) {
  return 0;
}
int CParticipantMgr::GetSensorList(std::wstring, std::vector<_tagSSensor>&) {
  return 0;
}
int CParticipantMgr::GetDevicesWithoutSensors(std::wstring, std::vector<_tagSDevice>&) {
  return 0;
}
int CParticipantMgr::RefreshSensor(std::wstring) {
  return 0;
}
int CParticipantMgr::GetCurrentTemperature(std::wstring, int&) {
  return 0;
}
int CParticipantMgr::GetDevicePtr(std::wstring, CDevice*&) {
  return 101;
}
int CParticipantMgr::GetSensorPtr(std::wstring, CSensor*&) {
  return 102;
}
